#include "platform/sleep.h"

#include <windows.h>
// windows.h leaves out the multimedia timer under WIN32_LEAN_AND_MEAN.
#include <mmsystem.h>

namespace zplport {

void SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  Sleep(static_cast<DWORD>(milliseconds));
}

// The default timer tick is about 15.6 ms, so Sleep(1) would sleep for a
// whole tick without this.
FineTimerScope::FineTimerScope() : raised_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineTimerScope::~FineTimerScope() {
  if (raised_) timeEndPeriod(1);
}

}  // namespace zplport
