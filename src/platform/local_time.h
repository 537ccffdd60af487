// The local time zone, the one place that asks the OS for it: broken-down
// local times of file and clock times. Thread-safe (reentrant calls only).
#pragma once

#include <ctime>

namespace tovra {

// The local broken-down time of a UTC time (tm_gmtoff holds the zone's
// offset at that moment).
std::tm LocalTime(std::time_t t);

}  // namespace tovra
