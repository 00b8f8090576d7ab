#pragma once
// A log file in the program's record format, as big as asked, for the benchmarks.

#include <cstdint>
#include <string>

namespace halvern::bench {

// Writes about `bytes` of log to `path`: readings a second apart from 1 January 2026 that
// drift, a spike now and then, a minute of disconnection records every six hours and a cut
// line every 100 000 lines. Returns the number of lines.
std::int64_t WriteGeneratedLog(const std::string& path, double bytes);

}  // namespace halvern::bench
