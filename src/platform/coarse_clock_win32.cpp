#include "platform/coarse_clock.h"

#include <windows.h>

namespace zplport {

CoarseClock::time_point CoarseClock::now() noexcept {
  return time_point(std::chrono::milliseconds(GetTickCount64()));
}

}  // namespace zplport
