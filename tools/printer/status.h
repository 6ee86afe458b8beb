// The printer's answer to the host status request "~HS": three strings,
// each framed by STX ... ETX and followed by CR LF, describing a printer
// that is ready (no paper out, no pause, head closed, nothing buffered).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zplport::printer {

// `label_length` in dots, as the printer's length setting.
std::string HostStatusReply(int label_length);

// Counts "~HS" in a stream that arrives in pieces, in either case, also
// when a request is split across two pieces.
class StatusRequestScanner {
 public:
  // The number of requests that end inside `piece`.
  int Feed(std::string_view piece);

 private:
  char tail_[2] = {};
  std::size_t tail_size_ = 0;  // the last bytes seen, up to 2
};

}  // namespace zplport::printer
