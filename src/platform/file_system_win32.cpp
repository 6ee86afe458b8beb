#include "platform/file_system.h"

#include <windows.h>

#include <algorithm>

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
  WholeFile file;
  Handle handle(OpenShared(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
  if (!handle.valid()) return file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsRegularFile(handle.get(), info)) return file;
  const std::uint64_t size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  if (size > limit) {
    file.status = WholeFile::Status::kTooLarge;
    file.size = size;
    return file;
  }

  // The size is only a hint: the file may grow or shrink while it is read.
  // One byte more than it says lets the usual read end at end-of-file.
  std::string& bytes = file.bytes;
  bytes.resize(static_cast<std::size_t>(size) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used > limit) {
        file.status = WholeFile::Status::kTooLarge;
        file.size = used;
        bytes = std::string();
        return file;
      }
      bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() * 2, limit + 1)));
    }
    const std::size_t room = bytes.size() - used;
    const DWORD want = room > 0x10000000 ? 0x10000000 : static_cast<DWORD>(room);
    DWORD got = 0;
    if (!ReadFile(handle.get(), bytes.data() + used, want, &got, nullptr)) {
      bytes = std::string();
      return file;
    }
    if (got == 0) break;
    used += got;
  }
  bytes.resize(used);
  file.status = WholeFile::Status::kRead;
  return file;
}

bool PathExists(const std::filesystem::path& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // Devices such as LPT1: have no attributes to report but can be opened;
  // backup semantics lets the same call open a folder.
  Handle any(OpenShared(path, 0, FILE_FLAG_BACKUP_SEMANTICS));
  return any.valid();
}

}  // namespace zplport
