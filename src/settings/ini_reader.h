// The one routine through which settings and text lines are read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zplport::modINI {

// Every caller in the tool passes this buffer size.
inline constexpr std::int32_t kValueBufferSize = 65536;

// Reads [section] key from `file`. A ";" anywhere starts a comment, and
// "<S:BR>" becomes CR LF. Returns `default_value` when the value is empty or
// missing; never fails.
std::string GetIniValue(std::string_view section, std::string_view key,
                        const std::filesystem::path& file, std::string_view default_value,
                        std::int32_t size);

}  // namespace zplport::modINI
