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

// The length of the longest prefix of `gbk` of at most `limit` bytes that
// does not end between the two bytes of a character (a lead byte 0x81 to
// 0xFE and a trail byte 0x40 to 0xFE other than 0x7F).
std::size_t GbkPrefixLength(std::string_view gbk, std::size_t limit);

}  // namespace zplport
