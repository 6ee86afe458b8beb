#include "settings/ini_files.h"

#include <span>
#include <system_error>

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

// The spellings to try, the usual one first. Windows file names ignore
// case, so there the first is the only one.
constexpr const char* kConfigNames[] = {"Config.ini", "config.ini", "CONFIG.INI"};
constexpr const char* kContentNames[] = {"file.ini", "FILE.INI"};

std::filesystem::path FindInProgramFolder(std::span<const char* const> names) {
  const std::filesystem::path folder = ProgramFolder();
#ifndef _WIN32
  for (const char* name : names) {
    std::filesystem::path candidate = InFolder(folder, name);
    std::error_code unknown;  // counts as absent
    if (std::filesystem::exists(candidate, unknown)) return candidate;
  }
#endif
  return InFolder(folder, names.front());
}

// Inside a request the file is looked for once per reading of it, not once
// per value.
std::string ReadFrom(std::span<const char* const> names, std::string_view section,
                     std::string_view key) {
  IniReadingScope* scope = IniReadingScope::Current();
  std::filesystem::path own;
  const std::filesystem::path& file =
      scope ? scope->Remember(names.front(), [names] { return FindInProgramFolder(names); })
            : (own = FindInProgramFolder(names));
  return modINI::GetIniValue(section, key, file, "", modINI::kValueBufferSize);
}

}  // namespace

std::filesystem::path ConfigFilePath() { return FindInProgramFolder(kConfigNames); }

std::filesystem::path ContentFilePath() { return FindInProgramFolder(kContentNames); }

std::string ReadSetting(std::string_view section, std::string_view key) {
  return ReadFrom(kConfigNames, section, key);
}

std::string ContentKey(int number) { return "c(" + std::to_string(number) + ")"; }

std::string ReadContentLine(int number) {
  return ReadFrom(kContentNames, "content", ContentKey(number));
}

}  // namespace zplport
