#pragma once
// What the PC says of itself: the local date and time, this process and the user. Windows and
// Unix name these differently; the rest of the program asks here.

#include <ctime>
#include <string>

namespace halvern {

// The local time now, in the machine's time zone and with its daylight saving.
std::tm LocalTimeNow();

// The number of this process.
long long ProcessId();

// The user name the PC gives the session (UTF-8): from the environment (USER, USERNAME,
// LOGNAME) and else the account's; empty when nothing says.
std::string UserName();

}  // namespace halvern
