// Numeric conversion of operator and INI text, as the platform's own
// conversion does it: optional surrounding spaces and sign, an optional
// fraction and exponent, rounding half to even.
#pragma once

#include <cstdint>
#include <string_view>

namespace zplport {

// Raises PrintFailure(kTypeMismatch) for text that is not a number and
// PrintFailure(kOverflow) outside -32768..32767.
std::int16_t ConvertToInteger(std::string_view text);

// The same for a signed 32-bit value.
std::int32_t ConvertToLong(std::string_view text);

}  // namespace zplport
