// halvern-sim end to end: the real program on a real pseudo-terminal. Every wait here is a
// poll() with a bound, so a broken program fails the test instead of hanging it.
#ifdef HALVERN_SIM_PATH

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads from fd into buf until done(buf); false when nothing comes for 5 s or the input ends.
template <typename Done>
bool ReadUntil(int fd, std::string& buf, Done done) {
    char chunk[512];
    pollfd p{fd, POLLIN, 0};
    while (!done(buf)) {
        const ssize_t n = poll(&p, 1, 5000) > 0 ? read(fd, chunk, sizeof chunk) : -1;
        if (n <= 0)
            return false;
        buf.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

// The started program and its descriptors; ends it when a check gives up early.
struct Running {
    pid_t pid = -1;
    int out = -1, pty = -1;
    ~Running() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int fd : {out, pty})
            if (fd >= 0)
                close(fd);
    }
};

TEST(SimProgram, ServesItsDetectorsOnAPseudoTerminalWithTraceAndConsole) {
    char dirTemplate[] = "/tmp/halvern-sim-test-XXXXXX";
    const std::filesystem::path dir = mkdtemp(dirTemplate);
    const auto link = dir / "ttySIM", trace = dir / "trace.txt", input = dir / "input.txt";
    std::ofstream(input) << "status 5 AAN 7\nsetup 5 72 4 1 35\ndump\n";  // then input ends
    std::filesystem::create_symlink("/nonexistent", link);  // a stale link is replaced
    {
        Running sim;
        int out[2];  // close-on-exec: the program keeps only its standard output
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        if ((sim.pid = fork()) == 0) {
            dup2(open(input.c_str(), O_RDONLY), 0);
            dup2(out[1], 1);
            execl(HALVERN_SIM_PATH, HALVERN_SIM_PATH, "--link", link.c_str(), "--trace",
                  trace.c_str(), "--detector", "5:36:0:77", nullptr);
            _exit(127);
        }
        close(out[1]);
        sim.out = out[0];

        // The terminal's path comes first, then what the commands print.
        std::string output;
        ReadUntil(sim.out, output,
                  [](auto& s) { return std::count(s.begin(), s.end(), '\n') > 1; });
        const std::string path = output.substr(0, output.find('\n'));
        ASSERT_EQ(path.rfind("/dev/", 0), 0u) << output;
        EXPECT_EQ(output.substr(path.size()), "\n5 5 18436 0 1 35\n");  // 0x4804 in register 1
        EXPECT_EQ(std::filesystem::read_symlink(link), path);

        // Answered after the end of its input, with the status the command set.
        ASSERT_GE(sim.pty = open(path.c_str(), O_RDWR | O_NOCTTY), 0);
        const Bytes query = CommandFrame(5, kCodeStatus);
        ASSERT_EQ(write(sim.pty, query.data(), query.size()), 9);
        std::string got;
        ReadUntil(sim.pty, got, [](auto& s) { return s.size() >= 34; });
        const Bytes reply(got.begin(), got.end());
        ASSERT_EQ(reply.size(), 34u);
        EXPECT_TRUE(ReplyCrcIsValid(reply, 34));
        EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 12),
                  (Bytes{5, 200, 29, 0, 42, 0, 36, 0, 77, 'A', 'A', 'N'}));

        // A stop request ends it cleanly.
        kill(sim.pid, SIGTERM);
        ReadUntil(sim.out, output, [](auto&) { return false; });  // until its output closes
        kill(sim.pid, SIGKILL);                                   // no effect once it has exited
        int status = 0;
        waitpid(std::exchange(sim.pid, -1), &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
