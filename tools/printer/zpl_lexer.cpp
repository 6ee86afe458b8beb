#include "printer/zpl_lexer.h"

#include <algorithm>
#include <vector>

#include "printer/zpl_params.h"

namespace zplport::printer {

ZplLexer::ZplLexer(std::string_view bytes, char format, char control, char delimiter)
    : bytes_(bytes),
      format_(format),
      control_(control),
      delimiter_(delimiter),
      at_(0),
      caret_(NextOf(format, 0)),
      tilde_(NextOf(control, 0)) {
  at_ = DataEnd(0);
}

std::size_t ZplLexer::NextOf(char c, std::size_t from) const {
  const std::size_t at = bytes_.find(c, from);
  return at == std::string_view::npos ? bytes_.size() : at;
}

std::size_t ZplLexer::DataEnd(std::size_t from) {
  if (from > caret_) caret_ = NextOf(format_, from);
  if (from > tilde_) tilde_ = NextOf(control_, from);
  return std::min(caret_, tilde_);
}

// Where a command that carries a byte count of binary data ends: ^GF in
// B or C format after its fourth comma, ~DY in B or C after its fifth.
std::size_t ZplLexer::BinaryEnd(std::size_t params, int commas, std::size_t format_index,
                                std::size_t count_index) {
  const std::size_t limit = DataEnd(params);
  std::vector<std::size_t> at;
  for (std::size_t i = params; i < limit && static_cast<int>(at.size()) < commas; ++i) {
    if (bytes_[i] == delimiter_) at.push_back(i);
  }
  if (static_cast<int>(at.size()) < commas) return limit;
  auto field = [&](std::size_t index) {
    const std::size_t from = index == 0 ? params : at[index - 1] + 1;
    return bytes_.substr(from, at[index] - from);
  };
  const std::string_view format = Trim(field(format_index));
  if (format.empty() || (Upper(format.front()) != 'B' && Upper(format.front()) != 'C')) {
    return limit;
  }
  const auto count = Number(field(count_index));
  const std::size_t data = at.back() + 1;
  if (!count || *count <= 0) return limit;
  return std::min<std::size_t>(bytes_.size(), data + static_cast<std::size_t>(*count));
}

bool ZplLexer::Next(ZplToken& token) {
  if (at_ >= bytes_.size()) return false;
  token = {};
  const std::size_t at = at_;
  const std::size_t size = bytes_.size();
  const char prefix = bytes_[at] == format_ ? '^' : '~';
  auto skip_to = [&](std::size_t next, const char* problem) {
    token.problem = problem;
    at_ = next >= size ? size : DataEnd(next);
    return true;
  };
  if (at + 1 >= size || (at + 2 >= size && !(prefix == '^' && Upper(bytes_[at + 1]) == 'A'))) {
    return skip_to(size, "command cut off at the end of the job");
  }
  token.code.assign(1, prefix);
  if (prefix == '^' && Upper(bytes_[at + 1]) == 'A' && (at + 2 >= size || bytes_[at + 2] != '@')) {
    token.code += 'A';
    if (at + 2 >= size) return skip_to(size, "command cut off at the end of the job");
    token.font = Upper(bytes_[at + 2]);
    if (!IsCommandChar(token.font)) return skip_to(at + 2, "^A without a font name ignored");
  } else {
    const char a = Upper(bytes_[at + 1]);
    const char b = Upper(bytes_[at + 2]);
    if (!IsCommandChar(a) || !IsCommandChar(b)) {
      return skip_to(at + 1, "bytes that are no command ignored");
    }
    token.code += a;
    token.code += b;
  }
  const std::size_t params = at + 3;
  const std::string_view name = std::string_view(token.code).substr(1);
  if (name == "CC" || name == "CT" || name == "CD") {
    // One character, in effect at once: what follows it is read with it.
    const std::size_t end = std::min(size, params + 1);
    token.raw = bytes_.substr(params, end - params);
    token.text = bytes_.substr(at, end - at);
    const char c = token.raw.empty() ? 0 : token.raw.front();
    if (c != 0 && c != ' ' && c != '\r' && c != '\n') {
      char& changed = name == "CC" ? format_ : name == "CT" ? control_ : delimiter_;
      changed = c;
      caret_ = NextOf(format_, end);
      tilde_ = NextOf(control_, end);
    }
    at_ = DataEnd(end);
    return true;
  }
  std::size_t end = DataEnd(params);
  if (token.code == "^GF") end = BinaryEnd(params, 4, 0, 1);
  if (token.code == "~DY") end = BinaryEnd(params, 5, 1, 3);
  token.raw = bytes_.substr(params, end - params);
  token.text = bytes_.substr(at, end - at);
  at_ = DataEnd(end);
  return true;
}

}  // namespace zplport::printer
