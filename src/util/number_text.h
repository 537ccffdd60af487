// Decimal numbers in text, the one parser behind settings values, list
// files, listing fields, reply codes and command-line options. Whole-text
// matches only: no blanks, no trailing garbage; overflow is a failure, never
// a wrapped value. Stateless.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tovra {

// Digits only (no sign), at most `max`; nothing otherwise.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max);

// An optional '+' or '-' and digits, within [min, max]; nothing otherwise.
std::optional<std::int64_t> ParseDecimal(std::string_view text, std::int64_t min, std::int64_t max);

}  // namespace tovra
