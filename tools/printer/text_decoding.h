// Field text as a printer reads it: bytes in the encoding that ^CI selects
// (or the printer's default) turned into Unicode. Bytes that do not decode
// become U+FFFD, each costing only itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zplport::printer {

// Field text in an encoding to Unicode; undecodable bytes become U+FFFD.
// `encoding` is one of KnownEncodings() (upper or lower case); any other
// reads as GBK.
std::u32string DecodeText(std::string_view bytes, std::string_view encoding);
// "gbk", "utf-8", "cp1252", ...: the names DecodeText knows.
const std::vector<std::string>& KnownEncodings();
std::u32string DecodeGbk(std::string_view bytes);
std::u32string DecodeUtf8(std::string_view bytes);

// The encoding (one of KnownEncodings()) that a ^CI number selects; nullptr
// for numbers with none here.
const char* EncodingOfCharset(long long charset);

// ^CI 0 to 12 are code page 850 with national characters in place of some
// ASCII ones (# @ [ \ ] ` { | } and the like); `text` decoded as code page
// 850 gets those of `charset`. Other charsets leave it as it is.
void ApplyNationalCharacters(long long charset, std::u32string& text);

}  // namespace zplport::printer
