// Paths that come from the GBK INI files, and paths shown to the operator.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zplport {

// A path written in Config.ini (GBK bytes) as the OS names it.
std::filesystem::path PathFromGbk(std::string_view gbk);

// A path as UTF-8 for a message.
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace zplport
