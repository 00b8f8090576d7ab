#include <gtest/gtest.h>

#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "sim/Bus.h"
#include "sim/Console.h"
#include "sim/Detector.h"
#include "sim/FrameSplitter.h"

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;

bool CrcOk(const Bytes& f) {
    return ReplyCrcIsValid(f, static_cast<int>(f.size()));
}

Bus BusWith(std::uint8_t address, const char* fault) {
    Bus bus = DefaultBus();
    EXPECT_TRUE(bus.InjectFault(address, fault)) << fault;
    return bus;
}

TEST(Bus, BroadcastCollidesWhenSeveralAnswerAndFindsALoneDetector) {
    Bus bus = BusWith(12, "silent");
    const auto both = bus.Respond(CommandFrame(0, kCodeStatus), 0);
    ASSERT_EQ(both.size(), 1u);  // 1 and 7 talk at once: one stretch of bytes
    EXPECT_EQ(both[0].startUs, kDefaultLatencyUs);
    EXPECT_EQ(both[0].bytes.size(), 34u);
    EXPECT_EQ(both[0].bytes[0], 1 | 7);
    EXPECT_FALSE(CrcOk(both[0].bytes));
    bus.InjectFault(1, "silent");
    const Bytes alone = bus.Respond(CommandFrame(0, kCodeStatus), 0).at(0).bytes;
    EXPECT_TRUE(CrcOk(alone) && alone[0] == 7);  // from its own address
    // Identical answers OR to themselves: the CRC would hold without the deliberate spoiling.
    Bytes same{5, 200, 1};
    AppendCrc(same);
    EXPECT_FALSE(CrcOk(Collide({{{0, same}}, {{0, same}}}).at(0).bytes));
}

