// The loopback printer is built for POSIX systems only, and renders labels
// only when built with FreeType and zlib.
#if !defined(_WIN32) && defined(ZPLPORT_PRINTER_RENDERS)

#include "printer/label_renderer.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "printer/barcode_symbol.h"
#include "printer/glyph_font.h"
#include "printer/graphic_decoder.h"
#include "printer/job_renderer.h"
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

// The pixels of a region as rows of "#" (ink) and "." (none).
std::vector<std::string> Pixels(const Bitmap& bitmap, int x0, int y0, int width, int height) {
  std::vector<std::string> rows;
  for (int y = y0; y < y0 + height; ++y) {
    std::string row;
    for (int x = x0; x < x0 + width; ++x) row += bitmap.Black(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

bool HasWarning(const RenderedLabel& label, const std::string& warning) {
  return std::find(label.warnings.begin(), label.warnings.end(), warning) != label.warnings.end();
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

TEST_F(LabelRendererTest, FontZeroIsBoldCondensedWithChineseBehindIt) {
  const GlyphFont* font = renderer_->font();
  ASSERT_NE(font, nullptr);
  const std::string latin = font->FamilyFor(U'A');
  EXPECT_TRUE(latin.find("Narrow") != std::string::npos ||
              latin.find("Condensed") != std::string::npos)
      << latin;
  EXPECT_NE(font->StyleFor(U'A').find("Bold"), std::string::npos) << font->StyleFor(U'A');
  EXPECT_NE(font->FamilyFor(U'中').find("SC"), std::string::npos) << font->FamilyFor(U'中');
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
  // Font 0's hyphen is a long dash a little over its baseline (at 30).
  const InkBox dash = FindInk(Image("^XA^FO100,200^A0N,40,40^FD-^FS^XZ"));
  EXPECT_EQ(dash.x0, 106);
  EXPECT_EQ(dash.width(), 23);
  EXPECT_EQ(dash.y0, 230 - 14);
  EXPECT_EQ(dash.height(), 4);
  // Its ® is a small one at the capitals' top, in a full-size character.
  const InkBox mark = FindInk(Image("^XA^CI28^FO100,200^A0N,100,100^FD\xC2\xAE^FS^XZ"));
  const InkBox capital = FindInk(Image("^XA^CI28^FO100,200^A0N,100,100^FDH^FS^XZ"));
  EXPECT_NEAR(mark.y0, capital.y0, 2);
  EXPECT_LT(mark.height(), capital.height() / 2);
  // ^GS's ® is a symbol of its own, as large as its ©.
  const InkBox registered = FindInk(Image("^XA^FO100,200^GSN,100,100^FDA^FS^XZ"));
  const InkBox copyright = FindInk(Image("^XA^FO100,200^GSN,100,100^FDB^FS^XZ"));
  EXPECT_NEAR(registered.height(), copyright.height(), 4);
}

TEST_F(LabelRendererTest, BaselineOriginPutsTheTextOnIt) {
  const Bitmap image = Image("^XA^FT100,300^A0N,50,50^FDHELLO^FS^XZ");
  const InkBox ink = FindInk(image);
  ASSERT_GT(ink.count, 0);
  EXPECT_NEAR(ink.x0, 100, 6);
  EXPECT_NEAR(ink.y1, 300, 2);  // round letters dip a little below the baseline
  EXPECT_LT(ink.y0, 300 - 50 / 2);
  // Right justified (^FT or ^FO z 1, or ^FW's), the text ends at the origin.
  const InkBox right = FindInk(Image("^XA^FT400,300,1^A0N,50,50^FDHELLO^FS^XZ"));
  EXPECT_NEAR(right.x1, 400, 6);
  EXPECT_EQ(right.width(), ink.width());
  EXPECT_NEAR(FindInk(Image("^XA^FWN,1^FO400,200^A0N,50,50^FDHELLO^FS^XZ")).x1, 400, 6);
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
      {"^XA^FO10,10^GB50,50,50^FS^XZ", 10, 10, 50, 50, 2500},      // solid
      {"^XA^FO10,10^GB300,0,4^FS^XZ", 10, 10, 300, 4, 1200},       // horizontal line
      {"^XA^FO10,10^GB0,300,4^FS^XZ", 10, 10, 4, 300, 1200},       // vertical line
      {"^XA^FT10,110^GB50,50,50^FS^XZ", 10, 60, 50, 50, 2500},     // ^FT: lower left
      {"^XA^FT110,110,1^GB50,50,50^FS^XZ", 60, 60, 50, 50, 2500},  // right justified
      {"^XA^FO10,10^GB100,100,100^FS^FO30,30^GB20,20,20,W^FS^XZ", 10, 10, 100, 100, 9600},
      {"^XA^FO800,1200^GB100,100,100^FS^XZ", 800, 1200, 12, 18, 12 * 18},  // clipped
      {"^XA^POI^FO0,0^GB10,20,10^FS^XZ", 802, 1198, 10, 20, 200},          // label turned 180°
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

TEST_F(LabelRendererTest, ShapesFollowTheGuide) {
  struct Point {
    int x, y;
  };
  struct Case {
    const char* zpl;
    int x0, y0, width, height;        // ink's bounds
    std::vector<Point> black, white;  // label pixels
  } cases[] = {
      // A ring 10 dots thick; the middle stays white.
      {"^XA^FO100,100^GC100,10^FS^XZ",
       100,
       100,
       100,
       100,
       {{104, 150}, {150, 195}},
       {{150, 150}, {100, 100}}},
      {"^XA^FO100,100^GE200,100,3^FS^XZ",
       100,
       100,
       200,
       100,
       {{101, 150}, {200, 101}},
       {{200, 150}}},
      // "/" from lower left to upper right, "\" the other way: the band's
      // left edge crosses the box's width, so it reaches past it.
      {"^XA^FO100,100^GD100,50,6,B,R^FS^XZ",
       100,
       100,
       106,
       50,
       {{205, 100}, {100, 149}},
       {{100, 100}, {199, 149}}},
      {"^XA^FO100,100^GD100,50,6,B,L^FS^XZ",
       100,
       100,
       106,
       50,
       {{100, 100}, {205, 149}},
       {{199, 100}, {100, 149}}},
      // As thick as it is wide: a band of two triangles' width.
      {"^XA^FO100,100^GD60,61,60,B,L^FS^XZ",
       100,
       100,
       120,
       61,
       {{100, 100}, {159, 100}, {219, 160}, {160, 160}},
       {{219, 100}, {159, 160}}},
      // Rounding 8: corners of half the shorter side.
      {"^XA^FO100,100^GB200,100,10,B,8^FS^XZ",
       100,
       100,
       200,
       100,
       {{200, 100}, {100, 150}},
       {{100, 100}, {110, 110}, {200, 150}}},
      {"^XA^FO100,100^GB200,100,10,B,0^FS^XZ", 100, 100, 200, 100, {{100, 100}}, {{110, 110}}},
  };
  for (const auto& c : cases) {
    const Bitmap image = Image(c.zpl);
    const InkBox ink = FindInk(image);
    EXPECT_EQ(ink.x0, c.x0) << c.zpl;
    EXPECT_EQ(ink.y0, c.y0) << c.zpl;
    EXPECT_EQ(ink.width(), c.width) << c.zpl;
    EXPECT_EQ(ink.height(), c.height) << c.zpl;
    for (const Point& p : c.black)
      EXPECT_TRUE(image.Black(p.x, p.y)) << c.zpl << " " << p.x << "," << p.y;
    for (const Point& p : c.white)
      EXPECT_FALSE(image.Black(p.x, p.y)) << c.zpl << " " << p.x << "," << p.y;
  }
  // A filled disc has the area of one; reversed over a box it leaves a hole
  // of exactly its pixels.
  const long disc = FindInk(Image("^XA^FO100,100^GC100,50^FS^XZ")).count;
  EXPECT_NEAR(disc, 7854, 80);
  EXPECT_EQ(FindInk(Image("^XA^FO100,100^GB100,100,100^FS^FO100,100^FR^GC100,50^FS^XZ")).count,
            10000 - disc);
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

  // Lines past the last overwrite it.
  const Bitmap capped = Image("^XA^FO50,50^FB300,2,0,L^A0N,40,40^FD" + text + "^FS^XZ");
  EXPECT_EQ(InkRowRuns(capped), 2);
  const long two = FindInk(Image("^XA^FO50,50^FB300,2^A0N,40,40^FDone\\&more^FS^XZ"), 0, 90).count;
  const long three =
      FindInk(Image("^XA^FO50,50^FB300,2^A0N,40,40^FDone\\&more\\&ocean^FS^XZ"), 0, 90).count;
  EXPECT_GT(three, two);

  // The hanging indent moves every line after the first.
  const Bitmap indented =
      Image("^XA^FO50,50^FB300,3,0,L,40^A0N,40,40^FDaaa aaa aaa aaa aaa aaa aaa aaa^FS^XZ");
  EXPECT_EQ(FindInk(indented, 0, 90, -1, 130).x0 - FindInk(indented, 0, 50, -1, 90).x0, 40);

  // In a block a doubled backslash is one; a block narrower than the font
  // prints nothing.
  const Bitmap one_backslash = Image("^XA^FO50,50^FB300,1^A0N,40^FDa\\\\b^FS^XZ");
  EXPECT_TRUE(one_backslash.bits == Image("^XA^FO50,50^FB300,1^A0N,40^FDa\\b^FS^XZ").bits);
  EXPECT_FALSE(one_backslash.bits == Image("^XA^FO50,50^A0N,40^FDa\\\\b^FS^XZ").bits);
  EXPECT_EQ(FindInk(Image("^XA^FO50,50^FB0,1^A0N,40^FDabc^FS^XZ")).count, 0);
  EXPECT_EQ(FindInk(Image("^XA^FO50,50^FB30,1^A0N,40^FDabc^FS^XZ")).count, 0);

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

TEST_F(LabelRendererTest, BitmapFontsKeepTheirCells) {
  // Font D twice magnified: 36 x 20 cells, one every 24 dots, capitals
  // standing on the baseline 28 dots down.
  const Bitmap one = Image("^XA^FO100,100^ADN,36,20^FDH^FS^XZ");
  const Bitmap two = Image("^XA^FO100,100^ADN,36,20^FDHH^FS^XZ");
  const Bitmap shifted = Image("^XA^FO124,100^ADN,36,20^FDH^FS^XZ");
  const InkBox h = FindInk(one);
  EXPECT_GE(h.x0, 100);
  EXPECT_LE(h.x1, 124);
  EXPECT_NEAR(h.y1, 128, 1);
  EXPECT_GE(h.y0, 100);
  EXPECT_GT(h.height(), 24);
  long differences = 0;
  for (int y = 0; y < two.height; ++y) {
    for (int x = 0; x < two.width; ++x) {
      differences += two.Black(x, y) != (one.Black(x, y) || shifted.Black(x, y));
    }
  }
  EXPECT_EQ(differences, 0);
  // Font B has capitals only; ^FT alone continues after the field before.
  EXPECT_TRUE(Image("^XA^FO50,50^ABN^FDabc^FS^XZ").bits ==
              Image("^XA^FO50,50^ABN^FDABC^FS^XZ").bits);
  EXPECT_TRUE(Image("^XA^FT50,100^ADN,36,20^FDAB^FS^FT^ADN,36,20^FDCD^FS^XZ").bits ==
              Image("^XA^FT50,100^ADN,36,20^FDABCD^FS^XZ").bits);
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    unsigned v = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

std::string Zb64(const std::string& id, const std::string& bytes) {
  std::string data = bytes;
  if (id == "Z64") {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    data.assign(size, '\0');
    compress(reinterpret_cast<Bytef*>(data.data()), &size,
             reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()));
    data.resize(size);
  }
  const std::string encoded = Base64(data);
  char crc[8];
  std::snprintf(crc, sizeof crc, "%04X", ZebraCrc16(encoded));
  return ":" + id + ":" + encoded + ":" + crc;
}

TEST_F(LabelRendererTest, ImagesDrawTheirExactPixels) {
  EXPECT_EQ(ZebraCrc16("123456789"), 0x31C3);  // the CRC-16/CCITT check value
  const std::vector<std::string> expected = {
      "########........",
      "....########....",
      "....########....",
  };
  const std::string bytes("\xFF\x00\x0F\xF0\x0F\xF0", 6);
  const std::string binary("\x5E\x7E\x7E\x5E", 4);  // "^~~^"
  struct Case {
    const char* name;
    std::string zpl;
    std::vector<std::string> pixels;
  } cases[] = {
      {"hex", "^XA^FO10,20^GFA,6,6,2,FF000FF00FF0^FS^XZ", expected},
      {"shorthand", "^XA^FO10,20^GFA,6,6,2,HF,0HF0:^FS^XZ", expected},
      {"row fills",
       "^XA^FO10,20^GFA,6,6,2,!,0FF0^FS^XZ",
       {"################", "................", "....########...."}},
      {"counts of 20",
       "^XA^FO10,20^GFA,20,20,10,gF!^FS^XZ",
       {std::string(80, '#'), std::string(80, '#')}},
      {"Z64", "^XA^FO10,20^GFA,6,6,2," + Zb64("Z64", bytes) + "^FS^XZ", expected},
      {"B64", "^XA^FO10,20^GFA,6,6,2," + Zb64("B64", bytes) + "^FS^XZ", expected},
      {"binary",
       "^XA^FO10,20^GFB,4,4,2," + binary + "^FS^XZ",
       {".#.####..######.", ".######..#.####."}},
      {"stored and magnified",
       "~DGR:IMG.GRF,6,2,FF000FF00FF0^XA^FO10,20^XGR:IMG.GRF,2,1^FS^XZ",
       {std::string(16, '#') + std::string(16, '.'),
        std::string(8, '.') + std::string(16, '#') + std::string(8, '.'),
        std::string(8, '.') + std::string(16, '#') + std::string(8, '.')}},
      {"recalled", "~DGR:IMG.GRF,6,2,FF000FF00FF0^XA^FO10,20^IMR:IMG.GRF^FS^XZ", expected},
  };
  for (const auto& c : cases) {
    const Bitmap image = Image(c.zpl);
    const int width = static_cast<int>(c.pixels[0].size());
    const int height = static_cast<int>(c.pixels.size());
    EXPECT_EQ(Pixels(image, 10, 20, width, height), c.pixels) << c.name;
    EXPECT_EQ(FindInk(image).count, FindInk(image, 10, 20, 10 + width, 20 + height).count)
        << c.name;
  }
  // A CRC that does not match: nothing drawn, and said why.
  std::string bad = Zb64("Z64", bytes);
  bad.back() = bad.back() == '0' ? '1' : '0';
  const RenderedLabel refused = Draw("^XA^FO10,20^GFA,6,6,2," + bad + "^FS^XZ");
  EXPECT_EQ(FindInk(refused.bitmap).count, 0);
  EXPECT_TRUE(HasWarning(refused, "^GF image not drawn: its image data fails its CRC"));
}

#ifdef ZPLPORT_PRINTER_BARCODES
// What a reader program prints for the label's picture, given as its
// file's last argument; nullopt when the program is not installed.
std::optional<std::string> ReadWith(const std::string& reader, const Bitmap& bitmap) {
  const std::string program = reader.substr(0, reader.find(' '));
  if (std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) != 0) return std::nullopt;
  zplport::testing::ScopedTempDir folder;
  const auto png = folder.path() / "label.png";
  if (!WritePng(png, bitmap).empty()) return "";
  std::string out;
  if (FILE* pipe = popen((reader + " " + png.string() + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// The ink alone, with a quiet zone round it: ZXing finds a small symbol
// on a large label only so.
Bitmap InkWithMargin(const Bitmap& image, int margin) {
  const InkBox ink = FindInk(image);
  Bitmap out(ink.width() + 2 * margin, ink.height() + 2 * margin);
  for (int y = ink.y0; y < ink.y1; ++y) {
    for (int x = ink.x0; x < ink.x1; ++x) {
      if (image.Black(x, y)) out.Set(x - ink.x0 + margin, y - ink.y0 + margin);
    }
  }
  return out;
}

// What zbarimg reads in the label, one "TYPE:data" a line.
std::optional<std::string> ReadBarcodes(const Bitmap& bitmap) {
  return ReadWith("zbarimg --nodbus -q", bitmap);
}

TEST_F(LabelRendererTest, BarcodesReadBackAsSent) {
  struct Case {
    std::string zpl;
    const char* read;
  } cases[] = {
      {"^BY2^FO50,50^BCN,100^FD>:ABC123^FS", "CODE-128:ABC123\n"},
      {"^BY2^FO50,50^BCN,100^FD>;12345678>6AB^FS", "CODE-128:12345678AB\n"},
      {"^BY2^FO50,50^BCN,100^FDA>0B><C^FS", "CODE-128:A>B^C\n"},
      {"^BY2^FO300,50^BCR,100^FDTURNED^FS", "CODE-128:TURNED\n"},
      {"^BY3,2.5^FO50,50^B3N,N,100^FDCODE 39^FS", "CODE-39:CODE 39\n"},
      {"^BY2^FO50,50^BEN,100^FD400638133393^FS", "EAN-13:4006381333931\n"},
      {"^BY3^FO50,50^B2N,100^FD1234567^FS", "I2/5:01234567\n"},
      {"^FO50,50^BQN,2,5^FDQA,https://example.com/label?n=1^FS",
       "QR-Code:https://example.com/label?n=1\n"},
      {"^FO50,50^BQN,2,5^FDMM,AHELLO 123^FS", "QR-Code:HELLO 123\n"},
      // Whatever they are, the first three characters are the switches.
      {"^FO50,50^BQN,2,5^FDEXAMPLE CODE^FS", "QR-Code:MPLE CODE\n"},
      // Manual numeric and alphanumeric input keep only their own characters.
      {"^FO50,50^BQN,2,5^FDMM,APOST|2514ee|JAN^FS", "QR-Code:POST2514JAN\n"},
      {"^FO50,50^BQN,2,5^FDLM,N12-34 56^FS", "QR-Code:123456\n"},
      // Mode D: identifiers in parentheses, a GTIN's check digit added, a
      // separator after data of no fixed length; mode U: an SSCC and its
      // check digit; mode A: the data as sent, ">" too.
      {"^BY2^FO50,50^BCN,100,N,N,N,D^FD(01)0950600013435(10)ABC123(21)X^FS",
       "CODE-128:010950600013435210ABC123\x1D"
       "21X\n"},
      {"^BY2^FO50,50^BCN,100,N,N,N,U^FD0012345678901234567^FS", "CODE-128:00123456789012345675\n"},
      {"^BY2^FO50,50^BCN,100,N,N,N,A^FD>;12345678AB^FS", "CODE-128:>;12345678AB\n"},
  };
  for (const auto& c : cases) {
    const auto read = ReadBarcodes(Image("^XA" + c.zpl + "^XZ"));
    if (!read) GTEST_SKIP() << "zbarimg is not installed (zbar-tools)";
    EXPECT_EQ(*read, c.read) << c.zpl;
  }
  // A level the printer does not know is M: 18 characters fit version 1
  // (21 modules) at M, where Q would take version 2.
  EXPECT_EQ(FindInk(Image("^XA^FO50,50^BQN,2,4^FDEXAMPLES OF SEVENTEEN^FS^XZ")).width(), 21 * 4);
  // Without a start code the printer stays in subset B: digits take a
  // character each, where subset C packs two.
  EXPECT_EQ(FindInk(Image("^XA^BY2^FO50,50^BCN,100,N^FD12345678^FS^XZ")).width(),
            2 * (10 * 11 + 13));
  EXPECT_EQ(FindInk(Image("^XA^BY2^FO50,50^BCN,100,N^FD>;12345678^FS^XZ")).width(),
            2 * (6 * 11 + 13));
  // FNC1 after the start code takes a character of its own.
  EXPECT_EQ(FindInk(Image("^XA^BY2^FO50,50^BCN,100,N^FD>;>812345678^FS^XZ")).width(),
            2 * (7 * 11 + 13));
  // The interpretation line, font A magnified by the module width, lies 6
  // dots under the bars, or above them with the bars left at the origin.
  const InkBox below = FindInk(Image("^XA^BY2^FO50,50^BCN,100,Y^FD123^FS^XZ"), 0, 151);
  EXPECT_EQ(below.y0, 156);
  EXPECT_EQ(below.height(), 2 * 7);
  EXPECT_EQ(FindInk(Image("^XA^BY2^FO50,50^BCN,100,N^FD123^FS^XZ")).y1, 150);
  const InkBox above = FindInk(Image("^XA^BY3^FO50,100^BCN,100,Y,Y^FD123^FS^XZ"));
  EXPECT_EQ(above.y0, 100 - 12 - 3 * 7);
  EXPECT_EQ(above.y1, 200);
}

// Aztec symbols as ZXing reads them, in every mode and shift, binary
// bytes, the largest codewords (12 bits from 23 layers on), and the sizes
// ^BO asks for; a size too small draws nothing and says why.
TEST_F(LabelRendererTest, AztecReadsBackAsSent) {
  // 1 399 bytes take 12-bit codewords. ZXing 1.4 reads ten or more pad
  // bits after binary as another shift's bytes, which 1 400 would leave.
  std::string binary;
  for (int i = 0; i < 1399; ++i) binary.push_back(static_cast<char>(0x80 + i % 128));
  struct Case {
    const char* size;
    std::string data;
    int modules;  // 0: not checked
  } cases[] = {
      // A lone capital shifted, runs latched; 23 % as the usual previews size it.
      {"23", "Part:123;Warehouse:BYZA;Position:12-12-1", 23},
      // 95 % of 528 codewords is 501.6: 501 leave room for its 27.
      {"95", "Part:123;Warehouse:BYZA;Position:12-12-1", 79},
      // Punctuation shifted, paired and latched; mixed; digits with , and .
      {"0", "a.b, c: d\r\n!!!?? @\\|~^_ x YZ 9,5. Q\x7F", 0},
      // Control bytes, and binary ones in a shift of more than 31.
      {"0", std::string("\x01\x1B\0", 3) + binary.substr(0, 40) + "tail", 0},
      {"0", binary, 0},
      // Full range, 10 layers: 54 modules and three lines of reference grid.
      {"210", "zplport", 57},
  };
  for (const auto& c : cases) {
    std::string escaped;
    for (const char ch : c.data) {
      const auto u = static_cast<unsigned char>(ch);
      if (u < 0x20 || u >= 0x7F || ch == '^' || ch == '~' || ch == '_') {
        char hex[4];
        std::snprintf(hex, sizeof hex, "_%02X", u);
        escaped += hex;
      } else {
        escaped.push_back(ch);
      }
    }
    const Bitmap image =
        Image("^XA^FO20,20^BON,4,N," + std::string(c.size) + "^FH^FD" + escaped + "^FS^XZ");
    const auto read = ReadWith("ZXingReader -format Aztec -bytes", InkWithMargin(image, 20));
    if (!read) GTEST_SKIP() << "ZXingReader is not installed (zxing-cpp-tools)";
    EXPECT_TRUE(*read == c.data) << c.size << ", " << c.data.size() << " bytes: read "
                                 << read->size() << " bytes";
    if (c.modules > 0) {
      EXPECT_EQ(FindInk(image).width(), 4 * c.modules) << c.size;
    }
  }
  const RenderedLabel refused =
      Draw("^XA^FO20,20^BON,4,N,101^FD" + std::string(20, 'A') + "^FS^XZ");
  EXPECT_EQ(FindInk(refused.bitmap).count, 0);
  EXPECT_TRUE(
      HasWarning(refused, "^BO not drawn: data too long for a compact Aztec symbol of 1 layer"));
}

// A QR code sits below ^FO by ^BY's bar height, and three modules above ^FT.
TEST_F(LabelRendererTest, QrCodeSitsWherePrintersPutIt) {
  const InkBox below = FindInk(Image("^XA^BY2,3,40^FO50,50^BQN,2,4^FDQA,zplport^FS^XZ"));
  EXPECT_EQ(below.x0, 50);
  EXPECT_EQ(below.y0, 90);
  const InkBox above = FindInk(Image("^XA^FT50,300^BQN,2,4^FDQA,zplport^FS^XZ"));
  EXPECT_EQ(above.x0, 50);
  EXPECT_EQ(above.y1, 300 - 3 * 4);
  EXPECT_EQ(above.height(), below.height());
}

// zbar reads neither DataMatrix nor PDF417: their drawing is held against
// the encoder's own modules instead.
TEST_F(LabelRendererTest, MatrixBarcodesDrawTheirModules) {
  struct Case {
    std::string zpl;
    int module_width, row_height;
  } cases[] = {
      {"^XA^FO20,30^BXN,4,200^FDzplport DataMatrix^FS^XZ", 4, 4},
      {"^XA^BY2^FO20,30^B7N,6,2^FDzplport PDF417^FS^XZ", 2, 6},
      {"^XA^FO20,30^BON,4,N,0^FDzplport Aztec^FS^XZ", 4, 4},
      // 90 % error correction: a larger symbol than the default.
      {"^XA^FO20,30^BON,3,N,90^FDzplport Aztec^FS^XZ", 3, 3},
  };
  for (const auto& c : cases) {
    const ZplJob job = ParseZpl(c.zpl);
    ASSERT_EQ(job.labels.size(), 1u);
    const ZplField& field = job.labels[0].fields.at(0);
    std::string error;
    const auto symbol = EncodeBarcode(field.barcode, field.data, &error);
    ASSERT_TRUE(symbol.has_value()) << error;
    const Bitmap image = Image(c.zpl);
    long wrong = 0;
    for (int row = 0; row < symbol->rows; ++row) {
      for (int column = 0; column < symbol->columns; ++column) {
        wrong +=
            image.Black(20 + column * c.module_width + c.module_width / 2,
                        30 + row * c.row_height + c.row_height / 2) != symbol->dark(column, row);
      }
    }
    EXPECT_EQ(wrong, 0) << c.zpl;
    const InkBox ink = FindInk(image);
    EXPECT_EQ(ink.width(), symbol->columns * c.module_width) << c.zpl;
    EXPECT_EQ(ink.height(), symbol->rows * c.row_height) << c.zpl;
  }
  std::string error;
  Barcode aztec;
  aztec.symbology = Symbology::kAztec;
  const auto by_default = EncodeBarcode(aztec, "zplport Aztec", &error);
  aztec.aztec_size = 90;
  const auto stronger = EncodeBarcode(aztec, "zplport Aztec", &error);
  ASSERT_TRUE(by_default && stronger) << error;
  EXPECT_GT(stronger->columns, by_default->columns);
  // A share is of the symbol's codewords, rounded down: "zplport Aztec"
  // takes 13 of a 15-module symbol's 17, which leaves 4 to correction
  // (23.5 %), so 45 % takes 19 modules.
  for (const auto& [share, columns] : {std::pair{23, 15}, std::pair{45, 19}}) {
    aztec.aztec_size = share;
    const auto symbol = EncodeBarcode(aztec, "zplport Aztec", &error);
    ASSERT_TRUE(symbol.has_value()) << error;
    EXPECT_EQ(symbol->columns, columns) << share << " %";
  }
}

// MaxiCode: hexagons in rows, odd rows half a module to the right, in a
// symbol of 200 x 193 dots at 203 dpi with the finder's rings at its centre.
TEST_F(LabelRendererTest, MaxiCodeDrawsHexagonsAroundItsRings) {
  const std::string zpl =
      "^XA^FO20,30^BD2^FD001840100450000[)>\x1E"
      "01^FS^XZ";
  const ZplJob job = ParseZpl(zpl);
  ASSERT_EQ(job.labels.size(), 1u);
  const ZplField& field = job.labels[0].fields.at(0);
  std::string error;
  const auto symbol = EncodeBarcode(field.barcode, field.data, &error);
  ASSERT_TRUE(symbol.has_value()) << error;
  ASSERT_EQ(symbol->columns, 30);
  ASSERT_EQ(symbol->rows, 33);
  const Bitmap image = Image(zpl);
  const InkBox ink = FindInk(image);
  EXPECT_NEAR(ink.width(), 200, 4);
  EXPECT_NEAR(ink.height(), 193, 4);
  const double pitch = 200.0 / 30.5;
  const double row_pitch = 193.0 / 33;
  long wrong = 0;
  for (int row = 0; row < 33; ++row) {
    for (int column = 0; column < 30; ++column) {
      const double x = 20 + (column + 0.5 + (row % 2) * 0.5) * pitch;
      const double y = 30 + (row + 0.5) * row_pitch;
      if (std::hypot(x - 120, y - 126.5) < 5 * pitch) continue;  // the rings
      wrong += image.Black(static_cast<int>(x), static_cast<int>(y)) != symbol->dark(column, row);
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_FALSE(image.Black(120, 126));                           // the light centre
  EXPECT_TRUE(image.Black(120 + static_cast<int>(pitch), 126));  // the first ring
}
#endif

// A label past its time or memory is reported, not drawn, and soon.
TEST(JobRendererBudgetTest, LabelsOverBudgetAreReportedNotDrawn) {
  std::string slow = "^XA^PW32000^LL32000";
  for (int i = 0; i < 120; ++i) {
    slow += "^FO" + std::to_string(i * 60) + "," + std::to_string(i * 60) + "^A0N,3000,3000^FDW" +
            std::to_string(i) + "^FS";
  }
  slow += "^XZ";
  struct Case {
    const char* name;
    RendererOptions options;
    std::string zpl;
    const char* note;  // "" when the label is drawn, or found too slow on a busy machine
  } cases[] = {
      {"time",
       {.label_time = std::chrono::milliseconds(1)},
       slow,
       "label 1 not drawn: took longer than 1 ms"},
      {"page memory",
       {.dpi = 600},
       "^XA^PW32000^LL32000^FO0,0^GB9,9^FS^XZ",
       "label 1 not drawn: its page of 24000 x 24000 dots needs more than 64 MB"},
      {"image memory",
       {},
       "^XA^FO0,0^GFA,128000000,128000000,4000,FF^FS^XZ",
       "label 1 not drawn: its image needs more than 64 MB"},
      // 120 glyphs of 3000 dots, drawn within the default budget.
      {"large glyphs", {}, slow, ""},
  };
  for (const auto& c : cases) {
    zplport::testing::ScopedTempDir folder;
    JobRenderer renderer(c.options);
    const auto start = std::chrono::steady_clock::now();
    const JobReport report = renderer.Process(c.zpl, folder.path(), "job");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.name;
    EXPECT_EQ(report.labels, 1) << c.name;
    if (*c.note == '\0') {
      EXPECT_TRUE(report.files == std::vector<std::string>{"job-1.png"} ||
                  report.notes ==
                      std::vector<std::string>{"label 1 not drawn: took longer than 2000 ms"})
          << c.name;
    } else {
      EXPECT_EQ(report.notes, std::vector<std::string>{c.note}) << c.name;
      EXPECT_TRUE(report.files.empty()) << c.name;
      EXPECT_FALSE(std::filesystem::exists(folder.path() / "job-1.png")) << c.name;
    }
  }
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
