// What the loopback printer knows about one job, and the one line it
// prints about it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zplport::printer {

struct Job {
  int number = 0;  // same as the number in the file name
  // Exactly as received, up to max_job_bytes; empty if not retained.
  std::string bytes{};
  std::size_t size = 0;  // bytes received
  int labels = 0;
  int formats = 0;
  bool reset = false;      // the sender reset the connection before EOF
  bool timed_out = false;  // closed by the server: no byte came for idle_timeout
  std::string path{};      // saved file; empty when kept in memory only
  std::string error{};     // why the file could not be saved, if it could not
  // What the job asked of the printer (zpl_parser.h).
  std::vector<long> copies{};               // ^PQ of each label
  std::string darkness{};                   // ~SD, as sent
  std::string speed{};                      // ^PR
  std::string charset{};                    // ^CI
  int status_replies = 0;                   // "~HS" requests answered
  std::vector<std::string> pngs{};          // label images written beside `path`
  std::vector<std::string> render_notes{};  // why labels were not (all) rendered
  std::vector<std::string> unsupported{};   // commands read but not drawn, e.g. "^BC"
  std::vector<std::string> warnings{};      // odd input: clamped numbers, cut-off formats
};

// One line, no line end, e.g.
//   job 1: 1234 bytes, 2 labels (4 formats) -> out/job-0001.zpl
//   job 2: reset after 10 bytes, 0 labels (1 format) -> out/job-0002.zpl
//   job 5: timed out after 10 bytes, 0 labels (1 format) -> out/job-0005.zpl
//   job 3: 5 bytes, 0 labels (0 formats)                (memory only)
//   job 4: 5 bytes, 0 labels (0 formats), not saved: <reason>
// followed by what is known of the job, each part only when there is any:
//   , copies 1, darkness 15, speed B, charset 28, ~HS answered,
//   rendered 2 PNG (job-0001-1.png, job-0001-2.png), <why not rendered>,
//   unsupported: ^BC ^BY, warnings: <what>; <what>
// ("copies 1/3" when the labels differ, "~HS answered 2 times").
std::string FormatJobSummary(const Job& job);

}  // namespace zplport::printer
