#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace zplport {
namespace {

using namespace std::string_literals;

class ProfileFileTest : public ::testing::Test {
 protected:
  // Each call gets a file of its own, so no case depends on another.
  std::optional<std::string> ReadFrom(const std::string& text, std::string_view section,
                                      std::string_view key, std::size_t size = 65536) {
    const auto file = dir_.Write("p" + std::to_string(files_++) + ".ini", text);
    return ReadProfileString(section, key, file, size);
  }

  testing::ScopedTempDir dir_;
  int files_ = 0;
};

TEST_F(ProfileFileTest, LineRules) {
  const std::optional<std::string> none;
  struct Case {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  } cases[] = {
      {"plain", "[s]\nk=v\n", "s", "k", "v"},
      {"names ignore ASCII case", "[SeCt]\nKeY=v", "sECT", "kEy", "v"},
      {"first key wins", "[s]\nk=1\nK=2\n", "s", "k", "1"},
      {"later section of the same name is ignored", "[s]\nk=1\n[S]\nk=2\nj=3\n", "s", "j", none},
      {"other sections are not searched", "[a]\nk=1\n[b]\nj=2\n", "a", "j", none},
      {"header runs to the last ]", "[a]b]\nk=v\n", "a]b", "k", "v"},
      {"text after the last ] is ignored", "[a] tail\nk=v\n", "a", "k", "v"},
      {"[ without ] is a line of the current section", "[s]\n[x=1\nk=v\n", "s", "[x", "1"},
      {"... and does not end the section", "[s]\n[x=1\nk=v\n", "s", "k", "v"},
      {"white space around names and values", " \t[ s ] \n\t k \v= \f v w \t\n", "s", "k", "v w"},
      {"names asked for are trimmed too", "[s]\nk=v\n", " s\t", " k ", "v"},
      {"no = means no value", "[s]\nk\n", "s", "k", none},
      {"a key without = still hides a later one", "[s]\nk\nk=v\n", "s", "k", none},
      {"empty value is present", "[s]\nk=\n", "s", "k", ""},
      {"= inside the value", "[s]\nk=a=b\n", "s", "k", "a=b"},
      {"; is kept inside a value", "[s]\nk=15;note\n", "s", "k", "15;note"},
      {"; line is a comment", "[s]\n;k=v\n", "s", "k", none},
      {"indented ; line is a comment", "[s]\n  ;k=v\n", "s", "k", none},
      {"# is not special", "[s]\n#k=v\n", "s", "#k", "v"},
      {"keys before any header form the nameless section", "k=v\n[s]\n", "", "k", "v"},
      {"... nor under the first header", "k=v\n[s]\n", "s", "k", none},
      {"[] repeats the nameless section and is ignored", "[]\nk=v\n", "", "k", none},
      {"... as is [ ]", "j=1\n[ ]\nk=v\n", " ", "k", none},
      {"CR ends lines", "[s]\rj=1\rk=2", "s", "k", "2"},
      {"CRLF ends lines", "[s]\r\nk=2\r\n", "s", "k", "2"},
      {"mixed CR, LF, CRLF", "[s]\r\na=1\rb=2\nk=3\r\n", "s", "b", "2"},
      {"LF CR is two line ends", "[s]\n\rk=3\n\r", "s", "k", "3"},
      {"BOM at the start is skipped", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
      {"BOM elsewhere is text", "\n\xEF\xBB\xBF[s]\nk=v\n", "s", "k", none},
      {"NUL ends the value", "[s]\nk=ab\0cd\nj=w\n"s, "s", "k", "ab"},
      {"... and the next line still counts", "[s]\nk=ab\0cd\nj=w\n"s, "s", "j", "w"},
      {"... but the line is trimmed as a whole", "[s]\nk=ab \0cd\n"s, "s", "k", "ab "},
      {"... and split at an = after it", "[s]\nk\0x=v\n"s, "s", "k", "v"},
      {"... and a quote after it pairs with nothing", "[s]\nk=\"ab\0\"\n"s, "s", "k", "\"ab"},
      {"Ctrl-Z is white space", "\x1A[s]\x1A\nk\x1A=\x1Av\x1A\n", "s", "k", "v"},
      {"second GBK byte that looks like a capital does not fold", "[\x81\x41]\nk=v\n", "\x81\x61",
       "k", none},
      {"... in key names either", "[s]\n\x81\x41=v\n", "s", "\x81\x41", "v"},
      {"... nor matches the small letter", "[s]\n\x81\x41=v\n", "s", "\x81\x61", none},
      {"second GBK byte ] closes no header", "[s]\n[\x81]=1\n", "s", "[\x81]", "1"},
      {"GBK bytes unchanged", "[content]\nc(0)=\xD6\xD0\xCE\xC4\xD7\xD6\xB7\xFB\n", "content",
       "c(0)", "\xD6\xD0\xCE\xC4\xD7\xD6\xB7\xFB"},
      {"GBK section name", "[\xCD\xF8\xC2\xE7]\nk=v\n", "\xCD\xF8\xC2\xE7", "k", "v"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFrom(c.text, c.section, c.key), c.expected) << c.name;
  }
}

TEST_F(ProfileFileTest, OneMatchingPairOfQuotesIsRemoved) {
  struct Case {
    const char* written;
    const char* expected;
  } cases[] = {
      {"\"v\"", "v"},   {"'v'", "v"}, {" ' v ' ", " v "}, {"\"\"", ""},   {"\"a\"b\"", "a\"b"},
      {"\"v'", "\"v'"}, {"\"", "\""}, {"'", "'"},         {"v\"", "v\""}, {"\"\"v\"\"", "\"v\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFrom("[s]\nk=" + std::string(c.written) + "\n", "s", "k"), c.expected)
        << c.written;
  }
}

TEST_F(ProfileFileTest, CutsToSizeMinusOneWithoutSplittingGbk) {
  struct Case {
    std::string value;
    std::size_t size;
    std::string expected;
  } cases[] = {
      {"abcdef", 0, ""},
      {"abcdef", 1, ""},
      {"abcdef", 2, "a"},
      {"abcdef", 6, "abcde"},
      {"abcdef", 7, "abcdef"},
      {"\xD6\xD0\xCE\xC4", 4, "\xD6\xD0"},
      {"\xD6\xD0\xCE\xC4", 5, "\xD6\xD0\xCE\xC4"},
      {"\xD6\xD0\xCE\xC4", 2, ""},
      {"a\xD6\xD0", 3, "a"},
      // 0x40..0x7E trail bytes look like ASCII but still belong to the lead.
      {"\x81\x40\x81\x40", 4, "\x81\x40"},
      // Where pairs start depends on everything before: here the last byte
      // kept is a trail byte that could also be a lead byte.
      {"a\xD6\xD6\xD6\xD6", 4, "a\xD6\xD6"},
      // A lead byte without a valid trail byte stands alone.
      {"\x81\x30", 2, "\x81"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFrom("[s]\nk=" + c.value + "\n", "s", "k", c.size), c.expected)
        << c.value << " size " << c.size;
  }
}

TEST_F(ProfileFileTest, MissingFileOrFolderReadsEmpty) {
  EXPECT_EQ(ReadProfileString("s", "k", dir_.path() / "absent.ini", 100), std::nullopt);
  std::filesystem::create_directory(dir_.path() / "folder.ini");
  EXPECT_EQ(ReadProfileString("s", "k", dir_.path() / "folder.ini", 100), std::nullopt);
}

TEST_F(ProfileFileTest, SameSizeEditShowsAtTheNextRead) {
  // Rewrites within one tick of the file-system clock leave size and times
  // alone; every one must still be seen.
  const auto file = dir_.Write("edit.ini", "[s]\nk=0\n");
  for (int i = 1; i <= 20; ++i) {
    const std::string digit(1, static_cast<char>('0' + i % 10));
    dir_.Write("edit.ini", "[s]\nk=" + digit + "\n");
    EXPECT_EQ(ReadProfileString("s", "k", file, 100), digit) << i;
  }
}

TEST_F(ProfileFileTest, SameSizeEditOfASettledFileShows) {
  const auto file = dir_.Write("edit.ini", "[s]\nk=1\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(ReadProfileString("s", "k", file, 100), "1");
  ASSERT_EQ(ReadProfileString("s", "k", file, 100), "1");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  dir_.Write("edit.ini", "[s]\nk=2\n");
  EXPECT_EQ(ReadProfileString("s", "k", file, 100), "2");
}

TEST_F(ProfileFileTest, ReadingOfAScopeServesUntilItIsStale) {
  const auto file = dir_.Write("edit.ini", "[s]\nk=1\n");
  IniReadingScope scope;
  ASSERT_EQ(ReadProfileString("s", "k", file, 100), "1");
  dir_.Write("edit.ini", "[s]\nk=2\n");
  EXPECT_EQ(ReadProfileString("s", "k", file, 100), "1");
  std::this_thread::sleep_for(IniReadingScope::kFreshFor + std::chrono::milliseconds(20));
  EXPECT_EQ(ReadProfileString("s", "k", file, 100), "2");
}

TEST_F(ProfileFileTest, ReplacedByRenameShowsAtTheNextRead) {
  const auto file = dir_.Write("a.ini", "[s]\nk=old\n");
  ASSERT_EQ(ReadProfileString("s", "k", file, 100), "old");
  std::filesystem::rename(dir_.Write("b.ini", "[s]\nk=new\n"), file);
  EXPECT_EQ(ReadProfileString("s", "k", file, 100), "new");
}

TEST_F(ProfileFileTest, DeletedFileReadsEmpty) {
  const auto file = dir_.Write("a.ini", "[s]\nk=v\n");
  ASSERT_EQ(ReadProfileString("s", "k", file, 100), "v");
  std::filesystem::remove(file);
  EXPECT_EQ(ReadProfileString("s", "k", file, 100), std::nullopt);
  dir_.Write("a.ini", "[s]\nk=back\n");
  EXPECT_EQ(ReadProfileString("s", "k", file, 100), "back");
}

TEST_F(ProfileFileTest, ManyKeysOnLinesEndingInCrAlone) {
  std::string text = "[s]\r";
  for (int i = 0; i < 1000; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\r";
  EXPECT_EQ(ReadFrom(text, "s", "k999"), "999");
  EXPECT_EQ(ReadFrom(text, "s", "k0"), "0");
  EXPECT_EQ(ReadFrom(text, "s", "k1000"), std::nullopt);
}

TEST_F(ProfileFileTest, ManyFilesAtOnceStayCorrect) {
  // Readings of different files never answer for one another.
  std::vector<std::filesystem::path> files;
  for (int i = 0; i < 40; ++i) {
    files.push_back(dir_.Write("f" + std::to_string(i) + ".ini", "[s]\nk=" + std::to_string(i)));
  }
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 40; ++i) {
      EXPECT_EQ(ReadProfileString("s", "k", files[i], 100), std::to_string(i));
    }
  }
}

}  // namespace
}  // namespace zplport
