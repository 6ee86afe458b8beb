#include "ui/cli/cli_host.h"

namespace zplport {

void CliHost::ShowMessage(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

int ExitStatusFor(PrintOutcome outcome) {
  switch (outcome) {
    case PrintOutcome::kDone:
      return 0;
    case PrintOutcome::kFailed:
    case PrintOutcome::kUnknownMode:
    case PrintOutcome::kRefused:
      return 1;
  }
  return 1;
}

}  // namespace zplport
