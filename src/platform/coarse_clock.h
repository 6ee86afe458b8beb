// A steady clock for judging ages of a tenth of a second and more, where
// the precise clock would cost more than the work it times: a print
// request asks it twice for each of tens of thousands of lines. It ticks in
// steps of a few milliseconds (up to 16 on Windows).
#pragma once

#include <chrono>

namespace zplport {

struct CoarseClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<CoarseClock>;
  static constexpr bool is_steady = true;

  static time_point now() noexcept;
};

}  // namespace zplport
