#include "label/label.h"

#include <gtest/gtest.h>

namespace zplport {
namespace {

const PrintSettings kExample{"15", "50", "50", "50", "150", "40", "40"};

TEST(ComposeLabelTest, WorkedExampleIsByteExact) {
  EXPECT_EQ(ComposeLabel(kExample, "ABC", "123"),
            "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDABC^FS^FO50,150^A0,40,40^FD123^FS^PQ1^XZ");
}

TEST(ComposeLabelTest, EachSettingLandsInItsOwnPlace) {
  // Distinct values catch a swapped or repeated piece.
  const PrintSettings s{"D", "X0", "Y0", "X1", "Y1", "H", "W"};
  EXPECT_EQ(ComposeLabel(s, "L1", "L2"),
            "^XA^PRB^XZ~SDD^XA^FOX0,Y0^A0,H,W^FDL1^FS^FOX1,Y1^A0,H,W^FDL2^FS^PQ1^XZ");
}

TEST(ComposeLabelTest, VerbatimInsertion) {
  struct Case {
    const char* name;
    PrintSettings settings;
    std::string line1, line2, expected;
  } cases[] = {
      {"all settings empty",
       {},
       "A",
       "B",
       "^XA^PRB^XZ~SD^XA^FO,^A0,,^FDA^FS^FO,^A0,,^FDB^FS^PQ1^XZ"},
      {"empty second line still makes a field", kExample, "A", "",
       "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDA^FS^FO50,150^A0,40,40^FD^FS^PQ1^XZ"},
      {"line break and ZPL characters pass unchanged",
       {},
       "a\r\nb",
       "^FS~JR",
       "^XA^PRB^XZ~SD^XA^FO,^A0,,^FDa\r\nb^FS^FO,^A0,,^FD^FS~JR^FS^PQ1^XZ"},
      {"settings are not trimmed",
       {" 15 ", "", "", "", "", "", ""},
       "",
       "",
       "^XA^PRB^XZ~SD 15 ^XA^FO,^A0,,^FD^FS^FO,^A0,,^FD^FS^PQ1^XZ"},
      {"GBK bytes are kept",
       {},
       "\xD6\xD0\xCE\xC4",
       "\x81\x40",
       "^XA^PRB^XZ~SD^XA^FO,^A0,,^FD\xD6\xD0\xCE\xC4^FS^FO,^A0,,^FD\x81\x40^FS^PQ1^XZ"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComposeLabel(c.settings, c.line1, c.line2), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace zplport
