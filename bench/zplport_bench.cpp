#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "printing/print_request.h"
#include "settings/ini_files.h"
#include "settings/ini_reader.h"
#include "settings/profile_file.h"
#include "support/fault_printer.h"
#include "support/recording_host.h"

namespace zplport {
namespace {

constexpr int kLines = 32768;

std::string FullContent() {
  std::string content = "[content]\r\n";
  for (int i = 0; i < kLines; ++i) {
    content += "c(" + std::to_string(i) + ")=Line " + std::to_string(i) +
               " \xD6\xD0\xCE\xC4 of a label\r\n";
  }
  return content;
}

// Every line of a 32768-line file.ini, read the way a request reads them.
void BM_ReadEveryLine(benchmark::State& state) {
  testing::RecordingHost host;
  host.WriteContent(FullContent());
  for (auto _ : state) {
    // A request shares one reading of the file among its reads.
    IniReadingScope request;
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

// What one run of the real zplport-cli cost, as a whole process.
struct ProcessCost {
  double milliseconds = 0;
  bool ok = false;
};

ProcessCost RunCli(const std::filesystem::path& cli, const std::string& quantity) {
  const std::string program = cli.string();
  std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(quantity.c_str()),
                          nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ProcessCost cost;
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return cost;
  int status = 0;
  waitpid(pid, &status, 0);
  cost.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  cost.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return cost;
}

// Runs the CLI once under a measuring tool that writes its report to
// `report` ("-o FILE"); the report, or nothing when the tool is missing.
std::optional<std::string> MeasuredRun(const std::string& tool, const std::filesystem::path& cli,
                                       const std::string& quantity,
                                       const std::filesystem::path& report) {
  const std::string command = tool + " -o '" + report.string() + "' '" + cli.string() + "' " +
                              quantity + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return std::nullopt;
  std::ifstream in(report);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The peak resident memory of one run in KiB, as GNU time reports it. The
// run's own rusage would not do: a child started from this process counts
// this process's peak as its own.
std::optional<long> PeakKib(const std::filesystem::path& cli, const std::string& quantity,
                            const std::filesystem::path& folder) {
  const auto report = MeasuredRun("/usr/bin/time -f %M", cli, quantity, folder / "time.txt");
  long kib = 0;
  if (!report || std::sscanf(report->c_str(), "%ld", &kib) != 1) return std::nullopt;
  return kib;
}

// What strace counted in one run (all threads): every system call, and the
// threads started (clone and clone3).
struct SystemCalls {
  long total = 0;
  long threads = 0;
};

std::optional<SystemCalls> CountSystemCalls(const std::filesystem::path& cli,
                                            const std::string& quantity,
                                            const std::filesystem::path& folder) {
  const auto report = MeasuredRun("strace -f -c", cli, quantity, folder / "strace.txt");
  if (!report) return std::nullopt;
  // Rows: "% time  seconds  usecs/call  calls  [errors]  syscall", the last
  // one "... total".
  SystemCalls counted;
  bool total = false;
  std::istringstream rows(*report);
  for (std::string row; std::getline(rows, row);) {
    std::istringstream fields(row);
    std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
    if (words.size() < 5 || words[0].find_first_not_of("0123456789.") != std::string::npos) {
      continue;
    }
    const long calls = std::atol(words[3].c_str());
    if (words.back() == "total") counted.total = calls, total = true;
    if (words.back() == "clone" || words.back() == "clone3") counted.threads += calls;
  }
  if (!total) return std::nullopt;
  return counted;
}

// Quantity 0 and quantity 32767 of the real zplport-cli, side by side in
// one run: the whole process each time, started, reading its INI files,
// printing and ending. Arg 0: network to a loopback printer; 1: the port,
// mapped to a file.
void BM_WholeProcess(benchmark::State& state) {
  const bool port = state.range(0) == 1;
  testing::ScopedTempDir folder;
  const std::filesystem::path cli = folder.path() / "zplport-cli";
  std::filesystem::copy_file(ZPLPORT_CLI_PATH, cli);
  folder.Write("file.ini", FullContent());
  testing::FaultPrinter printer(testing::FaultPrinter::Behaviour::kAcceptAndRead);
  const std::filesystem::path device = folder.Write("lpt1.out", "");
  const std::string settings =
      "darkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\nzbx1=50\r\nzby1=150\r\n[font]\r\na=40\r\n"
      "b=40\r\n";
  folder.Write("Config.ini", port ? "[prtmod]\r\nprtmod=LPT1:\r\n" + settings +
                                        "[ports]\r\nlpt1=" + device.string() + "\r\n"
                                  : "[prtmod]\r\nprtmod=ip\r\n" + settings +
                                        "[network]\r\nprinterip=127.0.0.1\r\nprinterport=" +
                                        std::to_string(printer.port()) + "\r\n");

  double none_ms = 0, full_ms = 0;
  std::int64_t runs = 0;
  for (auto _ : state) {
    const ProcessCost none = RunCli(cli, "0");
    const ProcessCost full = RunCli(cli, "32767");
    if (!none.ok || !full.ok) state.SkipWithError("zplport-cli failed");
    none_ms += none.milliseconds;
    full_ms += full.milliseconds;
    ++runs;
    std::filesystem::resize_file(device, 0);
    printer.TakeJobs();
  }
  state.counters["q0_ms"] = none_ms / static_cast<double>(runs);
  state.counters["q32767_ms"] = full_ms / static_cast<double>(runs);
  state.counters["ratio"] = full_ms / none_ms;
  if (const std::optional<long> peak = PeakKib(cli, "32767", folder.path())) {
    state.counters["q32767_peak_kib"] = static_cast<double>(*peak);
  }
  const std::optional<SystemCalls> calls_none = CountSystemCalls(cli, "0", folder.path());
  const std::optional<SystemCalls> calls_full = CountSystemCalls(cli, "32767", folder.path());
  if (calls_none && calls_full) {
    state.counters["q0_syscalls"] = static_cast<double>(calls_none->total);
    state.counters["q32767_syscalls"] = static_cast<double>(calls_full->total);
    state.counters["syscalls_per_label"] =
        static_cast<double>(calls_full->total - calls_none->total) / 16384;
    state.counters["q32767_threads_started"] = static_cast<double>(calls_full->threads);
  }
}
BENCHMARK(BM_WholeProcess)
    ->ArgName("port")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
}  // namespace zplport

BENCHMARK_MAIN();
