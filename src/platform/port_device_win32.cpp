#include "platform/port_device.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace zplport {

// The device is opened for overlapped I/O so that a printer that is off
// line cannot block the window: a write is started, left in flight and
// asked about at the next call. The bytes in flight are our own copy, so the
// caller's buffer may go away at any time.
struct PortDevice::Impl {
  // One write hands the device at most this much; the caller comes back for
  // the rest.
  static constexpr std::size_t kMaxWrite = 1 << 20;

  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE done_event = nullptr;
  OVERLAPPED overlapped{};
  std::string in_flight;
  bool pending = false;

  // Waits for the write in flight to end after asking the device to drop it.
  void Abandon() {
    if (!pending) return;
    CancelIoEx(handle, &overlapped);
    DWORD ignored = 0;
    GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
    pending = false;
    in_flight.clear();
  }

  WriteResult Finished(DWORD bytes, OsError error) {
    pending = false;
    in_flight.clear();
    return {error ? 0 : bytes, error};
  }
};

PortDevice::PortDevice() : impl_(std::make_unique<Impl>()) {}

PortDevice::~PortDevice() { Close(); }

OsError PortDevice::Open(const std::filesystem::path& path) {
  Close();
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return LastOsError();
  // OPEN_EXISTING: a mistyped device name must fail, not leave a file
  // behind. Others may keep reading or writing a file we append to; a port
  // that someone holds exclusively still fails here as busy.
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const OsError error = LastOsError();
    CloseHandle(event);
    return error;
  }
  impl_->handle = handle;
  impl_->done_event = event;
  return {};
}

PortDevice::WriteResult PortDevice::Write(std::string_view data) {
  Impl& impl = *impl_;
  if (impl.handle == INVALID_HANDLE_VALUE) return {0, OsError{ERROR_INVALID_HANDLE}};

  if (!impl.pending) {
    if (data.empty()) return {};
    impl.in_flight.assign(data.substr(0, Impl::kMaxWrite));
    impl.overlapped = OVERLAPPED{};
    // Both offsets all ones: write at the end of a file, as O_APPEND does;
    // a port ignores the offset.
    impl.overlapped.Offset = 0xFFFFFFFF;
    impl.overlapped.OffsetHigh = 0xFFFFFFFF;
    impl.overlapped.hEvent = impl.done_event;
    ResetEvent(impl.done_event);
    impl.pending = true;
    if (!WriteFile(impl.handle, impl.in_flight.data(), static_cast<DWORD>(impl.in_flight.size()),
                   nullptr, &impl.overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      return impl.Finished(0, LastOsError());
    }
  }

  DWORD bytes = 0;
  if (GetOverlappedResult(impl.handle, &impl.overlapped, &bytes, FALSE)) {
    return impl.Finished(bytes, {});
  }
  const OsError error = LastOsError();
  if (error.code == ERROR_IO_INCOMPLETE) return {};  // still in flight: the device is busy
  return impl.Finished(0, error);
}

// A write completes only when the driver has finished with it, so with no
// write in flight there is nothing left to wait for.
PortDevice::DrainResult PortDevice::PollDrained() {
  if (impl_->handle == INVALID_HANDLE_VALUE) return {false, OsError{ERROR_INVALID_HANDLE}};
  return {!impl_->pending, {}};
}

void PortDevice::Close() {
  Impl& impl = *impl_;
  if (impl.handle != INVALID_HANDLE_VALUE) {
    impl.Abandon();
    CloseHandle(impl.handle);
    impl.handle = INVALID_HANDLE_VALUE;
  }
  if (impl.done_event != nullptr) {
    CloseHandle(impl.done_event);
    impl.done_event = nullptr;
  }
}

bool PortDevice::is_open() const { return impl_->handle != INVALID_HANDLE_VALUE; }

// Windows has no SIGPIPE: a reader that went away is a plain write error.
struct BrokenPipeScope::Saved {};
BrokenPipeScope::BrokenPipeScope() = default;
BrokenPipeScope::~BrokenPipeScope() = default;

DeviceAnswer AskPortDevice(const std::filesystem::path&, std::string_view,
                           std::chrono::milliseconds,
                           const std::function<bool(std::string_view)>&) {
  return {};
}

std::filesystem::path DefaultPortDevice(int number) {
  return std::filesystem::path(L"\\\\.\\LPT" + std::to_wstring(number));
}

// Most machines today have no parallel port; a shared printer mapped to the
// port's name stands in for one, and the default device then reaches it.
std::string MissingPortAdvice(int number) {
  const std::string port = "LPT" + std::to_string(number) + ":";
  return "本机没有这个并口时，可以把打印机共享，再在命令提示符中运行 net use " + port +
         " \\\\计算机名\\共享名 /persistent:yes，将共享的打印机映射为 " + port;
}

}  // namespace zplport
