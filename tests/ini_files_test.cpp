#include "settings/ini_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/program_folder.h"
#include "settings/profile_file.h"
#include "support/temp_dir.h"

namespace zplport {
namespace {

class IniFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { OverrideProgramFolderForTesting(dir_.path()); }
  void TearDown() override { OverrideProgramFolderForTesting({}); }

  testing::ScopedTempDir dir_;
};

TEST_F(IniFilesTest, FilesLiveInTheProgramFolder) {
  EXPECT_EQ(ConfigFilePath(), dir_.path() / "Config.ini");
  EXPECT_EQ(ContentFilePath(), dir_.path() / "file.ini");
}

TEST_F(IniFilesTest, FolderIsAskedForAtEveryRead) {
  dir_.Write("Config.ini", "[prtmod]\nprtmod=ip\n");
  testing::ScopedTempDir other;
  other.Write("Config.ini", "[prtmod]\nprtmod=LPT2:\n");
  EXPECT_EQ(ReadSetting("prtmod", "prtmod"), "ip");
  OverrideProgramFolderForTesting(other.path());
  EXPECT_EQ(ConfigFilePath(), other.path() / "Config.ini");
  EXPECT_EQ(ReadSetting("prtmod", "prtmod"), "LPT2:");
}

#ifndef _WIN32
TEST_F(IniFilesTest, OtherLetterCasesAreFoundWhereNamesAreCaseSensitive) {
  struct Case {
    std::vector<const char*> present;
    const char* config;
    const char* content;
  } cases[] = {
      {{}, "Config.ini", "file.ini"},
      {{"config.ini", "FILE.INI"}, "config.ini", "FILE.INI"},
      {{"CONFIG.INI"}, "CONFIG.INI", "file.ini"},
      {{"CONFIG.INI", "config.ini"}, "config.ini", "file.ini"},
      {{"CONFIG.INI", "config.ini", "Config.ini", "FILE.INI", "file.ini"},
       "Config.ini",
       "file.ini"},
  };
  for (const auto& c : cases) {
    testing::ScopedTempDir folder;
    OverrideProgramFolderForTesting(folder.path());
    for (const char* name : c.present) folder.Write(name, "[prtmod]\nprtmod=" + std::string(name));
    EXPECT_EQ(ConfigFilePath(), folder.path() / c.config) << c.config;
    EXPECT_EQ(ContentFilePath(), folder.path() / c.content) << c.content;
  }
}

TEST_F(IniFilesTest, LowerCaseConfigIsRead) {
  dir_.Write("config.ini", "[prtmod]\nprtmod=tcpip\n");
  EXPECT_EQ(ReadSetting("prtmod", "prtmod"), "tcpip");
}
#endif

TEST_F(IniFilesTest, SettingsAsWritten) {
  dir_.Write("Config.ini",
             "[prtmod]\n"
             "prtmod=LPT1: ;parallel\n"
             "darkness=15;set by hand\n"
             "[zuobiao]\n"
             "zbx=50\n"
             "zby=\n"
             "[font]\n"
             "a = 40 \n"
             "[network]\n"
             "printerip= 192.168.1.20 \n"
             "printerport=9100\n");
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"prtmod", "prtmod", "LPT1: "},
      {"prtmod", "darkness", "15"},
      {"zuobiao", "zbx", "50"},
      {"zuobiao", "zby", ""},
      {"zuobiao", "zbx1", ""},
      {"font", "a", "40"},
      {"font", "b", ""},
      {"network", "printerip", "192.168.1.20"},
      {"network", "printerport", "9100"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadSetting(c.section, c.key), c.expected) << c.key;
}

TEST_F(IniFilesTest, MissingConfigMakesEverySettingEmpty) {
  const char* keys[][2] = {
      {"prtmod", "prtmod"},     {"prtmod", "darkness"},    {"zuobiao", "zbx"}, {"zuobiao", "zby"},
      {"zuobiao", "zbx1"},      {"zuobiao", "zby1"},       {"font", "a"},      {"font", "b"},
      {"network", "printerip"}, {"network", "printerport"}};
  for (const auto& k : keys) EXPECT_EQ(ReadSetting(k[0], k[1]), "") << k[1];
}

TEST_F(IniFilesTest, ContentKeyIsPlainDecimal) {
  EXPECT_EQ(ContentKey(0), "c(0)");
  EXPECT_EQ(ContentKey(7), "c(7)");
  EXPECT_EQ(ContentKey(10), "c(10)");
  EXPECT_EQ(ContentKey(32767), "c(32767)");
}

TEST_F(IniFilesTest, ContentLines) {
  dir_.Write("file.ini",
             "[content]\n"
             "c(0)=;note\n"
             "c(1)=A<S:BR>B\n"
             "c(2)=\xD6\xD0\xCE\xC4\xD7\xD6\xB7\xFB\n"
             "c(3)=\n"
             "c(10)=ten\n"
             "c(01)=leading zero\n");
  EXPECT_EQ(ReadContentLine(0), "");
  EXPECT_EQ(ReadContentLine(1), "A\r\nB");
  EXPECT_EQ(ReadContentLine(2), "\xD6\xD0\xCE\xC4\xD7\xD6\xB7\xFB");
  EXPECT_EQ(ReadContentLine(3), "");
  EXPECT_EQ(ReadContentLine(4), "");
  EXPECT_EQ(ReadContentLine(10), "ten");
  // Settings are not looked for in file.ini, nor lines in Config.ini.
  dir_.Write("Config.ini", "[content]\nc(5)=wrong file\n");
  EXPECT_EQ(ReadContentLine(5), "");
}

TEST_F(IniFilesTest, EditShowsAtTheNextRead) {
  dir_.Write("file.ini", "[content]\nc(0)=AAAA\n");
  EXPECT_EQ(ReadContentLine(0), "AAAA");
  dir_.Write("file.ini", "[content]\nc(0)=BBBB\n");
  EXPECT_EQ(ReadContentLine(0), "BBBB");
}

}  // namespace
}  // namespace zplport
