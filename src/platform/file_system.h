// Whole-file reads for the INI reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace zplport {

struct WholeFile {
  enum class Status {
    kRead,
    kUnreadable,  // missing, not a regular file, or no permission
    kTooLarge,    // larger than the limit; nothing was read
  };
  Status status = Status::kUnreadable;
  std::string bytes;       // kRead: the file's bytes
  std::uint64_t size = 0;  // kTooLarge: the size found
};

// Reads a regular file whole, unless it holds more than `limit` bytes. The
// size is checked before anything is read, so a huge or sparse file costs
// nothing; a file that grows past the limit while it is read counts as too
// large as well.
WholeFile ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit);

namespace detail {
// What every platform's ReadWholeFile shares once the file is open and
// known to be a regular file of `size` bytes. `read(data, room)` reads at
// most `room` bytes and returns how many (0 at the end), or -1 on an error.
WholeFile ReadOpenFile(std::uint64_t size, std::uint64_t limit,
                       const std::function<std::int64_t(char*, std::size_t)>& read);
}  // namespace detail

}  // namespace zplport
