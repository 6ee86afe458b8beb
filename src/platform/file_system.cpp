#include "platform/file_system.h"

#include <algorithm>

namespace zplport::detail {

WholeFile ReadOpenFile(std::uint64_t size, std::uint64_t limit,
                       const std::function<std::int64_t(char*, std::size_t)>& read) {
  WholeFile file;
  auto too_large = [&file](std::uint64_t found) {
    file.status = WholeFile::Status::kTooLarge;
    file.size = found;
    file.bytes = std::string();
    return std::move(file);
  };
  if (size > limit) return too_large(size);

  // The size is only a hint: the file may grow or shrink while it is read.
  // One byte more than it says lets the usual read end at end-of-file.
  std::string& bytes = file.bytes;
  bytes.resize(static_cast<std::size_t>(size) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used > limit) return too_large(used);
      bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() * 2, limit + 1)));
    }
    const std::int64_t got = read(bytes.data() + used, bytes.size() - used);
    if (got < 0) return WholeFile{};
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  file.status = WholeFile::Status::kRead;
  return file;
}

}  // namespace zplport::detail
