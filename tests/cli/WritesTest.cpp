// The commands that write: the setup table by field names, the bus address, the modes. What is
// refused is refused before anything is written.

#include <gtest/gtest.h>

#include <functional>

#include "cli/CliBench.h"
#include "link/Requests.h"

namespace halvern::test {
namespace {

// The default bus; at 5 and 6 two detectors whose accessory relay bits (3) have no text; at
// 8 a Talvek 880 whose range index 2 has none and at 9 a Veridan Xenon 621-1, both at 35
// degrees, which shows as "30".
sim::Bus WriteBus() {
    sim::Bus bus = sim::DefaultBus();
    // clang-format off
    for (const auto& [address, family, setup] : std::initializer_list<std::tuple<std::uint8_t, std::uint8_t, SetupTable>>{
             {5, 24, {0x00, 0x03, 0, 0}}, {6, 48, {0x00, 0x03, 0, 0}}, {8, 48, {0x48, 0x04, 1, 35}}, {9, 24, {0x24, 0x01, 2, 35}}})
        bus.Add({address, family, 0, static_cast<std::uint16_t>(address * 11), setup, "", "", 0});
    // clang-format on
    return bus;
}

struct SetupCase {
    std::vector<std::string> args;
    int code;
    std::string err;                   // a part of what is said on standard error
    std::optional<SetupTable> stored;  // what the detector holds afterwards, when written
};

bool operator==(const SetupTable& a, const SetupTable& b) {
    return a.MeasureFlags == b.MeasureFlags && a.OutputFlags == b.OutputFlags &&
           a.HeaterMode == b.HeaterMode && a.HeaterOnTemp == b.HeaterOnTemp;
}

using Args = std::vector<std::string>;

constexpr std::nullopt_t kUnwritten = std::nullopt;

// clang-format off
const SetupCase kSetupCases[] = {
    // Names by caption, any case and blanks; texts as the option is written; "35" allowed.
    {Args{"setup", "1", "accessory relay=warning", "Heater ON at(C)=35"}, 0, "", SetupTable{0x24, 0x04, 2, 35}},
    {Args{"setup", "12", "range=SHORT"}, 0, "", SetupTable{0x00, 0x04, 1, 5}},
    {Args{"setup", "7", "Full  Scale Sensitivity=100"}, 0, "", SetupTable{0x24, 0x01, 0, 0}},
    {Args{"setup", "5", "Accessory Relay=eol", "Alarm Latch=YES"}, 0, "", SetupTable{0x00, 0x06, 0, 0}},
    // What is not named is written back as read, values without a text of their own too; a
    // field named is written from its text even when that is the text it showed.
    {Args{"setup", "8", "heater mode=on"}, 0, "", SetupTable{0x48, 0x04, 2, 35}},
    {Args{"setup", "9", "Alarm Latch=YES"}, 0, "", SetupTable{0x24, 0x05, 2, 35}},
    {Args{"setup", "8", "Heater ON at(C)=30", "Range=Short"}, 0, "", SetupTable{0x40, 0x04, 1, 30}},
    // Wrong for this model: the table is read, not written.
    {Args{"setup", "12", "Alarm Latch=YES"}, 2, "\"Alarm Latch\" is not shown for the Talvek 880", kUnwritten},
    {Args{"setup", "7", "Full Scale Sensitivity=500"}, 2, "\"500\" is not an option of \"Full Scale Sensitivity\" for the Veridan LAMP 411: 250, 100", kUnwritten},
    // Only what this model accepts is offered.
    {Args{"setup", "1", "Gas Type=Ethylene"}, 2, "\"Ethylene\" is not an option of \"Gas Type\" for the Veridan Xenon 621-2: 1, 2, 3, 4", kUnwritten},
    // A tested field left empty, as the setup screen refuses it.
    {Args{"setup", "5", "Alarm Latch=YES"}, 2, "\"Accessory  Relay\" is empty (the detector holds a value that has no text): give it one of WARNING, ALARM, EOL", kUnwritten},
    {Args{"setup", "6", "Range=Short"}, 2, "\"Accessory  Relay\" is empty and not shown for the Talvek 880", kUnwritten},
};
// clang-format on

class SetupWrite : public ::testing::TestWithParam<SetupCase> {};

TEST_P(SetupWrite, ChangesOnlyWhatIsNamedOrRefusesBeforeWriting) {
    const SetupCase& c = GetParam();
    SCOPED_TRACE(testing::PrintToString(c.args));
    CliBench b(WriteBus());
    const auto address = static_cast<std::uint8_t>(std::stoi(c.args[1]));
    const SetupTable before = b.bus().Find(address)->Setup();
    const CliRun run = b.Cli(c.args);
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_FALSE(b.Written().empty());  // the model decides
    EXPECT_EQ(b.Written(0, kFunctionWriteMany).size(), c.stored ? 1u : 0u);
    EXPECT_TRUE(b.bus().Find(address)->Setup() == c.stored.value_or(before));
    // The table as written, field by field.
    EXPECT_EQ(run.out.empty(), !c.stored);
}

INSTANTIATE_TEST_SUITE_P(Fields, SetupWrite, ::testing::ValuesIn(kSetupCases));

// Unanswered, or answered by an echo that is not the write's own (from another address, of
// another register, with another value or quantity): not confirmed, whatever the kind, and
// said with what the last attempt got.
// A table kept in a file before a change puts the detector back as it was; another model's
// detector is refused with nothing written.
TEST(Writes, ASavedSetupTableIsLoadedBackIntoItsDetectorAndIntoNoOtherModel) {
    CliBench b;  // 1 Veridan Xenon 621-2 holding registers 1-4 as 9221 0 2 10; 7 a LAMP 411
    const std::string file = b.folder + "/f.json";
    const auto registers = [&](std::uint8_t a) { return b.bus().Find(a)->Registers(); };
    const auto before = registers(1);
    EXPECT_EQ(b.Cli({"setup", "1", "--save", file}).code, 0);
    EXPECT_EQ(b.Cli({"setup", "1", "alarm_latch=no", "heater_on_at_c=35"}).code, 0);
    const std::string differences = "Alarm Latch      NO -> YES\nHeater ON at(C)  35 -> 10\n";
    const struct {
        Args args;
        std::string out;
        std::size_t writes;
    } steps[] = {
        {{"--dry-run"}, differences + "address 1: dry run, nothing written\n", 0},
        {{}, differences + "address 1: setup table written: confirmed\n", 1},
        {{}, "address 1: nothing to change\n", 0},
    };
    for (const auto& step : steps) {
        const std::size_t from = b.port.Frames().size();
        Args args{"setup", "1", "--load", file};
        args.insert(args.end(), step.args.begin(), step.args.end());
        const CliRun run = b.Cli(args);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, step.out);
        EXPECT_EQ(b.Written(from, kFunctionWriteMany).size(), step.writes);
    }
    EXPECT_EQ(registers(1), before);
    EXPECT_NE(b.Cli({"history", "4711"})
                  .out.find("Loaded from " + file + ", saved from serial number 4711"),
              std::string::npos);

