#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "sim/Bus.h"
#include "sim/Detector.h"

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool CrcOk(const Bytes& f) {
    return ReplyCrcIsValid(f, static_cast<int>(f.size()));
}

Bytes WithCrc(Bytes f) {
    AppendCrc(f);
    return f;
}

Detector Xenon() {
    return Detector(DefaultBus().At(0));
}

TEST(Detector, StatusReplyCarriesTheDetectorInItsByteLayout) {
    Detector d = DefaultBus().At(0);  // address 1, Xenon 621-2, serial 4711
    d.SetGain(0x0D);
    d.SetOperatingTimeByte(0x07);
    const auto r = d.Handle(CommandFrame(1, kCodeStatus), 1'000'000);
    ASSERT_TRUE(r);
    const Bytes& f = *r;
    ASSERT_EQ(f.size(), 34u);
    EXPECT_TRUE(CrcOk(f));
    EXPECT_EQ(f[0], 1);
    EXPECT_EQ(f[1], 200);
    EXPECT_EQ(f[3], 0x07);
    EXPECT_EQ(f[4], 42);
    EXPECT_EQ(f[5] * 256 + f[6], 0x0118);  // variant 1, family 24
    EXPECT_EQ(f[7] * 256 + f[8], 4711);
    EXPECT_EQ(std::string(f.begin() + 9, f.begin() + 12), "NNN");
    EXPECT_EQ(f[12], 0);
    EXPECT_EQ(f[13], 0x0D);
    const Readings want = d.ReadingsAt(1'000'000);
    EXPECT_EQ(f[14], want.Signal1);
    EXPECT_EQ(f[17], want.Voltage);
    EXPECT_EQ(static_cast<std::int8_t>(f[18]), want.Temperature);
    EXPECT_GT(f[21], 0);  // NQ ratios are never 0 on a live detector
    EXPECT_GT(f[22], 0);
    EXPECT_EQ((Bytes{f[23], f[24], f[25]}), (Bytes{0, 0, 0}));  // no S/N test
    EXPECT_EQ(f[26] | f[27] << 8, want.Gas);
}

TEST(Detector, StatusCharactersOAndRTravelAsTheDigitsTwoAndThree) {
    Detector d = Xenon();
    ASSERT_TRUE(d.SetStatus("OMN", 7));
    auto f = d.StatusReply(0);
    EXPECT_EQ((Bytes{f[9], f[10], f[11], f[12]}), (Bytes{'2', 'M', 'N', 7}));
    d.SetStatus("RMN", 0);
    EXPECT_EQ(d.StatusReply(0)[9], '3');
    d.SetStatus("AAN", 7);
    f = d.StatusReply(0);
    EXPECT_EQ((Bytes{f[9], f[10], f[11], f[12]}), (Bytes{'A', 'A', 'N', 7}));
    EXPECT_FALSE(d.SetStatus("NNNN", 0));
}

TEST(Detector, ReadingsDriftALittleAndDeterministically) {
    Detector a = Xenon(), b = Xenon();
    const Readings base = a.BaseReadings();
    bool moved = false;
    for (Micros t = 0; t < 3600'000'000; t += 7'000'000) {
        const Readings r = a.ReadingsAt(t);
        EXPECT_EQ(r.Signal1, b.ReadingsAt(t).Signal1);
        EXPECT_LE(std::abs(r.Signal1 - base.Signal1), 4);
        EXPECT_LE(std::abs(r.NqRatio1 - base.NqRatio1), 3);
        EXPECT_LE(std::abs(r.Temperature - base.Temperature), 2);
        moved = moved || r.Signal1 != a.ReadingsAt(0).Signal1;
    }
    EXPECT_TRUE(moved);
}

TEST(Detector, VersionRepliesCarryTheTextFromIndexNine) {
    DetectorConfig c;
    c.PrimaryVersion = "XN621 3.12";
    c.SecondaryVersion = "DSP 1.07";
    Detector d(c);
    const auto p = d.Handle(CommandFrame(1, kCodePrimaryVersion), 0);
    ASSERT_TRUE(p);
    EXPECT_TRUE(CrcOk(*p));
    EXPECT_EQ((*p)[1], 200);
    EXPECT_EQ(std::string(p->begin() + 9, p->end() - 2), "XN621 3.12");  // 9 .. RxCount-3

    const auto s = d.Handle(CommandFrame(1, kCodeSecondaryVersion), 0);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->size(), 31u);  // indices 9..28 are the 20 characters
    EXPECT_TRUE(CrcOk(*s));
    EXPECT_EQ(std::string(s->begin() + 9, s->begin() + 29), "DSP 1.07            ");
}

TEST(Detector, SetupTableRoundTripsThroughTheRegisters) {
    Detector d = Xenon();
    auto r = d.Handle(ReadSetupFrame(1), 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, WithCrc({1, 3, 8, 0x24, 0x05, 0, 0, 0, 2, 0, 10}));

    d.Handle(SnTestFrame(1), 0);
    const SetupTable t{0x64, 0x1A, 1, 35};
    const auto echo = d.Handle(WriteSetupFrame(1, t), 0);
    ASSERT_TRUE(echo);
    EXPECT_EQ(*echo, WithCrc({1, 16, 0, 1, 0, 4}));
    EXPECT_FALSE(d.SnTestRunning());  // a setup write puts 0 into the mode register
    r = d.Handle(ReadSetupFrame(1), 0);
    EXPECT_EQ(*r, WithCrc({1, 3, 8, 0x64, 0x1A, 0, 0, 0, 1, 0, 35}));
    EXPECT_EQ(d.Registers(), (std::array<std::uint16_t, 5>{1, 0x641A, 0, 1, 35}));
}

