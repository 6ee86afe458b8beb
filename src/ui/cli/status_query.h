// Asks the printer of Config.ini for its host status ("~HS"), the way a
// print would reach it: over a connection of its own to [network]
// printerip and printerport, or through the port device where the printer
// can answer there.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "ui/cli/host_status.h"

namespace zplport {

// How long the printer has to answer once the question is on its way.
inline constexpr std::chrono::seconds kStatusWait{5};

struct StatusAnswer {
  std::optional<HostStatus> status;
  // Without a status, what the technician is told: the print's own
  // messages where the printer cannot be reached, else why there is none.
  std::string failure;
};

StatusAnswer AskPrinterStatus();

}  // namespace zplport
