#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "LinkWorld.h"
#include "link/Requests.h"

namespace halvern {
namespace {

TEST(Crc, MatchesTheModbusCheckValueAndGoesOnTheLineLowByteFirst) {
    const std::string digits = "123456789";
    Bytes frame(digits.begin(), digits.end());
    EXPECT_EQ(Crc16(frame), 0x4B37);
    AppendCrc(frame);
    EXPECT_EQ(frame[9], 0x37);
    EXPECT_EQ(frame[10], 0x4B);
    EXPECT_TRUE(ReplyCrcIsValid(frame, 11));
    std::swap(frame[9], frame[10]);  // high byte first is wrong
    EXPECT_FALSE(ReplyCrcIsValid(frame, 11));
}

TEST(Crc, ShortRepliesAndTheEmptyRange) {
    const Bytes ffff = {0xFF, 0xFF};
    EXPECT_TRUE(ReplyCrcIsValid(ffff, 2));  // nothing covered: the CRC stays FFFF
    EXPECT_FALSE(ReplyCrcIsValid(ffff, 1));
    EXPECT_FALSE(ReplyCrcIsValid(ffff, 0));
    Bytes tx = {1, 3, 0, 1, 0, 4, 0xAA, 0xBB};
    ComputeFrameCrc(tx, 7);  // whatever stood in the CRC bytes is overwritten
    EXPECT_EQ(tx, (Bytes{0x01, 0x03, 0x00, 0x01, 0x00, 0x04, 0x15, 0xC9}));
}

struct RequestVector {
    std::string name;
    std::function<Bytes()> build;  // the pure frame
    std::function<void(Link&)> send;
    Bytes expected;
    bool pause;
};

std::ostream& operator<<(std::ostream& os, const RequestVector& v) {
    return os << v.name;
}

class RequestVectors : public ::testing::TestWithParam<RequestVector> {};

TEST_P(RequestVectors, BuilderPutsExactlyTheFrameOnTheLine) {
    const RequestVector& v = GetParam();
    EXPECT_EQ(v.build(), v.expected);

    LinkWorld w;
    w.b.TxBuffer.assign(40, 0xEE);  // a longer earlier request must not shine through
    const Micros t0 = w.p.NowUs();
    v.send(w.link);
    EXPECT_EQ(w.b.TxBuffer, v.expected);
    ASSERT_EQ(w.port.Frames().size(), 1u);
    const auto& written = w.port.Frames()[0];
    EXPECT_EQ(written.bytes, v.expected);

    // RTS rises first; the frame follows at once or after the 4000 us pause.
    EXPECT_TRUE(written.rtsRaised);
    ASSERT_FALSE(w.port.RtsChanges().empty());
    EXPECT_EQ(w.port.RtsChanges()[0].atUs, t0);
    EXPECT_TRUE(w.port.RtsChanges()[0].on);
    EXPECT_EQ(written.atUs, t0 + (v.pause ? kPreSendPauseUs : 0));

    // RTS is released the turnaround delay after the last byte has left.
    w.link.WaitRtsReleased();
    EXPECT_FALSE(w.port.Rts());
    EXPECT_EQ(w.port.RtsReleasedAtOrAfter(t0), written.atUs + WireTimeUs(v.expected.size()) + 4000);
}

RequestVector Query(std::uint8_t address, std::uint8_t code, Bytes expected) {
    return {"Query" + std::to_string(address) + "_" + std::to_string(code),
            [=] { return CommandFrame(address, code); },
            [=](Link& l) { l.SendQuery(address, code); }, expected, false};
}

const SetupTable kSetup{0x24, 0x05, 2, 10};

INSTANTIATE_TEST_SUITE_P(
    AllRequests, RequestVectors,
    ::testing::Values(Query(1, 32, {0x01, 0xC8, 0x04, 0x00, 0x20, 0x5A, 0x3E, 0x50, 0xF2}),
                      Query(1, 20, {0x01, 0xC8, 0x04, 0x00, 0x14, 0x5A, 0x3E, 0x11, 0x3C}),
                      Query(1, 23, {0x01, 0xC8, 0x04, 0x00, 0x17, 0x5A, 0x3E, 0xE1, 0x3C}),
                      RequestVector{"Align1",
                                    [] { return CommandFrame(1, 17); },
                                    [](Link& l) { l.SendAlign(1, 17); },
                                    {0x01, 0xC8, 0x04, 0x00, 0x11, 0x5A, 0x3E, 0x01, 0x3D},
                                    false},
                      RequestVector{"SnTest1",
                                    [] { return SnTestFrame(1); },
                                    [](Link& l) { l.SendSnTest(1); },
                                    {0x01, 0x06, 0x00, 0x02, 0x00, 0x01, 0xE9, 0xCA},
                                    true},
                      RequestVector{"NormalMode1",
                                    [] { return NormalModeFrame(1); },
                                    [](Link& l) { l.SendNormalMode(1); },
                                    {0x01, 0x06, 0x00, 0x02, 0x00, 0x00, 0x28, 0x0A},
                                    true},
                      RequestVector{"ReadSetup1",
                                    [] { return ReadSetupFrame(1); },
                                    [](Link& l) { l.SendReadSetup(1); },
                                    {0x01, 0x03, 0x00, 0x01, 0x00, 0x04, 0x15, 0xC9},
                                    false},
                      RequestVector{"ReadSetup247",
                                    [] { return ReadSetupFrame(247); },
                                    [](Link& l) { l.SendReadSetup(247); },
                                    {0xF7, 0x03, 0x00, 0x01, 0x00, 0x04, 0x01, 0x5F},
                                    false},
                      RequestVector{"WriteSetup3",
                                    [] { return WriteSetupFrame(3, kSetup); },
                                    [](Link& l) { l.SendWriteSetup(3, kSetup); },
                                    {0x03, 0x10, 0x00, 0x01, 0x00, 0x04, 0x08, 0x24, 0x05, 0x00,
                                     0x00, 0x00, 0x02, 0x00, 0x0A, 0xBE, 0x94},
                                    true},
                      RequestVector{"NewAddress1To5",
                                    [] { return NewAddressFrame(1, 5); },
                                    [](Link& l) { l.SendNewAddress(1, 5); },
                                    {0x01, 0x06, 0x00, 0x00, 0x00, 0x05, 0x49, 0xC9},
                                    false},
                      RequestVector{"NewAddress12To7",
                                    [] { return NewAddressFrame(12, 7); },
                                    [](Link& l) { l.SendNewAddress(12, 7); },
                                    {0x0C, 0x06, 0x00, 0x00, 0x00, 0x07, 0xC9, 0x15},
                                    false}),
    [](const auto& info) { return info.param.name; });

TEST(SendQuery, RefusedCodeSendsNothingAndLeavesTheBufferAlone) {
    LinkWorld w;
    w.link.SendQuery(1, 32);
    const Bytes before = w.b.TxBuffer;
    w.link.WaitRtsReleased();
    w.port.ClearRecords();
    w.link.SendQuery(9, kCodeRefused);
    EXPECT_EQ(w.b.TxBuffer, before);
    EXPECT_TRUE(w.port.Frames().empty());
    EXPECT_TRUE(w.port.RtsChanges().empty());
    EXPECT_FALSE(w.port.Rts());
}

}  // namespace
}  // namespace halvern
