#pragma once
// The PC's clock as the technician reads it: the local date and time, in the machine's time
// zone and with its daylight saving.

#include <ctime>

namespace halvern {

// The local time now; Windows and Unix name their thread-safe conversions differently.
std::tm LocalTimeNow();

}  // namespace halvern
