// Measuring and staging for the hardening tests: open descriptors and
// resident memory of this process, the wall time of a request, a listener
// that never completes a handshake, and a child process whose name lookups
// and network are its own (so that a bad address can never reach a real
// host) or that runs without root's power to ignore file permissions.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "printing/print_request.h"

namespace zplport::testing {

// Entries of /proc/self/fd, not counting the one used to list them.
int OpenDescriptors();

// Resident set size of this process, from /proc/self/statm.
std::size_t ResidentBytes();

struct TimedOutcome {
  PrintOutcome outcome;
  std::chrono::milliseconds elapsed;
};

TimedOutcome TimedRequest(PrintHost& host);

// One line for the figures that the hardening run reports, e.g.
//   [ figure ] network/refused: failed in 12 ms (bound 1000 ms)
void ReportFigure(std::string_view name, PrintOutcome outcome, std::chrono::milliseconds elapsed,
                  std::chrono::milliseconds bound);

const char* OutcomeName(PrintOutcome outcome);

// A listen socket at `address`:`port` whose backlog is already full with a
// connection of its own, so every SYN to it is dropped: a printer that is
// there but never answers. ok() is false when the address cannot be bound.
class SilentListener {
 public:
  SilentListener(std::string_view address, int port);
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  bool ok() const { return listener_ >= 0 && filler_ >= 0; }

 private:
  int listener_ = -1;
  int filler_ = -1;
};

struct ChildOptions {
  // A network namespace with only a loopback interface, and name lookups
  // that read `hosts` as /etc/hosts and nothing else (no DNS).
  bool isolate_network = false;
  std::string hosts;
  // Runs `body` as the unprivileged user "nobody" (uid and gid 65534).
  bool unprivileged = false;
};

// Runs `body` in a forked child set up as `options` say and returns the
// strings it produced. Nothing, with `why_not` filled, when the child could
// not be set up that way (no privileges for namespaces, say); a child that
// crashes or hangs for 60 s yields a single line saying so.
std::optional<std::vector<std::string>> RunInChild(
    const ChildOptions& options, const std::function<std::vector<std::string>()>& body,
    std::string* why_not);

}  // namespace zplport::testing
