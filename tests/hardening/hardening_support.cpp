#include "hardening/hardening_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <grp.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "support/loopback_address_posix.h"
#include "support/temp_dir.h"

namespace zplport::testing {
namespace {

using Clock = std::chrono::steady_clock;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string Encode(const std::vector<std::string>& lines) {
  std::string out = "R";
  for (const std::string& line : lines) {
    const auto size = static_cast<std::uint32_t>(line.size());
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    out += line;
  }
  return out;
}

std::vector<std::string> Decode(std::string_view bytes) {
  std::vector<std::string> lines;
  while (bytes.size() >= sizeof(std::uint32_t)) {
    std::uint32_t size = 0;
    std::memcpy(&size, bytes.data(), sizeof size);
    bytes.remove_prefix(sizeof size);
    if (size > bytes.size()) break;
    lines.emplace_back(bytes.substr(0, size));
    bytes.remove_prefix(size);
  }
  return lines;
}

// Brings up the new namespace's loopback interface, which starts down.
bool LoopbackUp() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
  ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  ::close(fd);
  return ok;
}

// Sets the child up; "" or what failed.
std::string PrepareChild(const ChildOptions& options, const ScopedTempDir& files) {
  if (options.isolate_network) {
    if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
      return std::string("unshare: ") + std::strerror(errno);
    }
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("mount --make-rprivate /: ") + std::strerror(errno);
    }
    for (const char* name : {"hosts", "nsswitch.conf", "resolv.conf"}) {
      const std::string source = (files.path() / name).string();
      const std::string target = std::string("/etc/") + name;
      if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return "bind " + target + ": " + std::strerror(errno);
      }
    }
    if (!LoopbackUp()) return std::string("loopback up: ") + std::strerror(errno);
  }
  if (options.unprivileged) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0) {
      return std::string("drop to nobody: ") + std::strerror(errno);
    }
  }
  return "";
}

}  // namespace

int OpenDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count - 1;  // the directory's own descriptor
}

std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t total_pages = 0;
  std::size_t resident_pages = 0;
  statm >> total_pages >> resident_pages;
  return resident_pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

TimedOutcome TimedRequest(PrintHost& host) {
  const auto started = Clock::now();
  const PrintOutcome outcome = RunPrintRequest(host);
  return {outcome, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started)};
}

const char* OutcomeName(PrintOutcome outcome) {
  switch (outcome) {
    case PrintOutcome::kDone:
      return "done";
    case PrintOutcome::kFailed:
      return "failed";
    case PrintOutcome::kUnknownMode:
      return "unknown mode";
    case PrintOutcome::kRefused:
      return "refused";
  }
  return "?";
}

void ReportFigure(std::string_view name, PrintOutcome outcome, std::chrono::milliseconds elapsed,
                  std::chrono::milliseconds bound) {
  std::cout << "[ figure ] " << name << ": " << OutcomeName(outcome) << " in " << elapsed.count()
            << " ms (bound " << bound.count() << " ms)" << std::endl;
}

SilentListener::SilentListener(std::string_view address, int port) {
  socklen_t length = 0;
  const sockaddr_storage self = LoopbackAddress(address, port, &length);
  if (length == 0) return;
  listener_ = ::socket(self.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  if (::bind(listener_, reinterpret_cast<const sockaddr*>(&self), length) != 0 ||
      ::listen(listener_, 0) != 0) {
    ::close(listener_);
    listener_ = -1;
    return;
  }
  filler_ = ::socket(self.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (filler_ >= 0 && ::connect(filler_, reinterpret_cast<const sockaddr*>(&self), length) != 0) {
    ::close(filler_);
    filler_ = -1;
  }
}

SilentListener::~SilentListener() {
  if (filler_ >= 0) ::close(filler_);
  if (listener_ >= 0) ::close(listener_);
}

std::optional<std::vector<std::string>> RunInChild(
    const ChildOptions& options, const std::function<std::vector<std::string>()>& body,
    std::string* why_not) {
  ScopedTempDir files;
  files.Write("hosts", options.hosts);
  files.Write("nsswitch.conf", "hosts: files\n");
  // Should anything still ask a name server, it asks one on loopback.
  files.Write("resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n");

  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) {
    *why_not = std::string("pipe: ") + std::strerror(errno);
    return std::nullopt;
  }
  std::cout.flush();
  const pid_t child = ::fork();
  if (child < 0) {
    *why_not = std::string("fork: ") + std::strerror(errno);
    ::close(channel[0]);
    ::close(channel[1]);
    return std::nullopt;
  }
  if (child == 0) {
    ::close(channel[0]);
    const std::string failed = PrepareChild(options, files);
    if (!failed.empty()) {
      WriteAll(channel[1], "S" + failed);
      ::_exit(3);
    }
    WriteAll(channel[1], Encode(body()));
    ::_exit(0);
  }
  ::close(channel[1]);

  std::string received;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  char buffer[65536];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      ::kill(child, SIGKILL);
      break;
    }
    pollfd entry{channel[0], POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(channel[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  if (!received.empty() && received[0] == 'S') {
    *why_not = received.substr(1);
    return std::nullopt;
  }
  if (received.empty() || received[0] != 'R' || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return std::vector<std::string>{"child ended without a result (status " +
                                    std::to_string(status) + ")"};
  }
  return Decode(std::string_view(received).substr(1));
}

}  // namespace zplport::testing
