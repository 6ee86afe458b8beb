// A temporary folder that is removed with everything in it when the test
// ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zplport::testing {

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` unchanged to `name` inside the folder; returns its path.
  std::filesystem::path Write(std::string_view name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

// The whole content of a file, or "" when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

}  // namespace zplport::testing
