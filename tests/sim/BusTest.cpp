#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"
#include "sim/Bus.h"
#include "sim/SimBus.h"

namespace halvern::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool CrcOk(const Bytes& f) {
    return ReplyCrcIsValid(f, static_cast<int>(f.size()));
}

Bytes Concat(const std::vector<Transmission>& ts) {
    Bytes all;
    for (const auto& t : ts)
        all.insert(all.end(), t.bytes.begin(), t.bytes.end());
    return all;
}

TEST(Bus, FaultsAreKnownByTheirNames) {
    const std::pair<const char*, Fault> names[] = {{"silent", Fault::Silent},
                                                   {"late", Fault::Late},
                                                   {"bad CRC", Fault::BadCrc},
                                                   {"bad-crc", Fault::BadCrc},
                                                   {"wrong address", Fault::WrongAddress},
                                                   {"exception", Fault::Exception},
                                                   {"split delivery", Fault::Split},
                                                   {"split", Fault::Split},
                                                   {"truncated", Fault::Truncated},
                                                   {"FLOOD", Fault::Flood},
                                                   {"noise", Fault::Noise}};
    for (const auto& [name, fault] : names) {
        EXPECT_EQ(FaultByName(name), fault) << name;
        EXPECT_EQ(FaultByName(FaultName(fault)), fault);
    }
    EXPECT_FALSE(FaultByName("sulky"));
    Bus bus = DefaultBus();
    EXPECT_FALSE(bus.InjectFault(1, "sulky"));
    EXPECT_FALSE(bus.InjectFault(99, "late"));
    EXPECT_TRUE(bus.InjectFault(1, "late"));
    EXPECT_TRUE(bus.HasFault(1, Fault::Late));
    bus.ClearFaults(1);
    EXPECT_FALSE(bus.HasFault(1, Fault::Late));
}

TEST(Bus, BroadcastFindsALoneDetectorAndCollidesWhenSeveralAnswer) {
    Bus one;
    DetectorConfig lamp;
    lamp.Address = 7;
    lamp.Family = 36;
    one.Add(lamp);
    const auto alone = Concat(one.Respond(CommandFrame(0, kCodeStatus), 0));
    ASSERT_EQ(alone.size(), 34u);
    EXPECT_TRUE(CrcOk(alone));
    EXPECT_EQ(alone[0], 7);

    Bus two = DefaultBus();
    two.InjectFault(12, "silent");
    const auto replies = two.Respond(CommandFrame(0, kCodeStatus), 0);
    const auto garbled = Concat(replies);
    ASSERT_EQ(replies.size(), 1u);  // both talk at once: one stretch of bytes
    EXPECT_EQ(replies[0].startUs, kDefaultLatencyUs);
    EXPECT_EQ(garbled.size(), 34u);
    EXPECT_EQ(garbled[0], 1 | 7);
    EXPECT_FALSE(CrcOk(garbled));
    // A unicast request on the same bus is answered cleanly.
    EXPECT_TRUE(CrcOk(Concat(two.Respond(CommandFrame(7, kCodeStatus), 0))));
}

TEST(Bus, CollisionNeverPassesTheCrcEvenWhenTheOrHappensToMatch) {
    // Identical answers OR to themselves: the CRC would hold without the deliberate spoiling.
    Bytes reply{5, 200, 1};
    AppendCrc(reply);
    const auto c = Collide({{{0, reply}}, {{0, reply}}});
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].bytes.size(), reply.size());
    EXPECT_FALSE(CrcOk(c[0].bytes));
}

// A host on virtual time: sends a frame under RTS and releases RTS `turnaroundUs` after the
// last byte has left, then takes in the reply the way the link does (first byte within
// 0.6 s, whatever has arrived 150 ms later).
struct World {
    VirtualPlatform p;
    SimulatedSerialPort port{p};
    SimBus sim;
    Micros turnaroundUs = 4000;
    std::vector<Micros> answerStarts;

    explicit World(Bus bus) : sim(p, port, std::move(bus)) {
        port.Open("sim", nullptr);
        port.onSendDrained = [this] {
            p.DelayUs(static_cast<std::int32_t>(turnaroundUs));
            port.SetRts(false);
        };
        sim.onTraffic = [this](Micros at, bool fromHost, const Bytes&) {
            if (!fromHost)
                answerStarts.push_back(at);
        };
    }

    struct Reception {
        std::optional<Micros> firstByteUs;
        Bytes inWindow;  // what the host's 150 ms collection window takes
        Bytes late;      // what arrives afterwards
    };

    Micros Send(const Bytes& frame) {
        port.SetRts(true);
        port.Write(frame);
        return p.NowUs() + WireTimeUs(frame.size());  // when the frame has left
    }

