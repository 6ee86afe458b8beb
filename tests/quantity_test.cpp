#include "printing/quantity.h"

#include <gtest/gtest.h>

#include "printing/print_failure.h"

namespace zplport {
namespace {

std::string FailureOf(std::string_view text, bool as_long = false) {
  try {
    as_long ? ConvertToLong(text) : ConvertToInteger(text);
  } catch (const PrintFailure& failure) {
    return failure.what();
  }
  return "";
}

// Written beyond a double's range, one way and the other.
const std::string kHugeWithNegativeExponent = "1" + std::string(400, '0') + "e-50";  // 1e350
const std::string kTinyWithoutExponent = "0." + std::string(400, '0') + "1";         // 1e-401

TEST(QuantityTest, AcceptedTexts) {
  struct Case {
    const char* text;
    int expected;
  } cases[] = {
      {"0", 0},      {"4", 4},           {"  12  ", 12},
      {"\t7", 7},    {"+3", 3},          {"-2", -2},
      {"007", 7},    {"32767", 32767},   {"-32768", -32768},
      {"2.4", 2},    {"2.6", 3},         {"2.5", 2},
      {"3.5", 4},    {"-2.5", -2},       {"-0.5", 0},
      {"0.5", 0},    {"1.5", 2},         {".5", 0},
      {"4.", 4},     {"1e3", 1000},      {"2.5E1", 25},
      {"1e-9", 0},   {"32767.4", 32767}, {"-32768.5", -32768},
      {"1e-400", 0}, {"0e999", 0},       {kTinyWithoutExponent.c_str(), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertToInteger(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(QuantityTest, RejectedTexts) {
  struct Case {
    const char* text;
    const char* failure;
  } cases[] = {
      {"", kTypeMismatch},
      {"   ", kTypeMismatch},
      {"abc", kTypeMismatch},
      {"4a", kTypeMismatch},
      {"a4", kTypeMismatch},
      {"1 2", kTypeMismatch},
      {"+", kTypeMismatch},
      {".", kTypeMismatch},
      {"1e", kTypeMismatch},
      {"e5", kTypeMismatch},
      {"--1", kTypeMismatch},
      {"1,000", kTypeMismatch},
      {"\xEF\xBC\x94", kTypeMismatch /* full-width 4 */},
      {"0x10", kTypeMismatch},
      {"40000", kOverflow},
      {"32768", kOverflow},
      {"-32769", kOverflow},
      {"32767.5", kOverflow},
      {"1e5", kOverflow},
      {"1e400", kOverflow},
      {"99999999999999999999", kOverflow},
      {kHugeWithNegativeExponent.c_str(), kOverflow},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf(c.text), c.failure) << '"' << c.text << '"';
  }
}

TEST(QuantityTest, LongRange) {
  EXPECT_EQ(ConvertToLong("9100"), 9100);
  EXPECT_EQ(ConvertToLong(" 70000 "), 70000);
  EXPECT_EQ(ConvertToLong("-2147483648"), INT32_MIN);
  EXPECT_EQ(FailureOf("2147483648", true), kOverflow);
  EXPECT_EQ(FailureOf("91OO", true), kTypeMismatch);
}

}  // namespace
}  // namespace zplport
