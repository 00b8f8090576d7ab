// The setup and address writes on virtual time against simulated detectors, and the rules of
// the address text.

#include "config/ConfigExchanges.h"

#include <gtest/gtest.h>

#include "config/AddressEntry.h"
#include "maintenance/MaintExchanges.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One receive that takes nothing: the first-byte window and the microsecond past it.
constexpr Micros kSilentReceiveUs = kFirstByteWindowUs + 1;

TEST(ConfigExchanges, ConfirmedWritesGoOutOnceAfterTheDrainAndTheDetectorTakesThem) {
    Bench b(OneDetector(3));
    const WriteResult setup = WriteSetupTable(b.link, 3, {0x24, 0x05, 2, 10});
    EXPECT_EQ(setup.outcome, WriteOutcome::Confirmed);
    EXPECT_EQ(setup.attempts, 1);
    ASSERT_EQ(b.Frames().size(), 1u);
    EXPECT_EQ(b.Frames()[0].bytes, (Bytes{0x03, 0x10, 0x00, 0x01, 0x00, 0x04, 0x08, 0x24, 0x05,
                                          0x00, 0x00, 0x00, 0x02, 0x00, 0x0A, 0xBE, 0x94}));
    EXPECT_EQ(b.Frames()[0].atUs, kSilentReceiveUs + kPreSendPauseUs);  // nothing to drain
    EXPECT_EQ(b.port.RtsChanges().at(0).atUs, kSilentReceiveUs);        // raised before the pause
    EXPECT_EQ(b.bus().Find(3)->Registers(), (std::array<std::uint16_t, 5>{3, 0x2405, 0, 2, 10}));

    Bench moved(OneDetector(12));
    EXPECT_TRUE(WriteNewAddress(moved.link, 12, 7).Confirmed());
    ASSERT_EQ(moved.Frames().size(), 1u);
    EXPECT_EQ(moved.Frames()[0].bytes, (Bytes{0x0C, 0x06, 0x00, 0x00, 0x00, 0x07, 0xC9, 0x15}));
    EXPECT_EQ(moved.par.Link.RxBuffer[0], 12);  // the echo still came from the old address
    EXPECT_EQ(moved.bus().Find(12), nullptr);
    EXPECT_NE(moved.bus().Find(7), nullptr);
}

TEST(ConfigExchanges, UnansweredWritesAreTriedThreeOrSixTimesAndEndAsFailures) {
    for (const bool setup : {true, false}) {
        SCOPED_TRACE(setup ? "setup" : "address");
        Bench b(OneDetector(5));
        ASSERT_TRUE(b.bus().InjectFault(5, "ignore writes"));
        const WriteResult r =
            setup ? WriteSetupTable(b.link, 5, {0x40, 0, 0, 0}) : WriteNewAddress(b.link, 5, 6);
        EXPECT_EQ(r.outcome, WriteOutcome::NoAnswer);
        EXPECT_EQ(r.attempts, setup ? 3 : 6);
        const auto frames = b.Frames();
        ASSERT_EQ(frames.size(), setup ? 3u : 6u);
        // The echo's half second, a silent receive, and the pause before a setup write.
        const Micros spacing = 500'000 + kSilentReceiveUs + (setup ? kPreSendPauseUs : 0);
        for (std::size_t i = 1; i < frames.size(); ++i)
            EXPECT_EQ(frames[i].atUs - frames[i - 1].atUs, spacing) << i;
        EXPECT_EQ(b.plat.NowUs(), frames.back().atUs + 500'000 + kSilentReceiveUs);
        EXPECT_EQ(b.bus().Find(5)->Registers()[1], 0);
    }
    Bench b(OneDetector(5));  // the program ends while the detector ignores the write
    b.bus().InjectFault(5, "ignore writes");
    bool ending = false;
    b.At(1'500'000, [&] { ending = true; });
    const WriteResult r = WriteNewAddress(b.link, 5, 6, [&] { return ending; });
    EXPECT_EQ(r.outcome, WriteOutcome::Interrupted);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(b.Frames().size(), 1u);
    EXPECT_EQ(b.plat.NowUs(), 1'500'000);
}

// How a write ended, as the detector answered its last attempt: the same for each of the four
// writes, which differ only in their frame, attempts and waits. A detector whose reply alone
// is spoilt has taken the write; one that took a new address no longer answers at the old one.
TEST(ConfigExchanges, EveryWriteSaysWhetherItGotNoAnswerABrokenOneOrAWrongEcho) {
    const struct {
        const char* fault;
        WriteOutcome outcome;
        bool taken;  // the detector carries the write out
    } cases[] = {
        {"silent", WriteOutcome::NoAnswer, false},
        {"bad CRC", WriteOutcome::BrokenAnswer, true},
        {"truncated", WriteOutcome::BrokenAnswer, true},
        {"flood", WriteOutcome::BrokenAnswer, true},
        {"exception", WriteOutcome::WrongEcho, false},
    };
    const struct {
        const char* name;
        int attempts;
        std::function<WriteResult(Link&)> write;
    } writes[] = {
        {"setup", 3,
         [](Link& l) {
             return WriteSetupTable(l, 5, {0x40, 0, 0, 0});
         }},
        {"address", 6, [](Link& l) { return WriteNewAddress(l, 5, 6); }},
        {"S/N test", 6,
         [](Link& l) {
             bool mode = false;
             return WriteDetectorMode(l, 5, true, mode);
         }},
        {"normal mode", 6,
         [](Link& l) {
             bool mode = true;
             return WriteDetectorMode(l, 5, false, mode);
         }},
    };
    for (const auto& w : writes)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(w.name) + ", " + c.fault);
            Bench b(OneDetector(5));
            ASSERT_TRUE(b.bus().InjectFault(5, c.fault));
            const WriteResult r = w.write(b.link);
            const bool moved = c.taken && std::string(w.name) == "address";
            EXPECT_EQ(r.outcome, moved ? WriteOutcome::NoAnswer : c.outcome);
            EXPECT_EQ(r.attempts, w.attempts);
            EXPECT_EQ(b.Frames().size(), static_cast<std::size_t>(w.attempts));
        }
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
