// UTF-8 inside the core, UTF-16 at the Windows API: the two conversions of
// the window front-end.
#pragma once

#include <string>
#include <string_view>

namespace zplport {

// Invalid UTF-8 becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

}  // namespace zplport
