// Whole-file reads and the identity of a file's current contents, for the
// INI cache.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zplport {

// Everything that changes when a file is replaced or edited. Two equal stamps
// mean the file has not changed between them.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;  // file index on Windows
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;  // status change; creation-or-change on Windows
  bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file, or nothing when it is missing or not a
// regular file.
std::optional<FileStamp> StampFile(const std::filesystem::path& path);

// Reads a regular file whole; nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// True when something (file, device, folder) exists at the path.
bool PathExists(const std::filesystem::path& path);

}  // namespace zplport
