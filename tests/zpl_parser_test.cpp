// The loopback printer is built for POSIX systems only.
#ifndef _WIN32

#include "printer/zpl_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "printer/job_renderer.h"

namespace zplport::printer {
namespace {

using namespace std::string_literals;

const std::string kOurLabel =
    "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDABC^FS^FO50,150^A0,40,40^FD123^FS^PQ1^XZ";

bool HasWarningStartingWith(const ZplJob& job, const std::string& start) {
  return std::any_of(job.warnings.begin(), job.warnings.end(),
                     [&](const std::string& w) { return w.rfind(start, 0) == 0; });
}

// The only text field of the only label, or an empty field when that shape
// is not there (the test's other expectations then fail).
ZplField OnlyField(const ZplJob& job) {
  if (job.labels.size() != 1 || job.labels[0].fields.size() != 1) {
    ADD_FAILURE() << "expected one label with one field, got " << job.labels.size() << " labels";
    return {};
  }
  return job.labels[0].fields[0];
}

TEST(ZplParserTest, ReadsTheToolsLabel) {
  const ZplJob job = ParseZpl(kOurLabel);
  EXPECT_EQ(job.formats, 2);
  ASSERT_EQ(job.labels.size(), 1u);
  const ZplLabel& label = job.labels[0];
  EXPECT_EQ(label.quantity, 1);
  EXPECT_FALSE(label.width.has_value());
  EXPECT_FALSE(label.length.has_value());
  ASSERT_EQ(label.fields.size(), 2u);
  const ZplField& first = label.fields[0];
  EXPECT_EQ(first.kind, ZplField::Kind::kText);
  EXPECT_EQ(first.x, 50);
  EXPECT_EQ(first.y, 50);
  EXPECT_FALSE(first.baseline_origin);
  EXPECT_EQ(first.text, U"ABC");
  EXPECT_EQ(first.font, '0');
  EXPECT_EQ(first.font_height, 40);
  EXPECT_EQ(first.font_width, 40);
  EXPECT_EQ(first.orientation, Orientation::kNormal);
  EXPECT_EQ(label.fields[1].y, 150);
  EXPECT_EQ(label.fields[1].text, U"123");
  EXPECT_EQ(job.darkness, "15");
  EXPECT_EQ(job.speed, "B");
  EXPECT_EQ(job.charset, "");
  EXPECT_TRUE(job.unsupported.empty());
  EXPECT_TRUE(job.warnings.empty()) << job.warnings.front();
}

TEST(ZplParserTest, CountsEveryFormatThatPrintsSomething) {
  const std::string form = "^XA^DFR:FORM.ZPL^FS^FO10,10^A0,30^FN1^FS^XZ";
  struct Case {
    const char* name;
    std::string zpl;
    int labels, formats;
  } cases[] = {
      {"circle", "^XA^FO10,10^GC100,5^FS^XZ", 1, 1},
      {"diagonal", "^XA^GD100,50^FS^XZ", 1, 1},
      {"ellipse", "^XA^GE100,50,2^FS^XZ", 1, 1},
      {"image", "^XA^FO0,0^GFA,2,2,1,FF00^FS^XZ", 1, 1},
      {"stored image", "~DGR:LOGO.GRF,2,1,FF00^XA^XGR:LOGO.GRF,1,1^FS^XZ", 1, 1},
      // The binary bytes "^~" are image data, not commands.
      {"binary image", "^XA^GFB,2,2,1,^~^FS^XZ", 1, 1},
      {"bar code", "^XA^BY2^BCN,80^FD12345^FS^XZ", 1, 1},
      {"stored format", form, 0, 1},
      {"recalled format", form + "^XA^XFR:FORM.ZPL^FS^FN1^FDdata^FS^XZ", 1, 2},
      {"field number without data", "^XA^FO10,10^FN1^FS^XZ", 0, 1},
  };
  for (const auto& c : cases) {
    const LabelCount count = CountLabels(c.zpl);
    EXPECT_EQ(count.labels, c.labels) << c.name;
    EXPECT_EQ(count.formats, c.formats) << c.name;
  }
}

TEST(ZplParserTest, RecalledFormatTakesTheFieldData) {
  const ZplJob job = ParseZpl(
      "^XA^DFR:ADDR.ZPL^FS^FO50,60^A0N,30,30^FN1^FS^FO50,100^A0N,30,30^FN2^FDdefault^FS^XZ"
      "^XA^XFR:ADDR.ZPL^FS^FN1^FDAlice^FS^PQ2^XZ");
  EXPECT_EQ(job.formats, 2);
  ASSERT_EQ(job.labels.size(), 1u);
  EXPECT_EQ(job.labels[0].quantity, 2);
  ASSERT_EQ(job.labels[0].fields.size(), 2u);
  const ZplField& name = job.labels[0].fields[0];
  EXPECT_EQ(name.text, U"Alice");
  EXPECT_EQ(name.x, 50);
  EXPECT_EQ(name.y, 60);
  EXPECT_EQ(name.font_height, 30);
  EXPECT_EQ(job.labels[0].fields[1].text, U"default");
}

TEST(ZplParserTest, DecodesFieldText) {
  struct Case {
    const char* name;
    std::string zpl;
    std::u32string text;
  } cases[] = {
      {"GBK by default", "^XA^FD\xD6\xD0\xCE\xC4 A1^FS^XZ", U"中文 A1"},
      // A caret is a command even after a GBK lead byte; such characters
      // come through ^FH.
      {"GBK lead byte before a caret", "^XA^FD\x81^FS^XZ", U"\uFFFD"},
      {"GBK character with a caret byte", "^XA^FH^FD\x81_5E^FS^XZ", U"\u4E5B"},
      {"UTF-8 after ^CI28", "^XA^CI28^FD\xE4\xB8\xAD\xE6\x96\x87^FS^XZ", U"中文"},
      {"hex escapes after ^FH", "^XA^FH^FD_41_5e_7E^FS^XZ", U"A^~"},
      {"hex escape of GBK bytes", "^XA^FH^FD_D6_D0^FS^XZ", U"中"},
      {"own escape character", "^XA^FH\\^FD\\41_41^FS^XZ", U"A_41"},
      {"no ^FH, no escapes", "^XA^FD_41^FS^XZ", U"_41"},
      {"broken escape kept", "^XA^FH^FD_4^FS^XZ", U"_4"},
      {"line ends are ignored", "^XA^FDa\r\nb^FS^XZ", U"ab"},
      {"undecodable GBK",
       "^XA^FD\xFF"
       "a^FS^XZ",
       U"\uFFFDa"},
      {"bad UTF-8", "^XA^CI28^FD\xC3(^FS^XZ", U"\uFFFD("},
      {"Windows-1252 after ^CI27", "^XA^CI27^FD\x80^FS^XZ", U"\u20AC"},
      {"code page 850 after ^CI13", "^XA^CI13^FD\x81^FS^XZ", U"\u00FC"},
      {"UTF-16 big-endian after ^CI29", "^XA^CI29^FD\x4E\x2D^FS^XZ", U"中"},
      {"UTF-16 little-endian after ^CI30", "^XA^CI30^FD\x2D\x4E^FS^XZ", U"中"},
      {"GBK again after ^CI26", "^XA^CI28^CI26^FD\xD6\xD0^FS^XZ", U"中"},
      // ^CI 0 to 12: code page 850 with national characters.
      {"backslash as a cent sign after ^CI0", "^XA^CI0^FDa\\b\x81^FS^XZ", U"a\u00A2b\u00FC"},
      {"German after ^CI6", "^XA^CI6^FD@[\\]{|}#^FS^XZ",
       U"\u00A7\u00C4\u00D6\u00DC\u00E4\u00F6\u00FC#"},
      // ^GS: A to E are its symbols, the UL and CSA marks as circled letters.
      {"^GS symbols", "^XA^GS^FDABCDEF^FS^XZ", U"\u00AE\u00A9\u2122\u24CA\u24B8F"},
      // ^CC and ^CT change the prefixes from the next character on, for
      // later jobs too; ^CD the delimiter.
      {"another caret", "^XA^CC!!FO1,2!FDa^b!FS!CC^^FS^XZ", U"a^b"},
      {"another tilde", "^XA~CT+^FDa~b^FS+CT~^XZ", U"a~b"},
  };
  for (const auto& c : cases) EXPECT_EQ(OnlyField(ParseZpl(c.zpl)).text, c.text) << c.name;
}

TEST(ZplParserTest, PrefixesAndDelimiterChangeWhereTheyAreSent) {
  PrinterState state;
  ParseOptions options;
  const ZplJob first = ParseZpl("^XA^CD;^CC!!FO10;20!GB30;40;5!FS!XZ", state, options);
  ASSERT_EQ(first.labels.size(), 1u);
  const ZplField& box = first.labels[0].fields.at(0);
  EXPECT_EQ(box.x, 10);
  EXPECT_EQ(box.y, 20);
  EXPECT_EQ(box.box_width, 30);
  EXPECT_EQ(box.box_height, 40);
  EXPECT_EQ(box.thickness, 5);
  EXPECT_TRUE(first.warnings.empty()) << first.warnings.front();
  // The next job starts with them.
  const ZplJob second = ParseZpl("!XA!FO1;2!FDx!FS!XZ", state, options);
  ASSERT_EQ(second.labels.size(), 1u);
  EXPECT_EQ(second.labels[0].fields.at(0).y, 2);
}

TEST(ZplParserTest, EscapesApplyToOneFieldOnly) {
  const ZplJob job = ParseZpl("^XA^FH^FD_41^FS^FD_41^FS^XZ");
  ASSERT_EQ(job.labels.size(), 1u);
  ASSERT_EQ(job.labels[0].fields.size(), 2u);
  EXPECT_EQ(job.labels[0].fields[0].text, U"A");
  EXPECT_EQ(job.labels[0].fields[1].text, U"_41");
}

TEST(ZplParserTest, WorksOutFontSizeAndOrientation) {
  struct Case {
    const char* zpl;
    int height, width;
    Orientation orientation;
  } cases[] = {
      {"^XA^A0N,40,20^FDx^FS^XZ", 40, 20, Orientation::kNormal},
      {"^XA^A0R,40^FDx^FS^XZ", 40, 40, Orientation::kRotated},
      {"^XA^A0I,,30^FDx^FS^XZ", 30, 30, Orientation::kInverted},
      {"^XA^a0b,25,25^FDx^FS^XZ", 25, 25, Orientation::kBottomUp},
      {"^XA^CF0,30^FDx^FS^XZ", 30, 30, Orientation::kNormal},
      {"^XA^CF0,30,15^FWR^A0,50^FDx^FS^XZ", 50, 50, Orientation::kRotated},
      {"^XA^FWB^A0N,50^FDx^FS^XZ", 50, 50, Orientation::kNormal},
      {"^XA^FDx^FS^XZ", 9, 5, Orientation::kNormal},  // the printer's default font A
      {"^XA^A0,0,0^FDx^FS^XZ", 9, 5, Orientation::kNormal},
      {"^XA^A0,100000,5^FDx^FS^XZ", 3000, 5, Orientation::kNormal},
      // Bitmap fonts: whole magnifications of their matrix.
      {"^XA^ADN,36,20^FDx^FS^XZ", 36, 20, Orientation::kNormal},
      {"^XA^AD,40^FDx^FS^XZ", 36, 20, Orientation::kNormal},
      {"^XA^AGB^FDx^FS^XZ", 60, 40, Orientation::kBottomUp},
      {"^XA^CWG,E:SIMSUN.TTF^AGN,30^FDx^FS^XZ", 30, 30, Orientation::kNormal},
      // A font the printer lacks: ^CF's, at the sizes asked for.
      {"^XA^A1,,10^FDx^FS^XZ", 18, 10, Orientation::kNormal},
      {"^XA^CF0^A1,30,20^FDx^FS^XZ", 30, 20, Orientation::kNormal},
  };
  for (const auto& c : cases) {
    const ZplField field = OnlyField(ParseZpl(c.zpl));
    EXPECT_EQ(field.font_height, c.height) << c.zpl;
    EXPECT_EQ(field.font_width, c.width) << c.zpl;
    EXPECT_EQ(field.orientation, c.orientation) << c.zpl;
  }
  EXPECT_TRUE(HasWarningStartingWith(ParseZpl("^XA^A0,100000^FDx^FS^XZ"),
                                     "^A0 height 100000 clamped to 3000"));
  EXPECT_TRUE(HasWarningStartingWith(ParseZpl("^XA^A0,0^FDx^FS^XZ"), "^A0 height 0 ignored"));
  EXPECT_TRUE(HasWarningStartingWith(ParseZpl("^XA^A5^FDx^FS^XZ"), "font 5 drawn as font A"));

  // A bitmap font's cell: the next character 2 gap dots after, the
  // baseline 14 dots down, in font D; font E is finer at 300 dpi.
  const ZplField d = OnlyField(ParseZpl("^XA^ADN,36,20^FDx^FS^XZ"));
  EXPECT_EQ(d.advance, 24);
  EXPECT_EQ(d.baseline, 28);
  PrinterState state;
  const ZplField e = OnlyField(ParseZpl("^XA^AE^FDx^FS^XZ", state, {.dpi = 300}));
  EXPECT_EQ(e.font_height, 42);
  EXPECT_EQ(e.font_width, 20);
}

TEST(ZplParserTest, HomeAndPageSettingsCarryOverToLaterFormats) {
  const ZplJob job = ParseZpl(
      "^XA^LH10,20^PW400^LL300^FO5,6^FDa^FS^XZ"
      "^XA^FT7,8^FDb^FS^XZ");
  ASSERT_EQ(job.labels.size(), 2u);
  for (const ZplLabel& label : job.labels) {
    EXPECT_EQ(label.width, 400);
    EXPECT_EQ(label.length, 300);
  }
  EXPECT_EQ(job.labels[0].fields[0].x, 15);
  EXPECT_EQ(job.labels[0].fields[0].y, 26);
  EXPECT_EQ(job.labels[1].fields[0].x, 17);
  EXPECT_EQ(job.labels[1].fields[0].y, 28);
  EXPECT_TRUE(job.labels[1].fields[0].baseline_origin);
  // A new job starts from the defaults.
  EXPECT_FALSE(ParseZpl("^XA^FDa^FS^XZ").labels[0].width.has_value());
}

TEST(ZplParserTest, ReadsBoxes) {
  struct Case {
    const char* zpl;
    int width, height, thickness;
    bool white;
    int rounding;
  } cases[] = {
      {"^XA^FO1,2^GB100,50,5^FS^XZ", 100, 50, 5, false, 0},
      {"^XA^GB^FS^XZ", 1, 1, 1, false, 0},
      {"^XA^GB2,2,10^FS^XZ", 10, 10, 10, false, 0},
      {"^XA^GB100,0,3,W^FS^XZ", 100, 3, 3, true, 0},
      {"^XA^GB100,100,2,B,4^FS^XZ", 100, 100, 2, false, 4},
  };
  for (const auto& c : cases) {
    const ZplField field = OnlyField(ParseZpl(c.zpl));
    EXPECT_EQ(field.kind, ZplField::Kind::kBox) << c.zpl;
    EXPECT_EQ(field.box_width, c.width) << c.zpl;
    EXPECT_EQ(field.box_height, c.height) << c.zpl;
    EXPECT_EQ(field.thickness, c.thickness) << c.zpl;
    EXPECT_EQ(field.white, c.white) << c.zpl;
    EXPECT_EQ(field.rounding, c.rounding) << c.zpl;
  }
}

TEST(ZplParserTest, ReadsBlocksReverseAndQuantity) {
  const ZplJob job = ParseZpl("^XA^FO1,1^FR^FB300,4,-5,J,2^FDtext^FS^FDplain^FS^PQ3,0,1,Y^XZ");
  ASSERT_EQ(job.labels.size(), 1u);
  const ZplLabel& label = job.labels[0];
  EXPECT_EQ(label.quantity, 3);
  ASSERT_EQ(label.fields.size(), 2u);
  EXPECT_TRUE(label.fields[0].reverse);
  ASSERT_TRUE(label.fields[0].block.has_value());
  EXPECT_EQ(label.fields[0].block->width, 300);
  EXPECT_EQ(label.fields[0].block->max_lines, 4);
  EXPECT_EQ(label.fields[0].block->line_spacing, -5);
  EXPECT_EQ(label.fields[0].block->justification, 'J');
  EXPECT_EQ(label.fields[0].block->hanging_indent, 2);
  // Field settings end with the field.
  EXPECT_FALSE(label.fields[1].reverse);
  EXPECT_FALSE(label.fields[1].block.has_value());
}

TEST(ZplParserTest, ListsWhatItDoesNotDrawAndGoesOn) {
  const ZplJob job =
      ParseZpl("~JA^XA^BY3^FO10,10^B1N,N,100^FD12345^FS^FO20,200^A0,30^FDafter^FS^MMT^b1^XZ^CI28");
  EXPECT_EQ(job.unsupported, (std::vector<std::string>{"~JA", "^B1", "^MM"}));
  ASSERT_EQ(job.labels.size(), 1u);
  // The bar code's data is not drawn as text; the field after it is.
  ASSERT_EQ(job.labels[0].fields.size(), 2u);
  EXPECT_EQ(job.labels[0].fields[0].kind, ZplField::Kind::kUndrawn);
  EXPECT_EQ(job.labels[0].fields[0].command, "^B1");
  EXPECT_EQ(job.labels[0].fields[1].kind, ZplField::Kind::kText);
  EXPECT_EQ(job.labels[0].fields[1].text, U"after");
  EXPECT_TRUE(HasWarningStartingWith(job, "^CI outside ^XA...^XZ ignored"));
}

TEST(ZplParserTest, WhatThePrinterKeepsOutlivesTheJob) {
  PrinterState state;
  const ParseOptions options;
  ParseZpl(
      "~DGR:DOT.GRF,1,1,80^XA^CI28^PW400^LL300^LH10,20^FWR^CF0,40^BY3^XZ"
      "^XA^DFR:F.ZPL^FS^FO1,2^FN1^FS^XZ",
      state, options);
  const ZplJob next =
      ParseZpl("^XA^FO5,5^FD\xE4\xB8\xAD^FS^FO0,0^XGR:DOT.GRF^FS^XZ^XA^XFR:F.ZPL^FN1^FDx^FS^XZ",
               state, options);
  ASSERT_EQ(next.labels.size(), 2u);
  const ZplLabel& label = next.labels[0];
  EXPECT_EQ(label.width, 400);
  EXPECT_EQ(label.length, 300);
  ASSERT_EQ(label.fields.size(), 2u);
  EXPECT_EQ(label.fields[0].x, 15);
  EXPECT_EQ(label.fields[0].y, 25);
  EXPECT_EQ(label.fields[0].orientation, Orientation::kRotated);
  EXPECT_EQ(label.fields[0].font_height, 40);
  EXPECT_EQ(label.fields[0].text, U"中");
  EXPECT_NE(label.fields[1].graphic, nullptr);
  EXPECT_EQ(next.labels[1].fields.at(0).text, U"x");

  // Until deleted.
  ParseZpl("^XA^IDR:*.*^XZ", state, options);
  const ZplJob after = ParseZpl("^XA^XGR:DOT.GRF^FS^XZ^XA^XFR:F.ZPL^FN1^FDx^FS^XZ", state, options);
  EXPECT_TRUE(HasWarningStartingWith(after, "^XG DOT.GRF: no such graphic"));
  EXPECT_TRUE(HasWarningStartingWith(after, "^XF F.ZPL: no such format"));
}

TEST(ZplParserTest, TextWithoutCharsetFollowsTheOptions) {
  struct Case {
    const char* encoding;
    std::string zpl;
    std::u32string text;
  } cases[] = {
      {"gbk", "^XA^FD\xD6\xD0^FS^XZ", U"中"},
      {"utf-8", "^XA^FD\xE4\xB8\xAD^FS^XZ", U"中"},
      {"cp1252", "^XA^FD\x80^FS^XZ", U"\u20AC"},
  };
  for (const auto& c : cases) {
    PrinterState state;
    EXPECT_EQ(OnlyField(ParseZpl(c.zpl, state, {.encoding = c.encoding})).text, c.text)
        << c.encoding;
  }
}

TEST(ZplParserTest, KeepsNoMoreOfAFieldThanThePrinter) {
  const std::string huge(50u << 20, 'x');
  const auto start = std::chrono::steady_clock::now();
  const ZplJob job = ParseZpl("^XA^FD" + huge + "^FS^XZ");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const ZplField field = OnlyField(job);
  EXPECT_EQ(field.data.size(), 3072u);
  EXPECT_EQ(field.text.size(), 3072u);
  EXPECT_TRUE(HasWarningStartingWith(job, "field data cut to 3072 bytes"));
}

TEST(ZplParserTest, ReadsBarcodesWithTheirDefaults) {
  PrinterState state;
  const ZplJob job = ParseZpl(
      "^XA^BY3,2.5,80^FO10,10^BCN,,N,N,N,A^FD123^FS^FO10,200^B3R^FDA^FS"
      "^FO300,10^BQN,2,,H^FDQA,x^FS^XZ",
      state, {.dpi = 300});
  ASSERT_EQ(job.labels.size(), 1u);
  const auto& fields = job.labels[0].fields;
  ASSERT_EQ(fields.size(), 3u);
  const Barcode& code128 = fields[0].barcode;
  EXPECT_EQ(code128.symbology, Symbology::kCode128);
  EXPECT_EQ(code128.module_width, 3);
  EXPECT_DOUBLE_EQ(code128.ratio, 2.5);
  EXPECT_EQ(code128.height, 80);
  EXPECT_FALSE(code128.interpretation);
  EXPECT_EQ(code128.mode, 'A');
  EXPECT_EQ(fields[0].data, "123");
  EXPECT_EQ(fields[1].barcode.symbology, Symbology::kCode39);
  EXPECT_EQ(fields[1].barcode.height, 80);  // ^BY's
  EXPECT_EQ(fields[1].orientation, Orientation::kRotated);
  EXPECT_EQ(fields[2].barcode.magnification, 3);  // the default at 300 dpi
  EXPECT_EQ(fields[2].barcode.error_correction, 'H');
}

TEST(ZplParserTest, TypesetFieldWithoutPositionContinues) {
  const ZplJob job = ParseZpl("^XA^LH5,5^FT10,20^FDa^FS^FT^FDb^FS^FT,40^FDc^FS^XZ");
  ASSERT_EQ(job.labels.size(), 1u);
  const auto& fields = job.labels[0].fields;
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_FALSE(fields[0].continues_x || fields[0].continues_y);
  EXPECT_TRUE(fields[1].continues_x && fields[1].continues_y);
  EXPECT_TRUE(fields[2].continues_x);
  EXPECT_FALSE(fields[2].continues_y);
  EXPECT_EQ(fields[2].y, 45);
}

// ~HS reports the label length the printer holds: the last ^LL, 6 inches
// before any.
TEST(JobRendererTest, KeepsTheLabelLengthForStatusRequests) {
  JobRenderer renderer({.dpi = 300});
  EXPECT_EQ(renderer.label_length(), 1800);
  renderer.Process("^XA^LL500^XZ", "", "");
  EXPECT_EQ(renderer.label_length(), 500);
  const JobReport report = renderer.Process("^XA^FO1,1^GB10,10^FS^XZ", "", "");
  EXPECT_EQ(report.labels, 1);
  EXPECT_EQ(renderer.label_length(), 500);
}

TEST(ZplParserTest, SurvivesMalformedInput) {
  struct Case {
    const char* name;
    std::string zpl;
    std::size_t labels;
    const char* warning;  // the start of one expected warning
  } cases[] = {
      {"unterminated format", "^XA^FO10,10^FDabc^FS", 0, "format cut off before ^XZ"},
      {"huge origin", "^XA^FO99999999,99999999^FDa^FS^XZ", 1, "^FO x 99999999 clamped to 32000"},
      {"negative origin", "^XA^FO-5,10^FDa^FS^XZ", 1, "^FO x -5 clamped to 0"},
      {"command cut at the end", "^XA^FDa^FS^XZ^F", 1, "command cut off at the end"},
      {"lone caret", "^XA^FDa^FS^XZ^", 1, "command cut off at the end"},
      {"^A cut at the end", "^XA^FDa^FS^XZ^A", 1, "command cut off at the end"},
      {"^XZ alone", "^XZ", 0, "^XZ outside ^XA...^XZ ignored"},
      {"no ^FS", "^XA^FDa^XZ", 1, "field not ended by ^FS"},
      {"^XA twice", "^XA^FDa^FS^XA^FDb^FS^XZ", 1, "^XA inside a format"},
      {"huge page", "^XA^PW99999999^LL-3^FDa^FS^XZ", 1, "^PW 99999999 clamped to 32000"},
      {"control bytes after a caret", "^XA^\x01\x02^FDa^FS^XZ", 1, "bytes that are no command"},
  };
  for (const auto& c : cases) {
    const ZplJob job = ParseZpl(c.zpl);
    EXPECT_EQ(job.labels.size(), c.labels) << c.name;
    EXPECT_TRUE(HasWarningStartingWith(job, c.warning)) << c.name;
  }
  const ZplField origin = OnlyField(ParseZpl("^XA^FO99999999,99999999^FDa^FS^XZ"));
  EXPECT_EQ(origin.x, 32000);
  EXPECT_EQ(origin.y, 32000);
}

TEST(ZplParserTest, BinaryGarbageKeepsTheListsBounded) {
  std::string garbage;
  std::uint32_t state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245 + 12345;
    const char c = static_cast<char>(state >> 16);
    garbage.push_back(i % 3 == 0 ? '^' : c);
  }
  const ZplJob job = ParseZpl(garbage + kOurLabel);
  EXPECT_LE(job.unsupported.size(), 100u);
  EXPECT_LE(job.warnings.size(), 100u);
  EXPECT_FALSE(job.unsupported.empty());
}

}  // namespace
}  // namespace zplport::printer

#endif  // _WIN32
