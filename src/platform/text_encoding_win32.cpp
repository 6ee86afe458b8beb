#include "platform/text_encoding.h"

#include <windows.h>

#include <algorithm>

namespace zplport {
namespace {

constexpr UINT kGbk = 936;
constexpr wchar_t kReplacement = 0xFFFD;

// Code page 936 maps GBK's user-defined areas and a stray 0xFF to private
// use characters, which no font shows; those are not text either.
bool IsPrivateUse(wchar_t c) { return c >= 0xE000 && c <= 0xF8FF; }

// The character at the front of `bytes` (one or two bytes), or nothing when
// those bytes are not a GBK character.
bool DecodeOne(const unsigned char* bytes, std::size_t left, wchar_t& out, std::size_t& used) {
  used = (left >= 2 && IsGbkLeadByte(bytes[0]) && IsGbkTrailByte(bytes[1])) ? 2 : 1;
  if (used == 1 && IsGbkLeadByte(bytes[0])) return false;  // cut off, or a bad second byte
  // Without MB_ERR_INVALID_CHARS the system would quietly write '?' and may
  // swallow the byte after a bad lead byte.
  const int written =
      MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                          static_cast<int>(used), &out, 1);
  return written == 1 && !IsPrivateUse(out);
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  std::wstring wide;
  wide.reserve(gbk.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
  std::size_t at = 0;
  while (at < gbk.size()) {
    wchar_t c = 0;
    std::size_t used = 0;
    if (bytes[at] < 0x80) {
      wide += static_cast<wchar_t>(bytes[at++]);
    } else if (DecodeOne(bytes + at, gbk.size() - at, c, used)) {
      wide += c;
      at += used;
    } else {
      // Skip only the first byte: the next one may start a good character.
      wide += kReplacement;
      ++at;
    }
  }
  // Every GBK character lies in the Basic Multilingual Plane: no surrogates
  // for the conversion to trip on.
  const int length = static_cast<int>(wide.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace zplport
