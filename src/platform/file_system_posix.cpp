#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace zplport {

WholeFile ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit) {
  // O_NONBLOCK keeps a FIFO at the path from blocking the open; it is
  // rejected right after as not a regular file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  const struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return detail::ReadOpenFile(static_cast<std::uint64_t>(st.st_size), limit,
                              [fd](char* data, std::size_t room) -> std::int64_t {
                                for (;;) {
                                  const ssize_t got = ::read(fd, data, room);
                                  if (got >= 0 || errno != EINTR) return got;
                                }
                              });
}

}  // namespace zplport
