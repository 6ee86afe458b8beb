// One press of Print: read the settings, convert the quantity, choose the way
// of printing, compose a label per pair of text lines and deliver them. Every
// outcome is told to the operator through the host.
#pragma once

#include <string>

#include "printing/print_host.h"

namespace zplport {

enum class PrintOutcome {
  kDone,         // ended without a failure (parallel: silently; network: "打印成功")
  kFailed,       // a failure's description was shown
  kUnknownMode,  // prtmod names no way of printing: "你末JJ！" was shown
  kRefused,      // a request was already running for this host
};

inline constexpr const char* kPrintSucceeded = "打印成功";
inline constexpr const char* kUnknownPrintMode = "你末JJ！";

PrintOutcome RunPrintRequest(PrintHost& host);

// The request's choice of the way of printing from prtmod: the port name
// ("LPT1:" ... "LPT4:") for parallel output, or whether it names the
// network (letter case as written).
std::string ParallelPortName(const std::string& prtmod);  // "" when it names no port
bool NamesNetwork(const std::string& prtmod);

}  // namespace zplport
