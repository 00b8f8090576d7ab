#pragma once
// A link on virtual time, talking to an in-process port that the test plays the far end of.

#include <cstdint>
#include <vector>

#include "link/Frame.h"
#include "link/Link.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"

namespace halvern {

using Bytes = std::vector<std::uint8_t>;

struct LinkWorld {
    LinkWorld() { port.Open("sim", nullptr); }

    VirtualPlatform p{1'000'000};
    SimulatedSerialPort port{p};
    LinkBuffers b;
    Link link{p, port, b};
};

inline Bytes WithCrc(Bytes frame) {
    AppendCrc(frame);
    return frame;
}

}  // namespace halvern
