// The loopback printer is built for POSIX systems only.
#ifndef _WIN32

#include "printer/print_engine.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zplport::printer {
namespace {

using namespace std::chrono_literals;
using Clock = PrintEngine::Clock;

// Two formats, of 2 and 1 labels, at 100 ms a label, followed through time.
TEST(PrintEngineTest, LabelsComeOutOneAtATimeAndStopWhereAPrinterWould) {
  struct Step {
    std::chrono::milliseconds at;
    enum { kLook, kPause, kResume, kCancel } what;
    int formats_waiting;
    long labels_remaining;
    long printed;
    bool paused;
    bool paper_out;
  };
  struct Case {
    const char* name;
    EngineOptions options;
    std::vector<Step> steps;
  } cases[] = {
      {"at its pace",
       {},
       {{0ms, Step::kLook, 1, 2, 0, false, false},
        {150ms, Step::kLook, 1, 1, 1, false, false},
        {250ms, Step::kLook, 0, 1, 2, false, false},
        {300ms, Step::kLook, 0, 0, 3, false, false}}},
      // ~PP lets the label under the head finish; ~PS goes on from then.
      {"paused and resumed",
       {},
       {{50ms, Step::kPause, 1, 2, 0, false, false},
        {120ms, Step::kLook, 1, 1, 1, true, false},
        {1000ms, Step::kResume, 1, 1, 1, false, false},
        {1150ms, Step::kLook, 0, 1, 2, false, false}}},
      {"out of paper part-way", {.media = 2}, {{1000ms, Step::kLook, 0, 1, 2, false, true}}},
      {"paused from the start", {.paused = true}, {{1000ms, Step::kLook, 1, 2, 0, true, false}}},
      // ~JA keeps only the label under the head.
      {"cancelled",
       {},
       {{50ms, Step::kCancel, 0, 1, 0, false, false},
        {1000ms, Step::kLook, 0, 0, 1, false, false}}},
      {"at once", {.pace = 0ms, .media = 5}, {{0ms, Step::kLook, 0, 0, 3, false, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrintEngine engine(c.options);
    const auto start = Clock::now();
    engine.TakeIn();
    EXPECT_TRUE(engine.Status(start).partial_format);
    engine.Queue(7, {2, 1}, 100ms, start);
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.at.count());
      const auto now = start + step.at;
      if (step.what == Step::kPause) engine.Pause(now);
      if (step.what == Step::kResume) engine.Resume(now);
      if (step.what == Step::kCancel) engine.CancelAll(now);
      const EngineStatus status = engine.Status(now);
      EXPECT_FALSE(status.partial_format);
      EXPECT_EQ(status.formats_waiting, step.formats_waiting);
      EXPECT_EQ(status.labels_remaining, step.labels_remaining);
      EXPECT_EQ(status.printed, step.printed);
      EXPECT_EQ(status.paused, step.paused);
      EXPECT_EQ(status.paper_out, step.paper_out);
      EXPECT_EQ(engine.Waiting(7, now), status.formats_waiting == 0 ? status.labels_remaining
                                                                    : status.labels_remaining + 1);
    }
  }
}

TEST(PrintEngineTest, LabelTimeIsLengthOverSpeed) {
  EXPECT_EQ(LabelTime(1218, 203, "B"), 2000ms);  // 6 inches at 3 inches a second
  EXPECT_EQ(LabelTime(1218, 203, "6"), 1000ms);
  EXPECT_EQ(LabelTime(1218, 203, ""), 3000ms);  // the default, 2 inches a second
  EXPECT_EQ(LabelTime(1218, 203, "99"), 3000ms);
  EXPECT_EQ(LabelTime(1800, 300, "E"), 750ms);
}

}  // namespace
}  // namespace zplport::printer

#endif  // _WIN32
