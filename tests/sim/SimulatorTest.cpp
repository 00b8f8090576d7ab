// The simulated bus only where the program's tests rely on it: the search and its collisions,
// the faults' shapes, echoes that leave a detector as it was, what a detector refuses, and the
// status reply's shapes.

#include <gtest/gtest.h>

#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "sim/Bus.h"
#include "sim/Console.h"
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

TEST(Bus, BroadcastCollidesWhenSeveralAnswerAndFindsALoneDetector) {
    Bus bus = DefaultBus();
    bus.InjectFault(12, "silent");
    const auto both = bus.Respond(CommandFrame(0, kCodeStatus), 0);
    ASSERT_EQ(both.size(), 1u);  // 1 and 7 talk at once: one stretch of bytes
    EXPECT_TRUE(both[0].bytes.size() == 34u && both[0].bytes[0] == (1 | 7));
    EXPECT_FALSE(CrcOk(both[0].bytes));
    bus.InjectFault(1, "silent");
    const Bytes alone = bus.Respond(CommandFrame(0, kCodeStatus), 0).at(0).bytes;
    EXPECT_TRUE(CrcOk(alone) && alone[0] == 7);  // from its own address
    // Identical answers OR to themselves: the CRC would hold without the deliberate spoiling.
    EXPECT_FALSE(
        CrcOk(Collide({{{0, WithCrc({5, 200, 1})}}, {{0, WithCrc({5, 200, 1})}}}).at(0).bytes));
}

// Each fault, by its name, shapes detector 1's answer to a status query whose last byte left
// at 0: the pieces put on the line (the second one's start), their bytes joined.
TEST(Bus, EachFaultShapesTheAnswer) {
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault ? c.fault : "no fault");
        Bus bus = DefaultBus();
        EXPECT_TRUE(!c.fault || bus.InjectFault(1, c.fault));
        const auto pieces = bus.Respond(CommandFrame(1, kCodeStatus), 0);
        Bytes all;
        for (const auto& p : pieces)
            all.insert(all.end(), p.bytes.begin(), p.bytes.end());
        EXPECT_EQ(std::pair(all.size(), CrcOk(all)), std::pair(c.bytes, c.crcOk));
        if (c.bytes == 0)
            continue;
        EXPECT_EQ(all[0] == 1, c.ownAddressFirst);
        EXPECT_EQ(pieces[0].startUs, kDefaultLatencyUs);
        EXPECT_EQ(pieces.size() > 1 ? pieces[1].startUs : 0, c.secondUs);
    }
}

// Requests a detector answers with an echo that is not the write's own (each wrong in the
// field its fault names), with an exception or not at all: none changes it. The echo's
// bytes are given before their CRC; no echo: no answer.
TEST(Detector, WrongEchoesRefusalsAndFramesNotForItLeaveItAsItWas) {
    Bytes badCrc = CommandFrame(1, kCodeStatus);
    badCrc.back() ^= 1;
    const struct {
        std::vector<const char*> faults;
        Bytes request, reply;
    } cases[] = {
        {{"wrong echo address"}, NewAddressFrame(1, 9), {2, 6, 0, 0, 0, 9}},
        {{"wrong echo register"}, SnTestFrame(1), {1, 6, 0, 3, 0, 1}},
        {{"wrong echo value"}, NormalModeFrame(1), {1, 6, 0, 2, 0, 1}},
        {{"wrong echo value"}, WriteSetupFrame(1, {0x64, 0x1A, 1, 35}), {1, 16, 0, 1, 0, 5}},
        {{"wrong echo address", "wrong echo value"}, NewAddressFrame(1, 0xFF), {2, 6, 0, 0, 1, 0}},
        {{}, WithCrc({1, 4, 0, 1, 0, 1}), {1, 0x84, 1}},  // unknown function
        {{}, WithCrc({1, 3, 0, 3, 0, 3}), {1, 0x83, 2}},  // read past register 4
        {{}, WithCrc({1, 6, 0, 0, 0, 0}), {1, 0x86, 3}},  // new address 0
        {{}, WithCrc({1, 6, 0, 0, 0, 248}), {1, 0x86, 3}},
        {{}, WithCrc({1, 200, 4, 0, 33, 90, 62}), {1, 200, 1}},  // command 33
        {{}, badCrc, {}},
        {{}, CommandFrame(2, kCodeStatus), {}},  // another address
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Bus bus = DefaultBus();
        const auto before = bus.At(0).Registers();
        for (const char* f : c.faults)
            EXPECT_TRUE(bus.InjectFault(1, f));
        const auto answer = bus.Respond(c.request, 0);
        EXPECT_EQ(answer.empty() ? Bytes{} : answer[0].bytes,
                  c.reply.empty() ? Bytes{} : WithCrc(c.reply));
        EXPECT_EQ(bus.At(0).Registers(), before);
    }
    Bus bus = DefaultBus();
    EXPECT_FALSE(bus.Respond(NewAddressFrame(1, 9), 0).empty());
    EXPECT_EQ(bus.At(0).Address(), 9);
}

// The console's reply shapes, on detector 1's status reply at 2 s: its length, the marker at
// index 4, then bytes at further indices (status 9 to 12, readings held).
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
        {{"status 1 VVV 81", "reply 1 15"}, 15, 0, {{2, 10}, {9, 'V'}, {10, 'V'}, {12, 81}}},
        {{"reply 1 22 marker"}, 22, 42, {}},
        {{"reply 1 13", "reply 1 full"}, 34, 42, {}},
        {{"reading 1 nq1 0", "reading 1 nq2 0"}, 34, 42, {{21, 0}, {22, 0}}},
        {{"reading 1 gas 1000", "reading 1 temperature -5"},
         34,
         42,
         {{26, 0xE8}, {27, 3}, {18, 0xFB}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.back());
        Bus bus = DefaultBus();
        for (const char* line : c.lines)
            EXPECT_EQ(RunCommand(bus, line).error, "") << line;
        const Bytes f = bus.Find(1)->StatusReply(2'000'000);
        ASSERT_EQ(f.size(), c.length);
        EXPECT_TRUE(CrcOk(f) && f[4] == c.marker);
        for (const auto& [i, b] : c.bytes)
            EXPECT_EQ(f[i], b) << " index " << i;
    }
}

}  // namespace
}  // namespace halvern::sim
