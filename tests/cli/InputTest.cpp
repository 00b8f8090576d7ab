// Bad command lines, ports that do not open and detectors that do not answer: each gets a clear
// message and its exit code, and a bad command line sends nothing.

#include <gtest/gtest.h>

#include <fstream>

#include "HalvernVersion.h"
#include "cli/CliBench.h"

namespace halvern::test {
namespace {

struct BadLine {
    std::vector<std::string> args;
    std::string says;
};

void PrintTo(const BadLine& c, std::ostream* os) {
    PrintArgs(c.args, os);
}

const BadLine kBadLines[] = {
    {{}, "no command given"},
    {{"--device", "sim", "frobnicate", "1"}, "unknown command \"frobnicate\""},
    {{"--device", "sim", "status"}, "status needs the detector's address"},
    {{"--device", "sim", "status", "0"}, "address \"0\" is not a bus address"},
    {{"--device", "sim", "status", "248"}, "address \"248\" is not a bus address"},
    {{"--device", "sim", "status", "1.5"}, "address \"1.5\" is not a bus address"},
    {{"--device", "sim", "status", "x"}, "address \"x\" is not a bus address"},
    {{"--device", "sim", "status", "-5"}, "address \"-5\" is not a bus address"},
    {{"--device", "sim", "status", "1", "scan"}, "two commands at once (status and scan)"},
    {{"--device", "sim", "status", "1", "2"}, "unexpected argument \"2\" after status"},
    {{"--device", "sim", "scan", "20", "10"}, "FROM (20) is above TO (10)"},
    {{"--device", "sim", "address", "7", "0"}, "new address \"0\" is not a bus address"},
    {{"--device", "sim", "log", "1"}, "log needs --period S"},
    {{"--device", "sim", "log", "1", "--period", "0"}, "--period \"0\": whole seconds from 1"},
    {{"--device", "sim", "log", "1", "--period", "300"}, "--period \"300\""},
    {{"--device", "sim", "log", "1", "--period", "2.5"}, "--period \"2.5\""},
    {{"--device", "sim", "status", "1", "--period", "2"}, "--period belongs to the log command"},
    {{"--device", "sim", "status", "1", "--secondary"}, "--secondary belongs to the version"},
    {{"--device", "sim", "scan", "--timeout", "0"}, "--timeout \"0\": whole milliseconds"},
    {{"--device", "sim", "--bogus", "status", "1"}, "unknown option --bogus"},
    {{"--device", "sim", "--json=yes", "status", "1"}, "--json takes no value"},
    {{"--version=2", "status", "1"}, "--version takes no value"},
    {{"--device", "sim", "--device", "x", "status", "1"}, "--device is given twice"},
    {{"--device", "sim", "--port", "2", "status", "1"}, "give --device or --port, not both"},
    {{"--port", "0", "status", "1"}, "--port \"0\": a port number is from 1 to 32767"},
    {{"--device", "sim", "setup", "1", "Heater Mode"}, "\"Heater Mode\": write FIELD=TEXT"},
    {{"--device", "sim", "setup", "1", "Heater Mode="}, "write FIELD=TEXT"},
    {{"--device", "sim", "setup", "1", "Heater Mode=hot"}, "\"hot\" is not an option"},
    {{"status", "1"}, "no port chosen: give --device PATH or --port N"},
    {{"ports", "1"}, "unexpected argument \"1\" after ports"},
    {{"ports", "--timeout", "5"}, "--timeout belongs to the scan command"},
};

class BadInput : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadInput, IsRefusedWithAMessageAndNothingSent) {
    CliBench b;
    const CliRun run = b.Run(GetParam().args);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
    EXPECT_EQ(b.port.LastDevice(), "");  // the port was never opened
    EXPECT_TRUE(b.port.Frames().empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, BadInput, ::testing::ValuesIn(kBadLines));

// --help and --version answer wherever they stand, even before a command, and touch no port.
TEST(HelpAndVersion, AnswerAloneWithoutOpeningThePort) {
    const std::string version = std::string("halvern-cli ") + kVersion + "\n";
    for (const auto& [args, out] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--version"}, version},
             {{"--device", "sim", "--version", "status", "1"}, version},
             {{"scan", "--version"}, version},
             {{"--help"}, "Usage: halvern-cli"},
             {{"status", "1", "-h"}, "Usage: halvern-cli"}}) {
        CliBench b;
        const CliRun run = b.Run(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out.substr(0, out.size()), out);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(b.port.LastDevice(), "");
    }
}

TEST(Ports, TheProgramsNumberingAndStoredPortAndTheSystemsReasonWhenClosed) {
    CliBench b;
    EXPECT_EQ(b.Run({"--port", "3", "status", "1"}).code, 0);
    EXPECT_EQ(b.port.LastDevice(), "port3");
    std::ofstream(b.folder + "/CommPortNo.txt") << "2\r\n";  // the port chosen in the program
    EXPECT_EQ(b.Run({"status", "1"}).code, 0);
    EXPECT_EQ(b.port.LastDevice(), "port2");

    b.port.FailNextOpen("No such file or directory");
    const CliRun missing = b.Cli({"status", "1"});
    EXPECT_EQ(missing.code, 3);
    EXPECT_EQ(missing.err, "halvern-cli: cannot open sim: No such file or directory\n");
    std::string why;
    b.port.Open("held elsewhere", &why);
    const CliRun busy = b.Cli({"status", "1"});
    EXPECT_EQ(busy.code, 3);
    EXPECT_EQ(busy.err, "halvern-cli: cannot open sim: Device or resource busy\n");
}

TEST(Answers, OnlyTheAddressAskedAndTheKindAskedForAreTakenTheRestIsSaidAsWhatItIs) {
    CliBench b;
    b.bus().InjectFault(12, "bad CRC");
    b.bus().InjectFault(7, "exception");
    const auto add = [&](std::uint8_t address, const char* fault) {
        sim::DetectorConfig c;
        c.Address = address;
        c.Serial = address;
        b.bus().Add(c);
        b.bus().InjectFault(address, fault);
    };
    add(30, "wrong address");  // answers as 31
    add(40, "silent");         // a status reply comes all the same when asked for its version
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string from31 = "address 30 was asked, but address 31 answered, with ";
    for (const Case& c :
         {Case{{"status", "3"}, "no answer from address 3"},
          Case{{"version", "3", "--json"}, "no answer from address 3"},
          Case{{"align", "3"}, "no answer from address 3"},
          Case{{"setup", "3"}, "no answer from address 3"},
          Case{{"status", "12"},
               "no valid answer from address 12: 34 bytes came that are not a whole reply"},
          Case{{"status", "7"},
               "address 7 answered with an exception (code 4), not a status reply"},
          Case{{"version", "7"},
               "address 7 answered with an exception (code 4), not a primary version"},
          Case{{"status", "30"}, from31 + "a status reply"},
          Case{{"version", "30", "--secondary"}, from31 + "a secondary version"},
          Case{{"setup", "30", "Accessory Relay=alarm"}, from31 + "a status reply"},
          Case{{"address", "30", "35"}, from31 + "a status reply"},
          Case{{"sn-test", "30"}, from31 + "a status reply"},
          Case{{"normal", "30"}, from31 + "a status reply"},
          Case{{"align", "30"}, from31 + "a status reply"},
          Case{{"version", "40"},
               "address 40 answered with a status reply, not a primary version"}}) {
        const std::size_t sent = b.port.Frames().size();
        b.beforeRun = [&](cli::Tool&) {
            if (c.args[1] == "40")  // the detector's status reply, 20 ms after the query
                b.plat.Post(b.plat.NowUs() + 20'000, [&] {
                    b.port.SendToHost(b.bus().Find(40)->StatusReply(0), b.plat.NowUs());
                });
        };
        const CliRun run = b.Cli(c.args);
        EXPECT_EQ(run.code, 1) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "halvern-cli: " + c.err + "\n");
        // Nothing but the one question: no write, no align for the wrong detector.
        EXPECT_EQ(b.Written(sent).size(), 1u) << run.err;
        EXPECT_EQ(b.Written(sent, FunctionCommand).size(), 1u) << run.err;
    }
}

}  // namespace
}  // namespace halvern::test
