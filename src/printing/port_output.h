// Parallel-port output: each label goes to the port device on its own,
// opened and closed around it.
#pragma once

#include <filesystem>
#include <string>

#include "label/label.h"
#include "printing/print_host.h"

namespace zplport {

// The device behind "LPT1:" ... "LPT4:": [ports] lpt1 ... lpt4 of Config.ini
// when set, else the platform's default.
std::filesystem::path PortDevicePath(const std::string& port_name);

// Opens the port device, writes the label and CR LF, closes it. Waits in
// ticks while the device is busy; raises PrintFailure when it cannot be
// opened or written, or takes nothing for the stall limit.
void DeliverToPort(PrintHost& host, const std::string& port_name, const LabelText& label);

}  // namespace zplport
