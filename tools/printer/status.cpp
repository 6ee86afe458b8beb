#include "printer/status.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

namespace zplport::printer {
namespace {

constexpr std::pair<std::string_view, ImmediateCommand> kCommands[] = {
    {"~HS", ImmediateCommand::kHostStatus}, {"~HQES", ImmediateCommand::kQueryErrors},
    {"~PP", ImmediateCommand::kPause},      {"~PS", ImmediateCommand::kResume},
    {"~JA", ImmediateCommand::kCancelAll},  {"^XA", ImmediateCommand::kFormatStart},
};
constexpr std::size_t kLongest = 5;

bool MatchesAt(std::string_view text, std::size_t at, std::string_view command) {
  if (text.size() - at < command.size()) return false;
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[at + i])) != command[i]) return false;
  }
  return true;
}

}  // namespace

std::string HostStatusReply(int label_length, const EngineStatus& status) {
  // String 1: interface settings 030 (9600 baud, 8 data bits, 1 stop bit,
  // no parity, Xon/Xoff), paper out, pause, label length, formats in the
  // buffer, buffer full 0, diagnostics 0, partial format, 000, corrupt RAM
  // 0, under and over temperature 0.
  // String 2: function settings 001, unused 0, head up, ribbon out, direct
  // thermal 0, tear-off mode 2, print width mode 6, no label waiting,
  // labels left in the batch, 1, no stored graphics.
  // String 3: password 1234, no static RAM.
  char reply[192];
  std::snprintf(reply, sizeof reply,
                "\x02"
                "030,%d,%d,%04d,%03d,0,0,%d,000,0,0,0\x03\r\n"
                "\x02"
                "001,0,%d,%d,0,2,6,0,%08ld,1,000\x03\r\n"
                "\x02"
                "1234,0\x03\r\n",
                status.paper_out, status.paused, std::clamp(label_length, 0, 9999),
                std::clamp(status.formats_waiting, 0, 999), status.partial_format, status.head_open,
                status.ribbon_out, std::clamp(status.labels_remaining, 0L, 99999999L));
  return reply;
}

std::string HostQueryErrorsReply(const EngineStatus& status) {
  const int errors =
      (status.paper_out ? 1 : 0) | (status.ribbon_out ? 2 : 0) | (status.head_open ? 4 : 0);
  char reply[160];
  std::snprintf(reply, sizeof reply,
                "\x02\r\n"
                "PRINTER STATUS\r\n"
                "   ERRORS:         %d 00000000 %08X\r\n"
                "   WARNINGS:       0 00000000 00000000\r\n"
                "\x03\r\n",
                errors != 0 ? 1 : 0, static_cast<unsigned>(errors));
  return reply;
}

bool OnlyImmediateCommands(std::string_view bytes) {
  bool any = false;
  for (std::size_t at = 0; at < bytes.size();) {
    if (std::isspace(static_cast<unsigned char>(bytes[at]))) {
      ++at;
      continue;
    }
    std::size_t matched = 0;
    for (const auto& [name, command] : kCommands) {
      if (name[0] == '~' && MatchesAt(bytes, at, name)) matched = std::max(matched, name.size());
    }
    if (matched == 0) return false;
    at += matched;
    any = true;
  }
  return any;
}

std::vector<ImmediateCommand> ImmediateCommandScanner::Feed(std::string_view piece) {
  std::string text = tail_;
  text.append(piece);
  std::vector<ImmediateCommand> found;
  // A command wholly inside the tail was found before; one that ends in the
  // piece is new.
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (const auto& [name, command] : kCommands) {
      if (at + name.size() > tail_.size() && MatchesAt(text, at, name)) found.push_back(command);
    }
  }
  tail_ = text.substr(text.size() - std::min(text.size(), kLongest - 1));
  return found;
}

}  // namespace zplport::printer
