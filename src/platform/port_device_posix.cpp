#include "platform/port_device.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

namespace zplport {

struct PortDevice::Impl {
  int fd = -1;
};

PortDevice::PortDevice() : impl_(std::make_unique<Impl>()) {}

PortDevice::~PortDevice() { Close(); }

OsError PortDevice::Open(const std::filesystem::path& path) {
  Close();
  // No O_CREAT: a mistyped device name must fail, not leave a file behind.
  // O_NONBLOCK keeps an off-line printer (or a FIFO nobody reads) from
  // stalling the open and the writes.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return LastOsError();
  impl_->fd = fd;
  return {};
}

PortDevice::WriteResult PortDevice::Write(std::string_view data) {
  if (impl_->fd < 0) return {0, OsError{EBADF}};
  if (data.empty()) return {};
  const ssize_t written = ::write(impl_->fd, data.data(), data.size());
  if (written >= 0) return {static_cast<std::size_t>(written), {}};
  const OsError error = LastOsError();
  if (KindOf(error) == OsErrorKind::kWouldBlock || error.code == EINTR) return {};
  return {0, error};
}

// A USB printer's driver (usblp) takes a non-blocking write as soon as it
// has queued the transfer, and closing the device kills transfers still
// pending. It reports the device writable once the transfer has finished.
PortDevice::DrainResult PortDevice::PollDrained() {
  if (impl_->fd < 0) return {false, OsError{EBADF}};
  pollfd entry{impl_->fd, POLLOUT, 0};
  const int ready = ::poll(&entry, 1, 0);
  if (ready < 0) return {false, errno == EINTR ? OsError{} : LastOsError()};
  if (ready == 0) return {};
  if (entry.revents & POLLHUP) return {false, OsError{ENODEV}};  // unplugged
  if (entry.revents & POLLOUT) return {true, {}};
  if (entry.revents & POLLNVAL) return {false, OsError{EBADF}};
  // On a FIFO: its reader left before it took everything.
  struct stat info;
  const bool fifo = ::fstat(impl_->fd, &info) == 0 && S_ISFIFO(info.st_mode);
  return {false, OsError{fifo ? EPIPE : EIO}};
}

void PortDevice::Close() {
  if (impl_->fd >= 0) ::close(impl_->fd);
  impl_->fd = -1;
}

bool PortDevice::is_open() const { return impl_->fd >= 0; }

struct BrokenPipeScope::Saved {
  sigset_t mask;
  bool was_pending = false;  // a SIGPIPE from before the scope is not ours to take
};

BrokenPipeScope::BrokenPipeScope() : saved_(std::make_unique<Saved>()) {
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &saved_->mask);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  saved_->was_pending = sigismember(&pending, SIGPIPE) == 1;
}

BrokenPipeScope::~BrokenPipeScope() {
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  if (!saved_->was_pending) {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) == 1) {
      const timespec no_wait{0, 0};
      while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
      }
    }
  }
  pthread_sigmask(SIG_SETMASK, &saved_->mask, nullptr);
}

DeviceAnswer AskPortDevice(const std::filesystem::path& path, std::string_view question,
                           std::chrono::milliseconds wait,
                           const std::function<bool(std::string_view)>& complete) {
  // The USB printer class driver (usblp, character major 180) hands back
  // what the printer sends; a parallel port, a file or a FIFO cannot.
  constexpr unsigned kUsbPrinterMajor = 180;
  DeviceAnswer answer;
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    answer.error = LastOsError();
    return answer;
  }
  if (!S_ISCHR(info.st_mode) || major(info.st_rdev) != kUsbPrinterMajor) return answer;
  answer.readable = true;
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    answer.error = LastOsError();
    return answer;
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto left = [&] {
    const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, rest.count()));
  };
  while (!question.empty() && !answer.error) {
    pollfd entry{fd, POLLOUT, 0};
    if (::poll(&entry, 1, left()) == 0) break;
    const ssize_t written = ::write(fd, question.data(), question.size());
    if (written >= 0) {
      question.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno != EAGAIN && errno != EINTR) {
      answer.error = LastOsError();
    }
  }
  char buffer[512];
  while (question.empty() && !answer.error && !complete(answer.bytes) && left() > 0) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, left()) <= 0) continue;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      answer.bytes.append(buffer, static_cast<std::size_t>(got));
    } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
      answer.error = LastOsError();
    } else if (got == 0) {
      ::poll(nullptr, 0, std::min(left(), 10));  // nothing yet: the driver says end-of-file
    }
  }
  ::close(fd);
  return answer;
}

std::filesystem::path DefaultPortDevice(int number) {
  const std::string index = std::to_string(number - 1);
  const std::string parallel = "/dev/lp" + index;
  const std::string usb = "/dev/usb/lp" + index;
  // A USB printer cable shows up under /dev/usb; the classic port keeps the
  // name when neither exists, so that the error names the usual device.
  std::error_code unknown;  // counts as absent
  if (!std::filesystem::exists(parallel, unknown) && std::filesystem::exists(usb, unknown)) {
    return usb;
  }
  return parallel;
}

// Linux names its printer devices itself; [ports] already maps the others.
std::string MissingPortAdvice(int) { return {}; }

}  // namespace zplport