    Reception Exchange(const Bytes& frame) {
        Send(frame);
        Reception r;
        const Micros giveUp = p.NowUs() + 600'000;
        while (port.BytesWaiting() == 0 && p.NowUs() < giveUp)
            p.ProcessEvents(giveUp);
        if (port.BytesWaiting() == 0)
            return r;
        r.firstByteUs = p.NowUs();
        p.RunFor(150'000);
        r.inWindow = port.ReadAll();
        p.RunFor(2'000'000);
        r.late = port.ReadAll();
        return r;
    }
};

TEST(SimBus, AnswersAfterTheLatencyAtTheLineRate) {
    World w(DefaultBus());
    const Micros frameEnd = WireTimeUs(9);
    const auto r = w.Exchange(CommandFrame(1, kCodeStatus));
    ASSERT_TRUE(r.firstByteUs);
    EXPECT_EQ(*r.firstByteUs, frameEnd + kDefaultLatencyUs + ByteTimeUs());
    EXPECT_EQ(r.inWindow.size(), 34u);
    EXPECT_TRUE(CrcOk(r.inWindow));
    EXPECT_TRUE(r.late.empty());
}

struct FaultCase {
    const char* fault;
    std::size_t inWindow;  // bytes the host collects in its window
    bool windowCrcOk;
    std::size_t late;  // bytes after the window
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.fault;
}

class SimBusFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(SimBusFaults, ShapeTheReplyTheHostSees) {
    const FaultCase& c = GetParam();
    Bus bus = DefaultBus();
    ASSERT_TRUE(bus.InjectFault(1, c.fault));
    World w(std::move(bus));
    const auto r = w.Exchange(CommandFrame(1, kCodeStatus));
    EXPECT_EQ(r.inWindow.size(), c.inWindow);
    EXPECT_EQ(CrcOk(r.inWindow), c.windowCrcOk);
    EXPECT_EQ(r.late.size(), c.late);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimBusFaults,
    testing::Values(FaultCase{"silent", 0, false, 0}, FaultCase{"late", 17, false, 17},
                    FaultCase{"bad CRC", 34, false, 0}, FaultCase{"wrong address", 34, true, 0},
                    FaultCase{"exception", 5, true, 0}, FaultCase{"split delivery", 34, true, 0},
                    FaultCase{"truncated", 17, false, 0},
                    // 150 ms hold 144 bytes at 9600 baud
                    FaultCase{"flood", 145, false, 155}, FaultCase{"noise", 39, false, 0}),
    [](const auto& info) {
        std::string n = info.param.fault;
        for (char& ch : n)
            if (ch == ' ')
                ch = '_';
        return n;
    });

TEST(SimBus, FaultDetailsBehindTheTable) {
    {  // late: the tail comes well after the window; together the bytes are the reply
        Bus bus = DefaultBus();
        bus.InjectFault(1, "late");
        World w(std::move(bus));
        const auto r = w.Exchange(CommandFrame(1, kCodeStatus));
        ASSERT_EQ(w.answerStarts.size(), 2u);
        EXPECT_GT(w.answerStarts[1] - w.answerStarts[0], 150'000);
        Bytes all = r.inWindow;
        all.insert(all.end(), r.late.begin(), r.late.end());
        EXPECT_TRUE(CrcOk(all));
    }
    {  // split: two pieces, a pause between, all inside the window
        Bus bus = DefaultBus();
        bus.InjectFault(1, "split");
        World w(std::move(bus));
        w.Exchange(CommandFrame(1, kCodeStatus));
        ASSERT_EQ(w.answerStarts.size(), 2u);
        EXPECT_GE(w.answerStarts[1] - w.answerStarts[0], WireTimeUs(17) + kSplitPauseUs);
    }
    {  // wrong address and exception
        Bus bus = DefaultBus();
        bus.InjectFault(1, "wrong address");
        World w(std::move(bus));
        EXPECT_NE(w.Exchange(CommandFrame(1, kCodeStatus)).inWindow[0], 1);
    }
    {
        Bus bus = DefaultBus();
        bus.InjectFault(1, "exception");
        World w(std::move(bus));
        const auto r = w.Exchange(NewAddressFrame(1, 9));
        Bytes want{1, 0x86, kDeviceFailure};
        AppendCrc(want);
        EXPECT_EQ(r.inWindow, want);
        EXPECT_EQ(w.sim.GetBus().At(0).Address(), 1);  // refused: no change
    }
    {  // flood: more than 257 bytes once the line is quiet
        Bus bus = DefaultBus();
        bus.InjectFault(1, "flood");
        World w(std::move(bus));
        w.Send(ReadSetupFrame(1));
        w.p.RunFor(1'000'000);
        EXPECT_GT(w.port.BytesWaiting(), 257);
    }
}

TEST(SimBus, DetectorNeedingALongTurnaroundIgnoresAnEarlyRtsRelease) {
    Bus bus = DefaultBus();
    bus.SetMinTurnaroundUs(1, 9000);
    World w(std::move(bus));
    w.turnaroundUs = 8000;
    EXPECT_FALSE(w.Exchange(CommandFrame(1, kCodeStatus)).firstByteUs);
    EXPECT_TRUE(w.Exchange(CommandFrame(7, kCodeStatus)).firstByteUs);  // the others don't care

    w.turnaroundUs = 9000;
    const Micros sent = w.p.NowUs();
    const auto r = w.Exchange(CommandFrame(1, kCodeStatus));
    ASSERT_TRUE(r.firstByteUs);
    EXPECT_TRUE(CrcOk(r.inWindow));
    // Not before the line is released, which here is later than the usual latency.
    EXPECT_EQ(*r.firstByteUs, sent + WireTimeUs(9) + 9000 + ByteTimeUs());

    w.turnaroundUs = 25000;  // the longest the tuning search tries
    EXPECT_TRUE(w.Exchange(CommandFrame(1, kCodeStatus)).firstByteUs);
}

TEST(SimBus, StopsAnsweringWhenDestroyed) {
    VirtualPlatform p;
    SimulatedSerialPort port(p);
    port.Open("sim", nullptr);
    {
        SimBus sim(p, port);
        sim.GetBus().SetMinTurnaroundUs(1, 1000);
        port.SetRts(true);
        port.Write(CommandFrame(1, kCodeStatus));
        p.RunFor(WireTimeUs(9));  // frame delivered; the bus now waits for the release
    }
    port.SetRts(false);
    p.RunFor(1'000'000);
    EXPECT_EQ(port.BytesWaiting(), 0);
}

}  // namespace
}  // namespace halvern::sim
