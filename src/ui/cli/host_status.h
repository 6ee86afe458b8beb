// The printer's answer to "~HS" (host status): three strings, each framed
// by STX ... ETX, with comma-separated fields in the order of the ZPL II
// guide. Read here into what stops printing and what the printer still
// holds, and worded for the technician.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zplport {

inline constexpr std::string_view kHostStatusRequest = "~HS";

struct HostStatus {
  // String 1.
  bool paper_out = false;
  bool paused = false;
  long label_length = 0;     // dots
  long formats_waiting = 0;  // formats in the receive buffer
  bool buffer_full = false;
  bool diagnostic_mode = false;
  bool partial_format = false;  // a format is still arriving
  bool corrupt_ram = false;     // configuration data lost
  bool under_temperature = false;
  bool over_temperature = false;
  // String 2.
  bool head_up = false;
  bool ribbon_out = false;
  long labels_remaining = 0;  // in the batch being printed
  // String 3 says nothing that matters here (password, static RAM).
};

// Where the third string ends (just past its ETX), counting from the first
// STX; npos while the answer is not all there.
std::size_t HostStatusEnd(std::string_view bytes);

// Nothing when the three strings are not all there or a field is not what
// the guide gives (a number; a flag 0 or 1). Anything before the first STX
// or after the third ETX is ignored, and so are fields past the guide's.
std::optional<HostStatus> DecodeHostStatus(std::string_view bytes);

// One line per condition that stops printing, in Chinese ("缺纸", "暂停",
// ...); none when the printer is ready.
std::vector<std::string> StoppingConditions(const HostStatus& status);

// "标签长度 1218 点，接收缓冲区中 0 个格式，本批还剩 0 张标签"
std::string DescribeFigures(const HostStatus& status);

// The labels the printer holds as far as its counts tell: what is left of
// the batch being printed, and at least one for each format waiting.
long LabelsHeld(const HostStatus& status);

// Bytes as a reader can see them in a message: printable ASCII as it is,
// STX, ETX, CR and LF by name, anything else in hex; cut after a few lines.
std::string ShowBytes(std::string_view bytes);

}  // namespace zplport