// Each fault, by its name, shapes detector 1's answer to a status query whose last byte left
// at 0: the pieces put on the line (the second one's start), their bytes joined.
TEST(Bus, EachFaultShapesTheAnswerAndTheConsoleSetsLatencyAndBabble) {
    const struct {
        const char* fault;  // nullptr: none
        std::size_t bytes;
        bool crcOk, ownAddressFirst;
        Micros secondUs;  // 0: one piece
    } cases[] = {
        {nullptr, 34, true, true, 0},
        {"silent", 0, false, false, 0},
        {"late", 34, true, true, kDefaultLatencyUs + WireTimeUs(17) + kLatePauseUs},
        {"bad CRC", 34, false, true, 0},
        {"wrong address", 34, true, false, 0},
        {"exception", 5, true, true, 0},
        {"split delivery", 34, true, true, kDefaultLatencyUs + WireTimeUs(17) + kSplitPauseUs},
        {"truncated", 17, false, true, 0},
        {"flood", 300, false, true, 0},  // over the host's 257
        {"noise", 39, false, false, 0},
        {"Ignore-Writes", 34, true, true, 0},  // polls are answered as ever
        {"wrong echo value", 34, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault ? c.fault : "no fault");
        Bus bus = c.fault ? BusWith(1, c.fault) : DefaultBus();
        const auto pieces = bus.Respond(CommandFrame(1, kCodeStatus), 0);
        Bytes all;
        for (const auto& p : pieces)
            all.insert(all.end(), p.bytes.begin(), p.bytes.end());
        EXPECT_EQ(all.size(), c.bytes);
        EXPECT_EQ(CrcOk(all), c.crcOk);
        if (c.bytes == 0)
            continue;
        EXPECT_EQ(all[0] == 1, c.ownAddressFirst);
        EXPECT_EQ(pieces[0].startUs, kDefaultLatencyUs);
        EXPECT_EQ(pieces.size() > 1 ? pieces[1].startUs : 0, c.secondUs);
    }
    Bus bus = DefaultBus();
    for (const char* good : {"latency 7 400", "latency 20", "babble 10 100"})
        EXPECT_EQ(RunCommand(bus, good).error, "") << good;
    EXPECT_EQ(bus.Respond(CommandFrame(7, kCodeStatus), 0).at(0).startUs, 400'000);  // its own
    EXPECT_EQ(bus.Respond(CommandFrame(1, kCodeStatus), 0).at(0).startUs, 20'000);   // the bus's
    EXPECT_TRUE(bus.Babbling() && bus.BabblePeriodUs() == 100'000 &&
                bus.BabbleBurst().size() == 10);
    EXPECT_EQ(RunCommand(bus, "babble off").error, "");
    EXPECT_FALSE(bus.Babbling());
}

TEST(Bus, WrongEchoesLeaveTheDetectorAsItWas) {
    Bus bus = DefaultBus();
    const auto before = bus.At(0).Registers();
    // Echoes that are not the write's own, each wrong in the field named.
    const struct {
        std::vector<const char*> faults;
        Bytes write, echo;  // the echo before its CRC
    } wrong[] = {
        {{"wrong echo address"}, NewAddressFrame(1, 9), {2, 6, 0, 0, 0, 9}},
        {{"wrong echo register"}, SnTestFrame(1), {1, 6, 0, 3, 0, 1}},
        {{"wrong echo value"}, NormalModeFrame(1), {1, 6, 0, 2, 0, 1}},
        {{"wrong echo value"}, WriteSetupFrame(1, {0x64, 0x1A, 1, 35}), {1, 16, 0, 1, 0, 5}},
        {{"wrong echo address", "wrong echo value"}, NewAddressFrame(1, 0xFF), {2, 6, 0, 0, 1, 0}},
    };
    for (const auto& c : wrong) {
        SCOPED_TRACE(c.faults.front());
        for (const char* f : c.faults)
            EXPECT_TRUE(bus.InjectFault(1, f));
        Bytes echo = c.echo;
        AppendCrc(echo);
        EXPECT_EQ(bus.Respond(c.write, 0).at(0).bytes, echo);
        EXPECT_EQ(bus.At(0).Registers(), before);
        bus.ClearFaults(1);
    }
    EXPECT_FALSE(bus.Respond(NewAddressFrame(1, 9), 0).empty());
    EXPECT_EQ(bus.At(0).Address(), 9);
}

// Frames fed byte by byte are cut by function and length; garbage, a false start (01 03), a
// corrupted frame and a count that claims 209 bytes are dropped; a partial frame on Flush.
TEST(FrameSplitter, CutsFramesAndResynchronisesAfterGarbage) {
    const Bytes q = CommandFrame(1, kCodeStatus), w = WriteSetupFrame(3, {0x24, 0x05, 2, 10});
    Bytes bad = q;
    bad[4] ^= 0x40;
    const Frames parts = {
        {0xFF, 0x00, 0x01, 0x03, 0x55}, q, bad, w, {5, 16, 0, 1, 0, 4, 200}, ReadSetupFrame(7),
        NewAddressFrame(12, 7)};
    FrameSplitter s;
    Frames got;
    for (const auto& part : parts)
        for (auto b : part)
            for (auto& f : s.Feed(Bytes{b}))
                got.push_back(f);
    EXPECT_EQ(got, (Frames{q, w, ReadSetupFrame(7), NewAddressFrame(12, 7)}));
    EXPECT_TRUE(s.Feed(Bytes(q.begin(), q.begin() + 5)).empty());
    EXPECT_TRUE(s.Flush().empty());
    EXPECT_EQ(s.Feed(q), Frames{q});
}

Bytes WithCrc(Bytes f) {
    AppendCrc(f);
    return f;
}

Detector Xenon() {  // address 1, Xenon 621-2, serial 4711
    return Detector(DefaultBus().At(0));
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
        {"address 0", WithCrc({1, 6, 0, 0, 0, 0}), WithCrc({1, 0x86, 3})},
        {"address 248", WithCrc({1, 6, 0, 0, 0, 248}), WithCrc({1, 0x86, 3})},
        {"command 33", WithCrc({1, 200, 4, 0, 33, 90, 62}), WithCrc({1, 200, 1})},
        {"bad CRC", badCrc, {}},
        {"other address", CommandFrame(2, kCodeStatus), {}},
    };
    for (const auto& c : cases) {
        Detector d = Xenon();
        EXPECT_EQ(d.Handle(c.request, 0).value_or(Bytes{}), c.reply) << c.what;
        EXPECT_EQ(d.Registers(), Xenon().Registers()) << c.what;
    }
}

// The console's reply shapes, on detector 1's status reply at 2 s: its length, the marker at
// index 4, then bytes at further indices (status 9 to 12, readings held and let drift again).
TEST(Console, ShapesTheStatusReplyAsTheCommandsSay) {
    using At = std::vector<std::pair<std::size_t, int>>;
    const struct {
        std::vector<const char*> lines;
        std::size_t length;
        std::uint8_t marker;
        At bytes;
    } cases[] = {
        // count byte, variant 1 / family 24, serial 4711, status (R travels as the digit 3)
        {{"status 1 RMN 7"}, 34, 42, {{2, 29}, {5, 1}, {6, 24}, {7, 0x12}, {8, 0x67}, {9, '3'}}},
        {{"status 1 VVV 81", "reply 1 15"}, 15, 0, {{9, 'V'}, {10, 'V'}, {11, 'V'}, {12, 81}}},
        {{"reply 1 22 marker"}, 22, 42, {}},
        {{"reply 1 13", "reply 1 full"}, 34, 42, {}},
        {{"reply 1 34 nomarker"}, 34, 0, {}},
        {{"statusbytes 1 79 0 200 255"}, 34, 42, {{9, 79}, {10, 0}, {11, 200}, {12, 255}}},
        {{"statusbytes 1 79 0 200 255", "status 1 OMN 7"}, 34, 42, {{9, '2'}, {12, 7}}},
        {{"reading 1 nq1 0", "reading 1 nq2 0"}, 34, 42, {{21, 0}, {22, 0}}},
        {{"reading 1 gas 1000", "reading 1 temperature -5"},
         34,
         42,
         {{26, 0xE8}, {27, 3}, {18, 0xFB}}},
        {{"reading 1 signal1 0", "reading 1 signal1 drift"}, 34, 42, {{14, 0}}},  // drifts from 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.back());
        Bus bus = DefaultBus();
        for (const char* line : c.lines)
            EXPECT_EQ(RunCommand(bus, line).error, "") << line;
        const Bytes f = bus.Find(1)->StatusReply(2'000'000);
        ASSERT_EQ(f.size(), c.length);
        EXPECT_TRUE(CrcOk(f));
        EXPECT_EQ(f[4], c.marker);
        for (const auto& [i, b] : c.bytes)
            EXPECT_NEAR(f[i], b, i == 14 ? 6 : 0) << " index " << i;
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
