// Each action of halvern-cli on a detector leaves exactly one event in the service history,
// confirmed or not, with the texts before and after; the history and report commands read it.

#include <gtest/gtest.h>

#include "cli/CliBench.h"
#include "history/HistoryStore.h"

namespace halvern::test {
namespace {

using Args = std::vector<std::string>;

// The setup table of the Veridan Xenon 621-2 at address 1 (24 05 02 0A), as the screen shows it.
std::string Setup1(const char* latch) {
    return "Gas Type: 2\nFull Scale Sensitivity: 200\nBG Zero Calibration: ENABLE\nAccessory  "
           "Relay: ALARM\nAlarm Latch: " +
           std::string(latch) + "\nHeater Mode: ON\nHeater ON at(C): 10";
}

struct EventCase {
    Args args;          // after "--device sim"
    const char* fault;  // injected into address 1 first; "" for none
    std::string serial, action, before, after;
    std::optional<bool> confirmed;
    std::optional<int> attempts = std::nullopt;
    const char* rawAfter = nullptr;  // the bytes written, when a setup write is confirmed
};

const char* const kDeaf = "ignore writes";
// clang-format off
const EventCase kEventCases[] = {
    {Args{"setup", "1"}, "", "4711", kActionSetupRead, "", Setup1("YES"), true},
    {Args{"setup", "1", "alarm_latch=no"}, "", "4711", kActionSetupWrite, Setup1("YES"), Setup1("NO"), true, 1, "24 01 02 0A"},
    // The value written, not the screen's rounding of it.
    {Args{"setup", "1", "Heater ON at(C)=35"}, "", "4711", kActionSetupWrite, Setup1("YES"),
     Setup1("YES").substr(0, Setup1("YES").size() - 2) + "35", true, 1, "24 05 02 23"},
    {Args{"setup", "1", "alarm_latch=no"}, kDeaf, "4711", kActionSetupWrite, Setup1("YES"), Setup1("NO"), false},
    {Args{"address", "7", "9"}, "", "1207", kActionAddress, "7", "9", true},
    // A confirmed S/N test keeps the noise figures it printed.
    {Args{"sn-test", "1"}, "", "4711", kActionSnTest, "", "Sig1/Noise 184, Sig2/Noise 170, Ref/Noise 185", true, 1},
    {Args{"normal", "1"}, "", "4711", kActionNormal, "", "normal mode", true, 1},
    {Args{"align", "12"}, "", "880", kActionAlign, "", "align command sent", std::nullopt},
    // The version command asks for nothing else: the detector's serial number is not known.
    {Args{"version", "1"}, "", "", kActionVersion, "", "primary: Ver 3.12 F24", true},
    {Args{"version", "7", "--secondary"}, "", "", kActionVersion, "", "secondary: DSP 1.07 F36", true},
    // Another detector's answer is no version of this one.
    {Args{"version", "1"}, "wrong address", "", kActionVersion, "",
     "primary: none (address 1 was asked, but address 2 answered, with a version reply)", false},
};
// clang-format on

class OneEvent : public ::testing::TestWithParam<EventCase> {};

TEST_P(OneEvent, PerAction) {
    const EventCase& c = GetParam();
    SCOPED_TRACE(testing::PrintToString(c.args));
    CliBench b;
    if (*c.fault)
        b.bus().InjectFault(1, c.fault);
    const CliRun run = b.Cli(c.args);
    EXPECT_TRUE(run.code == (c.confirmed.value_or(true) ? 0 : 1) &&
                run.err.find("history") == std::string::npos)
        << run.err;  // nothing said about the history
    HistoryStore store(b.folder + "/" + kHistoryFile, {});
    const auto events = store.Events();
    ASSERT_EQ(events.size(), 1u) << store.ReadError();
    const ServiceEvent& e = events[0];
    EXPECT_EQ(std::tie(e.action, e.address, e.serial, e.before, e.after, e.confirmed, e.program),
              std::make_tuple(c.action, std::stoi(c.args[1]), c.serial, c.before, c.after,
                              c.confirmed, "halvern-cli"));
    EXPECT_TRUE(!c.attempts || e.attempts == c.attempts);
    EXPECT_TRUE(c.action != kActionSetupWrite ||
                (e.rawBefore == "24 05 02 0A" && (!c.rawAfter || e.rawAfter == c.rawAfter)))
        << e.rawBefore << " / " << e.rawAfter;
}

INSTANTIATE_TEST_SUITE_P(Actions, OneEvent, ::testing::ValuesIn(kEventCases));

TEST(History, TheHistoryCommandListsTheEventsNewestFirst) {
    CliBench b;
    ASSERT_EQ(b.Cli({"align", "12"}).code, 0);
    ASSERT_EQ(b.Cli({"address", "7", "9"}).code, 0);
    const std::string all = b.Run({"history"}).out;
    const auto address = all.find("address change"), align = all.find("align");
    EXPECT_TRUE(address < align && align != std::string::npos &&
                all.find("    before: 7\n    after:  9\n") != std::string::npos)
        << all;
    const CliRun one = b.Run({"history", "880", "--json"});
    EXPECT_EQ(std::pair(one.code, std::count(one.out.begin(), one.out.end(), '\n')),
              std::pair(0, 1L))
        << one.out;
    EXPECT_TRUE(
        one.out.find(R"("serial":"880","model":"Talvek 880","address":12,"action":"align")") !=
            std::string::npos &&
        one.out.find(R"("confirmed":null,"attempts":null)") != std::string::npos)
        << one.out;
    // A setup table's lines read back whole: escaped as JSON has them, not blotted out.
    ASSERT_EQ(b.Cli({"setup", "12", "Heater Mode=off"}).code, 0);
    const CliRun setup = b.Run({"history", "880", "--json"});
    EXPECT_TRUE(setup.out.find("\\n") != std::string::npos &&
                setup.out.find('?') == std::string::npos)
        << setup.out;
    EXPECT_EQ(b.Run({"history", "--since", "2999-01-01"}).out, "");
}

}  // namespace
}  // namespace halvern::test
