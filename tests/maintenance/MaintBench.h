#pragma once
// The program polling simulated detectors, with a maintenance window of its own opened from
// inside the main cycle, as the main window's command does.

#include <map>
#include <string>

#include "maintenance/MaintComm.h"
#include "support/Bench.h"

namespace halvern::test {

struct Maintenance {
    // Serves `address` and opens the window at `openAt` (0: the test opens it).
    explicit Maintenance(std::uint8_t address = 1, Micros openAt = 1'000'000,
                         sim::Bus bus = sim::DefaultBus())
        : b(std::move(bus)) {
        b.par.Main.DetNum = std::to_string(address);
        if (openAt)
            b.At(openAt, [this] { maint.Open(); });
    }
    // Leaves and closes the window as the window and the application do.
    void Close() {
        maint.Leave();
        maint.Close();
        b.comm->Activate();
    }
    Bench b;
    std::map<double, std::string> linkAtFails;  // lblCom by the count of silent polls
    MaintComm maint{b.par, b.link, b.dialogs, b.loop, [this] {
                        linkAtFails[b.par.MaintFailCount[b.par.CurrentAddress]] = b.par.Maint.Com;
                    }};
};

}  // namespace halvern::test
