// watch and log: the program's polling cycle and logging on virtual time, and how a stop
// signal ends them.

#include <gtest/gtest.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "cli/CliBench.h"
#include "cli/SignalStop.h"
#include "logging/LoggingControl.h"
#ifndef _WIN32
#include "support/Guarded.h"
#endif

namespace halvern::test {
namespace {

using Args = std::vector<std::string>;

// clang-format off
TEST(Watch, PrintsALinePerPollAndTheLostDetectorNamedWithoutReadings) {
    const std::string good = "  12  Talvek 880  880  NNN0 Normal  gain 3  S1 3.79 Ref 3.52 S2 3.48 R1 0.97 R2 0.98 NQ1 1.00 NQ2 0.98  gas 1  Good";
    const std::string jsonGood = R"j("address":12,"model":"Talvek 880","serial":880,"status":"NNN0","description":"Normal","gain":3,"signal1":3.79,"reference":3.52,"signal2":3.48,"ratio1":0.97,"ratio2":0.98,"nqratio1":1.00,"nqratio2":0.98,"gas":1,"link":"Good",)j";
    const std::vector<std::string> text = {"14:03:27" + good, "14:03:27" + good, "14:03:27" + good, "14:03:28" + good + "  missed 1",
                                           "14:03:28" + good + "  missed 2", "14:03:29" + good + "  missed 3", "14:03:29" + good + "  missed 4",
                                           "14:03:30  12  Talvek 880  880  DDD Disconnection  Bad  missed 5"};
    const std::vector<std::string> json = {R"({"time":"2026-12-05 14:03:27",)" + jsonGood + R"("missed":0})",
        R"({"time":"2026-12-05 14:03:30","address":12,"model":"Talvek 880","serial":880,"status":"DDD","description":"Disconnection","gain":null,"signal1":null,"reference":null,"signal2":null,"ratio1":null,"ratio2":null,"nqratio1":null,"nqratio2":null,"gas":null,"link":"Bad","missed":5})"};
    // clang-format on
    for (const bool asJson : {false, true}) {
        CliBench b;
        b.StopAt(4'000'000);
        b.plat.Post(500'000, [&] { b.bus().InjectFault(12, "silent"); });
        const CliRun run = b.Cli(asJson ? Args{"watch", "12", "--json"} : Args{"watch", "12"});
        EXPECT_EQ(run.code, 0) << run.err;
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), text.size());
        EXPECT_EQ((asJson ? Args{lines.front(), lines.back()} : lines), asJson ? json : text);
        // Like the program, it marks the lost detector in its address's file.
        EXPECT_EQ(b.File("12.txt"), "DDD     05/12/26  14:3:30\r\n");
    }
}

// With --interval the polling goes on as before, and the first poll of each interval gives its
// line: one line every 2 s from the first poll on.
TEST(Watch, WithAnIntervalPrintsOneLinePerInterval) {
    CliBench b;
    b.StopAt(7'000'000);
    const CliRun run = b.Cli({"watch", "12", "--interval", "2"});
    EXPECT_EQ(run.code, 0) << run.err;
    std::string times;
    for (const auto& line : Lines(run.out))
        times += line.substr(0, 9);
    EXPECT_EQ(times, "14:03:27 14:03:29 14:03:31 14:03:33 ");
    // Still a poll after another, 165.4 ms each (the query, the reply, the 150 ms of the
    // reception): 43 begun in 7 s.
    EXPECT_EQ(b.Written().size(), 43u);
}

// What the program's polling cycle and logging do on the same bus: the cycle of MainComm, the
// one-second tick of its logging timer (the clock read at each tick), the period given to its
// menu command. (The window's activation adds a query of its own before the first poll;
// neither side sends it here.)
void LogAsTheProgram(Bench& program, Micros until) {
    program.par.Main.DetNum = "1";
    LogMenuCommand(program.par, [] { return std::string("2"); });
    auto timer2 = program.plat.NewTimer();
    timer2->SetInterval(kLogTickMs);
    timer2->onTick = [&] {
        program.clockTime = ClockAt(program.plat.NowUs());
        LogTick(program.par, program.clockTime);
    };
    timer2->SetEnabled(true);
    program.loop.SetIteration([&](const StopCheck& stop) { program.comm->PollIteration(stop); });
    program.Continue(until);
}

// An alarm (a record at once), a detector lost for a while (disconnection records) and back.
void Happenings(Platform& p, sim::Bus& bus) {
    p.Post(2'500'000, [&] { bus.Find(1)->SetStatus("AAN", 7); });
    p.Post(5'000'000, [&] { bus.InjectFault(1, "silent"); });
    p.Post(9'000'000, [&] {
        bus.ClearFault(1, "silent");
        bus.Find(1)->SetStatus("NNN", 0);
    });
}

TEST(Log, WritesTheProgramsRecordsByteForByte) {
    // Both stop between two ticks: at a tick itself the program still writes the record that
    // falls due as it quits, while the tool, asked to stop, begins none.
    CliBench b;
    b.beforeRun = [&](cli::Tool& tool) {
        Happenings(b.plat, b.bus());
        b.plat.Post(12'100'000, [&] { tool.RequestStop(); });
    };
    const CliRun run = b.Cli({"log", "1", "--period", "2"});
    EXPECT_EQ(run.code, 0) << run.err;

    Bench program;
    Happenings(program.plat, program.bus());
    LogAsTheProgram(program, 12'100'000);

    for (const char* file : {"4711.txt", "1.txt"}) {
        std::ifstream in(std::filesystem::path(program.par.ProgramFolder) / file, std::ios::binary);
        EXPECT_EQ(b.File(file), std::string(std::istreambuf_iterator<char>(in), {})) << file;
        EXPECT_NE(b.File(file).find("\r\n"), std::string::npos) << file;
    }
    EXPECT_NE(b.File("4711.txt").find("AAN7    05/12/26  14:03:29"), std::string::npos);
}

// A log that wrote no record, or whose detector never answered, is a failure that says which;
// on a terminal a status line, rewritten in place, shows how the log goes.
TEST(Log, EndsAsAFailureWhenItLoggedNothingAndShowsItsStateOnATerminal) {
    CliBench folder;  // its scratch folder, for one that is missing
    const std::string missing = folder.folder + "/missing";
    // clang-format off
    for (const auto& [args, code, says] : std::initializer_list<std::tuple<Args, int, std::string>>{
             // The records said are those in the file: the first reply's, ticks 1 to 3.
             {{"log", "1", "--period", "1"}, 0, R"(\rlog 1: 4 records written, last reading 14:03:(29|30) NNN0 gas \d+, 0 write failures *\r[\s\S]*logging ended: 4 records written\n)"},
             {{"log", "3", "--period", "1", "--json"}, 1, R"(\rlog 3: 0 records written, last reading none, 0 write failures, missed [\s\S]*halvern-cli: address 3 never answered: no reading was logged\n)"},
             {{"--data-dir", missing, "log", "1", "--period", "1"}, 1, "halvern-cli: no record could be written: Cannot write the log file " + missing + "/4711.txt: "}}) {
        // clang-format on
        CliBench b;
        b.progress = true;
        b.StopAt(3'500'000);
        const CliRun run = b.Cli(args);
        EXPECT_EQ(run.code, code) << run.err;
        EXPECT_TRUE(std::regex_search(run.err, std::regex(says))) << run.err;
        EXPECT_EQ(Lines(b.File("4711.txt")).size(), code ? 0u : 4u);
        EXPECT_EQ(
            run.out,
            args[1] == "3"
                ? R"({"error":"address 3 never answered: no reading was logged","exit_code":1})"
                  "\n"
                : "");
    }
}

#ifndef _WIN32
// The stop path of SIGINT and SIGTERM: the signal only wakes the loop, which then asks the
// tool to stop; a record under way is finished, none is begun, nothing more is sent.
TEST(Log, AStopSignalEndsItBetweenRecordsNeverInsideOne) {
    cli::SignalStop signals;
    ASSERT_TRUE(signals.Install(nullptr));
    // At the first tick (1 s) its record is not begun; inside the reply that writes the alarm
    // record (at 0), that record is finished.
    for (const auto& [at, written] :
         {std::pair<Micros, const char*>{1'000'000, "1 record"}, {0, "3 records"}}) {
        SCOPED_TRACE(at);
        CliBench b;
        Micros stoppedAt = -1;
        b.beforeRun = [&, at = at](cli::Tool& tool) {
            const auto stop = [&signals, &stoppedAt, &b, t = &tool] {
                raise(SIGTERM);
                if (signals.Take()) {
                    stoppedAt = b.plat.NowUs();
                    t->RequestStop();
                }
            };
            b.plat.Post(1'500'000, [&] { b.bus().Find(1)->SetStatus("AAN", 7); });
            if (at)
                b.plat.Post(at, stop);
            else
                b.port.onRead = [&stoppedAt, stop](const std::vector<std::uint8_t>& bytes) {
                    if (bytes.size() > 10 && bytes[10] == 'A' && stoppedAt < 0)
                        stop();
                };
        };
        const CliRun run = b.Cli({"log", "1", "--period", "1"});
        EXPECT_EQ(run.code, 0);
        EXPECT_TRUE(run.err.ends_with(std::string("logging ended: ") + written + " written\n"))
            << run.err;
        const std::string log = b.File("4711.txt");  // whole records only
        EXPECT_TRUE(std::regex_match(
            log, std::regex(R"(((NNN0|AAN7) {4}05/12/26  14:03:2\d +\d+ .*\r\n){)" +
                            std::string(1, written[0]) + "}")))
            << log;
        ASSERT_GE(stoppedAt, 0);
        EXPECT_LE(b.port.Frames().back().atUs, stoppedAt);  // nothing sent after the stop
    }
}

// Where no event loop takes the request, the signal still ends the command: a system call
// it is blocked in returns; a wait that goes on after the interruption (as a library's may)
// ends by the signal after the grace time. Each in a child
// process, so that a signal that ends nothing fails the case instead of hanging the run.
TEST(SignalStop, ASignalEndsTheCommandWhereverItWaits) {
    enum Wait { BlockedCall, RetriedCall };
    // SIGHUP (a closed terminal or SSH session) as SIGTERM.
    struct Case {
        Wait wait;
        int sig;
    };
    for (const auto [wait, sig] : {Case{BlockedCall, SIGHUP}, Case{RetriedCall, SIGTERM}}) {
        SCOPED_TRACE(wait * 100 + sig);
        GuardedChild child([wait = wait](int out) {
            cli::SignalStop signals;
            int never[2];
            if (!signals.Install(nullptr) || pipe(never) != 0)
                return 3;
            [[maybe_unused]] const auto n = write(out, "waiting\n", 8);
            char c;
            while (read(never[0], &c, 1) < 0 && errno == EINTR && wait != BlockedCall) {
            }
            return signals.Take() ? 0 : 1;
        });
        ASSERT_TRUE(child.WaitFor("waiting\n"));
        ASSERT_TRUE(child.WaitUntilAsleep());  // in the read: a signal before it would not test it
        kill(child.pid, sig);
        const auto status = child.End(cli::SignalStop::kGraceSeconds * 2000);
        ASSERT_TRUE(status.has_value()) << "still waiting";
        EXPECT_TRUE(wait == BlockedCall ? WIFEXITED(*status) && WEXITSTATUS(*status) == 0
                                        : WIFSIGNALED(*status) && WTERMSIG(*status) == sig);
    }
}

#endif

}  // namespace
}  // namespace halvern::test
