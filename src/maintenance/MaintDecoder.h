#pragma once
// The maintenance window's decoding of a status reply. It has its own scaling of the voltage
// and its own families for the zero offset of the signals: the same reply can show other
// signal values here than on the main window, as the detectors' service tools always did.

#include <cstdint>
#include <span>
#include <string>

#include "state/Par.h"

namespace halvern {

constexpr const char* kMaintTitlePrefix = "Maintenance window of detector serial No:";

// 0.56 for families 24, 25, 26, 33, 34 and 35; 0.15 for every other (32 included).
double MaintZeroOffset(std::uint8_t family);
// The operating time shown at opening: indices 3 to 6 as one unsigned number, 3 the highest.
std::string OperatingTimeText(const LinkBuffers& b);

// The reply (as received, its CRC included) is one the maintenance window decodes: a
// function-200 reply that is a complete status reply, or a shorter one that passes the main
// window's acceptance test.
bool HoldsMaintenanceFields(std::span<const std::uint8_t> reply);
// Decodes a status reply as received (its own bytes only) into the window's texts and figures,
// par.Maint, with its own scaling, and the model it names; also the served address on the main
// window. The shared reading is left to the main window's decoding. The noise figures show
// only while par.SnTestMode is set; a figure the reply does not reach shows as nothing.
void DecodeMaintenanceReply(Par& par, std::span<const std::uint8_t> reply);

}  // namespace halvern
