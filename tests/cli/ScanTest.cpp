// The scan finds exactly the detectors on the bus, whatever the others do.

#include <gtest/gtest.h>

#include <cstdio>

#include "cli/CliBench.h"

namespace halvern::test {
namespace {

sim::Bus ScanBus() {
    // clang-format off
    sim::Bus bus = BusOf({{1, 24, 4711}, {2, 25, 2222, "silent"}, {60, 36, 6000, "late"}, {61, 48, 6100}, {100, 32, 1000, "flood"},
                          {101, 33, 1010}, {150, 34, 1500}, {151, 35, 1510}, {247, 49, 890}});
    // clang-format on
    bus.Find(247)->SetStatus("NNN", 5);  // a code without a description
    // Slower than the first pass's wait: both found when 151's wait sees 150's answer.
    bus.SetDetectorLatencyUs(150, 120'000);
    bus.SetDetectorLatencyUs(151, 400'000);
    return bus;
}

TEST(Scan, ListsExactlyTheDetectorsThatAnswerAndTheBrokenRepliesAsSuch) {
    CliBench b(ScanBus());
    b.progress = true;
    // The summary says how long the scan took.
    Micros start = b.plat.NowUs();
    const auto took = [&] {
        char text[32];
        std::snprintf(text, sizeof text, " answered (%.1f s)\n", (b.plat.NowUs() - start) / 1e6);
        start = b.plat.NowUs();
        return std::string(text);
    };
    const CliRun run = b.Cli({"scan"});
    EXPECT_EQ(run.code, 0);
    // In columns: the address, the longest model name, five digits of serial number.
    EXPECT_EQ(run.out,
              "  1  Veridan Xenon 621-1      4711  NNN0 Normal\n"
              " 60  answered, reply not valid\n"
              " 61  Talvek 880               6100  NNN0 Normal\n"
              "100  answered, reply not valid\n"
              "101  Veridan Ethylene 641-1   1010  NNN0 Normal\n"
              "150  Veridan Ethylene 642-1   1500  NNN0 Normal\n"
              "151  Veridan Ethylene 643-1   1510  NNN0 Normal\n"
              "247  Talvek 890                890  NNN5\n");
    // The progress line names the address reached and the time left, and is wiped at the end.
    EXPECT_NE(run.err.find("\rscan 1-247: address 200, "), std::string::npos);
    EXPECT_TRUE(run.err.ends_with("\rhalvern-cli: 8 addresses of 1-247" + took())) << run.err;

    b.progress = false;
    const CliRun json = b.Cli({"scan", "1", "61", "--json"});
    // clang-format off
    EXPECT_EQ(json.out, R"({"address":1,"valid":true,"model":"Veridan Xenon 621-1","serial":4711,"status":"NNN0","description":"Normal"})" "\n"
                        R"({"address":60,"valid":false})" "\n"
                        R"({"address":61,"valid":true,"model":"Talvek 880","serial":6100,"status":"NNN0","description":"Normal"})" "\n");
    // clang-format on
    EXPECT_EQ(json.err, "halvern-cli: 3 addresses of 1-61" + took());
}

}  // namespace
}  // namespace halvern::test
