// Where Config.ini and file.ini live and how their values are named.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zplport {

// Config.ini beside the executable. Where file names are case-sensitive,
// config.ini or CONFIG.INI is used when Config.ini is absent.
std::filesystem::path ConfigFilePath();

// file.ini beside the executable, with the same fallbacks (FILE.INI).
std::filesystem::path ContentFilePath();

// A Config.ini value with the empty default and the standard buffer size.
std::string ReadSetting(std::string_view section, std::string_view key);

// The key of text line `number` in [content]: "c(" number ")".
std::string ContentKey(int number);

// Text line `number` of file.ini.
std::string ReadContentLine(int number);

}  // namespace zplport
