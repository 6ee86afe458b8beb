// Our own profile-string service: reads one value from an INI file the way
// the Windows profile service does, byte for byte, without converting the
// GBK text. Parsed files are kept in memory and re-validated against the
// file's stamp at every read, so an edit shows at the very next read while a
// long run of reads stays linear.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zplport {

// The raw value of `key` in `section`, cut to at most `size` - 1 bytes
// without splitting a two-byte GBK character. Nothing when the file, section
// or key is missing or the key has no "=". Names match ASCII
// case-insensitively; the first matching section and its first matching key
// win.
std::optional<std::string> ReadProfileString(std::string_view section, std::string_view key,
                                             const std::filesystem::path& file, std::size_t size);

// Drops every cached file (tests and long-running hosts).
void ClearProfileCache();

}  // namespace zplport
