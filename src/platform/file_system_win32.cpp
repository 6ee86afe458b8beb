#include "platform/file_system.h"

#include <windows.h>

namespace zplport {
namespace {

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

// Closes the handle on every way out.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// Opens without locking anyone out: an editor may hold the file open, save
// over it or delete it while we look.
HANDLE OpenShared(const std::filesystem::path& path, DWORD access, DWORD flags) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, flags, nullptr);
}

bool IsRegularFile(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
  return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

WholeFile ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit) {
  Handle handle(OpenShared(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
  if (!handle.valid()) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsRegularFile(handle.get(), info)) return {};
  return detail::ReadOpenFile(Join(info.nFileSizeHigh, info.nFileSizeLow), limit,
                              [&handle](char* data, std::size_t room) -> std::int64_t {
                                const DWORD want =
                                    room > 0x10000000 ? 0x10000000 : static_cast<DWORD>(room);
                                DWORD got = 0;
                                if (!ReadFile(handle.get(), data, want, &got, nullptr)) return -1;
                                return got;
                              });
}

bool PathExists(const std::filesystem::path& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // Devices such as LPT1: have no attributes to report but can be opened;
  // backup semantics lets the same call open a folder.
  Handle any(OpenShared(path, 0, FILE_FLAG_BACKUP_SEMANTICS));
  return any.valid();
}

}  // namespace zplport
