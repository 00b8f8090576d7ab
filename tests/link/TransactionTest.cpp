#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "link/Frame.h"
#include "link/Link.h"
#include "link/Writes.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"

namespace halvern {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A link on virtual time, talking to an in-process port that the test plays the far end of.
struct LinkWorld {
    LinkWorld() { port.Open("sim", nullptr); }
    VirtualPlatform p{1'000'000};
    SimulatedSerialPort port{p};
    LinkBuffers b;
    Link link{p, port, b};
};

Bytes WithCrc(Bytes frame) {
    AppendCrc(frame);
    return frame;
}

// "01 C8 ..." as bytes.
Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (unsigned v; in >> std::hex >> v;)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(Crc, MatchesTheCheckValue) {
    EXPECT_EQ(Crc16(Hex("31 32 33 34 35 36 37 38 39")), 0x4B37);
}

struct RequestVector {
    std::string name;
    bool pause;
    std::string expected;
    std::function<Bytes(Link&)> send;  // sends the request; returns what the pure builder makes
    std::string echo = "";             // a write's own echo, CRC included ("=": the request)
};

// The suite's output names a case by its name, not by its bytes.
void PrintTo(const RequestVector& v, std::ostream* os) {
    *os << v.name;
}

const SetupTable kSetup{0x24, 0x05, 2, 10};

const std::vector<RequestVector> kRequests = {
    {"Status1", false, "01 C8 04 00 20 5A 3E 50 F2",
     [](Link& l) { return l.SendQuery(1, 32), CommandFrame(1, 32); }},
    {"Align1", false, "01 C8 04 00 11 5A 3E 01 3D",
     [](Link& l) { return l.SendAlign(1, 17), CommandFrame(1, 17); }},
    {"SnTest1", true, "01 06 00 02 00 01 E9 CA",
     [](Link& l) { return l.SendSnTest(1), SnTestFrame(1); }, "="},
    {"SnTest12", true, "0C 06 00 02 00 01 E8 D7",
     [](Link& l) { return l.SendSnTest(12), SnTestFrame(12); }, "="},
    {"NormalMode1", true, "01 06 00 02 00 00 28 0A",
     [](Link& l) { return l.SendNormalMode(1), NormalModeFrame(1); }, "="},
    {"ReadSetup247", false, "F7 03 00 01 00 04 01 5F",
     [](Link& l) { return l.SendReadSetup(247), ReadSetupFrame(247); }},
    {"WriteSetup3", true, "03 10 00 01 00 04 08 24 05 00 00 00 02 00 0A BE 94",
     [](Link& l) { return l.SendWriteSetup(3, kSetup), WriteSetupFrame(3, kSetup); },
     "03 10 00 01 00 04 91 E8"},
    {"NewAddress12To7", false, "0C 06 00 00 00 07 C9 15",
     [](Link& l) { return l.SendNewAddress(12, 7), NewAddressFrame(12, 7); }, "="},
    {"NewAddress1To9", false, "01 06 00 00 00 09 49 CC",
     [](Link& l) { return l.SendNewAddress(1, 9), NewAddressFrame(1, 9); }, "="},
};

class RequestVectors : public ::testing::TestWithParam<RequestVector> {};

// A write is confirmed only by its own echo: the same address, function, register and value
// (function 6) or quantity (function 16), eight bytes with a valid CRC.
TEST_P(RequestVectors, BuilderPutsExactlyTheFrameOnTheLineBetweenRtsRaiseAndReleaseAndItsEcho) {
    const RequestVector& v = GetParam();
    const Bytes expected = Hex(v.expected);
    LinkWorld w;
    w.b.TxBuffer.assign(40, 0xEE);  // a longer earlier request must not shine through
    const Micros t0 = w.p.NowUs();
    EXPECT_EQ(v.send(w.link), expected);
    ASSERT_EQ(w.port.Frames().size(), 1u);
    const auto& written = w.port.Frames()[0];
    EXPECT_EQ(written.bytes, expected);
    // RTS rises first; the frame follows at once or after the pre-send pause.
    EXPECT_TRUE(written.rtsRaised);
    EXPECT_EQ(w.port.RtsChanges().at(0).atUs, t0);
    EXPECT_EQ(written.atUs, t0 + (v.pause ? 4000 : 0));
    // RTS is released the turnaround delay after the last byte has left.
    w.link.WaitRtsReleased();
    EXPECT_EQ(w.port.RtsReleasedAtOrAfter(t0), written.atUs + WireTimeUs(expected.size()) + 4000);
    if (v.echo.empty())
        return;
    const Bytes echo = v.echo == "=" ? expected : Hex(v.echo);
    EXPECT_TRUE(EchoesRequest(echo, expected));
    // Any one byte of the six other: another address, function, register, value or count.
    for (std::size_t i = 0; i < 6; ++i) {
        Bytes other(echo.begin(), echo.begin() + 6);
        other[i] ^= 0x01;
        EXPECT_FALSE(EchoesRequest(WithCrc(other), expected)) << i;
    }
    Bytes longer(echo.begin(), echo.begin() + 6);
    longer.push_back(0);
    EXPECT_FALSE(EchoesRequest(WithCrc(longer), expected));
    Bytes spoilt = echo;
    spoilt.back() ^= 0xFF;
    EXPECT_FALSE(EchoesRequest(spoilt, expected));
    EXPECT_FALSE(EchoesRequest(echo, Bytes(expected.begin(), expected.begin() + 2)));
}

INSTANTIATE_TEST_SUITE_P(AllRequests, RequestVectors, ::testing::ValuesIn(kRequests),
                         [](const auto& info) { return info.param.name; });

const Bytes kStatusReply = WithCrc({5, 200, 4, 0, 32, 1, 2});  // 9 bytes

class ReceiveReplyTest : public ::testing::Test {
  protected:
    // An earlier accepted reply that a failed reception must leave in place.
    void SetUp() override { w.b.RxBuffer.fill(0xAA), w.b.RxCount = 9, w.b.ReplyAddress = 42; }
    void ExpectOldReplyKept() {
        EXPECT_EQ(
            (std::vector<int>{w.b.RxCount, w.b.ReplyAddress, w.b.RxBuffer[0], w.b.RxBuffer[256]}),
            (std::vector<int>{9, 42, 0xAA, 0xAA}));
    }
    LinkWorld w;
    const Micros t0 = w.p.NowUs();
};

TEST_F(ReceiveReplyTest, FirstByteWindowEndsJustPastSixTenthsOfASecondWithoutSpinning) {
    EXPECT_EQ(w.link.ReceiveReply().end, ReceptionEnd::None);
    EXPECT_EQ(w.p.NowUs(), t0 + 600'001);
    EXPECT_LT(w.p.Waits(), 5u);
    ExpectOldReplyKept();
    const Micros t1 = w.p.NowUs();  // a first byte complete at the end of the window counts
    w.port.SendToHost(kStatusReply, t1 + 600'000 - ByteTimeUs());
    EXPECT_EQ(w.link.ReceiveReply().bytes, kStatusReply);
    EXPECT_EQ(w.p.NowUs(), t1 + 600'000 + 150'000);
}

TEST_F(ReceiveReplyTest, CollectionWindowCutsASlowReplyAndTheTailFailsTheNextReception) {
    w.port.SendToHost(Bytes(kStatusReply.begin(), kStatusReply.begin() + 5), t0);
    w.port.SendToHost(Bytes(kStatusReply.begin() + 5, kStatusReply.end()), t0 + 200'000);
    const Reception head = w.link.ReceiveReply();
    EXPECT_EQ(head.end, ReceptionEnd::BadCrc);
    EXPECT_EQ(head.bytes, Bytes(kStatusReply.begin(), kStatusReply.begin() + 5));
    EXPECT_EQ(w.b.RxCount, 5);
    const Reception tail = w.link.ReceiveReply();
    EXPECT_EQ(tail.end, ReceptionEnd::BadCrc);
    EXPECT_EQ(tail.bytes, Bytes(kStatusReply.begin() + 5, kStatusReply.end()));
    EXPECT_EQ(w.b.RxCount, 4);
    EXPECT_EQ(w.b.RxBuffer[0], kStatusReply[5]);
    EXPECT_EQ(w.port.BytesWaiting(), 0);
}

TEST_F(ReceiveReplyTest, OverlongReplyIsDroppedWholeButAFullBufferIsAccepted) {
    w.port.SendToHost(Bytes(kRxBufferSize + 1, 0x11), t0);
    w.p.RunFor(400'000);
    const Reception flood = w.link.ReceiveReply();
    EXPECT_EQ(flood.end, ReceptionEnd::TooLong);
    EXPECT_EQ(flood.bytes.size(), kRxBufferSize + 1u);
    ExpectOldReplyKept();
    EXPECT_EQ(w.port.BytesWaiting(), 0);

    w.port.SendToHost(WithCrc(Bytes(kRxBufferSize - 2, 3)), w.p.NowUs());
    w.p.RunFor(400'000);
    EXPECT_TRUE(w.link.ReceiveReply().Taken());
    EXPECT_EQ(w.b.RxCount, kRxBufferSize);
}

TEST_F(ReceiveReplyTest, StopEndsTheCollectionAtOnceAndLeavesTheBytesForTheNextReception) {
    bool stop = false;
    w.port.SendToHost(kStatusReply, t0 + 50'000);
    w.p.Post(t0 + 100'000, [&] { stop = true; });
    EXPECT_FALSE(w.link.ReceiveReply([&] { return stop; }).HadBytes());
    EXPECT_EQ(w.p.NowUs(), t0 + 100'000);
    ExpectOldReplyKept();
    EXPECT_TRUE(w.link.ReceiveReply().Taken());
    EXPECT_EQ(w.b.ReplyAddress, 5);
}

struct ReplyCase {
    std::string name;
    Bytes reply;
    ReceptionEnd end;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplyAcceptance : public ReceiveReplyTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyAcceptance, FunctionByteAndCrcDecide) {
    const ReplyCase& c = GetParam();
    w.link.SendQuery(5, kCodeStatus);  // the address asked does not matter
    w.port.SendToHost(c.reply, w.p.NowUs() + 20'000);
    const Reception r = w.link.ReceiveReply();
    EXPECT_EQ(r.end, c.end);
    EXPECT_EQ(r.bytes, c.reply);
    // Taken or not, the bytes read stand in the buffer and the input is empty.
    EXPECT_EQ(Bytes(w.b.RxBuffer.begin(), w.b.RxBuffer.begin() + w.b.RxCount), c.reply);
    EXPECT_EQ(w.b.ReplyAddress, c.end == ReceptionEnd::Taken ? c.reply[0] : 42);
    EXPECT_EQ(w.port.BytesWaiting(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyAcceptance,
    ::testing::Values(
        ReplyCase{"CommandFromAnotherAddress", WithCrc({7, 200, 2, 1, 2}), ReceptionEnd::Taken},
        ReplyCase{"FunctionZero", WithCrc({5, 0, 1}), ReceptionEnd::Taken},
        ReplyCase{"ExceptionToRead", WithCrc({5, 131, 2}), ReceptionEnd::WrongFunction},
        // No bytes before the "CRC": FF FF is the CRC of nothing, and 255 no function taken.
        ReplyCase{"TwoBytesFFFF", {0xFF, 0xFF}, ReceptionEnd::WrongFunction},
        ReplyCase{"OneByte", {5}, ReceptionEnd::BadCrc},
        ReplyCase{"CrcHighByteFirst", {5, 3, 2, 0, 1, 0x44, 0x88}, ReceptionEnd::BadCrc}),
    [](const auto& info) { return info.param.name; });

TEST(Turnaround, ReleasesRtsTheTunedDelayAfterTheDrainWithoutRunningEvents) {
    LinkWorld w;
    w.link.TurnaroundDelay = 12500.5;  // a fraction rounds to even: 12500
    const Micros drained = w.p.NowUs() + WireTimeUs(9);
    bool rtsSeen = true;
    w.p.Post(drained + 1, [&] { rtsSeen = w.port.Rts(); });
    w.link.SendQuery(1, kCodeStatus);
    w.link.WaitRtsReleased();
    EXPECT_EQ(w.port.RtsReleasedAtOrAfter(0), drained + 12500);
    EXPECT_FALSE(rtsSeen);  // the event due during the delay ran only after the release
    EXPECT_EQ(TurnaroundMicros(-3), 0);
    EXPECT_EQ(TurnaroundMicros(1e12), std::numeric_limits<std::int32_t>::max());
}

TEST(Link, DestroyedLinkNoLongerHandlesTheDrainAndTheWaitForRtsGivesUp) {
    LinkWorld w;
    // The newest link takes over the port's drain handler, sends, and is gone before the drain.
    Link{w.p, w.port, w.b}.SendQuery(1, kCodeStatus);
    const Micros t0 = w.p.NowUs();
    w.link.WaitRtsReleased();
    EXPECT_TRUE(w.port.Rts());
    EXPECT_EQ(w.p.NowUs(), t0 + 2'000'000);
}

}  // namespace
}  // namespace halvern
