// Hands a block of bytes to a non-blocking writer, ticking while it takes
// nothing, so the window stays responsive and a stuck printer ends in a
// failure instead of a hang. Shared by the port and the network output.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/os_error.h"
#include "printing/network_output.h"
#include "printing/print_host.h"

namespace zplport {

struct PumpResult {
  std::size_t written = 0;
  OsError error;         // the writer's error, if it failed
  bool stalled = false;  // the writer took nothing for the whole stall limit
  bool ok() const { return !error && !stalled; }
};

// A limit as the whole seconds that a message names, rounded up.
inline std::string WholeSeconds(std::chrono::milliseconds limit) {
  return std::to_string((limit.count() + 999) / 1000);
}

// `write(std::string_view rest)` returns a result with `bytes` and `error`.
// `check()` runs at every tick and may raise PrintFailure (for example when
// the printer hangs up while we wait).

template <typename Write, typename Check>
PumpResult PumpBytes(PrintHost& host, std::string_view data, std::chrono::milliseconds stall,
                     Write write, Check check) {
  using Clock = std::chrono::steady_clock;
  PumpResult result;
  auto last_progress = Clock::now();
  while (result.written < data.size()) {
    const auto r = write(data.substr(result.written));
    if (r.error && KindOf(r.error) != OsErrorKind::kWouldBlock) {
      result.error = r.error;
      return result;
    }
    if (r.bytes > 0) {
      result.written += r.bytes;
      last_progress = Clock::now();
      continue;
    }
    if (Clock::now() - last_progress >= stall) {
      result.stalled = true;
      return result;
    }
    DelayTicks(host, 1);
    check();
  }
  return result;
}

}  // namespace zplport
