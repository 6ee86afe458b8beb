// The printing side of the loopback printer: the formats waiting in its
// buffer, the batch being printed one label at a time, its paper, pause and
// faults. What "~HS" and "~HQES" answer comes from here.
//
// Time is given by the caller, and labels come out as it passes: whoever
// looks at the state at a moment sees every label printed that would have
// been by then. So nothing needs a thread of its own, and tests can drive
// the clock. Safe from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zplport::printer {

struct EngineOptions {
  // Time per label; none: as a printer takes it, the label's length over its
  // ^PR speed.
  std::optional<std::chrono::milliseconds> pace{};
  std::optional<long> media{};  // paper for this many labels; none: never runs out
  // Conditions at start (--fault).
  bool paused = false;
  bool head_open = false;
  bool ribbon_out = false;
  bool paper_out = false;
};

// "paused,head-open" into `options`; false (and `options` partly set) on an
// unknown name.
bool ParseFaults(std::string_view list, EngineOptions& options);

// What a printer takes for one label of `length_dots` at `dpi` and ^PR
// `speed` as sent ("A" ... "E", or inches per second; its default when
// empty or unreadable).
std::chrono::milliseconds LabelTime(int length_dots, int dpi, std::string_view speed);

// The state as "~HS" tells it.
struct EngineStatus {
  bool paper_out = false;
  bool paused = false;
  bool head_open = false;
  bool ribbon_out = false;
  int formats_waiting = 0;      // not started yet
  bool partial_format = false;  // a job taken in and not yet read
  long labels_remaining = 0;    // of the batch being printed, the one under the head included
  long printed = 0;             // since start
};

class PrintEngine {
 public:
  using Clock = std::chrono::steady_clock;

  explicit PrintEngine(EngineOptions options);

  // A job is in, and its formats are not read yet: it shows as a partial
  // format until Queue.
  void TakeIn();
  // The job's formats that print something, with their copies (^PQ), each
  // label taking `label_time` unless a pace is set.
  void Queue(int job, const std::vector<long>& copies, std::chrono::milliseconds label_time,
             Clock::time_point now);
  // The labels of `job` not printed yet.
  long Waiting(int job, Clock::time_point now);

  void Pause(Clock::time_point now);      // ~PP: after the label under the head
  void Resume(Clock::time_point now);     // ~PS
  void CancelAll(Clock::time_point now);  // ~JA: drops every label not under the head

  EngineStatus Status(Clock::time_point now);

 private:
  // Prints what time allows.
  void Advance(Clock::time_point now);
  bool Stopped() const;

  struct Batch {
    int job = 0;
    long labels = 0;
    std::chrono::milliseconds label_time{0};
  };

  std::mutex mutex_;
  const EngineOptions options_;
  bool paused_;
  bool pause_pending_ = false;
  std::optional<long> media_;
  std::deque<Batch> waiting_;
  Batch current_;  // labels: left of it, the one under the head included
  std::optional<Clock::time_point> label_done_;  // a label under the head ends then
  std::optional<Clock::time_point> next_start_;  // the printer ran on to this moment
  int taken_in_ = 0;
  long printed_ = 0;
};

}  // namespace zplport::printer
