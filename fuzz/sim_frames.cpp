// A host byte stream through the simulator, as halvern-sim takes it from its pseudo-terminal:
// the frame splitter cuts it into requests and the bus of the three demonstration detectors
// answers each one, with faults injected as the input says.
//
// Input: a fault for each of the three detectors (a byte each; kFaultCount and above: none),
// the size of the pieces the stream arrives in (a byte: 1 to 256), then the stream.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Support.h"
#include "link/Frame.h"
#include "sim/Bus.h"
#include "sim/FrameSplitter.h"

using namespace halvern;

namespace {

void Serve(sim::Bus& bus, const std::vector<std::vector<std::uint8_t>>& frames, Micros& now) {
    for (const auto& frame : frames) {
        FUZZ_CHECK(sim::FrameSplitter::ExpectedLength(frame) == static_cast<int>(frame.size()));
        FUZZ_CHECK(ReplyCrcIsValid(frame, static_cast<int>(frame.size())));
        now += WireTimeUs(frame.size());
        Micros last = now;
        for (const auto& t : bus.Respond(frame, now, 0)) {
            FUZZ_CHECK(t.startUs >= last);
            last = t.startUs;
        }
        now += 1'000'000;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    sim::Bus bus = sim::DefaultBus();
    for (std::size_t i = 0; i < 3; ++i) {
        if (data[i] < sim::kFaultCount) {
            const auto fault = sim::FaultName(static_cast<sim::Fault>(data[i]));
            FUZZ_CHECK(bus.InjectFault(bus.At(i).Address(), fault));
        }
    }
    const std::size_t piece = data[3] + 1u;
    const std::span<const std::uint8_t> stream(data + 4, size - 4);

    sim::FrameSplitter splitter;
    Micros now = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece)
        Serve(bus, splitter.Feed(stream.subspan(at, std::min(piece, stream.size() - at))), now);
    Serve(bus, splitter.Flush(), now);
    FUZZ_CHECK(splitter.Pending() == 0);
    return 0;
}
