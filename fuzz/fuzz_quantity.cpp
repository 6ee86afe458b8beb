// The numeric conversion of the quantity and the printer port, checked
// against plain references where the answer is certain: integers written
// in decimal, short decimal fractions, and text with characters that no
// number has.
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "printing/print_failure.h"
#include "printing/quantity.h"

namespace {

// A value, or the failure's description.
struct Result {
  std::optional<long long> value;
  std::string failure;
};

template <typename Convert>
Result Run(Convert convert, std::string_view text) {
  try {
    return {convert(text), ""};
  } catch (const zplport::PrintFailure& failure) {
    return {std::nullopt, failure.what()};
  }
}

void Check(bool ok, const char* what, std::string_view text) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s for \"%.*s\"\n", what, static_cast<int>(text.size()),
                 text.data());
    std::abort();
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// `text` as blanks, a sign, digits, optionally "." and more digits, blanks.
struct Plain {
  bool negative = false;
  std::string whole, fraction;
  bool has_point = false;
};
std::optional<Plain> ParsePlain(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  Plain p;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    p.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::size_t i = 0;
  while (i < text.size() && IsDigit(text[i])) p.whole += text[i++];
  if (i < text.size() && text[i] == '.') {
    p.has_point = true;
    ++i;
    while (i < text.size() && IsDigit(text[i])) p.fraction += text[i++];
  }
  if (i != text.size() || p.whole.size() + p.fraction.size() == 0) return std::nullopt;
  return p;
}

// What the conversion must give for plain text, when that is certain.
std::optional<Result> Expected(const Plain& p, long long low, long long high) {
  std::string whole = p.whole;
  whole.erase(0, whole.find_first_not_of('0'));
  if (!p.has_point || p.fraction.find_first_not_of('0') == std::string::npos) {
    // An exact integer: overflow is known even past what a double holds.
    if (whole.size() > 18) return Result{std::nullopt, zplport::kOverflow};
    long long v = whole.empty() ? 0 : std::stoll(whole);
    if (p.negative) v = -v;
    if (v < low || v > high) return Result{std::nullopt, zplport::kOverflow};
    return Result{v, ""};
  }
  // A short fraction is exact enough in a double to round it by the book.
  if (whole.size() + p.fraction.size() > 15) return std::nullopt;
  const std::string text =
      (p.negative ? "-" : "") + (whole.empty() ? "0" : whole) + "." + p.fraction;
  const double rounded = std::nearbyint(std::strtod(text.c_str(), nullptr));  // half to even
  if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high)) {
    return Result{std::nullopt, zplport::kOverflow};
  }
  return Result{static_cast<long long>(rounded), ""};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::fesetround(FE_TONEAREST);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Result i16 = Run(zplport::ConvertToInteger, text);
  const Result i32 = Run(zplport::ConvertToLong, text);

  for (const Result* r : {&i16, &i32}) {
    Check(r->value.has_value() || r->failure == zplport::kTypeMismatch ||
              r->failure == zplport::kOverflow,
          "an unknown failure", text);
  }
  // The two widths agree on what is a number, and on its value.
  Check((i16.failure == zplport::kTypeMismatch) == (i32.failure == zplport::kTypeMismatch),
        "the widths disagree on what is a number", text);
  if (i32.value) {
    if (*i32.value >= -32768 && *i32.value <= 32767) {
      Check(i16.value == i32.value, "the widths give different values", text);
    } else {
      Check(i16.failure == zplport::kOverflow, "a 16-bit value out of range", text);
    }
  }
  if (i32.failure == zplport::kOverflow) {
    Check(i16.failure == zplport::kOverflow, "fits 16 bits but not 32", text);
  }

  // No number holds other characters.
  if (text.find_first_not_of("0123456789+-.eE \t") != std::string_view::npos) {
    Check(i32.failure == zplport::kTypeMismatch, "text with letters read as a number", text);
  }
  if (const std::optional<Plain> plain = ParsePlain(text)) {
    if (const auto want = Expected(*plain, -32768, 32767)) {
      Check(i16.value == want->value && i16.failure == want->failure, "wrong 16-bit result", text);
    }
    if (const auto want = Expected(*plain, INT32_MIN, INT32_MAX)) {
      Check(i32.value == want->value && i32.failure == want->failure, "wrong 32-bit result", text);
    }
  }
  return 0;
}
