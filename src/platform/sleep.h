// Millisecond sleeping for the request's ticks.
#pragma once

namespace zplport {

void SleepMilliseconds(int milliseconds);

// While alive, asks the OS for a 1 ms scheduler resolution so that a tick is
// really about 1 ms (a no-op where that is already so).
class FineTimerScope {
 public:
  FineTimerScope();
  ~FineTimerScope();
  FineTimerScope(const FineTimerScope&) = delete;
  FineTimerScope& operator=(const FineTimerScope&) = delete;

 private:
  bool raised_ = false;
};

}  // namespace zplport
