#include "ui/cli/status_commands.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>

#include "platform/sleep.h"
#include "printing/print_request.h"
#include "printing/quantity.h"
#include "ui/cli/cli_host.h"
#include "ui/cli/status_query.h"

namespace zplport {
namespace {

using Clock = std::chrono::steady_clock;

// About twice a second, each question on a new connection.
constexpr std::chrono::milliseconds kAskEvery{500};
// Counts that stay put this long, with nothing stopping the printer, mean
// that it does not print.
constexpr std::chrono::seconds kNoProgress{30};

// Writes the conditions one a line; true when there was any.
bool ShowConditions(CliHost& host, const HostStatus& status) {
  const std::vector<std::string> conditions = StoppingConditions(status);
  for (const std::string& line : conditions) host.ShowMessage(line);
  return !conditions.empty();
}

// "已打印 P / K" on one line that is rewritten in place.
class Progress {
 public:
  Progress(std::FILE* to, long total) : to_(to), total_(total) {}
  ~Progress() { End(); }

  void Show(long printed) {
    if (to_ == nullptr || printed == shown_) return;
    shown_ = printed;
    std::fprintf(to_, "\r已打印 %ld / %ld", printed, total_);
    std::fflush(to_);
  }
  void End() {
    if (to_ != nullptr && shown_ >= 0) std::fputc('\n', to_);
    shown_ = -1;
  }

 private:
  std::FILE* to_;
  const long total_;
  long shown_ = -1;
};

// Asks until the printer holds nothing of the print, a condition stops it,
// or its counts stay put.
int WatchPrinting(CliHost& host, long labels, std::FILE* progress_to) {
  Progress progress(progress_to, labels);
  long least = std::numeric_limits<long>::max();
  auto last_progress = Clock::now();
  for (;;) {
    const auto asked = Clock::now();
    const StatusAnswer answer = AskPrinterStatus();
    if (!answer.status) {
      progress.End();
      host.ShowMessage(answer.failure);
      host.ShowMessage("无法确认标签是否已全部打印");
      return 1;
    }
    const HostStatus& status = *answer.status;
    const long held = LabelsHeld(status);
    if (held == 0 && !status.partial_format) {
      progress.Show(labels);
      progress.End();
      host.ShowMessage("打印机已打印全部 " + std::to_string(labels) + " 张标签");
      // What came up after the last label still wants seeing to.
      ShowConditions(host, status);
      return 0;
    }
    progress.Show(std::clamp(labels - held, 0L, labels));
    auto still_held = [&] {
      return "打印机中还有 " + std::to_string(held) + " 张标签没有打印（按打印机的计数）";
    };
    if (!StoppingConditions(status).empty()) {
      progress.End();
      ShowConditions(host, status);
      host.ShowMessage(still_held());
      return kExitCondition;
    }
    if (held < least) {
      least = held;
      last_progress = asked;
    } else if (asked - last_progress >= kNoProgress) {
      progress.End();
      host.ShowMessage("打印机 " + std::to_string(kNoProgress.count()) + " 秒内没有打印标签");
      host.ShowMessage(still_held());
      return 1;
    }
    const auto next = asked + kAskEvery;
    while (Clock::now() < next) SleepMilliseconds(10);
  }
}

}  // namespace

int RunStatusCommand(std::FILE* out) {
  CliHost host({}, out);
  const StatusAnswer answer = AskPrinterStatus();
  if (!answer.status) {
    host.ShowMessage(answer.failure);
    return 1;
  }
  const bool stopped = ShowConditions(host, *answer.status);
  if (!stopped) host.ShowMessage("打印机就绪");
  host.ShowMessage(DescribeFigures(*answer.status));
  return stopped ? kExitCondition : 0;
}

int RunConfirmedPrint(const std::string& quantity, std::FILE* out, std::FILE* progress) {
  CliHost host(quantity, out);
  std::int16_t n = 0;
  try {
    n = ConvertToInteger(quantity);
  } catch (...) {
    n = -1;
  }
  // A quantity that the request refuses gets its own message, and nothing
  // is asked.
  if (n < 0) return ExitStatusFor(RunPrintRequest(host));

  const StatusAnswer before = AskPrinterStatus();
  if (!before.status) {
    host.ShowMessage(before.failure);
    return 1;
  }
  if (ShowConditions(host, *before.status)) {
    host.ShowMessage(DescribeFigures(*before.status));
    host.ShowMessage("没有发送标签");
    return kExitCondition;
  }
  const PrintOutcome outcome = RunPrintRequest(host);
  if (outcome != PrintOutcome::kDone) return ExitStatusFor(outcome);
  return WatchPrinting(host, (static_cast<long>(n) + 1) / 2, progress);
}

}  // namespace zplport
