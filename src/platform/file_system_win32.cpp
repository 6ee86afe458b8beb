#include "platform/file_system.h"

#include <windows.h>

namespace zplport {

WholeFile ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit) {
  // Opened without locking anyone out: an editor may hold the file open,
  // save over it or delete it while we look.
  const HANDLE handle = CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  const struct Closer {
    HANDLE handle;
    ~Closer() { CloseHandle(handle); }
  } closer{handle};
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {};
  }
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return detail::ReadOpenFile(size, limit, [handle](char* data, std::size_t room) -> std::int64_t {
    const DWORD want = room > 0x10000000 ? 0x10000000 : static_cast<DWORD>(room);
    DWORD got = 0;
    if (!ReadFile(handle, data, want, &got, nullptr)) return -1;
    return got;
  });
}

}  // namespace zplport
