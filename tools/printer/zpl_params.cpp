#include "printer/zpl_params.h"

#include <algorithm>
#include <cctype>

namespace zplport::printer {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

bool IsCommandChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '@';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitParams(std::string_view params, char delimiter) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = params.find(delimiter, start);
    parts.push_back(Trim(params.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return parts;
}

// A leading integer, saturated far beyond any accepted value; nullopt when
// the text holds no number.
std::optional<long long> Number(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    value = std::min<long long>(value * 10 + (c - '0'), 1'000'000'000'000LL);
  }
  return negative ? -value : value;
}

// "2.5" as tenths: 25.
std::optional<long long> Tenths(std::string_view text) {
  text = Trim(text);
  const auto whole = Number(text);
  if (!whole) return std::nullopt;
  long long tenths = *whole * 10;
  if (const std::size_t dot = text.find('.');
      dot != std::string_view::npos && dot + 1 < text.size() &&
      std::isdigit(static_cast<unsigned char>(text[dot + 1]))) {
    tenths += text[dot + 1] - '0';
  }
  return tenths;
}

std::optional<Orientation> OrientationOf(std::string_view text) {
  if (text.empty()) return std::nullopt;
  switch (Upper(text.front())) {
    case 'N':
      return Orientation::kNormal;
    case 'R':
      return Orientation::kRotated;
    case 'I':
      return Orientation::kInverted;
    case 'B':
      return Orientation::kBottomUp;
    default:
      return std::nullopt;
  }
}

std::optional<bool> YesNo(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (Upper(text.front()) == 'Y') return true;
  if (Upper(text.front()) == 'N') return false;
  return std::nullopt;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char u = Upper(c);
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

// "R:LOGO.GRF" -> "LOGO.GRF": the drive is dropped, the extension added
// when missing, all in upper case.
std::string ObjectName(std::string_view text, std::string_view default_extension) {
  text = Trim(text);
  if (text.size() >= 2 && text[1] == ':') text.remove_prefix(2);
  std::string name = UpperText(text);
  if (name.empty()) name = "UNKNOWN";
  if (name.find('.') == std::string::npos) name += default_extension;
  return name;
}

// ^ID's wildcards: "*" any run, "?" any one character.
bool NameMatches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern.front() == '*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (NameMatches(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  if (pattern.front() != '?' && pattern.front() != name.front()) return false;
  return NameMatches(pattern.substr(1), name.substr(1));
}

std::string WithoutLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  return out;
}

}  // namespace zplport::printer
