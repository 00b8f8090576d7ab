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

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(FrameSplitter, CutsBackToBackFramesByFunctionAndLength) {
    EXPECT_EQ(FrameSplitter().Feed(Join(kRequests)), kRequests);
    FrameSplitter bytewise;
    Frames got;
    for (auto b : Join(kRequests))
        for (auto& f : bytewise.Feed(Bytes{b}))
            got.push_back(f);
    EXPECT_EQ(got, kRequests);
    EXPECT_EQ(bytewise.Dropped() + bytewise.Pending(), 0u);
}

TEST(FrameSplitter, ResynchronisesAfterGarbageFalseStartsAndCorruptedFrames) {
    const Bytes junk = {0xFF, 0x00, 0x01, 0x03, 0x55};  // 01 03 looks like a read start
    const Bytes frames = Join(kRequests);
    FrameSplitter s;
    EXPECT_EQ(s.Feed(Join({junk, Bytes(frames.begin(), frames.begin() + 9), junk,
                           Bytes(frames.begin() + 9, frames.end())})),
              kRequests);
    EXPECT_EQ(s.Dropped(), 2 * junk.size());
    const Bytes q = CommandFrame(1, kCodeStatus);
    Bytes bad = q;
    bad[4] ^= 0x40;
    EXPECT_EQ(s.Feed(Join({bad, q})), Frames{q});
    // 05 10 .. with byte count 200 claims a 209-byte frame that never comes.
    EXPECT_EQ(s.Feed(Join({{0x05, 0x10, 0x00, 0x01, 0x00, 0x04, 200}, q})), Frames{q});
    // A partial frame left when the line goes quiet is dropped on Flush.
    EXPECT_TRUE(s.Feed(Bytes(q.begin(), q.begin() + 5)).empty());
    EXPECT_TRUE(s.Flush().empty());
    EXPECT_EQ(s.Pending(), 0u);
    EXPECT_EQ(s.Feed(q), Frames{q});
}

TEST(Console, CommandsChangeTheBusAndDumpShowsTheRegisters) {
    Bus bus = DefaultBus();
    EXPECT_EQ(RunCommand(bus, "dump").output,
              "1 1 9221 0 2 10\n7 7 1025 0 0 0\n12 12 1028 0 1 5\n");
    RunCommand(bus, "mute 7");
    EXPECT_TRUE(bus.Respond(CommandFrame(7, kCodeStatus), 0).empty());
    RunCommand(bus, "unmute 7");
    EXPECT_FALSE(bus.Respond(CommandFrame(7, kCodeStatus), 0).empty());
    RunCommand(bus, "fault 12 Bad-Crc");  // names in any spelling
    EXPECT_TRUE(bus.HasFault(12, Fault::BadCrc));
    RunCommand(bus, "clear 12");
    EXPECT_FALSE(bus.HasFault(12, Fault::BadCrc));
    EXPECT_TRUE(RunCommand(bus, "quit").quit);
    EXPECT_TRUE(RunCommand(bus, "").error.empty());
    for (const char* bad : {"mute 99", "mute x", "status 1 AA 7", "status 1 AAN 256",
                            "fault 1 sulky", "frobnicate", "quit now"}) {
        const auto r = RunCommand(bus, bad);
        EXPECT_TRUE(!r.error.empty() && !r.quit) << bad;
    }
}

}  // namespace
}  // namespace halvern::sim
