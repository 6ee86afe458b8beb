#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zplport::testing {

ProcessResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder, std::chrono::milliseconds timeout) {
  ProcessResult result;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return result;

  const pid_t pid = fork();
  if (pid < 0) {
    close(out[0]);
    close(out[1]);
    return result;
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    if (chdir(folder.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    std::string name = program.string();
    argv.push_back(name.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(name.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[65536];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    result.out.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);

  int status = 0;
  waitpid(pid, &status, 0);
  if (!result.timed_out && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

}  // namespace zplport::testing
