#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
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
  WholeFile file;
  // O_NONBLOCK keeps a FIFO at the path from blocking the open; it is
  // rejected right after as not a regular file.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return file;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return file;
  if (static_cast<std::uint64_t>(st.st_size) > limit) {
    file.status = WholeFile::Status::kTooLarge;
    file.size = static_cast<std::uint64_t>(st.st_size);
    return file;
  }

  // The size is only a hint: the file may grow or shrink while it is read.
  // One byte more than it says lets the usual read end at end-of-file.
  std::string& bytes = file.bytes;
  bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used > limit) {
        file.status = WholeFile::Status::kTooLarge;
        file.size = used;
        bytes = std::string();
        return file;
      }
      bytes.resize(std::min<std::uint64_t>(bytes.size() * 2, limit + 1));
    }
    const ssize_t got = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      bytes = std::string();
      return file;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  file.status = WholeFile::Status::kRead;
  return file;
}

bool PathExists(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace zplport
