// zplport-printer: a loopback stand-in for a label printer's raw TCP port.
// Prints "listening on ADDR:PORT", then one summary line per job and one
// line about each connection that was not a job. With --render it draws
// files instead, one line each, and exits.
#include <signal.h>

#include <atomic>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "printer/printer_cli.h"
#include "printer/printer_server.h"
#include "printer/render_files.h"

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

  if (!command.render_files.empty()) {
    return RenderFiles(command.render_files, command.options, std::cin, std::cout, std::cerr);
  }

  InstallStopHandlers();
  // Jobs are announced by the server's worker, the other lines by its
  // serving thread. The server, made after these, stops both before they go.
  std::mutex output;
  auto print = [&output](const std::string& line) {
    std::lock_guard lock(output);
    std::cout << line << std::endl;
  };
  PrinterServer server(command.options);
  if (const std::string error = server.Start(); !error.empty()) {
    std::cerr << "zplport-printer: " << error << "\n";
    return 1;
  }
  server.set_on_job([&print](const Job& job) { print(FormatJobSummary(job)); });
  server.set_on_log(print);
  std::cout << "listening on " << server.endpoint() << std::endl;
  server.Run(g_stop);
  return 0;
}
