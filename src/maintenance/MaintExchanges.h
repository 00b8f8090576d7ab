#pragma once
// The two mode writes of the maintenance window, without widgets: the signal/noise test
// (register 2 = 1) and the return to normal mode (register 2 = 0), each confirmed by the
// detector's echo and tried up to six times.

#include <cstdint>
#include <functional>
#include <string>

#include "link/Link.h"
#include "link/Writes.h"
#include "state/Par.h"

namespace halvern {

constexpr int kModeWriteAttempts = 6;
constexpr double kModeSettleMs = 500;     // before the first attempt
constexpr double kModeEchoWaitMs = 1000;  // between a write and its reception

constexpr const char* kSnTestFailText = "S/N Test Fail - Try Again!";
constexpr const char* kNormalModeFailText = "Not in normal mode - Try again!";
constexpr const char* kModeFailTitle = "WARNING";

// The reply is the echo of the write of 1 (S/N test) or 0 (normal) to register 2 of `address`.
bool SnTestConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address);
bool NormalModeConfirmed(std::span<const std::uint8_t> reply, std::uint8_t address);

// Half a second, then up to six attempts: the write, a second, the mode flag set (S/N test)
// or cleared (normal), one reception. The flag follows the first attempt, confirmed or not.
// Confirmed by an attempt, or how the last one ended; Interrupted at once when `stop` says
// the command is to end. `sent` is told of each frame as it leaves: from then on the detector
// may have taken the mode, whatever comes back.
WriteResult WriteDetectorMode(Link& link, std::uint8_t address, bool snTest, bool& snTestMode,
                              const StopCheck& stop = {}, const std::function<void()>& sent = {});

// The noise figures of the S/N test as the service history keeps them:
// "Sig1/Noise 812, Sig2/Noise 790, Ref/Noise 901".
std::string NoiseSummary(const MaintPanel& m);

// One maintenance poll of `address`: the status query and one reception. True when a status
// reply came and was decoded into `par` (whose buffers the link fills) as the maintenance
// window shows it; false without one, or when `stop` ended the wait.
bool PollMaintenance(Link& link, Par& par, std::uint8_t address, const StopCheck& stop = {});

}  // namespace halvern
