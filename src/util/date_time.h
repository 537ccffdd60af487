// The date-time encoding of the managed file list and of listing entries:
// days since 1899-12-30, with the time of day as the fraction. Pure
// arithmetic, no clock and no time zone (callers pass local times).
#pragma once

#include <cstdint>

namespace tovra {

using TDateTime = double;

// Days from 1970-01-01 to the given proleptic Gregorian date (negative
// before it).
std::int64_t DaysFromCivil(int year, int month, int day);

// 1970-01-01 as days since 1899-12-30.
inline constexpr double kUnixEpochDays = 25569.0;

// The encoded date and time; raises EConvertError when a field is out of range.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms);

}  // namespace tovra
