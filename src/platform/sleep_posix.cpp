#include "platform/sleep.h"

#include <cerrno>
#include <ctime>

namespace zplport {

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal handler may cut the sleep short; sleep on for what is left.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

// The Linux scheduler already wakes a sleeper within about a millisecond.
FineTimerScope::FineTimerScope() = default;

FineTimerScope::~FineTimerScope() { static_cast<void>(raised_); }

}  // namespace zplport
