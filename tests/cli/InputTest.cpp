// Bad command lines, ports that do not open and detectors that do not answer: each gets a clear
// message and its exit code, and a bad command line sends nothing.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "HalvernVersion.h"
#include "cli/CliBench.h"
#include "cli/CommandLine.h"

namespace halvern::test {
namespace {

// A command line and what it gets: for a refusal, its exit code, all of standard output and a
// part of standard error; for --help and --version (exit 0), the start of standard output and
// nothing on standard error. None of them opens the port.
struct Line {
    std::vector<std::string> args;
    int code;
    std::string says = "", out = "";
};

using Args = std::vector<std::string>;
const std::string kVersionLine = std::string("halvern-cli ") + kVersion + "\n";
std::string Json(const std::string& error) {
    return R"({"error":")" + error + R"(","exit_code":2})" + "\n";
}

// clang-format off
const Line kLines[] = {
    // --help and --version answer wherever they stand, even before a command.
    {{"scan", "--version"}, 0, "", kVersionLine},
    {{"status", "1", "-h"}, 0, "", "Usage: halvern-cli"},
    {{}, 2, "no command given"},
    {{"--device=sim", "frobnicate", "1"}, 2, "unknown command \"frobnicate\""},
    {{"--device=sim", "status", "0"}, 2, "address \"0\" is not a bus address"},
    {{"--device=sim", "status", "248"}, 2, "address \"248\" is not a bus address"},
    {{"--device=sim", "status", "1", "scan"}, 2, "two commands at once (status and scan)"},
    {{"--device=sim", "scan", "20", "10"}, 2, "FROM (20) is above TO (10)"},
    {{"--device=sim", "log", "1"}, 2, "log needs --period S"},
    {{"--device=sim", "log", "1", "--period", "0"}, 2, "--period \"0\": whole seconds from 1"},
    {{"--device=sim", "log", "1", "--period", "256"}, 2, "--period \"256\""},
    {{"--device=sim", "status", "1", "--period", "2"}, 2, "--period belongs to the log command"},
    {{"--device=sim", "--bogus", "status", "1"}, 2, "unknown option --bogus"},
    {{"--device=sim", "watch", "1", "--interval", "0"}, 2, "--interval \"0\": whole seconds"},
    // Only the last value counts, and is checked.
    {{"--port", "2", "--port", "x", "status", "1"}, 2, "--port \"x\": a port number is from 1"},
    // Control bytes in what is quoted back are shown, not sent to the terminal.
    {{"--device=sim", "status", "1\x1b[2J"}, 2, "address \"1\\x1b[2J\" is not a bus address"},
    {{"--device=sim", "setup", "1", "Al\rarm=YES"}, 2, "unknown field \"Al\\rarm\""},
    {{"status", "1"}, 2, "no port chosen: give --device PATH or --port N"},
    // A network gateway's address that is no good is a bad command line, not a port that failed.
    {{"--device", "tcp://gw-a", "scan"}, 2, "--device \"tcp://gw-a\": no port: give it as HOST:PORT"},
    {{"--device", "tcp://gw-a:99999", "scan"}, 2, "--device \"tcp://gw-a:99999\": the port \"99999\" is not a number from 1 to 65535"},
    {{"--device", "tcp://:1", "scan"}, 2, "--device \"tcp://:1\": no host and port"},
    {{"--device", "tcp://[::1]", "scan"}, 2, "--device \"tcp://[::1]\": no port"},
    // Setup fields known to be wrong whatever the detector.
    {{"--device=sim", "setup", "1", "Heater Mode"}, 2, "\"Heater Mode\": write FIELD=TEXT"},
    {{"--device=sim", "setup", "1", "Heater Mode=hot"}, 2, "\"hot\" is not an option of \"Heater Mode\": OFF, AUTO, ON"},
    {{"--device=sim", "setup", "1", "Heater ON at(C)=40"}, 2, "\"40\" is not an option of \"Heater ON at(C)\": 0, 5, 10, 15, 20, 25, 30, 35"},
    {{"--device=sim", "setup", "1", "Gas Type=9"}, 2, "\"9\" is not an option of \"Gas Type\" for any detector model"},
    {{"--device=sim", "setup", "1", "Foo=1"}, 2, "unknown field \"Foo\"; the fields are: Gas Type, Full Scale"},
    {{"--device=sim", "setup", "1", "alarm latch=YES", "Alarm  Latch=NO"}, 2, "named twice"},
    // serve: bus addresses, each once; a numeric listen address with a port; a log period.
    {{"--device=sim", "serve", "--listen", "localhost"}, 2},
    {{"--device=sim", "serve", "--listen", "plant.example:80"}, 2},
    {{"--device=sim", "serve", "--listen", "::1:9464"}, 2},  // IPv6 without brackets
    {{"--device=sim", "serve", "--listen", "\t127.0.0.1:9464"}, 2, "--listen \"\\t127.0.0.1:9464\": HOST:PORT"},
    {{"--device=sim", "serve", "--listen", "127.0.0.1\n:9464"}, 2},
    {{"--device=sim", "serve", "--log-period", "256"}, 2},
    {{"--device=sim", "status", "1", "--listen", "127.0.0.1:9464"}, 2},
    // history and report: a real date; report needs -o, and knows A4 and letter.
    {{"history", "--since", "2025-02-29"}, 2},
    {{"report", "880", "-o", "r.pdf", "--page", "A5"}, 2},
    // With --json among its options a refused line is answered in JSON too.
    {{"--json", "status"}, 2, "", Json("status needs the detector's address")},
    {{"status", "1", "--port", "0", "--json"}, 2, "", Json(R"(--port \"0\": a port number is from 1 to 32767)")},
    {{"--device=sim", "status", "\x1b", "--json"}, 2, "", Json(R"(address \"\\x1b\" is not a bus address: a whole number from 1 to 247)")},
};
// clang-format on

class CommandLine : public ::testing::TestWithParam<Line> {};

TEST_P(CommandLine, IsAnsweredWithoutOpeningThePort) {
    const Line& c = GetParam();
    SCOPED_TRACE(testing::PrintToString(c.args));
    CliBench b;
    const CliRun run = b.Run(c.args);
    EXPECT_EQ(run.code, c.code);
    if (c.code == 0) {
        EXPECT_TRUE(run.out.starts_with(c.out)) << run.out;
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_EQ(run.out, c.out);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    EXPECT_EQ(b.port.LastDevice(), "");  // the port was never opened
    EXPECT_TRUE(b.port.Frames().empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, CommandLine, ::testing::ValuesIn(kLines));

// The device opened: a relative path from the current folder (not a name under /dev), and of
// options given twice the last, --device and --port counting as one; the port stored by the
// program when none is given.
TEST(Ports, TheDeviceOpenedIsTheLastNamedAndAFullPath) {
    // clang-format off
    for (const auto& [options, device] : std::vector<std::pair<Args, std::string>>{
             {{}, "port2"}, {{"--device", "./x/../pty"}, "/home/tech/pty"}, {{"--device", "../other/pty"}, "/home/other/pty"},
             {{"--device", "/dev/ttyUSB0", "--device=tty"}, "/home/tech/tty"}, {{"--device", "tty", "--port", "3"}, "port3"},
             {{"--port", "3", "--device", "tty"}, "/home/tech/tty"}}) {
        // clang-format on
        CliBench b;
        std::ofstream(b.folder + "/CommPortNo.txt") << "2\r\n";
        Args args = options;
        args.insert(args.end(), {"status", "1"});
        EXPECT_EQ(b.Run(args).code, 0);
        EXPECT_EQ(b.port.LastDevice(), device);
    }
}

// The system's reason when a port does not open (what the port reports, a refused RTS, is said
// by the real program in the end-to-end run).
TEST(Ports, ThePortThatDoesNotOpenIsSaidWithTheSystemsReason) {
    CliBench b;
    b.port.FailNextOpen("No such file or directory");
    EXPECT_EQ(
        Said(b.Cli({"status", "1"})),
        std::tuple(3, "", "halvern-cli: cannot open /home/tech/sim: No such file or directory\n"));
}

// Output that cannot be written (a full disk, a closed standard output) is a failure said on
// standard error, whatever the command did.
TEST(Output, AFailedWriteToStandardOutputIsAFailure) {
    struct Case {
        Args args;
        int error, code;
    };
    // clang-format off
    for (const Case& c : {Case{{"--device=sim", "status", "1"}, ENOSPC, 1}, Case{{"--help"}, EBADF, 1}, Case{{"--device=sim", "setup", "1", "alarm_latch=no"}, ENOSPC, 1},
                          Case{{"--device=sim", "watch", "12"}, ENOSPC, 1}, Case{{"--device=sim", "status", "1", "--port", "0", "--json"}, ENOSPC, 2}}) {
        // clang-format on
        CliBench b;
        b.outputErrno = c.error;
        b.StopAt(10'000'000);  // watch would go on: a broken one fails, not hangs
        const CliRun run = b.Run(c.args);
        EXPECT_EQ(run.code, c.code) << c.args.back();
        EXPECT_TRUE(run.err.ends_with("halvern-cli: cannot write to standard output: " +
                                      std::string(std::strerror(c.error)) + "\n"))
            << run.err;
        const std::string command = c.args.size() > 1 ? c.args[1] : "";
        // The setup written all the same (the failure is the output's only): its alarm latch
        // off; the watch ended at the line it could not print.
        EXPECT_EQ(b.bus().Find(1)->Setup().OutputFlags & 0x04, command == "setup" ? 0 : 0x04);
        EXPECT_TRUE(command != "watch" || b.Written().size() == 1u) << b.Written().size();
    }
}

}  // namespace
}  // namespace halvern::test
