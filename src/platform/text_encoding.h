// Code page 936 (GBK) is the encoding of the INI files and of everything sent
// to the printer; operator messages are UTF-8 inside the core.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zplport {

// Converts GBK bytes to UTF-8. Bytes that are not valid GBK become U+FFFD, so
// a message about a damaged setting can still be shown.
std::string GbkToUtf8(std::string_view gbk);

// A two-byte GBK character is a lead byte 0x81 to 0xFE followed by a trail
// byte 0x40 to 0xFE other than 0x7F; every other byte stands alone.
constexpr bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
constexpr bool IsGbkTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// The bytes of the character that starts at `at`: 2 for a lead byte with a
// trail byte after it, else 1.
inline std::size_t GbkCharacterWidth(std::string_view gbk, std::size_t at) {
  const bool pair = at + 1 < gbk.size() && IsGbkLeadByte(static_cast<unsigned char>(gbk[at])) &&
                    IsGbkTrailByte(static_cast<unsigned char>(gbk[at + 1]));
  return pair ? 2 : 1;
}

// The length of the longest prefix of `gbk` of at most `limit` bytes that
// does not end between the two bytes of a character.
std::size_t GbkPrefixLength(std::string_view gbk, std::size_t limit);

}  // namespace zplport
