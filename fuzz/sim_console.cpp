// Lines typed at halvern-sim's standard input, run against the demonstration bus until
// "quit"; each detector then answers a status request, so that what the commands set reaches
// the bytes a detector sends.

#include <cstdint>
#include <string_view>

#include "Support.h"
#include "link/Requests.h"
#include "sim/Bus.h"
#include "sim/Console.h"

using namespace halvern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::Bus bus = sim::DefaultBus();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const auto line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const sim::CommandResult r = RunCommand(bus, line);
        FUZZ_CHECK(r.output.empty() || r.output.back() == '\n');
        FUZZ_CHECK(r.error.empty() || r.error.back() == '\n');
        if (r.quit)
            break;
    }
    for (std::size_t i = 0; i < bus.Size(); ++i)
        (void)bus.Respond(CommandFrame(bus.At(i).Address(), kCodeStatus), 1'000'000, 0);
    return 0;
}
