#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"
#include "sim/Bus.h"
#include "sim/Console.h"
#include "sim/FrameSplitter.h"
#include "sim/SimBus.h"

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

// A host on virtual time: sends a frame under RTS, releases RTS 4 ms after the last
// byte has left, then takes in the reply the way the link does (first byte within 0.6 s,
// whatever has arrived 150 ms later).
struct World {
    VirtualPlatform p;
    SimulatedSerialPort port{p};
    SimBus sim;
    std::vector<Micros> answerStarts;

    explicit World(Bus bus) : sim(p, port, std::move(bus)) {
        port.Open("sim", nullptr);
        port.onSendDrained = [this] {
            p.DelayUs(4000);
            port.SetRts(false);
        };
        sim.onTraffic = [this](Micros at, bool fromHost, const Bytes&) {
            if (!fromHost)
                answerStarts.push_back(at);
        };
    }

    struct Reception {
        std::optional<Micros> firstByteUs;  // after the frame was written
        Bytes inWindow, late;  // what the host's 150 ms collection window takes, what follows
    };
    Reception Exchange(const Bytes& frame) {
        const Micros start = p.NowUs();
        port.SetRts(true);
        port.Write(frame);
        Reception r;
        while (port.BytesWaiting() == 0 && p.NowUs() < start + 600'000)
            p.ProcessEvents(start + 600'000);
        if (port.BytesWaiting() == 0)
            return r;
        r.firstByteUs = p.NowUs() - start;
        p.RunFor(150'000);
        r.inWindow = port.ReadAll();
        p.RunFor(2'000'000);
        r.late = port.ReadAll();
        return r;
    }
};

TEST(SimBus, EachFaultShapesTheReplyTheHostSeesOnVirtualTime) {
    const struct {
        const char* fault;  // nullptr: none
        std::size_t inWindow;
        bool windowCrcOk;
        bool ownAddressFirst;  // the window starts with the detector's address
        std::size_t late;      // bytes after the window
        Micros gapUs;          // between the starts of the reply's two pieces; 0: one piece
    } cases[] = {
        {nullptr, 34, true, true, 0, 0},
        {"silent", 0, false, false, 0, 0},
        {"late", 17, false, true, 17, WireTimeUs(17) + kLatePauseUs},
        {"bad CRC", 34, false, true, 0, 0},
        {"wrong address", 34, true, false, 0, 0},
        {"exception", 5, true, true, 0, 0},
        {"split delivery", 34, true, true, 0, WireTimeUs(17) + kSplitPauseUs},
        {"truncated", 17, false, true, 0, 0},
        {"flood", 145, false, true, 155, 0},  // 150 ms hold 144 bytes; 300 in all, over 257
        {"noise", 39, false, false, 0, 0},
        {"ignore writes", 34, true, true, 0, 0},  // polls are answered as ever
        {"wrong echo value", 34, true, true, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault ? c.fault : "no fault");
        World w(c.fault ? BusWith(1, c.fault) : DefaultBus());
        const auto r = w.Exchange(CommandFrame(1, kCodeStatus));
        EXPECT_EQ(r.inWindow.size(), c.inWindow);
        EXPECT_EQ(CrcOk(r.inWindow), c.windowCrcOk);
        EXPECT_EQ(r.late.size(), c.late);
        if (c.inWindow == 0)
            continue;
        EXPECT_EQ(r.inWindow[0] == 1, c.ownAddressFirst);
        EXPECT_EQ(r.firstByteUs, WireTimeUs(9) + kDefaultLatencyUs + ByteTimeUs());
        EXPECT_EQ(w.answerStarts.size(), c.gapUs ? 2u : 1u);
        EXPECT_EQ(w.answerStarts.back() - w.answerStarts.front(), c.gapUs);
    }
}

TEST(SimBus, ADetectorsOwnLatencyAndABabblingLineAsTheConsoleSetsThem) {
    World w(DefaultBus());
    Bus& bus = w.sim.GetBus();
    for (const char* good : {"latency 7 400", "latency 20"})
        EXPECT_EQ(RunCommand(bus, good).error, "") << good;
    const auto firstByte = [&](std::uint8_t address) {
        return w.Exchange(CommandFrame(address, kCodeStatus)).firstByteUs;
    };
    EXPECT_EQ(firstByte(7), WireTimeUs(9) + 400'000 + ByteTimeUs());  // its own
    EXPECT_EQ(firstByte(1), WireTimeUs(9) + 20'000 + ByteTimeUs());   // the bus's
    EXPECT_EQ(firstByte(3), std::nullopt);

    // Bursts of bytes nobody asked for, from the next frame on, until it is quiet again.
    EXPECT_EQ(RunCommand(bus, "babble 10 100").error, "");
    const auto noisy = w.Exchange(CommandFrame(3, kCodeStatus));
    // From the frame's end on, taken in once the host's 4 ms turnaround has passed.
    EXPECT_EQ(noisy.firstByteUs, WireTimeUs(9) + 4'000);
    EXPECT_EQ(noisy.inWindow.size(), 20u);  // two bursts in 150 ms
    EXPECT_EQ(noisy.late.size(), 200u);     // and ten a second after
    EXPECT_EQ(RunCommand(bus, "babble off").error, "");
    w.p.RunFor(200'000);
    w.port.ReadAll();
    EXPECT_EQ(firstByte(3), std::nullopt);
    EXPECT_EQ(RunCommand(bus, "babble on").error, "");
    EXPECT_GE(w.Exchange(CommandFrame(3, kCodeStatus)).inWindow.size(), 140u);  // back to back
}

TEST(Bus, RefusedAndIgnoredWritesLeaveTheDetectorAsItWas) {
    Bus bus = BusWith(1, "exception");
    Bytes refusal{1, 0x86, kDeviceFailure};
    AppendCrc(refusal);
    EXPECT_EQ(bus.Respond(NewAddressFrame(1, 9), 0).at(0).bytes, refusal);
    EXPECT_EQ(bus.At(0).Address(), 1);  // refused: no change

    bus = BusWith(1, "Ignore-Writes");
    const auto before = bus.At(0).Registers();
    EXPECT_TRUE(bus.Respond(NewAddressFrame(1, 9), 0).empty());
    EXPECT_TRUE(bus.Respond(WriteSetupFrame(1, {0x64, 0x1A, 1, 35}), 0).empty());
    EXPECT_TRUE(bus.Respond(SnTestFrame(1), 0).empty());
    EXPECT_EQ(bus.At(0).Registers(), before);
    EXPECT_FALSE(bus.Respond(ReadSetupFrame(1), 0).empty());
    bus.ClearFault(1, "ignore writes");

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

const Frames kRequests = {CommandFrame(1, kCodeStatus),
                          ReadSetupFrame(7),
                          WriteSetupFrame(3, {0x24, 0x05, 2, 10}),
                          SnTestFrame(12),
                          NewAddressFrame(12, 7),
                          CommandFrame(0, kCodeSecondaryVersion)};

Bytes Join(const Frames& parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Back-to-back frames are cut by function and length, whole or byte by byte; garbage, false
// starts and corrupted frames are dropped and the splitter finds the next frame.
TEST(FrameSplitter, CutsFramesAndResynchronisesAfterGarbage) {
    EXPECT_EQ(FrameSplitter().Feed(Join(kRequests)), kRequests);
    FrameSplitter bytewise;
    Frames got;
    for (auto b : Join(kRequests))
        for (auto& f : bytewise.Feed(Bytes{b}))
            got.push_back(f);
    EXPECT_EQ(got, kRequests);
    EXPECT_EQ(bytewise.Dropped() + bytewise.Pending(), 0u);

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
    EXPECT_EQ(s.Feed(q), Frames{q});
}

}  // namespace
}  // namespace halvern::sim
