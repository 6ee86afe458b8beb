// Runs a program to its end, as the end-to-end tests run the real
// executables.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace zplport::testing {

struct ProcessResult {
  int exit_code = -1;  // -1 when it had to be killed or could not start
  std::string out;     // everything it wrote to standard output, lines ending in LF
  bool timed_out = false;
};

// Starts `program` with `args` in `folder`, waits at most `timeout`.
ProcessResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder, std::chrono::milliseconds timeout);

}  // namespace zplport::testing
