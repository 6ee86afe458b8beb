#include "printer/status.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace zplport::printer {
namespace {

bool IsRequestAt(std::string_view text, std::size_t i) {
  return text[i] == '~' && std::toupper(static_cast<unsigned char>(text[i + 1])) == 'H' &&
         std::toupper(static_cast<unsigned char>(text[i + 2])) == 'S';
}

}  // namespace

std::string HostStatusReply(int label_length) {
  // String 1: interface settings 030 (9600 baud, 8 data bits, 1 stop bit,
  // no parity, Xon/Xoff), paper out 0, pause 0, label length, 000 formats
  // buffered, buffer full 0, diagnostics 0, partial format 0, 000, corrupt
  // RAM 0, under and over temperature 0.
  // String 2: function settings 001, unused 0, head up 0, ribbon out 0,
  // direct thermal 0, tear-off mode 2, print width mode 6, no label
  // waiting, 00000000 labels left in the batch, 1, no stored graphics.
  // String 3: password 1234, no static RAM.
  char reply[160];
  std::snprintf(reply, sizeof reply,
                "\x02"
                "030,0,0,%04d,000,0,0,0,000,0,0,0\x03\r\n"
                "\x02"
                "001,0,0,0,0,2,6,0,00000000,1,000\x03\r\n"
                "\x02"
                "1234,0\x03\r\n",
                std::clamp(label_length, 0, 9999));
  return reply;
}

int StatusRequestScanner::Feed(std::string_view piece) {
  std::string text(tail_, tail_size_);
  text.append(piece);
  int count = 0;
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (IsRequestAt(text, i)) ++count;
  }
  // A request already counted cannot be counted again: the tail is shorter
  // than a request.
  tail_size_ = std::min<std::size_t>(2, text.size());
  text.copy(tail_, tail_size_, text.size() - tail_size_);
  return count;
}

}  // namespace zplport::printer
