#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "LinkWorld.h"

namespace halvern {
namespace {

const Bytes kStatusReply = WithCrc({5, 200, 4, 0, 32, 1, 2});  // 9 bytes

class ReceiveReplyTest : public ::testing::Test {
  protected:
    // An earlier accepted reply that a failed reception must leave in place.
    void SetUp() override {
        w.b.RxBuffer.fill(0xAA);
        w.b.RxCount = 9;
        w.b.ReplyAddress = 42;
    }
    void ExpectOldReplyKept() {
        EXPECT_EQ(w.b.RxCount, 9);
        EXPECT_EQ(w.b.RxBuffer[0], 0xAA);
        EXPECT_EQ(w.b.RxBuffer[256], 0xAA);
        EXPECT_EQ(w.b.ReplyAddress, 42);
    }
    LinkWorld w;
};

TEST_F(ReceiveReplyTest, SilenceTimesOutJustPastTheFirstByteWindowWithoutSpinning) {
    const Micros t0 = w.p.NowUs();
    EXPECT_FALSE(w.link.ReceiveReply());
    EXPECT_EQ(w.p.NowUs(), t0 + kFirstByteWindowUs + 1);
    EXPECT_LT(w.p.Waits(), 5u);
    ExpectOldReplyKept();
}

TEST_F(ReceiveReplyTest, FirstByteAtTheEndOfTheWindowStillCounts) {
    const Micros t0 = w.p.NowUs();
    w.port.SendToHost(kStatusReply, t0 + kFirstByteWindowUs - ByteTimeUs());
    EXPECT_TRUE(w.link.ReceiveReply());
    EXPECT_EQ(w.p.NowUs(), t0 + kFirstByteWindowUs + MsToUs(kCollectionWindowMs));
    EXPECT_EQ(w.b.RxCount, 9);
}

TEST_F(ReceiveReplyTest, BytesAlreadyWaitingSkipTheFirstByteWaitButNotTheCollection) {
    w.port.SendToHost(kStatusReply, w.p.NowUs());
    w.p.RunFor(MsToUs(50));
    const Micros t0 = w.p.NowUs();
    EXPECT_TRUE(w.link.ReceiveReply());
    EXPECT_EQ(w.p.NowUs(), t0 + MsToUs(kCollectionWindowMs));
    EXPECT_EQ(Bytes(w.b.RxBuffer.begin(), w.b.RxBuffer.begin() + 9), kStatusReply);
    EXPECT_EQ(w.b.ReplyAddress, 5);
}

TEST_F(ReceiveReplyTest, CollectionWindowCutsASlowReplyAndLeavesTheRestForTheNextReception) {
    const Micros t0 = w.p.NowUs();
    w.port.SendToHost(Bytes(kStatusReply.begin(), kStatusReply.begin() + 5), t0);
    w.port.SendToHost(Bytes(kStatusReply.begin() + 5, kStatusReply.end()), t0 + MsToUs(200));
    EXPECT_FALSE(w.link.ReceiveReply());
    EXPECT_EQ(w.b.RxCount, 5);
    EXPECT_EQ(w.b.ReplyAddress, 42);
    EXPECT_EQ(w.port.BytesWaiting(), 0);

    EXPECT_FALSE(w.link.ReceiveReply());  // the tail alone fails too, and is gone afterwards
    EXPECT_EQ(w.b.RxCount, 4);
    EXPECT_EQ(w.b.RxBuffer[0], kStatusReply[5]);
    EXPECT_EQ(w.port.BytesWaiting(), 0);
}

TEST_F(ReceiveReplyTest, OverlongReplyIsDroppedWholeAndTheInputEmptied) {
    w.port.SendToHost(Bytes(300, 0x11), w.p.NowUs());
    w.p.RunFor(MsToUs(400));
    EXPECT_FALSE(w.link.ReceiveReply());
    ExpectOldReplyKept();
    EXPECT_EQ(w.port.BytesWaiting(), 0);
}

TEST_F(ReceiveReplyTest, ReplyFillingTheWholeBufferIsAccepted) {
    Bytes full(kRxBufferSize - 2, 0x22);
    full[0] = 3;
    full[1] = 3;
    full = WithCrc(full);
    w.port.SendToHost(full, w.p.NowUs());
    w.p.RunFor(MsToUs(300));
    EXPECT_TRUE(w.link.ReceiveReply());
    EXPECT_EQ(w.b.RxCount, kRxBufferSize);
    EXPECT_EQ(w.b.RxBuffer[256], full[256]);
}

TEST_F(ReceiveReplyTest, StopEndsTheWaitAtOnceAndLeavesEverything) {
    bool stop = false;
    const Micros t0 = w.p.NowUs();
    w.p.Post(t0 + MsToUs(100), [&] { stop = true; });
    EXPECT_FALSE(w.link.ReceiveReply([&] { return stop; }));
    EXPECT_EQ(w.p.NowUs(), t0 + MsToUs(100));
    ExpectOldReplyKept();

    // Stopped inside the collection window: the bytes stay for whoever receives next.
    stop = false;
    w.port.SendToHost(kStatusReply, w.p.NowUs());
    w.p.Post(w.p.NowUs() + MsToUs(50), [&] { stop = true; });
    EXPECT_FALSE(w.link.ReceiveReply([&] { return stop; }));
    ExpectOldReplyKept();
    EXPECT_GT(w.port.BytesWaiting(), 0);
}

struct ReplyCase {
    std::string name;
    Bytes reply;
    bool accepted;
};

Bytes SwappedCrc(Bytes b) {
    std::swap(b[b.size() - 2], b[b.size() - 1]);
    return b;
}
Bytes Corrupted(Bytes b) {
    b[4] ^= 0x01;
    return b;
}

std::ostream& operator<<(std::ostream& os, const ReplyCase& c) {
    return os << c.name;
}

class ReplyAcceptance : public ReceiveReplyTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyAcceptance, FunctionByteAndCrcDecide) {
    const ReplyCase& c = GetParam();
    w.link.SendQuery(5, kCodeStatus);  // the address asked does not matter
    w.port.SendToHost(c.reply, w.p.NowUs() + MsToUs(20));
    EXPECT_EQ(w.link.ReceiveReply(), c.accepted);
    // Accepted or not, the bytes read stand in the buffer and the input is empty.
    EXPECT_EQ(w.b.RxCount, static_cast<int>(c.reply.size()));
    EXPECT_EQ(Bytes(w.b.RxBuffer.begin(), w.b.RxBuffer.begin() + w.b.RxCount), c.reply);
    EXPECT_EQ(w.b.ReplyAddress, c.accepted ? c.reply[0] : 42);
    EXPECT_EQ(w.port.BytesWaiting(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyAcceptance,
    ::testing::Values(ReplyCase{"CommandFromAnotherAddress", WithCrc({7, 200, 2, 1, 2}), true},
                      ReplyCase{"ReadRegisters", WithCrc({5, 3, 2, 0, 1}), true},
                      ReplyCase{"FunctionZero", WithCrc({5, 0, 1}), true},
                      ReplyCase{"Function127", WithCrc({5, 127}), true},
                      ReplyCase{"Function128", WithCrc({5, 128}), false},
                      ReplyCase{"ExceptionToRead", WithCrc({5, 131, 2}), false},
                      ReplyCase{"TwoBytesFFFF", {0xFF, 0xFF}, false},
                      ReplyCase{"OneByte", {5}, false},
                      ReplyCase{"CrcHighByteFirst", SwappedCrc(WithCrc({5, 3, 2, 0, 1})), false},
                      ReplyCase{"CorruptedByte", Corrupted(WithCrc({5, 3, 2, 0, 1})), false}),
    [](const auto& info) { return info.param.name; });

TEST(WaitMs, ZeroReturnsAtOnceWithoutProcessingEvents) {
    LinkWorld w;
    bool ran = false;
    w.p.Post(w.p.NowUs(), [&] { ran = true; });
    const auto waits = w.p.Waits();
    const Micros t0 = w.p.NowUs();
    w.link.WaitMs(0);
    EXPECT_FALSE(ran);
    EXPECT_EQ(w.p.Waits(), waits);
    EXPECT_EQ(w.p.NowUs(), t0);
}

TEST(WaitMs, RunsEventsUntilTheDeadlineWithoutSpinning) {
    LinkWorld w;
    const Micros t0 = w.p.NowUs();
    std::vector<Micros> ran;
    for (int ms : {100, 499, 501})
        w.p.Post(t0 + MsToUs(ms), [&] { ran.push_back(w.p.NowUs()); });
    w.link.WaitMs(500);
    EXPECT_EQ(w.p.NowUs(), t0 + MsToUs(500));
    EXPECT_EQ(ran, (std::vector<Micros>{t0 + MsToUs(100), t0 + MsToUs(499)}));
    EXPECT_LT(w.p.Waits(), 6u);

    bool stop = false;
    w.p.Post(w.p.NowUs() + MsToUs(200), [&] { stop = true; });
    w.link.WaitMs(3000, [&] { return stop; });
    EXPECT_EQ(w.p.NowUs(), t0 + MsToUs(700));
}

TEST(Turnaround, ReleasesRtsTheTunedDelayAfterTheDrainWithoutRunningEvents) {
    LinkWorld w;
    w.link.TurnaroundDelay = 12500.5;  // a fraction rounds to even: 12500
    bool sawRtsRaised = false;
    const Micros t0 = w.p.NowUs();
    const Micros drained = t0 + WireTimeUs(9);
    bool ran = false;
    w.p.Post(drained + 1, [&] { ran = true, sawRtsRaised = w.port.Rts(); });
    w.link.SendQuery(1, kCodeStatus);
    EXPECT_TRUE(w.port.Rts());
    w.link.WaitRtsReleased();
    EXPECT_EQ(w.port.RtsReleasedAtOrAfter(t0), drained + 12500);
    w.p.RunFor(MsToUs(50));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(sawRtsRaised);  // the event due during the delay ran only after the release
}

TEST(Turnaround, DelayConvertsToWholeMicrosecondsWithinRange) {
    EXPECT_EQ(TurnaroundMicros(4000), 4000);
    EXPECT_EQ(TurnaroundMicros(4500.5), 4500);
    EXPECT_EQ(TurnaroundMicros(4501.5), 4502);
    EXPECT_EQ(TurnaroundMicros(-3), 0);
    EXPECT_EQ(TurnaroundMicros(1e12), std::numeric_limits<std::int32_t>::max());
}

TEST(WaitRtsReleased, GivesUpOnAPortThatNeverDrains) {
    LinkWorld w;
    w.port.SetRts(true);  // raised, but nothing written: no drain will come
    const Micros t0 = w.p.NowUs();
    w.link.WaitRtsReleased();
    EXPECT_TRUE(w.port.Rts());
    EXPECT_EQ(w.p.NowUs(), t0 + kRtsReleaseLimitUs);
}

TEST(Link, DestroyedLinkNoLongerHandlesTheDrain) {
    VirtualPlatform p;
    SimulatedSerialPort port{p};
    port.Open("sim", nullptr);
    LinkBuffers b;
    {
        Link link{p, port, b};
        link.SendQuery(1, kCodeStatus);
    }
    p.RunFor(MsToUs(100));  // the drain arrives after the link is gone: nothing may happen
    EXPECT_TRUE(port.Rts());
}

}  // namespace
}  // namespace halvern
