#include <gtest/gtest.h>

#include <vector>

#include "link/Requests.h"
#include "sim/Bus.h"
#include "sim/Console.h"
#include "sim/FrameSplitter.h"

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;

const Frames kRequests = {CommandFrame(1, kCodeStatus),
                          ReadSetupFrame(7),
                          WriteSetupFrame(3, {0x24, 0x05, 2, 10}),
                          SnTestFrame(12),
                          NewAddressFrame(12, 7),
                          CommandFrame(0, kCodeSecondaryVersion)};

Bytes Join(const Frames& fs) {
    Bytes all;
    for (const auto& f : fs)
        all.insert(all.end(), f.begin(), f.end());
    return all;
}

TEST(FrameSplitter, CutsBackToBackFramesByFunctionAndLength) {
    FrameSplitter whole;
    EXPECT_EQ(whole.Feed(Join(kRequests)), kRequests);
    EXPECT_EQ(whole.Pending(), 0u);

    FrameSplitter bytewise;
    Frames got;
    for (auto b : Join(kRequests))
        for (auto& f : bytewise.Feed(Bytes{b}))
            got.push_back(f);
    EXPECT_EQ(got, kRequests);
    EXPECT_EQ(bytewise.Dropped(), 0u);
}

TEST(FrameSplitter, ResynchronisesAfterGarbage) {
    const Bytes junk = {0xFF, 0x00, 0x01, 0x03, 0x55};  // 01 03 looks like a read start
    Bytes stream = junk;
    const Bytes frames = Join(kRequests);
    stream.insert(stream.end(), frames.begin(), frames.begin() + 9);
    stream.insert(stream.end(), junk.begin(), junk.end());
    stream.insert(stream.end(), frames.begin() + 9, frames.end());
    FrameSplitter s;
    EXPECT_EQ(s.Feed(stream), kRequests);
    EXPECT_EQ(s.Dropped(), 2 * junk.size());
    EXPECT_EQ(s.Pending(), 0u);

    // A corrupted frame is dropped, the next one still comes through.
    Bytes bad = CommandFrame(1, kCodeStatus);
    bad[4] ^= 0x40;
    Bytes more = bad;
    const Bytes good = ReadSetupFrame(1);
    more.insert(more.end(), good.begin(), good.end());
    EXPECT_EQ(s.Feed(more), Frames{good});
}

TEST(FrameSplitter, AFalseStartDoesNotHoldBackTheFrameBehindIt) {
    // 05 10 .. with byte count 200 claims a 209-byte frame that never comes.
    Bytes stream = {0x05, 0x10, 0x00, 0x01, 0x00, 0x04, 200};
    const Bytes q = CommandFrame(1, kCodeStatus);
    stream.insert(stream.end(), q.begin(), q.end());
    FrameSplitter s;
    EXPECT_EQ(s.Feed(stream), Frames{q});

    // A partial frame left when the line goes quiet is dropped on Flush.
    const Bytes part(q.begin(), q.begin() + 5);
    EXPECT_TRUE(s.Feed(part).empty());
    EXPECT_GT(s.Pending(), 0u);
    EXPECT_TRUE(s.Flush().empty());
    EXPECT_EQ(s.Pending(), 0u);
    EXPECT_EQ(s.Feed(q), Frames{q});
}

TEST(Console, TraceLineIsMillisecondsDirectionAndUpperCaseHex) {
    EXPECT_EQ(TraceLine(1520, true, CommandFrame(1, kCodeStatus)),
              "1520 > 01 C8 04 00 20 5A 3E 50 F2");
    EXPECT_EQ(TraceLine(0, false, Bytes{0x0A, 0xFF}), "0 < 0A FF");
}

TEST(Console, CommandsChangeTheBusAndDumpShowsTheRegisters) {
    Bus bus = DefaultBus();
    EXPECT_EQ(RunCommand(bus, "dump").output,
              "1 1 9221 0 2 10\n7 7 1025 0 0 0\n12 12 1028 0 1 5\n");

    EXPECT_TRUE(RunCommand(bus, "status 1 AAN 7").error.empty());
    const auto f = bus.Find(1)->StatusReply(0);
    EXPECT_EQ((Bytes{f[9], f[10], f[11], f[12]}), (Bytes{'A', 'A', 'N', 7}));

    RunCommand(bus, "mute 7");
    EXPECT_TRUE(bus.Respond(CommandFrame(7, kCodeStatus), 0).empty());
    RunCommand(bus, "unmute 7");
    EXPECT_FALSE(bus.Respond(CommandFrame(7, kCodeStatus), 0).empty());

    RunCommand(bus, "fault 12 bad CRC");
    EXPECT_TRUE(bus.HasFault(12, Fault::BadCrc));
    RunCommand(bus, "clear 12");
    EXPECT_FALSE(bus.HasFault(12, Fault::BadCrc));

    EXPECT_TRUE(RunCommand(bus, "quit").quit);
    EXPECT_TRUE(RunCommand(bus, "").error.empty());
    for (const char* bad : {"mute 99", "mute x", "status 1 AA 7", "status 1 AAN 256",
                            "fault 1 sulky", "frobnicate", "quit now"}) {
        const auto r = RunCommand(bus, bad);
        EXPECT_FALSE(r.error.empty()) << bad;
        EXPECT_FALSE(r.quit) << bad;
    }
}

}  // namespace
}  // namespace halvern::sim
