// zplport-printer --render: draws files as the printer draws jobs, with no
// socket. The files are read one after the other by one printer, so that
// what a file leaves behind (stored formats and graphics, ^CI, ^LH, ...)
// holds for the files after it, as it does from job to job. FILE's labels
// become `output_folder`/FILE-1.png, FILE-2.png, ... (FILE without its
// folder and extension; "stdin" for "-", standard input).
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "printer/printer_server.h"

namespace zplport::printer {

// Writes one summary line per file to `out` (FormatFileSummary), and to
// `err` what stops it from drawing at all. Returns the exit status: 0 when
// every file was read and every label that was to be drawn was drawn,
// 1 otherwise.
int RenderFiles(const std::vector<std::string>& files, const PrinterOptions& options,
                std::istream& input, std::ostream& out, std::ostream& err);

}  // namespace zplport::printer
