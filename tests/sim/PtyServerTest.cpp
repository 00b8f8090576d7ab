// The terminal side of halvern-sim, driven through its byte and text entries on a real
// pseudo-terminal, without the program around it.
#include "sim/PtyServer.h"

#if defined(__unix__)

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace halvern::sim {
namespace {

// What the program side of the terminal holds: the server writes synchronously, so what is
// not there after a short moment never comes.
std::vector<std::uint8_t> Received(int fd) {
    std::vector<std::uint8_t> got;
    pollfd p{fd, POLLIN, 0};
    std::uint8_t buf[512];
    while (poll(&p, 1, 50) > 0) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

TEST(PtyServer, AnswersHostBytesAtTheLinesPaceAndTakesConsoleLines) {
    std::string why;
    auto pty = OpenPty(&why);
    ASSERT_TRUE(pty) << why;
    const int program = pty->slave;
    PtyServer server(DefaultBus(), *pty, nullptr, -1);
    const auto query = CommandFrame(1, kCodeStatus);
    server.HostBytes(query, 0);
    server.Service(WireTimeUs(9) + kDefaultLatencyUs + WireTimeUs(33));  // one byte short
    EXPECT_EQ(Received(program).size(), 33u);
    server.Service(1'000'000);
    EXPECT_EQ(Received(program).size(), 1u);

    server.ConsoleText("mute 1\nquit");  // a line without its end waits for it
    EXPECT_FALSE(server.QuitAsked());
    server.HostBytes(query, 2'000'000);
    server.Service(3'000'000);
    EXPECT_TRUE(Received(program).empty());
    server.ConsoleText("");  // end of input: the last line counts
    EXPECT_TRUE(server.QuitAsked());
}

}  // namespace
}  // namespace halvern::sim

#endif
