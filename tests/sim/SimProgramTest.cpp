// halvern-sim end to end on a real pseudo-terminal; every wait is a poll() with a bound.
#ifdef HALVERN_SIM_PATH

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "support/Spawned.h"

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SimProgram, ServesItsDetectorsOnAPseudoTerminalWithTraceAndConsole) {
    char dirTemplate[] = "/tmp/halvern-sim-test-XXXXXX";
    const std::filesystem::path dir = mkdtemp(dirTemplate);
    const auto link = dir / "ttySIM", trace = dir / "trace.txt", input = dir / "input.txt";
    std::ofstream(input) << "status 5 AAN 7\nsetup 5 72 4 1 35\ndump\n";  // then input ends
    std::filesystem::create_symlink("/nonexistent", link);  // a stale link is replaced
    {
        test::Spawned sim({HALVERN_SIM_PATH, "--link", link.string(), "--trace", trace.string(),
                           "--detector", "5:36:0:77"},
                          input.string());
        // The terminal's path comes first, then what the commands print.
        sim.Read([&] { return std::count(sim.out.begin(), sim.out.end(), '\n') > 1; });
        const std::string path = sim.out.substr(0, sim.out.find('\n'));
        ASSERT_EQ(path.rfind("/dev/", 0), 0u) << sim.out;
        EXPECT_EQ(sim.out.substr(path.size()), "\n5 5 18436 0 1 35\n");  // 0x4804 in register 1
        EXPECT_EQ(std::filesystem::read_symlink(link), path);

        // Answered after the end of its input, with the status the command set.
        const int pty = open(path.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(pty, 0);
        const Bytes query = CommandFrame(5, kCodeStatus);
        ASSERT_EQ(write(pty, query.data(), query.size()), 9);
        Bytes reply(64);
        std::size_t got = 0;
        for (pollfd p{pty, POLLIN, 0}; got < 34 && poll(&p, 1, 5000) > 0;)
            got += static_cast<std::size_t>(std::max<ssize_t>(0, read(pty, &reply[got], 64 - got)));
        close(pty);
        reply.resize(got);
        ASSERT_EQ(got, 34u);
        EXPECT_TRUE(ReplyCrcIsValid(reply, 34));
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 12),
                  (Bytes{5, 200, 29, 0, 42, 0, 36, 0, 77, 'A', 'A', 'N'}));

        // A stop request ends it cleanly.
        kill(sim.pid, SIGTERM);
        EXPECT_EQ(sim.Finish(), 0);
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));  // removed on the way out

    std::ifstream in(trace);
    std::string query, answer;  // milliseconds, direction, bytes in upper-case hexadecimal
    ASSERT_TRUE(std::getline(in, query) && std::getline(in, answer));
    EXPECT_TRUE(std::regex_match(query, std::regex("[0-9]+ > 05 C8 04 00 20 5A 3E 15 32")))
        << query;
    EXPECT_TRUE(std::regex_match(answer, std::regex("[0-9]+ < 05 C8( [0-9A-F]{2}){32}"))) << answer;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace halvern::sim

#endif
