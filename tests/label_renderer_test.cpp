// The loopback printer is built for POSIX systems only, and renders labels
// only when built with FreeType and zlib.
#if !defined(_WIN32) && defined(ZPLPORT_PRINTER_RENDERS)

#include "printer/label_renderer.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "printer/glyph_font.h"
#include "printer/png_writer.h"
#include "printer/zpl_parser.h"
#include "support/temp_dir.h"

namespace zplport::printer {
namespace {

struct InkBox {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open; all 0 when there is no ink
  long count = 0;
  int width() const { return x1 - x0; }
  int height() const { return y1 - y0; }
};

InkBox FindInk(const Bitmap& bitmap, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
  if (x1 < 0) x1 = bitmap.width;
  if (y1 < 0) y1 = bitmap.height;
  InkBox box{x1, y1, x0, y0, 0};
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (!bitmap.Black(x, y)) continue;
      ++box.count;
      box.x0 = std::min(box.x0, x);
      box.y0 = std::min(box.y0, y);
      box.x1 = std::max(box.x1, x + 1);
      box.y1 = std::max(box.y1, y + 1);
    }
  }
  return box.count == 0 ? InkBox{} : box;
}

// Text lines: runs of rows with ink, separated by rows without.
int InkRowRuns(const Bitmap& bitmap) {
  int runs = 0;
  bool in_run = false;
  for (int y = 0; y < bitmap.height; ++y) {
    bool ink = false;
    for (int x = 0; x < bitmap.width && !ink; ++x) ink = bitmap.Black(x, y);
    if (ink && !in_run) ++runs;
    in_run = ink;
  }
  return runs;
}

class LabelRendererTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { renderer_ = std::make_unique<LabelRenderer>(); }
  static void TearDownTestSuite() { renderer_.reset(); }

  void SetUp() override {
    if (!renderer_->font_error().empty()) GTEST_SKIP() << renderer_->font_error();
  }

  // The first label of `zpl`, drawn at `dpi`.
  static RenderedLabel Draw(const std::string& zpl, int dpi = 203) {
    const ZplJob job = ParseZpl(zpl);
    if (job.labels.empty()) {
      ADD_FAILURE() << "no label in " << zpl;
      return {};
    }
    return renderer_->Render(job.labels[0], dpi);
  }
  static Bitmap Image(const std::string& zpl, int dpi = 203) { return Draw(zpl, dpi).bitmap; }

  static std::unique_ptr<LabelRenderer> renderer_;
};

std::unique_ptr<LabelRenderer> LabelRendererTest::renderer_;

TEST_F(LabelRendererTest, UsesTheSimplifiedChineseFace) {
  ASSERT_NE(renderer_->font(), nullptr);
  EXPECT_NE(renderer_->font()->family().find("SC"), std::string::npos)
      << renderer_->font()->family();
}

TEST_F(LabelRendererTest, PageSizeFollowsResolutionAndPageCommands) {
  struct Case {
    std::string zpl;
    int dpi, width, height;
    const char* warning;
  } cases[] = {
      {"^XA^FDa^FS^XZ", 203, 812, 1218, nullptr},
      {"^XA^FDa^FS^XZ", 300, 1200, 1800, nullptr},
      {"^XA^FDa^FS^XZ", 600, 2400, 3600, nullptr},
      {"^XA^PW400^LL300^FDa^FS^XZ", 203, 400, 300, nullptr},
      {"^XA^PW400^FDa^FS^XZ", 203, 400, 1218, nullptr},
      {"^XA^LL100^FDa^FS^XZ", 300, 1200, 100, nullptr},
      {"^XA^PW99999^LL99999^FDa^FS^XZ", 203, 8120, 8120, "^PW 32000 clamped to 8120"},
  };
  for (const auto& c : cases) {
    const RenderedLabel label = Draw(c.zpl, c.dpi);
    EXPECT_EQ(label.bitmap.width, c.width) << c.zpl;
    EXPECT_EQ(label.bitmap.height, c.height) << c.zpl;
    if (c.warning != nullptr) {
      EXPECT_NE(std::find(label.warnings.begin(), label.warnings.end(), c.warning),
                label.warnings.end())
          << c.zpl;
    }
  }
}

TEST_F(LabelRendererTest, TextCellStartsAtTheFieldOrigin) {
  const Bitmap image = Image("^XA^FO100,200^A0N,50,50^FDHELLO^FS^XZ");
  const InkBox ink = FindInk(image);
  ASSERT_GT(ink.count, 0);
  EXPECT_NEAR(ink.x0, 100, 6);
  // Capitals stand on the baseline and reach most of the cell's height.
  EXPECT_GE(ink.y0, 200);
  EXPECT_LE(ink.y0, 200 + 50 / 4);
  EXPECT_LE(ink.y1, 250);
  EXPECT_GE(ink.height(), 50 / 2);
}

