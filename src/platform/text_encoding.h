// Code page 936 (GBK) is the encoding of the INI files and of everything sent
// to the printer; operator messages are UTF-8 inside the core.
#pragma once

#include <string>
#include <string_view>

namespace zplport {

// Converts GBK bytes to UTF-8. Bytes that are not valid GBK become U+FFFD, so
// a message about a damaged setting can still be shown.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace zplport
