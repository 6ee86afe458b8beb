// What the printer answers at once, whatever it is doing: the host status
// "~HS" (three strings, each framed by STX ... ETX and followed by CR LF)
// and the error query "~HQES", both from the print engine's state; and the
// scanner that finds these and the other commands a printer obeys as soon
// as they arrive (~PP, ~PS, ~JA) in a stream that comes in pieces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "printer/print_engine.h"

namespace zplport::printer {

// `label_length` in dots, as the printer's length setting (^LL).
std::string HostStatusReply(int label_length, const EngineStatus& status = {});

// "PRINTER STATUS", its ERRORS line (media out 1, ribbon out 2, head open 4
// in the lowest digit) and a WARNINGS line, framed by STX ... ETX.
std::string HostQueryErrorsReply(const EngineStatus& status);

enum class ImmediateCommand {
  kHostStatus,   // ~HS
  kQueryErrors,  // ~HQES
  kPause,        // ~PP
  kResume,       // ~PS
  kCancelAll,    // ~JA
  kFormatStart,  // ^XA: not obeyed at once, but it tells that a job holds a format
};

// True when `bytes` hold nothing but "~" commands of the list above and
// white space: a host that only asked or commanded, and sent no job.
bool OnlyImmediateCommands(std::string_view bytes);

// Finds the commands in either case, also when one is split across pieces.
class ImmediateCommandScanner {
 public:
  // The commands that end inside `piece`, in order.
  std::vector<ImmediateCommand> Feed(std::string_view piece);

 private:
  std::string tail_;  // the last bytes seen, shorter than the longest command
};

}  // namespace zplport::printer
