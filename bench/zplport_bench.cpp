#include <benchmark/benchmark.h>

#include <string>

#include "printing/print_request.h"
#include "settings/ini_files.h"
#include "settings/ini_reader.h"
#include "support/fault_printer.h"
#include "support/recording_host.h"

namespace zplport {
namespace {

constexpr int kLines = 32768;

std::string FullContent() {
  std::string content = "[content]\r\n";
  for (int i = 0; i < kLines; ++i) {
    content += "c(" + std::to_string(i) + ")=Line " + std::to_string(i) + " \xD6\xD0\xCE\xC4\r\n";
  }
  return content;
}

// Every line of a 32768-line file.ini, read the way a request reads them.
void BM_ReadEveryLine(benchmark::State& state) {
  testing::RecordingHost host;
  host.WriteContent(FullContent());
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (int i = 0; i < kLines; ++i) bytes += ReadContentLine(i).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ReadEveryLine)->Unit(benchmark::kMillisecond);

// Quantity 32767: 16384 labels, about 1.6 MB, composed, sent and closed.
void BM_MaximumNetworkRequest(benchmark::State& state) {
  testing::FaultPrinter printer(testing::FaultPrinter::Behaviour::kAcceptAndRead);
  testing::RecordingHost host;
  host.WriteContent(FullContent());
  host.WriteConfig(
      "[prtmod]\r\nprtmod=ip\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\nzbx1=50\r\n"
      "zby1=150\r\n[font]\r\na=40\r\nb=40\r\n[network]\r\nprinterip=127.0.0.1\r\nprinterport=" +
      std::to_string(printer.port()) + "\r\n");
  host.quantity = "32767";
  host.limits = PrintLimits{};
  std::size_t jobs = 0;
  for (auto _ : state) {
    if (RunPrintRequest(host) != PrintOutcome::kDone) state.SkipWithError("request failed");
    ++jobs;
  }
  printer.WaitForJobs(jobs, std::chrono::seconds(10));
  state.SetBytesProcessed(static_cast<std::int64_t>(host.SendText.size()) * state.iterations());
  state.counters["labels"] = 16384;
  state.counters["bytes"] = static_cast<double>(host.SendText.size());
}
BENCHMARK(BM_MaximumNetworkRequest)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace zplport

BENCHMARK_MAIN();