TEST(Detector, NewAddressIsEchoedFromTheOldOneAndAnsweredAfterwards) {
    Detector d = Xenon();
    const auto echo = d.Handle(NewAddressFrame(1, 5), 0);
    ASSERT_TRUE(echo);
    EXPECT_EQ(*echo, (Bytes{0x01, 0x06, 0x00, 0x00, 0x00, 0x05, 0x49, 0xC9}));
    EXPECT_EQ(d.Address(), 5);
    EXPECT_FALSE(d.Handle(CommandFrame(1, kCodeStatus), 0));
    const auto r = d.Handle(CommandFrame(5, kCodeStatus), 0);
    ASSERT_TRUE(r);
    EXPECT_EQ((*r)[0], 5);
    EXPECT_EQ(d.Registers()[0], 5);
}

TEST(Detector, SnTestFillsTheNoiseBytesUntilNormalMode) {
    Detector d = Xenon();
    auto echo = d.Handle(SnTestFrame(1), 0);
    ASSERT_TRUE(echo);
    EXPECT_EQ(*echo, (Bytes{0x01, 0x06, 0x00, 0x02, 0x00, 0x01, 0xE9, 0xCA}));
    auto f = d.StatusReply(2'000'000);
    EXPECT_GT(f[23], 0);
    EXPECT_GT(f[24], 0);
    EXPECT_GT(f[25], 0);
    echo = d.Handle(NormalModeFrame(1), 3'000'000);
    EXPECT_EQ(*echo, (Bytes{0x01, 0x06, 0x00, 0x02, 0x00, 0x00, 0x28, 0x0A}));
    f = d.StatusReply(4'000'000);
    EXPECT_EQ((Bytes{f[23], f[24], f[25]}), (Bytes{0, 0, 0}));
}

TEST(Detector, AlignShowsXxxForAWhileThenThePreviousStatus) {
    Detector d = Xenon();
    d.SetStatus("AAN", 7);
    const auto ack = d.Handle(CommandFrame(1, kCodeAlign), 10'000'000);
    ASSERT_TRUE(ack);
    EXPECT_TRUE(CrcOk(*ack));
    EXPECT_LT(ack->size(), 10u);
    EXPECT_EQ((*ack)[1], 200);
    auto during = d.StatusReply(10'000'000 + kAlignDurationUs - 1);
    EXPECT_EQ(std::string(during.begin() + 9, during.begin() + 12), "XXX");
    EXPECT_EQ(during[12], 7);
    auto after = d.StatusReply(10'000'000 + kAlignDurationUs);
    EXPECT_EQ(std::string(after.begin() + 9, after.begin() + 12), "AAN");
}

struct ExceptionCase {
    const char* what;
    Bytes request;  // without CRC
    Bytes reply;    // without CRC
};

void PrintTo(const ExceptionCase& c, std::ostream* os) {
    *os << c.what;
}

class DetectorExceptions : public testing::TestWithParam<ExceptionCase> {};

TEST_P(DetectorExceptions, RefusesWhatItDoesNotHave) {
    Detector d = Xenon();
    const auto before = d.Registers();
    const auto r = d.Handle(WithCrc(GetParam().request), 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, WithCrc(GetParam().reply));
    EXPECT_EQ(d.Registers(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DetectorExceptions,
    testing::Values(
        ExceptionCase{"unknown function", {1, 4, 0, 1, 0, 1}, {1, 0x84, 1}},
        ExceptionCase{"read past register 4", {1, 3, 0, 3, 0, 3}, {1, 0x83, 2}},
        ExceptionCase{"read of no registers", {1, 3, 0, 1, 0, 0}, {1, 0x83, 3}},
        ExceptionCase{"write register 9", {1, 6, 0, 9, 0, 1}, {1, 0x86, 2}},
        ExceptionCase{"address 0", {1, 6, 0, 0, 0, 0}, {1, 0x86, 3}},
        ExceptionCase{"address 248", {1, 6, 0, 0, 0, 248}, {1, 0x86, 3}},
        ExceptionCase{"mode 2", {1, 6, 0, 2, 0, 2}, {1, 0x86, 3}},
        ExceptionCase{
            "block past register 4", {1, 16, 0, 3, 0, 3, 6, 0, 1, 0, 2, 0, 3}, {1, 0x90, 2}},
        ExceptionCase{"block with a bad mode", {1, 16, 0, 1, 0, 2, 4, 0, 9, 0, 5}, {1, 0x90, 3}},
        ExceptionCase{"command 33", {1, 200, 4, 0, 33, 90, 62}, {1, 200, 1}},
        ExceptionCase{"command without trailer", {1, 200, 4, 0, 32, 0, 0}, {1, 200, 3}}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& c : n)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

TEST(Detector, IgnoresFramesNotForIt) {
    Detector d = Xenon();
    Bytes bad = CommandFrame(1, kCodeStatus);
    bad.back() ^= 1;
    EXPECT_FALSE(d.Handle(bad, 0));
    EXPECT_FALSE(d.Handle(CommandFrame(2, kCodeStatus), 0));
    EXPECT_FALSE(d.Handle(WithCrc({1, 3, 0, 1, 0, 4, 0}), 0));   // one byte too many
    const auto any = d.Handle(CommandFrame(0, kCodeStatus), 0);  // broadcast: own address
    ASSERT_TRUE(any);
    EXPECT_EQ((*any)[0], 1);
}

}  // namespace
}  // namespace halvern::sim
