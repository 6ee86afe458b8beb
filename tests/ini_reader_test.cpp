#include "settings/ini_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "settings/profile_file.h"
#include "support/temp_dir.h"

namespace zplport::modINI {
namespace {

class GetIniValueTest : public ::testing::Test {
 protected:
  testing::ScopedTempDir dir_;
};

TEST_F(GetIniValueTest, CommentCutAndLineBreakMarker) {
  const auto file = dir_.Write("t.ini",
                               "[prtmod]\n"
                               "prtmod=LPT1: ;parallel\n"
                               "darkness=15;set by hand\n"
                               "[content]\n"
                               "c(0)=;note\n"
                               "c(1)=A<S:BR>B\n"
                               "c(2)=A<s:br>B\n"
                               "c(3)=\xD6\xD0\xCE\xC4\xD7\xD6\xB7\xFB\n"
                               "c(4)=\n"
                               "c(5)=<S:BR><S:BR>x<S:BR>\n"
                               "c(6)=<S:<S:BR>BR>\n"
                               "c(7)=a<S:BR>b;c<S:BR>d\n"
                               "c(8)=<S:BR\n"
                               "c(9)=a;b;c\n"
                               "c(10)=  spaced  \n"
                               "c(11)=\"quoted ;x\"\n");
  struct Case {
    const char* section;
    const char* key;
    std::string expected;
  } cases[] = {
      {"prtmod", "prtmod", "LPT1: "},
      {"prtmod", "darkness", "15"},
      {"content", "c(0)", ""},
      {"content", "c(1)", "A\r\nB"},
      {"content", "c(2)", "A<s:br>B"},
      {"content", "c(3)", "\xD6\xD0\xCE\xC4\xD7\xD6\xB7\xFB"},
      {"content", "c(4)", ""},
      {"content", "c(5)", "\r\n\r\nx\r\n"},
      // Replaced text is not scanned again.
      {"content", "c(6)", "<S:\r\nBR>"},
      {"content", "c(7)", "a\r\nb"},
      {"content", "c(8)", "<S:BR"},
      {"content", "c(9)", "a"},
      {"content", "c(10)", "spaced"},
      {"content", "c(11)", "quoted "},
      {"content", "c(99)", ""},
      {"nosuch", "c(1)", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetIniValue(c.section, c.key, file, "", kValueBufferSize), c.expected) << c.key;
  }
}

TEST_F(GetIniValueTest, DefaultForEmptyOrMissingIsReturnedUnchanged) {
  const auto file = dir_.Write("t.ini", "[s]\nempty=\ncomment=;x\nbare\n");
  for (const char* key : {"empty", "comment", "bare", "absent"}) {
    EXPECT_EQ(GetIniValue("s", key, file, "d<S:BR>", kValueBufferSize), "d<S:BR>") << key;
  }
  EXPECT_EQ(GetIniValue("s", "k", dir_.path() / "absent.ini", "d", kValueBufferSize), "d");
}

TEST_F(GetIniValueTest, SizeIsTheBufferInCharacters) {
  const auto file = dir_.Write("t.ini", "[s]\nk=LPT1:\nm=15;x\nb=a<S:BR>b\n");
  struct Case {
    const char* key;
    std::int32_t size;
    std::string expected;
  } cases[] = {
      {"k", -1, "dflt"},  {"k", 0, "dflt"},  {"k", 1, "dflt"},         {"k", 2, "L"},
      {"k", 6, "LPT1:"},  {"m", 3, "15"},    {"m", 4, "15"},           {"b", 6, "a<S:B"},
      {"b", 7, "a<S:BR"}, {"b", 8, "a\r\n"}, {"k", INT32_MIN, "dflt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetIniValue("s", c.key, file, "dflt", c.size), c.expected)
        << c.key << " size " << c.size;
  }
}

TEST_F(GetIniValueTest, LongValuesAreCutToTheBuffer) {
  const std::string a65534(65534, 'a');
  struct Case {
    const char* name;
    std::string value;
    std::string expected;
  } cases[] = {
      {"65535 bytes fit", std::string(65535, 'x'), std::string(65535, 'x')},
      {"65536 bytes lose one", std::string(65536, 'x'), std::string(65535, 'x')},
      {"70000 bytes", std::string(70000, 'x'), std::string(65535, 'x')},
      {"GBK character ending at the limit fits", "a" + a65534.substr(2) + "\xD6\xD0",
       "a" + a65534.substr(2) + "\xD6\xD0"},
      {"GBK character across the limit is dropped", a65534 + "\xD6\xD0", a65534},
      {"run of lead-like bytes is cut by pairs", "a" + std::string(65536, '\xD6'),
       "a" + std::string(65534, '\xD6')},
  };
  for (const auto& c : cases) {
    const auto file = dir_.Write("long.ini", "[content]\nc(0)=" + c.value + "\nc(1)=next\n");
    const std::string got = GetIniValue("content", "c(0)", file, "", kValueBufferSize);
    EXPECT_EQ(got.size(), c.expected.size()) << c.name;
    EXPECT_EQ(got, c.expected) << c.name;
    EXPECT_EQ(GetIniValue("content", "c(1)", file, "", kValueBufferSize), "next") << c.name;
  }
}

}  // namespace
}  // namespace zplport::modINI
