#include "util/number_text.h"

namespace tovra {

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<std::int64_t> ParseDecimal(std::string_view text, std::int64_t min, std::int64_t max) {
  bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  // The magnitude may reach |min| on the negative side (INT64_MIN included).
  std::uint64_t limit =
      negative ? (min >= 0 ? 0 : 0 - static_cast<std::uint64_t>(min)) : (max < 0 ? 0 : static_cast<std::uint64_t>(max));
  auto magnitude = ParseUnsigned(text, limit);
  if (!magnitude) return std::nullopt;
  std::int64_t value = negative ? static_cast<std::int64_t>(0 - *magnitude) : static_cast<std::int64_t>(*magnitude);
  if (value < min || value > max) return std::nullopt;
  return value;
}

}  // namespace tovra
