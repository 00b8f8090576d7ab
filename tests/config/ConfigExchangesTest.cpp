// The setup and address writes on virtual time against simulated detectors, and the rules of
// the address text.

#include "config/ConfigExchanges.h"

#include <gtest/gtest.h>

#include "config/AddressEntry.h"
#include "maintenance/MaintExchanges.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

// One receive that takes nothing: the first-byte window and the microsecond past it.
constexpr Micros kSilentReceiveUs = kFirstByteWindowUs + 1;
using O = WriteOutcome;

// How each of the four writes ends, as the detector answered its last attempt. A write goes
// out after a drain (a silent receive) or the half-second wait of a mode write, and the
// pre-send pause of its function; unanswered attempts follow each other by the wait for the
// echo, a silent receive and that pause. A detector whose reply alone is spoilt has taken the
// write; one that took a new address no longer answers at the old one.
TEST(ConfigExchanges, EveryWriteSaysWhetherItWasConfirmedOrGotNoABrokenOrAWrongAnswer) {
    const struct {
        const char* fault;  // nullptr: none
        WriteOutcome outcome;
        bool taken;  // the detector carries the write out
    } cases[] = {{nullptr, O::Confirmed, true},        {"ignore writes", O::NoAnswer, false},
                 {"silent", O::NoAnswer, false},       {"bad CRC", O::BrokenAnswer, true},
                 {"truncated", O::BrokenAnswer, true}, {"flood", O::BrokenAnswer, true},
                 {"exception", O::WrongEcho, false}};
    const SetupTable setup{0x24, 0x05, 2, 10};
    const std::array<std::uint16_t, 5> registers{5, 0x2405, 0, 2, 10};
    const auto mode = [](Link& l, bool snTest) {
        bool inSnTest = !snTest;
        return WriteDetectorMode(l, 5, snTest, inSnTest);
    };
    const struct {
        const char* name;
        int attempts;
        Micros firstUs, echoWaitUs, pauseUs;
        std::function<WriteResult(Link&)> write;
        std::function<bool(sim::Bus&)> took;  // nullptr: it cannot be seen
    } writes[] = {
        {"setup", 3, kSilentReceiveUs, 500'000, kPreSendPauseUs,
         [&](Link& l) { return WriteSetupTable(l, 5, setup); },
         [&](sim::Bus& bus) { return bus.Find(5)->Registers() == registers; }},
        {"address", 6, kSilentReceiveUs, 500'000, 0,
         [](Link& l) { return WriteNewAddress(l, 5, 6); },
         [](sim::Bus& bus) { return bus.Find(5) == nullptr && bus.Find(6) != nullptr; }},
        {"S/N test", 6, 500'000, 1'000'000, kPreSendPauseUs, [&](Link& l) { return mode(l, true); },
         [](sim::Bus& bus) { return bus.Find(5)->SnTestRunning(); }},
        {"normal mode", 6, 500'000, 1'000'000, kPreSendPauseUs,
         [&](Link& l) { return mode(l, false); }, nullptr}};
    for (const auto& w : writes)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(w.name) + ", " + (c.fault ? c.fault : "none"));
            Bench b(OneDetector(5));
            ASSERT_TRUE(!c.fault || b.bus().InjectFault(5, c.fault));
            const WriteResult r = w.write(b.link);
            const bool moved = c.taken && std::string(w.name) == "address",
                       confirmed = c.outcome == O::Confirmed;
            EXPECT_EQ(r.outcome, moved && !confirmed ? O::NoAnswer : c.outcome);
            const int attempts = confirmed ? 1 : w.attempts;
            EXPECT_EQ(r.attempts, attempts);
            const auto frames = b.Frames();
            ASSERT_EQ(frames.size(), static_cast<std::size_t>(attempts));
            EXPECT_EQ(frames[0].atUs, w.firstUs + w.pauseUs);
            EXPECT_EQ(b.port.RtsChanges().at(0).atUs, w.firstUs);  // raised before the pause
            EXPECT_EQ(w.took ? w.took(b.bus()) : c.taken, c.taken);
            // A confirmed move's echo still came from the old address.
            EXPECT_EQ(confirmed && moved ? b.par.Link.RxBuffer[0] : 5, 5);
            if (c.outcome != O::NoAnswer)
                continue;
            const Micros spacing = w.echoWaitUs + kSilentReceiveUs + w.pauseUs;
            for (std::size_t i = 1; i < frames.size(); ++i)
                EXPECT_EQ(frames[i].atUs - frames[i - 1].atUs, spacing) << i;
            EXPECT_EQ(b.plat.NowUs(), frames.back().atUs + w.echoWaitUs + kSilentReceiveUs);
        }
}

TEST(ConfigExchanges, AWriteEndsWhenTheProgramDoes) {
    Bench b(OneDetector(5));
    b.bus().InjectFault(5, "ignore writes");
    bool ending = false;
    b.At(1'500'000, [&] { ending = true; });
    const WriteResult r = WriteNewAddress(b.link, 5, 6, [&] { return ending; });
    EXPECT_EQ(r.outcome, WriteOutcome::Interrupted);
    EXPECT_TRUE(r.attempts == 1 && b.Frames().size() == 1u);
    EXPECT_EQ(b.plat.NowUs(), 1'500'000);
}

TEST(AddressEntry, FilterKeepsNumbersUpTo247AndBurnTakesOnlyWholeOnesFrom1) {
    for (const char* kept : {"1", "247", "007", "0", "-5", "1.5", "1e2", " 7 ", "+3"})
        EXPECT_EQ(FilterNewAddressText(kept), kept);
    for (const char* replaced : {"248", "1000", "abc", "2a", "", "-", "1e400", "0x10", "1,5"})
        EXPECT_EQ(FilterNewAddressText(replaced), " ") << replaced;
    const std::pair<const char*, int> burnt[] = {
        {"007", 7}, {"247", 247}, {" 9 ", 9}, {"1e2", 100}};
    for (const auto& [text, address] : burnt)
        EXPECT_EQ(AddressToBurn(text), address) << text;
    for (const char* refused : {" ", "0", "-5", "1.5", "247.5", "248", "abc"})
        EXPECT_FALSE(AddressToBurn(refused)) << refused;
}

}  // namespace
}  // namespace halvern::test
