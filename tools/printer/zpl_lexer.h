// Cuts a job's bytes into commands: a prefix ('^' or '~', or what ^CC and
// ^CT made them; a token names its command with '^' or '~'), a name of two
// letters or digits (^A takes its font name in place of the second:
// ^A0, ^AD), and parameters up to the next prefix. The commands that carry
// a byte count of binary data (^GF and ~DY in formats B and C) end where
// the count says, so that their data may hold '^' and '~'. Text between
// commands, line ends and garbage are skipped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zplport::printer {

// One command, or bytes that are none.
struct ZplToken {
  std::string code{};       // "^FO", "~DG", "^A@"; "^A" for ^A0, ^AD, ...
  char font = 0;            // ^A's font name, in upper case
  std::string_view raw{};   // parameters and data as sent
  std::string_view text{};  // the whole command as sent, prefix included
  // Set instead of a command: what was wrong with the bytes skipped.
  const char* problem = nullptr;
};

class ZplLexer {
 public:
  // `format` and `control` start format and control commands; `delimiter`
  // parts their parameters.
  explicit ZplLexer(std::string_view bytes, char format = '^', char control = '~',
                    char delimiter = ',');

  // The next command or problem; false at the end of the bytes. ^CC, ~CC,
  // ^CT and ~CT take the one character after them, and the commands after
  // it start with that; ^CD and ~CD change the delimiter likewise.
  bool Next(ZplToken& token);

  char format_prefix() const { return format_; }
  char control_prefix() const { return control_; }
  char delimiter() const { return delimiter_; }

 private:
  // End of a command's parameters or data: the next command prefix. This
  // holds inside GBK text too: the few characters whose second byte is
  // '^' or '~' reach a printer only through ^FH escapes, as they do here.
  // `from` may only grow from call to call.
  std::size_t DataEnd(std::size_t from);
  std::size_t NextOf(char c, std::size_t from) const;
  std::size_t BinaryEnd(std::size_t params, int commas, std::size_t format_index,
                        std::size_t count_index);

  std::string_view bytes_;
  char format_;
  char control_;
  char delimiter_;
  std::size_t at_;     // the next command's prefix, or the end
  std::size_t caret_;  // the next prefixes at or after what DataEnd last saw
  std::size_t tilde_;
};

}  // namespace zplport::printer
