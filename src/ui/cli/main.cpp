// zplport-cli QUANTITY: one press of Print with QUANTITY in the quantity box.
// zplport-cli --confirm QUANTITY: the same, proven by the printer's counts.
// zplport-cli --status: the printer's own word on whether it can print.
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "printing/print_request.h"
#include "ui/cli/cli_host.h"
#include "ui/cli/status_commands.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: zplport-cli QUANTITY            print QUANTITY text lines, as the Print button does\n"
    "       zplport-cli --confirm QUANTITY  the same, then ask the printer until it has\n"
    "                                       printed every label (exit 3: it stopped)\n"
    "       zplport-cli --status            ask the printer whether it can print\n"
    "                                       (exit 0: ready, 3: a condition stops it)\n";

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  // A quantity never starts with "--" and a letter; "-1" is still one.
  const bool option = !args.empty() && args[0].size() > 2 && args[0].substr(0, 2) == "--" &&
                      std::isalpha(static_cast<unsigned char>(args[0][2])) != 0;
  if (args.size() == 1 && args[0] == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const bool status = args.size() == 1 && args[0] == "--status";
  const bool confirm = args.size() == 2 && args[0] == "--confirm";
  if (!status && !confirm && (args.size() != 1 || option)) {
    std::fputs(kUsage, stderr);
    return zplport::kExitUsage;
  }
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
#endif
  if (status) return zplport::RunStatusCommand(stdout);
  if (confirm) {
    return zplport::RunConfirmedPrint(std::string(args[1]), stdout,
                                      StderrIsTerminal() ? stderr : nullptr);
  }
  zplport::CliHost host{std::string(args[0]), stdout};
  return zplport::ExitStatusFor(zplport::RunPrintRequest(host));
}
