// A detector that stops answering while it is logged: its disconnection records go on, and no
// cycle record repeats the last values it sent before it was given up.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliBench.h"

namespace halvern::test {
namespace {

TEST(LogGivenUp, WritesNoCycleRecordOfADetectorGivenUp) {
    CliBench b;
    b.beforeRun = [&](cli::Tool& tool) {
        b.plat.Post(2'500'000, [&] { b.bus().InjectFault(1, "silent"); });
        b.plat.Post(12'000'000, [&] { tool.RequestStop(); });
    };
    const CliRun run = b.Cli({"log", "1", "--period", "1"});
    EXPECT_EQ(run.code, 0) << run.err;
    std::vector<std::string> times;
    std::istringstream cycle(b.File("4711.txt"));
    for (std::string line; std::getline(cycle, line);)
        times.push_back(line.substr(18, 8));
    std::istringstream lost(b.File("1.txt"));
    std::vector<std::string> marks;
    for (std::string line; std::getline(lost, line);)
        marks.push_back(line);
    ASSERT_FALSE(marks.empty());
    // The clock starts at 14:03:27. Records at the first reply and at each tick while the
    // detector answers or is not yet given up (ticks at 1 to 5 s; the fifth silent poll ends
    // about 5.6 s); none from then to the stop at 12 s.
    EXPECT_EQ(times, (std::vector<std::string>{"14:03:27", "14:03:28", "14:03:29", "14:03:30",
                                               "14:03:31", "14:03:32"}));
    EXPECT_EQ(marks.front().substr(0, 3), "DDD");
}

}  // namespace
}  // namespace halvern::test
