#include "util/number_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

namespace tovra {
namespace {

struct DecimalCase {
  const char* text;
  std::int64_t min;
  std::int64_t max;
  std::optional<std::int64_t> expected;
};

TEST(NumberText, DecimalWholeTextWithinRange) {
  const DecimalCase cases[] = {
      {"0", 0, 10, 0},
      {"+7", 0, 10, 7},
      {"-7", -10, 10, -7},
      {"10", 0, 10, 10},
      {"11", 0, 10, std::nullopt},
      {"-1", 0, 10, std::nullopt},
      {"", 0, 10, std::nullopt},
      {"-", -10, 10, std::nullopt},
      {" 1", 0, 10, std::nullopt},
      {"1 ", 0, 10, std::nullopt},
      {"1x", 0, 10, std::nullopt},
      {"0x10", 0, 100, std::nullopt},
      {"2147483647", INT32_MIN, INT32_MAX, INT32_MAX},
      {"-2147483648", INT32_MIN, INT32_MAX, INT32_MIN},
      {"2147483648", INT32_MIN, INT32_MAX, std::nullopt},
      {"-2147483649", INT32_MIN, INT32_MAX, std::nullopt},
      {"9223372036854775807", INT64_MIN, INT64_MAX, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, INT64_MAX, INT64_MIN},
      {"9223372036854775808", INT64_MIN, INT64_MAX, std::nullopt},
      {"99999999999999999999999", INT64_MIN, INT64_MAX, std::nullopt},
      {"65535", 1, 65535, 65535},
      {"0", 1, 65535, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDecimal(c.text, c.min, c.max), c.expected) << '"' << c.text << '"';
  }
}

TEST(NumberText, UnsignedTakesDigitsOnly) {
  EXPECT_EQ(ParseUnsigned("226", 32767), 226u);
  EXPECT_EQ(ParseUnsigned("32767", 32767), 32767u);
  EXPECT_EQ(ParseUnsigned("32768", 32767), std::nullopt);
  EXPECT_EQ(ParseUnsigned("+22", 32767), std::nullopt);
  EXPECT_EQ(ParseUnsigned("2 6", 32767), std::nullopt);
  EXPECT_EQ(ParseUnsigned("", 32767), std::nullopt);
  EXPECT_EQ(ParseUnsigned("18446744073709551615", UINT64_MAX), UINT64_MAX);
  EXPECT_EQ(ParseUnsigned("18446744073709551616", UINT64_MAX), std::nullopt);
}

}  // namespace
}  // namespace tovra
