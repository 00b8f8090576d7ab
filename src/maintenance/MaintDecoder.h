#pragma once
// The maintenance window's decoding of a status reply. It has its own scaling of the voltage
// and its own families for the zero offset of the signals: the same reply can show other
// signal values here than on the main window, as the detectors' service tools always did.

#include <cstdint>
#include <string>

#include "state/Par.h"

namespace halvern {

constexpr const char* kMaintTitlePrefix = "Maintenance window of detector serial No:";

// 0.56 for families 24, 25, 26, 33, 34 and 35; 0.15 for every other (32 included).
double MaintZeroOffset(std::uint8_t family);
// The operating time shown at opening: indices 3 to 6 as one unsigned number, 3 the highest.
std::string OperatingTimeText(const LinkBuffers& b);

// Decodes the status reply in par.Link.RxBuffer: the shared decoded values (serial number,
// status parts, gain, channel values, ModelCode), the served address on the main window, and
// the texts of par.Maint. The noise figures show only while par.SnTestMode is set.
void DecodeMaintenanceReply(Par& par);

}  // namespace halvern
