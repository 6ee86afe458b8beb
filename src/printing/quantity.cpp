#include "printing/quantity.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "printing/print_failure.h"

namespace zplport {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number that `text` spells, or nothing when it is not a number. Accepts
// surrounding blanks, a sign, digits with an optional fraction, and an
// optional exponent; at least one digit must stand before the exponent.
std::optional<double> ParseNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);

  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  std::size_t i = 0;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t exponent_start = j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j == exponent_start) return std::nullopt;
    i = j;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double; only the first can overflow, the
    // second is as good as zero. A mantissa of zeros is zero either way.
    const std::size_t e = text.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
    const bool zero = text.substr(0, e).find_first_of("123456789") == std::string_view::npos;
    value = (tiny || zero) ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

double RoundHalfToEven(double value) {
  const double floor = std::floor(value);
  const double fraction = value - floor;
  if (fraction < 0.5) return floor;
  if (fraction > 0.5) return floor + 1;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

template <typename Integer>
Integer Convert(std::string_view text) {
  const std::optional<double> value = ParseNumber(text);
  if (!value) throw PrintFailure(kTypeMismatch);
  const double rounded = RoundHalfToEven(*value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<Integer>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<Integer>::max()))) {
    throw PrintFailure(kOverflow);
  }
  return static_cast<Integer>(rounded);
}

}  // namespace

std::int16_t ConvertToInteger(std::string_view text) { return Convert<std::int16_t>(text); }

std::int32_t ConvertToLong(std::string_view text) { return Convert<std::int32_t>(text); }

}  // namespace zplport
