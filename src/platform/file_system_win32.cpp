#include "platform/file_system.h"

#include <windows.h>

namespace zplport {
namespace {

// FILETIME counts 100 ns ticks from 1601; stamps count nanoseconds from 1970
// like the system clock, so that the cache can compare them with "now".
constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;

std::int64_t Nanoseconds(std::int64_t ticks) { return (ticks - kTicksFrom1601To1970) * 100; }

std::int64_t Nanoseconds(const FILETIME& t) {
  return Nanoseconds(static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime));
}

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

std::optional<FileStamp> StampFile(const std::filesystem::path& path) {
  Handle file(OpenShared(path, FILE_READ_ATTRIBUTES, FILE_ATTRIBUTE_NORMAL));
  if (!file.valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsRegularFile(file.get(), info)) return std::nullopt;

  FileStamp stamp;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.inode = Join(info.nFileIndexHigh, info.nFileIndexLow);
  stamp.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  stamp.modified_ns = Nanoseconds(info.ftLastWriteTime);
  FILE_BASIC_INFO basic{};
  if (GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    stamp.changed_ns = Nanoseconds(static_cast<std::int64_t>(basic.ChangeTime.QuadPart));
  } else {
    // Some file systems keep no change time; the creation time still tells
    // a file saved over this one by rename.
    stamp.changed_ns = Nanoseconds(info.ftCreationTime);
  }
  return stamp;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  Handle file(OpenShared(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file.valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsRegularFile(file.get(), info)) return std::nullopt;

  // The size is only a hint: the file may grow or shrink while it is read.
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(Join(info.nFileSizeHigh, info.nFileSizeLow)) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const std::size_t room = bytes.size() - used;
    const DWORD want = room > 0x10000000 ? 0x10000000 : static_cast<DWORD>(room);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + used, want, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    used += got;
  }
  bytes.resize(used);
  return bytes;
}

bool PathExists(const std::filesystem::path& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // Devices such as LPT1: have no attributes to report but can be opened;
  // backup semantics lets the same call open a folder.
  Handle any(OpenShared(path, 0, FILE_FLAG_BACKUP_SEMANTICS));
  return any.valid();
}

}  // namespace zplport