TEST_F(LabelRendererTest, BaselineOriginPutsTheTextOnIt) {
  const Bitmap image = Image("^XA^FT100,300^A0N,50,50^FDHELLO^FS^XZ");
  const InkBox ink = FindInk(image);
  ASSERT_GT(ink.count, 0);
  EXPECT_NEAR(ink.x0, 100, 6);
  EXPECT_NEAR(ink.y1, 300, 2);  // round letters dip a little below the baseline
  EXPECT_LT(ink.y0, 300 - 50 / 2);
}

TEST_F(LabelRendererTest, LabelHomeShiftsEveryField) {
  const InkBox plain = FindInk(Image("^XA^FO100,200^A0,40^FDAB^FS^XZ"));
  const InkBox shifted = FindInk(Image("^XA^LH30,40^FO70,160^A0,40^FDAB^FS^XZ"));
  EXPECT_EQ(plain.x0, shifted.x0);
  EXPECT_EQ(plain.y0, shifted.y0);
  EXPECT_EQ(plain.count, shifted.count);
}

TEST_F(LabelRendererTest, WidthScalesGlyphsHorizontally) {
  const InkBox normal = FindInk(Image("^XA^FO50,50^A0N,40,40^FDWIDE TEXT^FS^XZ"));
  const InkBox wide = FindInk(Image("^XA^FO50,50^A0N,40,80^FDWIDE TEXT^FS^XZ"));
  ASSERT_GT(normal.count, 0);
  const double ratio = static_cast<double>(wide.width()) / normal.width();
  EXPECT_GT(ratio, 1.85);
  EXPECT_LT(ratio, 2.15);
  EXPECT_NEAR(wide.height(), normal.height(), 2);
}

TEST_F(LabelRendererTest, OrientationTurnsTheField) {
  auto zpl = [](char orientation) {
    return "^XA^FO200,200^A0" + std::string(1, orientation) + ",40,40^FDABCDEFG^FS^XZ";
  };
  const Bitmap normal = Image(zpl('N'));
  const InkBox n = FindInk(normal);
  ASSERT_GT(n.count, 0);
  ASSERT_GT(n.width(), n.height());

  // Rotated: exactly the normal field turned 90° clockwise about its top
  // left corner, its 40-dot cell now standing to the right of x 200.
  const Bitmap rotated = Image(zpl('R'));
  const InkBox r = FindInk(rotated);
  EXPECT_EQ(r.count, n.count);
  long matching = 0;
  for (int y = n.y0; y < n.y1; ++y) {
    for (int x = n.x0; x < n.x1; ++x) {
      if (normal.Black(x, y) && rotated.Black(200 + 39 - (y - 200), 200 + (x - 200))) ++matching;
    }
  }
  EXPECT_EQ(matching, n.count);

  struct Case {
    char orientation;
    bool turned;  // width and height swap places
  } cases[] = {{'R', true}, {'I', false}, {'B', true}};
  for (const auto& c : cases) {
    const InkBox box = FindInk(Image(zpl(c.orientation)));
    EXPECT_EQ(box.count, n.count) << c.orientation;
    EXPECT_EQ(box.width(), c.turned ? n.height() : n.width()) << c.orientation;
    EXPECT_EQ(box.height(), c.turned ? n.width() : n.height()) << c.orientation;
    // ^FO is the top left of the turned field, whichever way it is turned.
    EXPECT_GE(box.x0, 200) << c.orientation;
    EXPECT_GE(box.y0, 200) << c.orientation;
    EXPECT_LE(box.x0, 200 + 12) << c.orientation;
    EXPECT_LE(box.y0, 200 + 12) << c.orientation;
  }
}

