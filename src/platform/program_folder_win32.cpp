#include "platform/program_folder.h"

#include <windows.h>

#include <string>
#include <system_error>

namespace zplport::detail {

std::filesystem::path ExecutableFolder() {
  // MAX_PATH is not the limit: long-path-aware systems report longer names,
  // and GetModuleFileNameW says so only by filling the whole buffer.
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) {
      std::error_code ignored;
      return std::filesystem::current_path(ignored);
    }
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    if (name.size() >= 32768) break;  // the longest path Windows has
    name.resize(name.size() * 2);
  }
  return std::filesystem::path(name).parent_path();
}

}  // namespace zplport::detail
