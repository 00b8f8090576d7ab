#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "sim/Bus.h"
#include "sim/Console.h"
#include "sim/Detector.h"

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithCrc(Bytes f) {
    AppendCrc(f);
    return f;
}

bool CrcOk(const Bytes& f) {
    return ReplyCrcIsValid(f, static_cast<int>(f.size()));
}

Detector Xenon() {  // address 1, Xenon 621-2, serial 4711
    return Detector(DefaultBus().At(0));
}

Bytes Reply(Detector& d, const Bytes& request, Micros now = 0) {
    return d.Handle(request, now).value_or(Bytes{});  // empty: no answer
}

TEST(Detector, StatusReplyCarriesTheDetectorInItsByteLayout) {
    Detector d = Xenon();
    d.SetGain(0x0D);
    d.SetOperatingTimeByte(0x07);
    ASSERT_TRUE(d.SetStatus("OMN", 7));  // O and R travel as the digits 2 and 3
    const Bytes f = Reply(d, CommandFrame(1, kCodeStatus), 1'000'000);
    ASSERT_EQ(f.size(), 34u);
    EXPECT_TRUE(CrcOk(f));
    // address, function, byte count, operating time, marker, variant 1 / family 24,
    // serial 4711, status characters and number, gain
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 14),
              (Bytes{1, 200, 29, 0x07, 42, 0x01, 0x18, 0x12, 0x67, '2', 'M', 'N', 7, 0x0D}));
    const Readings want = d.ReadingsAt(1'000'000);
    EXPECT_EQ((Bytes{f[14], f[17], f[18]}),
              (Bytes{want.Signal1, want.Voltage, std::uint8_t(want.Temperature)}));
    EXPECT_TRUE(f[21] > 0 && f[22] > 0);  // NQ ratios are never 0 on a live detector
    EXPECT_EQ(f[23] | f[24] | f[25], 0);  // no S/N test
    EXPECT_EQ(f[26] | f[27] << 8, want.Gas);
    d.SetStatus("RMN", 0);
    EXPECT_EQ(d.StatusReply(0)[9], '3');
}

// Every setup write puts 0, normal mode, into register 2, ending an S/N test.
TEST(Detector, SetupTableRoundTripsThroughTheRegisters) {
    Detector d = Xenon();
    EXPECT_EQ(Reply(d, ReadSetupFrame(1)), WithCrc({1, 3, 8, 0x24, 0x05, 0, 0, 0, 2, 0, 10}));
    Reply(d, SnTestFrame(1));
    EXPECT_EQ(Reply(d, WriteSetupFrame(1, {0x64, 0x1A, 1, 35})), WithCrc({1, 16, 0, 1, 0, 4}));
    EXPECT_FALSE(d.SnTestRunning());
    EXPECT_EQ(Reply(d, ReadSetupFrame(1)), WithCrc({1, 3, 8, 0x64, 0x1A, 0, 0, 0, 1, 0, 35}));
}

TEST(Detector, RefusesWhatItDoesNotHaveAndIgnoresFramesNotForIt) {
    Bytes badCrc = CommandFrame(1, kCodeStatus);
    badCrc.back() ^= 1;
    const struct {
        const char* what;
        Bytes request, reply;  // no reply: not answered at all
    } cases[] = {
        {"unknown function", WithCrc({1, 4, 0, 1, 0, 1}), WithCrc({1, 0x84, 1})},
        {"read past register 4", WithCrc({1, 3, 0, 3, 0, 3}), WithCrc({1, 0x83, 2})},
        {"address 248", WithCrc({1, 6, 0, 0, 0, 248}), WithCrc({1, 0x86, 3})},
        {"command 33", WithCrc({1, 200, 4, 0, 33, 90, 62}), WithCrc({1, 200, 1})},
        {"bad CRC", badCrc, {}},
        {"other address", CommandFrame(2, kCodeStatus), {}},
    };
    for (const auto& c : cases) {
        Detector d = Xenon();
        EXPECT_EQ(Reply(d, c.request), c.reply) << c.what;
        EXPECT_EQ(d.Registers(), Xenon().Registers()) << c.what;
    }
}

// The console's reply shapes, each on the status reply of detector 1 at 2 s: its length, the
// marker at index 4, status bytes 9 to 12 as given, readings held (an NQ ratio of 0 among
// them) and let drift again.
TEST(Console, ShapesTheStatusReplyAsTheCommandsSay) {
    struct Case {
        std::vector<const char*> lines;
        std::size_t length;
        std::uint8_t marker;
        Bytes status;  // indices 9 to 12; empty: as the detector has it
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // further indices
    };
    const Case cases[] = {
        {{"status 1 VVV 81", "reply 1 15"}, 15, 0, {'V', 'V', 'V', 81}, {}},
        {{"reply 1 22 marker"}, 22, 42, {}, {}},
        {{"reply 1 13", "reply 1 full"}, 34, 42, {}, {}},
        {{"reply 1 34 nomarker"}, 34, 0, {}, {}},
        {{"statusbytes 1 79 0 200 255"}, 34, 42, {79, 0, 200, 255}, {}},
        {{"statusbytes 1 79 0 200 255", "status 1 OMN 7"}, 34, 42, {'2', 'M', 'N', 7}, {}},
        {{"reading 1 nq1 0", "reading 1 nq2 0"}, 34, 42, {}, {{21, 0}, {22, 0}}},
        {{"reading 1 gas 1000", "reading 1 temperature -5"},
         34,
         42,
         {},
         {{26, 0xE8}, {27, 0x03}, {18, 0xFB}}},
        // Let go, it drifts again around the value it was held at.
        {{"reading 1 signal1 0", "reading 1 signal1 drift"}, 34, 42, {}, {{14, 0}}},
    };
    for (const Case& c : cases) {
        Bus bus = DefaultBus();
        for (const char* line : c.lines)
            EXPECT_EQ(RunCommand(bus, line).error, "") << line;
        const Bytes f = bus.Find(1)->StatusReply(2'000'000);
        const std::string what = c.lines.back();
        ASSERT_EQ(f.size(), c.length) << what;
        EXPECT_TRUE(CrcOk(f)) << what;
        EXPECT_EQ(f[4], c.marker) << what;
        if (!c.status.empty()) {
            EXPECT_EQ(Bytes(f.begin() + 9, f.begin() + 13), c.status) << what;
        }
        for (const auto& [i, b] : c.bytes)
            EXPECT_NEAR(f[i], b, i == 14 ? 6 : 0) << what << " index " << i;  // 14 drifts
    }
    Bus bus = DefaultBus();
    for (const char* wrong :
         {"reply 1 8", "reply 1 35", "reply 1 20 half", "reply 2 20", "statusbytes 1 1 2 3",
          "statusbytes 1 1 2 3 256", "reading 1 nq3 0", "reading 1 nq1 256",
          "reading 1 temperature 128", "reading 1 gas -1", "latency 8 400", "latency 7 10001",
          "latency 7 x", "babble 0 100", "babble 10", "babble loud"})
        EXPECT_NE(RunCommand(bus, wrong).error, "") << wrong;
}

}  // namespace
}  // namespace halvern::sim
