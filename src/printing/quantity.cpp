#include "printing/quantity.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "printing/print_failure.h"
#include "settings/profile_file.h"

namespace zplport {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// For a number written as digits, an optional fraction and an optional
// exponent (already checked): the power of ten of its first significant
// digit, saturated far beyond any double. Only called for nonzero values
// out of a double's range, which have a significant digit.
long long LeadingDigitPower(std::string_view text) {
  constexpr long long kFar = 1'000'000'000;
  const std::size_t e = text.find_first_of("eE");
  const std::string_view mantissa = text.substr(0, e);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return -kFar;
  // Digits before the point count from 0 down; after it from -1.
  long long power = first < point ? static_cast<long long>(point - first) - 1
                                  : -static_cast<long long>(first - point);
  if (e != std::string_view::npos) {
    std::string_view exponent = text.substr(e + 1);
    const bool minus = exponent.front() == '-';
    if (exponent.front() == '+' || minus) exponent.remove_prefix(1);
    long long value = 0;
    for (const char c : exponent) value = std::min(value * 10 + (c - '0'), kFar);
    power += minus ? -value : value;
  }
  return power;
}

// The number that `text` spells, or nothing when it is not a number. Accepts
// surrounding blanks, a sign, digits with an optional fraction, and an
// optional exponent; at least one digit must stand before the exponent.
std::optional<double> ParseNumber(std::string_view text) {
  text = Trimmed(text, " \t");

  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  // from_chars reads exactly that grammar, and also a sign, "inf" and "nan",
  // which start otherwise.
  if (text.empty() || !(IsDigit(text.front()) || text.front() == '.')) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Beyond what a double holds, one way or the other: the place of the
    // first significant digit tells which.
    value = LeadingDigitPower(text) >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
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
