#include "platform/coarse_clock.h"

#include <ctime>

namespace zplport {

CoarseClock::time_point CoarseClock::now() noexcept {
  timespec now{};
  // Read from the kernel's last tick, without asking the hardware clock.
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

}  // namespace zplport
