// The command line of zplport-printer, turned into server options.
#pragma once

#include <string>
#include <vector>

#include "printer/printer_server.h"

namespace zplport::printer {

extern const char kPrinterUsage[];

struct PrinterCommandLine {
  PrinterOptions options;
  // --render: draw these files ("-": standard input) and exit, no socket.
  std::vector<std::string> render_files;
  bool help = false;
  std::string error;  // non-empty: the arguments were not usable
};

// `args` excludes the program name. Options take their value as the next
// argument or after "=" (--port=0). Defaults: 127.0.0.1, port 9100, the
// current folder, no job limit, 203 dpi, GBK, 60 s idle time, 100 pictures
// a job. With --render every argument that is not an option is a file.
PrinterCommandLine ParsePrinterCommandLine(const std::vector<std::string>& args);

}  // namespace zplport::printer