TEST_F(LabelRendererTest, BoxHasItsSizeAndThickness) {
  const Bitmap image = Image("^XA^FO100,100^GB200,100,10^FS^XZ");
  const InkBox ink = FindInk(image);
  EXPECT_EQ(ink.x0, 100);
  EXPECT_EQ(ink.y0, 100);
  EXPECT_EQ(ink.width(), 200);
  EXPECT_EQ(ink.height(), 100);
  EXPECT_EQ(ink.count, 200 * 100 - 180 * 80);
  EXPECT_EQ(FindInk(image, 110, 110, 290, 190).count, 0);   // hollow inside
  EXPECT_EQ(FindInk(image, 100, 150, 110, 151).count, 10);  // left edge, 10 thick
  EXPECT_EQ(FindInk(image, 200, 190, 201, 200).count, 10);  // bottom edge

  struct Case {
    const char* zpl;
    int x0, y0, width, height;
    long count;
  } cases[] = {
      {"^XA^FO10,10^GB50,50,50^FS^XZ", 10, 10, 50, 50, 2500},   // solid
      {"^XA^FO10,10^GB300,0,4^FS^XZ", 10, 10, 300, 4, 1200},    // horizontal line
      {"^XA^FO10,10^GB0,300,4^FS^XZ", 10, 10, 4, 300, 1200},    // vertical line
      {"^XA^FT10,110^GB50,50,50^FS^XZ", 10, 60, 50, 50, 2500},  // ^FT: lower left
      {"^XA^FO10,10^GB100,100,100^FS^FO30,30^GB20,20,20,W^FS^XZ", 10, 10, 100, 100, 9600},
      {"^XA^FO800,1200^GB100,100,100^FS^XZ", 800, 1200, 12, 18, 12 * 18},  // clipped
  };
  for (const auto& c : cases) {
    const InkBox box = FindInk(Image(c.zpl));
    EXPECT_EQ(box.x0, c.x0) << c.zpl;
    EXPECT_EQ(box.y0, c.y0) << c.zpl;
    EXPECT_EQ(box.width(), c.width) << c.zpl;
    EXPECT_EQ(box.height(), c.height) << c.zpl;
    EXPECT_EQ(box.count, c.count) << c.zpl;
  }
}

TEST_F(LabelRendererTest, FieldReverseInvertsWhatLiesBelow) {
  const std::string box = "^FO100,100^GB300,100,100^FS";
  const std::string text = "^FO120,80^A0N,60,60^FDXOX^FS";
  const Bitmap box_only = Image("^XA" + box + "^XZ");
  const Bitmap text_only = Image("^XA" + text + "^XZ");
  const Bitmap reversed = Image("^XA" + box + "^FR" + text + "^XZ");
  long differences = 0, inverted = 0;
  for (int y = 0; y < reversed.height; ++y) {
    for (int x = 0; x < reversed.width; ++x) {
      if (reversed.Black(x, y) != (box_only.Black(x, y) != text_only.Black(x, y))) ++differences;
      if (box_only.Black(x, y) && text_only.Black(x, y) && !reversed.Black(x, y)) ++inverted;
    }
  }
  EXPECT_EQ(differences, 0);
  EXPECT_GT(inverted, 100);  // white text inside the box
  // A reversed box over a box leaves a frame.
  const InkBox frame = FindInk(Image("^XA^FO10,10^GB100,100,100^FS^FO20,20^FR^GB80,80,80^FS^XZ"));
  EXPECT_EQ(frame.count, 100 * 100 - 80 * 80);
}

TEST_F(LabelRendererTest, FieldBlockWrapsAndJustifies) {
  // No ascenders or descenders, so that lines stay apart.
  const std::string text = "one more ocean wave no one saw once more a new ocean";
  const Bitmap one_line = Image("^XA^FO50,50^A0N,40,40^FD" + text + "^FS^XZ");
  EXPECT_EQ(InkRowRuns(one_line), 1);
  EXPECT_GT(FindInk(one_line).x1, 350);

  const Bitmap wrapped = Image("^XA^FO50,50^FB300,10,0,L^A0N,40,40^FD" + text + "^FS^XZ");
  const InkBox block = FindInk(wrapped);
  EXPECT_GE(InkRowRuns(wrapped), 3);
  EXPECT_LE(block.x1, 350);
  EXPECT_NEAR(block.x0, 50, 6);

  const Bitmap capped = Image("^XA^FO50,50^FB300,2,0,L^A0N,40,40^FD" + text + "^FS^XZ");
  EXPECT_EQ(InkRowRuns(capped), 2);

  // Line spacing moves the second line down.
  const InkBox tight = FindInk(Image("^XA^FO50,50^FB300,2,0^A0N,40,40^FDfirst\\&second^FS^XZ"));
  const InkBox loose = FindInk(Image("^XA^FO50,50^FB300,2,30^A0N,40,40^FDfirst\\&second^FS^XZ"));
  EXPECT_NEAR(loose.y1 - tight.y1, 30, 1);

  const InkBox right = FindInk(Image("^XA^FO50,50^FB300,1,0,R^A0N,40,40^FDend^FS^XZ"));
  EXPECT_NEAR(right.x1, 350, 6);
  const InkBox centred = FindInk(Image("^XA^FO50,50^FB300,1,0,C^A0N,40,40^FDmid^FS^XZ"));
  EXPECT_NEAR((centred.x0 + centred.x1) / 2, 200, 6);

  // Chinese text breaks between characters: 10 characters of 40 dots in a
  // 200-dot block make two lines.
  const Bitmap chinese = Image(
      "^XA^FO50,50^FB200,5^A0N,40,40^FD\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\xD6\xD0"
      "\xCE\xC4\xD6\xD0\xCE\xC4^FS^XZ");
  EXPECT_EQ(InkRowRuns(chinese), 2);
  EXPECT_LE(FindInk(chinese).x1, 250);
}

