#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace zplport {
namespace {

// Closes the descriptor on every way out of ReadWholeFile.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

WholeFile ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit) {
  // O_NONBLOCK keeps a FIFO at the path from blocking the open; it is
  // rejected right after as not a regular file.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return {};
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return detail::ReadOpenFile(static_cast<std::uint64_t>(st.st_size), limit,
                              [&fd](char* data, std::size_t room) -> std::int64_t {
                                for (;;) {
                                  const ssize_t got = ::read(fd.get(), data, room);
                                  if (got >= 0 || errno != EINTR) return got;
                                }
                              });
}

bool PathExists(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace zplport
