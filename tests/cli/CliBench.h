#pragma once
// halvern-cli's commands on virtual time against the simulated bus: each call runs one command
// line from start to exit on a fresh port session, so a test can run several in a row.

#include <functional>
#include <string>
#include <vector>

#include "cli/Tool.h"
#include "support/Bench.h"

namespace halvern::test {

struct CliRun {
    int code = -1;
    std::string out, err;
};
// Its exit code, standard output and standard error, to compare with a tuple.
inline auto Said(const CliRun& r) {
    return std::tie(r.code, r.out, r.err);
}

class CliBench {
  public:
    explicit CliBench(sim::Bus bus = sim::DefaultBus());
    ~CliBench();

    // The arguments as typed after "halvern-cli"; Cli() puts "--device sim" in front.
    CliRun Run(const std::vector<std::string>& args);
    CliRun Cli(std::vector<std::string> args);

    sim::Bus& bus() { return simBus->GetBus(); }
    // Frames written, from index `from` on; of one function only when given.
    std::vector<std::vector<std::uint8_t>> Written(std::size_t from = 0, int function = -1) const;
    // The file in the program folder, byte for byte (empty when missing).
    std::string File(const std::string& name) const;

    VirtualPlatform plat;
    TappedPort port{plat};
    std::unique_ptr<sim::SimBus> simBus;
    std::string folder;  // the program folder, a scratch one
    bool progress = false;
    // Standard output fails every write with this errno (0: it takes them).
    int outputErrno = 0;
    static constexpr const char* kCurrentFolder = "/home/tech";  // a relative --device's base
    std::vector<PortInfo> ports;                                 // the serial ports `ports` lists
    std::function<void(cli::Tool&)> beforeRun;                   // schedules stops, faults, ...
    // The command is asked to stop at virtual time t (watch and log would go on).
    void StopAt(Micros t) {
        beforeRun = [this, t](cli::Tool& tool) { plat.Post(t, [&tool] { tool.RequestStop(); }); };
    }
};

// A text's lines, without their ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace halvern::test