    const std::size_t from = b.port.Frames().size();
    const CliRun other = b.Cli({"setup", "7", "--load", file});
    // Why, in the words of the file's own refusal.
    EXPECT_TRUE(other.code == 2 && other.err.starts_with("halvern-cli: " + file + ": a setup"));
    EXPECT_TRUE(b.Written(from, kFunctionWriteMany).empty());
}

TEST(Writes, UnconfirmedWritesAreSaidAfterTheirAttempts) {
    // clang-format off
    for (const auto& [fault, reason] : {std::pair<const char*, std::string>{"ignore writes", "no answer"}, {"wrong echo address", "wrong echo"},
                                        {"wrong echo register", "wrong echo"}, {"wrong echo value", "wrong echo"}}) {
        // clang-format on
        SCOPED_TRACE(fault);
        CliBench b;
        b.bus().InjectFault(1, fault);
        const std::string last = "; last attempt: " + reason;
        for (const auto& [args, function, attempts, err] :
             // clang-format off
             std::initializer_list<std::tuple<Args, int, std::size_t, std::string>>{
                 {{"setup", "1", "Alarm Latch=NO"}, kFunctionWriteMany, 3, "did not confirm the setup table after 3 attempts" + last + "; the setup table may not"},
                 {{"address", "1", "2"}, kFunctionWriteOne, 6, "did not confirm its new address 2 after 6 attempts" + last + "; it may still have address 1"},
                 {{"normal", "1"}, kFunctionWriteOne, 6, "Not in normal mode - Try again! (address 1 did not confirm after 6 attempts)" + last},
                 {{"sn-test", "1"}, kFunctionWriteOne, 6, "S/N Test Fail - Try Again! (address 1 did not confirm after 6 attempts)" + last}}) {
            // clang-format on
            const std::size_t from = b.port.Frames().size();
            const CliRun run = b.Cli(args);
            EXPECT_EQ(std::pair(run.code, run.out), std::pair(1, std::string())) << args[0];
            EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
            EXPECT_EQ(b.Written(from, function).size(), attempts) << args[0];
        }
        const CliRun json = b.Cli({"--json", "address", "1", "9"});
        // clang-format off
        EXPECT_TRUE(json.code == 1 && json.out.starts_with(R"({"error":"the detector at address 1 did not confirm its new address 9 after 6 attempts; )") &&
                    json.out.ends_with(R"(","exit_code":1,"reason":")" + reason + R"(","attempts":6})" "\n")) << json.out;
        // clang-format on
        EXPECT_EQ(b.bus().Find(1)->Registers(),
                  (std::array<std::uint16_t, 5>{1, 0x2405, 0, 2, 10}));
    }
}

// SIGTERM while the echo of a write is awaited: no further attempt, and since the frame has left
// the message says what to check rather than that nothing happened.
TEST(Writes, AStopDuringAWriteEndsItAfterTheFrameAndSaysWhatToCheck) {
    CliBench b;
    b.bus().InjectFault(1, "ignore writes");
    std::function<void()> watch;
    b.beforeRun = [&](cli::Tool& tool) {
        watch = [&] {
            if (b.Written(0, kFunctionWriteMany).size() == 2)
                tool.RequestStop();
            else
                b.plat.Post(b.plat.NowUs() + 10'000, watch);
        };
        b.plat.Post(b.plat.NowUs(), watch);
    };
    const CliRun run = b.Cli({"setup", "1", "Alarm Latch=NO"});
    EXPECT_EQ(
        Said(run),
        std::tuple(1, "",
                   "halvern-cli: interrupted during the write; the setup table may not have been "
                   "written: check it with 'halvern-cli --device /home/tech/sim setup 1'\n"));
    const auto writes = b.Written(0, kFunctionWriteMany);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1], writes[0]);  // whole frames only
}

// A new address is taken unless another detector has it (the outputs of a move are in the
// output table).
TEST(Writes, ANewAddressThatAnotherDetectorHasIsRefused) {
    CliBench b;
    EXPECT_EQ(Said(b.Cli({"address", "7", "12"})),
              std::tuple(2, "",
                         "halvern-cli: address 12 is taken: Talvek 880, serial number 880 answers "
                         "there\n"));
    EXPECT_TRUE(b.Written(0, kFunctionWriteOne).empty());
}

}  // namespace
}  // namespace halvern::test
