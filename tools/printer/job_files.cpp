#include "printer/job_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <system_error>

namespace zplport::printer {

std::string JobFileName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "job-%04d.zpl", number);
  return name;
}

int NextJobNumber(const std::filesystem::path& folder) {
  int highest = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    constexpr std::string_view kPrefix = "job-", kSuffix = ".zpl";
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
      continue;
    }
    const char* first = name.data() + kPrefix.size();
    const char* last = name.data() + name.size() - kSuffix.size();
    int number = 0;
    const auto [end_of_number, result] = std::from_chars(first, last, number);
    if (result == std::errc() && end_of_number == last && number > highest) highest = number;
  }
  return highest + 1;
}

std::string ReadHead(const std::string& path, std::size_t limit, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    error = path + ": " + std::generic_category().message(errno);
    if (fd >= 0) close(fd);
    return {};
  }
  std::string bytes(std::min(limit, static_cast<std::size_t>(info.st_size)), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = path + ": " + std::generic_category().message(errno);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  bytes.resize(got);
  return bytes;
}

}  // namespace zplport::printer
