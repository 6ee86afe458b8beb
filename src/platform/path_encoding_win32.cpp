#include "platform/path_encoding.h"

#include <windows.h>

#include <string>

namespace zplport {

std::filesystem::path PathFromGbk(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int length =
      MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), length);
  return std::filesystem::path(wide);
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace zplport
