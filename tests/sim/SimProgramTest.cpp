// halvern-sim end to end: the real program on a real pseudo-terminal. Every wait here is a
// poll() with a bound, so a broken program fails the test instead of hanging it.
#ifdef HALVERN_SIM_PATH

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"

extern char** environ;

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto kBound = std::chrono::seconds(5);

// Waits for fd to become readable, up to the deadline; false on time-out.
bool Readable(int fd, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(left.count())) > 0;
}

class SimProgram {
  public:
    explicit SimProgram(std::vector<std::string> args) {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        args.insert(args.begin(), HALVERN_SIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, HALVERN_SIM_PATH, &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~SimProgram() {
        if (pty_ >= 0)
            close(pty_);
        if (stdin_ >= 0)
            close(stdin_);
        if (stdout_ >= 0)
            close(stdout_);
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // One line of standard output, without its end; empty on time-out.
    std::string Line() {
        const auto deadline = Clock::now() + kBound;
        for (;;) {
            if (const auto nl = out_.find('\n'); nl != std::string::npos) {
                std::string line = out_.substr(0, nl);
                out_.erase(0, nl + 1);
                return line;
            }
            if (!Readable(stdout_, deadline))
                return {};
            char buf[256];
            const ssize_t n = read(stdout_, buf, sizeof buf);
            if (n <= 0)
                return {};
            out_.append(buf, static_cast<std::size_t>(n));
        }
    }

    void Say(const std::string& text) {
        ASSERT_EQ(write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void CloseStdin() {
        close(stdin_);
        stdin_ = -1;
    }

    bool OpenPty(const std::string& path) {
        pty_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (pty_ < 0)
            return false;
        termios t{};
        tcgetattr(pty_, &t);
        cfmakeraw(&t);
        tcsetattr(pty_, TCSANOW, &t);
        return true;
    }

    // Sends a frame and collects the answer until `want` bytes came or the line stays quiet.
    Bytes Ask(const Bytes& frame, std::size_t want) {
        EXPECT_EQ(write(pty_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        Bytes got;
        const auto deadline = Clock::now() + kBound;
        while (got.size() < want && Readable(pty_, deadline)) {
            std::uint8_t buf[512];
            const ssize_t n = read(pty_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    // The exit status once the program has ended by itself (its output closes), or -1.
    int Exit() {
        const auto deadline = Clock::now() + kBound;
        char buf[256];
        while (Readable(stdout_, deadline))
            if (read(stdout_, buf, sizeof buf) <= 0) {
                int status = 0;
                waitpid(pid_, &status, 0);
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        return -1;
    }

    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int stdin_ = -1;
    int stdout_ = -1;
    int pty_ = -1;
    std::string out_;
};

std::filesystem::path TempDir() {
    auto dir =
        std::filesystem::temp_directory_path() / ("halvern-sim-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(SimProgram, ServesTheDefaultBusOnAPseudoTerminal) {
    const auto dir = TempDir();
    const auto link = dir / "ttySIM";
    const auto trace = dir / "trace.txt";
    std::filesystem::remove(trace);
    std::filesystem::create_symlink("/nonexistent", link);  // a stale link is replaced
    {
        SimProgram sim({"--link", link.string(), "--trace", trace.string()});
        const std::string path = sim.Line();
        ASSERT_EQ(path.rfind("/dev/", 0), 0u) << "first line: " << path;
        EXPECT_EQ(std::filesystem::read_symlink(link), path);
        ASSERT_TRUE(sim.OpenPty(path));

        const Bytes reply = sim.Ask(CommandFrame(1, kCodeStatus), 34);
        ASSERT_EQ(reply.size(), 34u);
        EXPECT_TRUE(ReplyCrcIsValid(reply, 34));
        EXPECT_EQ(reply[0], 1);
        EXPECT_EQ(reply[4], 42);
        EXPECT_EQ(reply[7] * 256 + reply[8], 4711);

        // Two frames in one write, as a pseudo-terminal may deliver them.
        Bytes both = ReadSetupFrame(7);
        const Bytes q12 = CommandFrame(12, kCodeStatus);
        both.insert(both.end(), q12.begin(), q12.end());
        const Bytes two = sim.Ask(both, 13 + 34);
        ASSERT_EQ(two.size(), 13u + 34u);
        EXPECT_TRUE(ReplyCrcIsValid(two, 13));
        EXPECT_EQ(two[13], 12);

        sim.Say("status 1 AAN 7\ndump\n");
        EXPECT_EQ(sim.Line(), "1 1 9221 0 2 10");
        EXPECT_EQ(sim.Line(), "7 7 1025 0 0 0");
        EXPECT_EQ(sim.Line(), "12 12 1028 0 1 5");
        const Bytes alarm = sim.Ask(CommandFrame(1, kCodeStatus), 34);
        ASSERT_EQ(alarm.size(), 34u);
        EXPECT_EQ(std::string(alarm.begin() + 9, alarm.begin() + 12), "AAN");

        sim.Say("quit\n");
        EXPECT_EQ(sim.Exit(), 0);
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));  // removed on the way out

    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" > 01 C8 04 00 20 5A 3E 50 F2"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" < 01 C8 "), std::string::npos) << lines[1];
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(lines[0][0])));
    std::filesystem::remove_all(dir);
}

TEST(SimProgram, KeepsServingAfterItsInputEndsUntilASignal) {
    SimProgram sim({"--detector", "5:36:0:77", "--latency", "1"});
    const std::string path = sim.Line();
    ASSERT_FALSE(path.empty());
    sim.CloseStdin();
    ASSERT_TRUE(sim.OpenPty(path));
    const Bytes reply = sim.Ask(CommandFrame(5, kCodeStatus), 34);
    ASSERT_EQ(reply.size(), 34u);
    EXPECT_EQ(reply[6], 36);
    EXPECT_EQ(reply[8], 77);
    kill(sim.Pid(), SIGTERM);
    EXPECT_EQ(sim.Exit(), 0);
}

}  // namespace
}  // namespace halvern::sim

#endif
