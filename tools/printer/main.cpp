// zplport-printer: a loopback stand-in for a label printer's raw TCP port.
// Prints "listening on ADDR:PORT", then one summary line per job.
#include <signal.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "printer/printer_cli.h"
#include "printer/printer_server.h"

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void RequestStop(int) { g_stop = true; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: the signal has to interrupt poll().
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zplport::printer;
  const PrinterCommandLine command = ParsePrinterCommandLine({argv + 1, argv + argc});
  if (!command.error.empty()) {
    std::cerr << "zplport-printer: " << command.error << "\n" << kPrinterUsage;
    return 2;
  }
  if (command.help) {
    std::cout << kPrinterUsage;
    return 0;
  }

  InstallStopHandlers();
  PrinterServer server(command.options);
  if (const std::string error = server.Start(); !error.empty()) {
    std::cerr << "zplport-printer: " << error << "\n";
    return 1;
  }
  server.set_on_job([](const Job& job) { std::cout << FormatJobSummary(job) << std::endl; });
  std::cout << "listening on " << server.endpoint() << std::endl;
  server.Run(g_stop);
  return 0;
}
