// The link's frames, receptions and timings on virtual time against an in-process port, and
// its files: the typed port number, the port and tuning value files, and the tuning search.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "link/Link.h"
#include "link/LinkFiles.h"
#include "link/Tuning.h"
#include "link/Writes.h"
#include "platform/FilePath.h"
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

const auto WithCrc = [](Bytes frame) { return AppendCrc(frame), frame; };

// "01 C8 ..." as bytes.
Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (unsigned v; in >> std::hex >> v;)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

// Each request as its builder makes it and as the link puts it on the line between RTS raise
// and release; a write's own echo, CRC included ("=": the request), confirms it only when it
// is the same address, function, register and value (function 6) or quantity (function 16),
// eight bytes with a valid CRC.
TEST(Requests, BuilderPutsExactlyTheFrameOnTheLineBetweenRtsRaiseAndReleaseAndItsEcho) {
    EXPECT_EQ(Crc16(Hex("31 32 33 34 35 36 37 38 39")), 0x4B37);  // the CRC's check value
    const SetupTable setup{0x24, 0x05, 2, 10};
    const struct {
        bool pause;
        std::string expected;
        Bytes built;                      // as the builder makes it
        std::function<void(Link&)> send;  // sends the request
        std::string echo = "";
    } requests[] = {
        {0, "01 C8 04 00 20 5A 3E 50 F2", CommandFrame(1, 32), [](auto& l) { l.SendQuery(1, 32); }},
        {0, "01 C8 04 00 11 5A 3E 01 3D", CommandFrame(1, 17), [](auto& l) { l.SendAlign(1, 17); }},
        {1, "01 06 00 02 00 01 E9 CA", SnTestFrame(1), [](auto& l) { l.SendSnTest(1); }, "="},
        {1, "0C 06 00 02 00 01 E8 D7", SnTestFrame(12), [](auto& l) { l.SendSnTest(12); }, "="},
        {1, "01 06 00 02 00 00 28 0A", NormalModeFrame(1), [](auto& l) { l.SendNormalMode(1); },
         "="},
        {0, "F7 03 00 01 00 04 01 5F", ReadSetupFrame(247), [](auto& l) { l.SendReadSetup(247); }},
        {1, "03 10 00 01 00 04 08 24 05 00 00 00 02 00 0A BE 94", WriteSetupFrame(3, setup),
         [&](auto& l) { l.SendWriteSetup(3, setup); }, "03 10 00 01 00 04 91 E8"},
        {0, "0C 06 00 00 00 07 C9 15", NewAddressFrame(12, 7),
         [](auto& l) { l.SendNewAddress(12, 7); }, "="},
        {0, "01 06 00 00 00 09 49 CC", NewAddressFrame(1, 9),
         [](auto& l) { l.SendNewAddress(1, 9); }, "="},
    };
    for (const auto& v : requests) {
        SCOPED_TRACE(v.expected);
        const Bytes expected = Hex(v.expected);
        LinkWorld w;
        w.b.TxBuffer.assign(40, 0xEE);  // a longer earlier request must not shine through
        const Micros t0 = w.p.NowUs();
        EXPECT_EQ(v.built, expected);
        v.send(w.link);
        ASSERT_EQ(w.port.Frames().size(), 1u);
        const auto& written = w.port.Frames()[0];
        EXPECT_EQ(written.bytes, expected);
        // RTS rises first; the frame follows at once or after the pre-send pause; RTS is
        // released the turnaround delay after the last byte has left.
        EXPECT_TRUE(written.rtsRaised && w.port.RtsChanges().at(0).atUs == t0);
        EXPECT_EQ(written.atUs - t0, v.pause ? 4000 : 0);
        w.link.WaitRtsReleased();
        EXPECT_EQ(w.port.RtsReleasedAtOrAfter(t0),
                  written.atUs + WireTimeUs(expected.size()) + 4000);
        if (v.echo.empty())
            continue;
        const Bytes echo = v.echo == "=" ? expected : Hex(v.echo);
        EXPECT_TRUE(EchoesRequest(echo, expected));
        // Any one byte of the six other, a seventh byte, a spoilt CRC high byte, a short request.
        for (std::size_t i = 0; i < 7; ++i) {
            Bytes other(echo.begin(), echo.begin() + 6);
            i < 6 ? void(other[i] ^= 0x01) : other.push_back(0);
            EXPECT_FALSE(EchoesRequest(WithCrc(other), expected)) << i;
        }
        Bytes spoilt = echo;
        spoilt.back() ^= 0xFF;
        EXPECT_FALSE(EchoesRequest(spoilt, expected));
        EXPECT_FALSE(EchoesRequest(echo, Bytes(expected.begin(), expected.begin() + 2)));
    }
}

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
    EXPECT_TRUE(w.p.NowUs() == t0 + 600'001 && w.p.Waits() < 5u) << w.p.NowUs() - t0;
    ExpectOldReplyKept();
    const Micros t1 = w.p.NowUs();  // a first byte complete at the end of the window counts
    w.port.SendToHost(kStatusReply, t1 + 600'000 - ByteTimeUs());
    EXPECT_EQ(w.link.ReceiveReply().bytes, kStatusReply);
    EXPECT_EQ(w.p.NowUs(), t1 + 600'000 + 150'000);
}

TEST_F(ReceiveReplyTest, CollectionWindowCutsASlowReplyAndTheTailFailsTheNextReception) {
    w.port.SendToHost(Bytes(kStatusReply.begin(), kStatusReply.begin() + 5), t0);
    w.port.SendToHost(Bytes(kStatusReply.begin() + 5, kStatusReply.end()), t0 + 200'000);
    for (const auto& [from, to] : {std::pair(0, 5), std::pair(5, 9)}) {
        const Reception part = w.link.ReceiveReply();
        EXPECT_EQ(part.end, ReceptionEnd::BadCrc);
        EXPECT_EQ(part.bytes, Bytes(kStatusReply.begin() + from, kStatusReply.begin() + to));
        EXPECT_TRUE(w.b.RxCount == to - from && w.b.RxBuffer[0] == kStatusReply[from]);
    }
    EXPECT_EQ(w.port.BytesWaiting(), 0);
}

TEST_F(ReceiveReplyTest, OverlongReplyIsDroppedWholeButAFullBufferIsAccepted) {
    w.port.SendToHost(Bytes(kRxBufferSize + 1, 0x11), t0);
    w.p.RunFor(400'000);
    const Reception flood = w.link.ReceiveReply();
    EXPECT_TRUE(flood.end == ReceptionEnd::TooLong && flood.bytes.size() == kRxBufferSize + 1u);
    EXPECT_EQ(w.port.BytesWaiting(), 0);
    ExpectOldReplyKept();
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
    EXPECT_TRUE(w.link.ReceiveReply().Taken() && w.b.ReplyAddress == 5);
}

// The function byte and the CRC decide. Taken or not, the bytes read stand in the buffer and
// the input is empty; only a taken reply records its address (asked or not).
TEST_F(ReceiveReplyTest, FunctionByteAndCrcDecideWhetherAReplyIsTaken) {
    const std::pair<Bytes, ReceptionEnd> replies[] = {
        {WithCrc({7, 200, 2, 1, 2}), ReceptionEnd::Taken},  // a command from another address
        {WithCrc({5, 0, 1}), ReceptionEnd::Taken},
        {WithCrc({5, 131, 2}), ReceptionEnd::WrongFunction},  // an exception to a read
        // No bytes before the "CRC": FF FF is the CRC of nothing, and 255 no function taken.
        {{0xFF, 0xFF}, ReceptionEnd::WrongFunction},
        {{5}, ReceptionEnd::BadCrc},
        {{5, 3, 2, 0, 1, 0x44, 0x88}, ReceptionEnd::BadCrc}};  // the CRC high byte first
    for (const auto& [reply, end] : replies) {
        SCOPED_TRACE(reply.size());
        w.b.ReplyAddress = 42;
        w.link.SendQuery(5, kCodeStatus);
        w.port.SendToHost(reply, w.p.NowUs() + 20'000);
        const Reception r = w.link.ReceiveReply();
        EXPECT_EQ(std::pair(r.end, r.bytes), std::pair(end, reply));
        EXPECT_EQ(Bytes(w.b.RxBuffer.begin(), w.b.RxBuffer.begin() + w.b.RxCount), reply);
        EXPECT_EQ(w.b.ReplyAddress, end == ReceptionEnd::Taken ? reply[0] : 42);
        EXPECT_EQ(w.port.BytesWaiting(), 0);
    }
}

// The whole length of a reply, told by its first bytes, ends a poll's reception early.
TEST(ReplyLength, IsToldByTheFirstBytes) {
    const std::pair<std::vector<std::uint8_t>, std::size_t> cases[] = {
        {{7}, 0},               // the function is not in yet
        {{7, 3}, 0},            // nor the count
        {{7, 3, 8}, 13},        // register read: 3 + 8 data + CRC
        {{7, 200, 29, 0}, 34},  // a whole status reply
        {{7, 200, 4}, 9},       // the shortest status reply
        {{7, 0x83, 2}, 5},      // exception
        {{7, 0x90}, 5},         // exception to a multiple write
        {{7, 6}, 8},            // echo of a single write
        {{7, 16, 0, 1}, 8},     // echo of a multiple write
    };
    for (const auto& [head, length] : cases)
        EXPECT_EQ(ExpectedReplyLength(head), length) << int(head.size());
}

// A link destroyed before the drain leaves the port's drain handler to the newest link, and
// the wait for RTS gives up.
TEST(Turnaround, ReleasesRtsTheTunedDelayAfterTheDrainWithoutRunningEventsOrGivesUp) {
    LinkWorld w;
    w.link.TurnaroundDelay = 12500.5;  // a fraction rounds to even: 12500
    const Micros drained = w.p.NowUs() + WireTimeUs(9);
    bool rtsSeen = true;
    w.p.Post(drained + 1, [&] { rtsSeen = w.port.Rts(); });
    w.link.SendQuery(1, kCodeStatus);
    w.link.WaitRtsReleased();
    EXPECT_EQ(w.port.RtsReleasedAtOrAfter(0), drained + 12500);
    EXPECT_FALSE(rtsSeen);  // the event due during the delay ran only after the release
    EXPECT_EQ(std::pair(TurnaroundMicros(-3), TurnaroundMicros(1e12)),
              std::pair(0, std::numeric_limits<std::int32_t>::max()));
    Link{w.p, w.port, w.b}.SendQuery(1, kCodeStatus);
    const Micros t0 = w.p.NowUs();
    w.link.WaitRtsReleased();
    EXPECT_TRUE(w.port.Rts() && w.p.NowUs() == t0 + 2'000'000);
}

TEST(ParseTypedPort, AcceptsOnlyPortsFrom1To32767) {
    const std::vector<std::pair<std::string, std::optional<std::int16_t>>> cases = {
        {"1", 1},      {" 5 ", 5},    {"32767", 32767}, {"abc", {}}, {"", {}},
        {"65535", {}}, {"32768", {}}, {"0", {}},        {"-3", {}},  {"3,4", {}}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseTypedPort(text), expected) << text;
}

using Cases = std::vector<std::pair<std::string, double>>;

// A value file of its own per test (tests may run in parallel processes), in a folder named
// with letters beyond ASCII as under such a user's name: every name is UTF-8 text and reaches
// the system as such.
class ValueFile : public ::testing::Test {
  protected:
    ValueFile() {
        std::filesystem::remove_all(Utf8Path(folder_));
        std::filesystem::create_directory(Utf8Path(folder_));
    }
    ~ValueFile() override { std::filesystem::remove_all(Utf8Path(folder_)); }
    std::string Content() const {
        std::ifstream f(Utf8Path(path_), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    // A missing file is created holding the default. A file that holds each case's text is
    // read, and left as it is even when it does not read as a value.
    template <class Load>
    void ExpectLoads(Load load, double byDefault, const std::string& created, const Cases& cases) {
        EXPECT_EQ(load(path_), byDefault);
        EXPECT_EQ(Content(), created);
        for (const auto& [text, expected] : cases) {
            std::ofstream(Utf8Path(path_), std::ios::binary | std::ios::trunc) << text;
            EXPECT_EQ(load(path_), expected) << text;
            EXPECT_EQ(Content(), text);
        }
    }
    const std::string folder_ = ::testing::TempDir() + "halvern-J\xC3\xBCrgen-\xC3\xB6-" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string path_ = JoinPath(folder_, kPortFile);
};

TEST_F(ValueFile, TurnaroundDelayAtStartUpIsTheFirstValueOrTheDefault) {
    // "\357\273\277" is the byte order mark some editors put first.
    const Cases cases = {
        {"6000", 6000},           {"4500.5\n", 4500.5}, {"0\r\n", 0},     {"  12 \r\n9\r\n", 12},
        {"\357\273\2778\r\n", 8}, {"abc\r\n", 4000},    {"", 4000},       {"\r\n5\r\n", 4000},
        {"5abc\r\n", 4000},       {"nan\r\n", 4000},    {"-5\r\n", 4000}, {"3000000000\r\n", 4000}};
    ExpectLoads([](auto& path) { return LoadTurnaroundDelay(path); }, 4000, "4000\r\n", cases);
}

TEST_F(ValueFile, PortNumberIsLoadedAsAWhole16BitNumberAndSavedAsOneLine) {
    EXPECT_TRUE(Utf8Path("\xC3\xB6").u8string() == u8"\u00F6");
    EXPECT_EQ(LoadPortNumber(path_, 4), 4);  // created
    EXPECT_TRUE(FileExists(JoinPath(folder_, "CommPortNo.txt")));
    std::filesystem::remove(Utf8Path(path_));
    const Cases cases = {
        {"5\r\n", 5}, {" 7 ,3\r\n", 7}, {"2.5\r\n", 2}, {"abc\r\n", 0}, {"70000\r\n", 0}};
    ExpectLoads([](auto& path) { return LoadPortNumber(path); }, 0, "0\r\n", cases);
    SavePortNumber(path_, 3);  // replaces the longer content
    EXPECT_TRUE(Content() == "3\r\n" && LoadPortNumber(path_) == 3);
    // A network gateway chosen instead stands under the number, which still reads as before;
    // choosing a number again drops it, and so does an address that is no good.
    for (const char* bad : {"tcp://myhost:99999", "tcp://"}) {
        SavePortChoice(path_, 4, bad);
        EXPECT_EQ(Content(), "4\r\n") << bad;
    }
    SavePortChoice(path_, 3, "tcp://10.0.4.21:4001");
    EXPECT_EQ(Content(), "3\r\ntcp://10.0.4.21:4001\r\n");
    EXPECT_TRUE(LoadPortNumber(path_) == 3 && LoadPortGateway(path_) == "tcp://10.0.4.21:4001");
    for (const char* text : {"3\r\n", "3\r\n/dev/ttyACM0\r\n", "tcp://10.0.4.21:4001\r\n"}) {
        std::ofstream(Utf8Path(path_), std::ios::binary | std::ios::trunc) << text;
        EXPECT_EQ(LoadPortGateway(path_), "") << text;
    }
}

TEST_F(ValueFile, TuningStepsWrapsGivesUpAfter23FailuresAndSavesOnlyAtAValidStatusReply) {
    TuneState t;
    double delay = 4000;
    StartTuning(t);
    for (int i = 0; i < 3; ++i)
        TuneAfterFailedPoll(t, delay);
    StartTuning(t);  // pressed again: the count restarts from the delay reached
    std::vector<double> seen;
    for (int i = 0; i < 23; ++i)  // an early give-up would show as a step that did not move
        TuneAfterFailedPoll(t, delay), seen.push_back(delay);
    EXPECT_EQ(seen, (std::vector<double>{8000,  9000,  10000, 11000, 12000, 13000, 14000, 15000,
                                         16000, 17000, 18000, 19000, 20000, 21000, 22000, 23000,
                                         24000, 25000, 4000,  5000,  6000,  7000,  8000}));
    ASSERT_FALSE(t.TuneActive);
    TuneAfterFailedPoll(t, delay), TuneAfterGoodReply(t, true, delay, path_);  // idle: no change
    EXPECT_EQ(delay, 8000);
    // Accepted but not a status reply: it ends unsaved. A status reply saves the delay.
    for (const bool status : {false, true}) {
        StartTuning(t), TuneAfterFailedPoll(t, delay), TuneAfterGoodReply(t, status, delay, path_);
        EXPECT_EQ(Content() + (t.TuneActive ? "active" : ""), status ? "10000\r\n" : "");
    }
}

}  // namespace
}  // namespace halvern
