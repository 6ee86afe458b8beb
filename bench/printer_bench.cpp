// The loopback printer's drawing: one job of one label, from its bytes to
// its PNG on disk, the way a job that arrives is drawn (parsed, drawn,
// written). The median of the repetitions is the figure per label.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "printer/job_renderer.h"
#include "support/temp_dir.h"

namespace zplport {
namespace {

// The tool's own label, with its Chinese line, as the tool sends it (GBK).
const std::string kToolLabel =
    "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDABC^FS^FO50,150^A0,40,40^FD123^FS"
    "^FO50,250^A0,40,40^FD\xD6\xD0\xCE\xC4\xB1\xEA\xC7\xA9^FS^PQ1^XZ";

// A 4 x 6 inch shipping label: frames, a dozen text fields, a Code 128
// with its interpretation line, a QR code, a MaxiCode and a diagonal.
const std::string kShippingLabel =
    "^XA^CI28^PW812^LL1218"
    "^FO20,20^GB772,1178,4^FS^FO20,300^GB772,0,4^FS^FO20,640^GB772,0,4^FS"
    "^FO40,40^A0N,36,36^FDFROM: Example Sender GmbH^FS"
    "^FO40,90^A0N,28,28^FDMusterstrasse 12^FS^FO40,125^A0N,28,28^FD80331 Muenchen^FS"
    "^FO40,170^A0N,60,60^FDTO: Jane Doe^FS^FO40,240^A0N,32,32^FD1 Main Street, Springfield^FS"
    "^FO500,40^ADN,36,20^FDPRIORITY^FS^FO500,90^A0N,28,28^FDWeight: 2.3 kg^FS"
    "^BY3^FO60,330^BCN,160,Y,N,N^FD>;1234567890123456^FS"
    "^FO560,330^BQN,2,5^FDQA,https://example.com/track/1234567890123456^FS"
    "^FO60,680^BD3^FD840123123456  [)>\x1E"
    "01\x1D"
    "961Z12345678\x1DUPSN\x1D\x1E\x04^FS"
    "^FO420,700^GD300,200,8,B,R^FS"
    "^FO40,1000^FB732,3,0,L^A0N,30,30^FDHandle with care. Keep dry. Do not stack more than"
    " three parcels of this size on top of each other.^FS"
    "^FO40,1140^A0N,28,28^FDRef 1234567890 / Order 987654^FS^XZ";

// Arg 0: the tool's label; 1: the shipping label; 2: every .zpl file in
// the folder ZPLPORT_BENCH_LABELS names, each iteration all of them, with
// the median of their times as median_ms.
void BM_LabelToPng(benchmark::State& state) {
  std::vector<std::string> jobs;
  if (state.range(0) == 0) jobs.push_back(kToolLabel);
  if (state.range(0) == 1) jobs.push_back(kShippingLabel);
  if (state.range(0) == 2) {
    const char* folder = std::getenv("ZPLPORT_BENCH_LABELS");
    std::error_code error;
    if (folder != nullptr) {
      for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".zpl") {
          jobs.push_back(testing::ReadFileBytes(entry.path()));
        }
      }
    }
    if (jobs.empty()) {
      state.SkipWithError("set ZPLPORT_BENCH_LABELS to a folder of .zpl files");
      return;
    }
  }
  testing::ScopedTempDir out;
  printer::RendererOptions options;
  options.encoding = state.range(0) == 0 ? "gbk" : "cp850";
  printer::JobRenderer renderer(options);
  renderer.Process(jobs.front(), out.path(), "warm");  // finds the fonts
  std::vector<double> times;
  for (auto _ : state) {
    for (const std::string& job : jobs) {
      const auto start = std::chrono::steady_clock::now();
      const printer::JobReport report = renderer.Process(job, out.path(), "job");
      times.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      benchmark::DoNotOptimize(report.files.size());
    }
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  state.counters["labels"] = static_cast<double>(jobs.size());
  state.counters["median_ms"] = times.empty() ? 0 : times[times.size() / 2];
}
BENCHMARK(BM_LabelToPng)
    ->ArgName("label")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace zplport