TEST_F(LabelRendererTest, HexEscapeDrawsTheCharacter) {
  const Bitmap escaped = Image("^XA^FO50,50^A0,50^FH^FD_41_42^FS^XZ");
  const Bitmap plain = Image("^XA^FO50,50^A0,50^FDAB^FS^XZ");
  EXPECT_GT(FindInk(plain).count, 0);
  EXPECT_TRUE(escaped.bits == plain.bits);
}

TEST_F(LabelRendererTest, ChineseTextProducesInk) {
  // 中文 in GBK: two full-width characters of 60 dots.
  const InkBox ink = FindInk(Image("^XA^FO50,50^A0N,60,60^FD\xD6\xD0\xCE\xC4^FS^XZ"));
  EXPECT_GT(ink.count, 500);
  EXPECT_GT(ink.width(), 90);
  EXPECT_LE(ink.width(), 120);
  EXPECT_GT(ink.height(), 40);
}

TEST_F(LabelRendererTest, FieldsOutsideTheLabelAreClipped) {
  const RenderedLabel far = Draw("^XA^FO99999999,99999999^A0,40^FDfar away^FS^XZ");
  EXPECT_EQ(FindInk(far.bitmap).count, 0);
  EXPECT_NE(
      std::find(far.warnings.begin(), far.warnings.end(), "field outside the label not drawn"),
      far.warnings.end());

  const InkBox edge = FindInk(Image("^XA^FO780,100^A0,40^FDclipped at the edge^FS^XZ"));
  EXPECT_GT(edge.count, 0);
  EXPECT_GT(edge.x1, 800);

  // The largest font the parser accepts: drawn, clipped, and quickly, as
  // glyphs outside the label are never rasterised.
  const InkBox huge = FindInk(Image("^XA^FO0,0^A0,100000^FDWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW^FS^XZ"));
  EXPECT_GT(huge.count, 0);
  const InkBox tiny = FindInk(Image("^XA^FO10,10^A0,1,1^FDtiny^FS^XZ"));
  EXPECT_LE(tiny.height(), 3);
}

TEST(PngWriterTest, WritesAOneBitGreyscaleImage) {
  Bitmap bitmap(13, 3);
  bitmap.Set(0, 0);
  bitmap.Set(12, 2);
  const std::string png = EncodePng(bitmap);
  ASSERT_GT(png.size(), 8u + 25u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(
        static_cast<unsigned char>(png[at]) << 24 | static_cast<unsigned char>(png[at + 1]) << 16 |
        static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]));
  };
  EXPECT_EQ(u32(8), 13u);  // IHDR length
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(u32(16), 13u);  // width
  EXPECT_EQ(u32(20), 3u);   // height
  EXPECT_EQ(png[24], 1);    // bit depth
  EXPECT_EQ(png[25], 0);    // greyscale
  EXPECT_EQ(u32(29), crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));

  // The image data: per row a filter byte 0, then 1 for white.
  ASSERT_EQ(png.substr(37, 4), "IDAT");
  const std::uint32_t length = u32(33);
  std::string raw(3 * 3, '\0');
  uLongf raw_size = raw.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &raw_size,
                       reinterpret_cast<const Bytef*>(png.data() + 41), length),
            Z_OK);
  ASSERT_EQ(raw_size, 9u);
  EXPECT_EQ(raw[0], 0);
  EXPECT_EQ(static_cast<unsigned char>(raw[1]), 0x7F);  // black first pixel
  EXPECT_EQ(static_cast<unsigned char>(raw[4]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(raw[8]) & 0xF8, 0xF0);  // black last pixel
  EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");

  zplport::testing::ScopedTempDir folder;
  EXPECT_EQ(WritePng(folder.path() / "a.png", bitmap), "");
  EXPECT_EQ(zplport::testing::ReadFileBytes(folder.path() / "a.png"), png);
  EXPECT_NE(WritePng(folder.path() / "missing" / "a.png", bitmap), "");
}

}  // namespace
}  // namespace zplport::printer

#endif
