#include "printer/print_engine.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace zplport::printer {

bool ParseFaults(std::string_view list, EngineOptions& options) {
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const std::string_view name = list.substr(start, comma - start);
    if (name == "paused") {
      options.paused = true;
    } else if (name == "head-open") {
      options.head_open = true;
    } else if (name == "ribbon-out") {
      options.ribbon_out = true;
    } else if (name == "paper-out") {
      options.paper_out = true;
    } else {
      return false;
    }
    start = comma + 1;
  }
  return true;
}

std::chrono::milliseconds LabelTime(int length_dots, int dpi, std::string_view speed) {
  // ^PR A ... E are 2, 3, 4, 6 and 8 inches a second; numbers are inches
  // a second from 1 to 14. A is the printer's default.
  double inches_per_second = 2;
  if (speed.size() == 1 && speed[0] >= 'A' && speed[0] <= 'E') {
    constexpr double kLetters[] = {2, 3, 4, 6, 8};
    inches_per_second = kLetters[speed[0] - 'A'];
  } else {
    int number = 0;
    const auto [end, error] = std::from_chars(speed.data(), speed.data() + speed.size(), number);
    if (error == std::errc() && end == speed.data() + speed.size() && number >= 1 && number <= 14) {
      inches_per_second = number;
    }
  }
  const double seconds = std::max(0, length_dots) / static_cast<double>(dpi) / inches_per_second;
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000 + 0.5));
}

PrintEngine::PrintEngine(EngineOptions options)
    : options_(options), paused_(options.paused), media_(options.media) {}

bool PrintEngine::Stopped() const {
  return paused_ || options_.head_open || options_.ribbon_out || options_.paper_out ||
         (media_ && *media_ <= 0);
}

void PrintEngine::Advance(Clock::time_point now) {
  for (;;) {
    if (label_done_) {
      if (now < *label_done_) return;
      --current_.labels;
      ++printed_;
      if (media_) --*media_;
      next_start_ = *label_done_;
      label_done_.reset();
      if (pause_pending_) {
        paused_ = true;
        pause_pending_ = false;
      }
    }
    if (current_.labels == 0 && !waiting_.empty()) {
      current_ = waiting_.front();
      waiting_.pop_front();
    }
    if (current_.labels == 0 || Stopped()) {
      // Whatever starts it again starts it then, not when it stopped.
      next_start_.reset();
      return;
    }
    const std::chrono::milliseconds label_time = options_.pace.value_or(current_.label_time);
    if (label_time.count() <= 0) {
      // At once: the whole batch, as far as the paper goes.
      const long labels = media_ ? std::min(current_.labels, *media_) : current_.labels;
      current_.labels -= labels;
      printed_ += labels;
      if (media_) *media_ -= labels;
      continue;
    }
    label_done_ = next_start_.value_or(now) + label_time;
  }
}

void PrintEngine::TakeIn() {
  std::lock_guard lock(mutex_);
  ++taken_in_;
}

void PrintEngine::Queue(int job, const std::vector<long>& copies,
                        std::chrono::milliseconds label_time, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  taken_in_ = std::max(0, taken_in_ - 1);
  for (const long labels : copies) {
    if (labels > 0) waiting_.push_back({job, labels, label_time});
  }
  Advance(now);
}

long PrintEngine::Waiting(int job, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  long labels = current_.job == job ? current_.labels : 0;
  for (const Batch& batch : waiting_) {
    if (batch.job == job) labels += batch.labels;
  }
  return labels;
}

void PrintEngine::Pause(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  if (label_done_) {
    pause_pending_ = true;
  } else {
    paused_ = true;
  }
}

void PrintEngine::Resume(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  paused_ = false;
  pause_pending_ = false;
  Advance(now);
}

void PrintEngine::CancelAll(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  waiting_.clear();
  current_.labels = label_done_ ? 1 : 0;
}

EngineStatus PrintEngine::Status(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  EngineStatus status;
  status.paper_out = options_.paper_out || (media_ && *media_ <= 0);
  status.paused = paused_;
  status.head_open = options_.head_open;
  status.ribbon_out = options_.ribbon_out;
  status.formats_waiting = static_cast<int>(waiting_.size());
  status.partial_format = taken_in_ > 0;
  status.labels_remaining = current_.labels;
  status.printed = printed_;
  return status;
}

}  // namespace zplport::printer
