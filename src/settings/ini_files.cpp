#include "settings/ini_files.h"

#include <initializer_list>

#include "platform/file_system.h"
#include "platform/program_folder.h"
#include "settings/ini_reader.h"
#include "settings/profile_file.h"

namespace zplport {
namespace {

std::filesystem::path InFolder(const std::filesystem::path& folder, const char* name) {
#ifdef _WIN32
  // The folder comes without a trailing separator, and a drive root such as
  // "C:" must become "C:\name", not the drive-relative "C:name".
  std::filesystem::path::string_type joined = folder.native();
  joined += L'\\';
  for (const char* c = name; *c != '\0'; ++c) joined += static_cast<wchar_t>(*c);
  return joined;
#else
  return folder / name;
#endif
}

// `names` lists the spellings to try, the usual one first. Windows file
// names ignore case, so there the first is the only one. Inside a request
// the answer is worked out once per reading of the file, not per value.
std::filesystem::path FindInProgramFolder(std::initializer_list<const char*> names) {
  auto find = [names] {
    const std::filesystem::path folder = ProgramFolder();
#ifndef _WIN32
    for (const char* name : names) {
      std::filesystem::path candidate = InFolder(folder, name);
      if (PathExists(candidate)) return candidate;
    }
#endif
    return InFolder(folder, *names.begin());
  };
  if (IniReadingScope* scope = IniReadingScope::Current())
    return scope->Remember(*names.begin(), find);
  return find();
}

}  // namespace

std::filesystem::path ConfigFilePath() {
  return FindInProgramFolder({"Config.ini", "config.ini", "CONFIG.INI"});
}

std::filesystem::path ContentFilePath() { return FindInProgramFolder({"file.ini", "FILE.INI"}); }

std::string ReadSetting(std::string_view section, std::string_view key) {
  return modINI::GetIniValue(section, key, ConfigFilePath(), "", modINI::kValueBufferSize);
}

std::string ContentKey(int number) { return "c(" + std::to_string(number) + ")"; }

std::string ReadContentLine(int number) {
  return modINI::GetIniValue("content", ContentKey(number), ContentFilePath(), "",
                             modINI::kValueBufferSize);
}

}  // namespace zplport
