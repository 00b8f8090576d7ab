// The meaning line of each kind of frame, with replies made by the simulator, its named
// faults included.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/Requests.h"
#include "sim/Bus.h"
#include "support/Bench.h"
#include "traffic/TrafficDescriber.h"

namespace halvern::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct MeaningCase {
    std::string name;
    Bytes request;  // sent before, empty: none
    Bytes bytes;    // the entry; its direction below
    TrafficDirection dir;
    CrcVerdict crc;
    TrafficMark mark;
    std::string text;
    std::size_t count = 0;  // bytes that came, when more than kept
};

void PrintTo(const MeaningCase& c, std::ostream* os) {
    *os << c.name;
}

// Every transmission the one detector at address 1 (a Xenon 621-2) sends in answer, with
// the faults named.
std::vector<Bytes> Answer(const Bytes& request, std::initializer_list<const char*> faults = {}) {
    sim::Bus bus = OneDetector(1);
    for (const char* f : faults)
        bus.InjectFault(1, f);
    std::vector<Bytes> out;
    for (const auto& t : bus.Respond(request, 0))
        out.push_back(t.bytes);
    return out;
}

Bytes Joined(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Whole(const Bytes& request, std::initializer_list<const char*> faults = {}) {
    return Joined(Answer(request, faults));
}

constexpr auto Sent = TrafficDirection::Sent;
constexpr auto Rx = TrafficDirection::Received;
constexpr auto Ok = CrcVerdict::Ok;
constexpr auto Bad = CrcVerdict::Bad;
constexpr auto Short = CrcVerdict::Short;
constexpr auto Plain = TrafficMark::Plain;
constexpr auto Odd = TrafficMark::Odd;
constexpr auto Trouble = TrafficMark::Trouble;

// A request as sent, and a whole answer read against its question: both plain, sound CRC.
MeaningCase Request(std::string name, Bytes frame, std::string text) {
    return {std::move(name), {}, std::move(frame), Sent, Ok, Plain, std::move(text)};
}
MeaningCase Reply(std::string name, const Bytes& request, std::string text) {
    return {std::move(name), request, Whole(request), Rx, Ok, Plain, std::move(text)};
}

std::vector<MeaningCase> Cases() {
    const Bytes status = CommandFrame(1, kCodeStatus);
    const std::string normal = "status reply from 1: NNN0 Normal";
    const auto late = Answer(status, {"late"});
    Bytes tailThenReply = late.back();  // the late tail, taken in with the next poll's reply
    const Bytes next = Whole(status);
    tailThenReply.insert(tailThenReply.end(), next.begin(), next.end());
    const SetupTable setup{0x24, 0x05, 2, 10};
    const Bytes version = CommandFrame(1, kCodePrimaryVersion);
    // The supply fault as a detector's short "V" reply: the status code, then the CRC.
    sim::Bus shortV = OneDetector(1);
    shortV.Find(1)->SetStatus("VVV", 81);
    shortV.Find(1)->SetStatusReplyShape(15, false);
    const Bytes supplyFault = shortV.Respond(status, 0).at(0).bytes;
    return {
        // What the program sends.
        Request("StatusQuery", status, "status query to 1"),
        Request("SearchQuery", CommandFrame(0, kCodeStatus), "status query to 0 (search)"),
        Request("PrimaryVersionQuery", version, "primary version query to 1"),
        Request("SecondaryVersionQuery", CommandFrame(12, kCodeSecondaryVersion),
                "secondary version query to 12"),
        Request("Align", CommandFrame(7, kCodeAlign), "align command to 7"),
        Request("ReadSetup", ReadSetupFrame(247), "read setup from 247"),
        Request("WriteSetup", WriteSetupFrame(3, setup), "write setup to 3"),
        Request("NewAddress", NewAddressFrame(12, 7), "new address 7 to 12"),
        Request("SnTest", SnTestFrame(12), "S/N test to 12"),
        Request("NormalMode", NormalModeFrame(1), "normal mode to 1"),
        // Whole answers, read against their question.
        Reply("StatusReply", status, normal),
        {"StatusReplyWithoutKnownQuestion", {}, Whole(status), Rx, Ok, Plain, normal},
        {"ShortVStatusReply", status, supplyFault, Rx, Ok, Plain,
         "status reply from 1: VVV81 Wrong 5 volt"},
        Reply("PrimaryVersion", version, "primary version from 1: \"Ver 3.12 F24\""),
        Reply("SecondaryVersion", CommandFrame(1, kCodeSecondaryVersion),
              "secondary version from 1: \"DSP 1.07 F24\""),
        {"VersionReplyToAStatusQueryIsNoStatus", status, Whole(version), Rx, Ok, Odd,
         "reply from 1, not a status reply"},
        Reply("AlignReply", CommandFrame(1, kCodeAlign), "align reply from 1"),
        Reply("SetupTable", ReadSetupFrame(1), "setup table from 1"),
        Reply("SetupWriteEcho", WriteSetupFrame(1, setup), "setup write confirmed by 1"),
        Reply("AddressWriteEcho", NewAddressFrame(1, 9),
              "address write confirmed by 1: new address 9"),
        Reply("SnTestEcho", SnTestFrame(1), "S/N test confirmed by 1"),
        Reply("NormalModeEcho", NormalModeFrame(1), "normal mode confirmed by 1"),
        Reply("AnswerToTheSearch", CommandFrame(0, kCodeStatus), normal),
        // The simulator's faults.
        {"FaultBadCrc", status, Whole(status, {"bad CRC"}), Rx, Bad, Trouble,
         "reply from 1 with a bad CRC, 34 bytes"},
        {"FaultWrongAddress", status, Whole(status, {"wrong address"}), Rx, Ok, Odd,
         "status reply from 2: NNN0 Normal (asked 1)"},
        {"FaultException", status, Whole(status, {"exception"}), Rx, Ok, Odd, "exception 4 from 1"},
        // An echo that is not the write's own confirms nothing.
        {"FaultWrongEchoAddress", NewAddressFrame(1, 9),
         Whole(NewAddressFrame(1, 9), {"wrong echo address"}), Rx, Ok, Odd,
         "write reply from 2 (asked 1)"},
        {"FaultWrongEchoRegister", WriteSetupFrame(1, setup),
         Whole(WriteSetupFrame(1, setup), {"wrong echo register"}), Rx, Ok, Plain,
         "write reply from 1"},
        {"FaultWrongEchoValue", NormalModeFrame(1), Whole(NormalModeFrame(1), {"wrong echo value"}),
         Rx, Ok, Plain, "write reply from 1"},
        {"FaultExceptionToARead", ReadSetupFrame(1), Whole(ReadSetupFrame(1), {"exception"}), Rx,
         Ok, Odd, "exception 4 from 1"},
        {"FaultTruncated", status, Whole(status, {"truncated"}), Rx, Bad, Trouble,
         "cut reply from 1, 17 bytes"},
        {"FaultTruncatedSetupTable", ReadSetupFrame(1), Whole(ReadSetupFrame(1), {"truncated"}), Rx,
         Bad, Trouble, "cut reply from 1, 6 bytes"},
        {"FaultLateHeadInTheWindow", status, late.front(), Rx, Bad, Trouble,
         "cut reply from 1, 17 bytes"},
        {"FaultLateTailBeforeTheNextReply", status, tailThenReply, Rx, Bad, Trouble,
         "noise, 17 bytes, then " + normal},
        {"FaultSplitDeliveryTakenWhole", status, Whole(status, {"split delivery"}), Rx, Ok, Plain,
         normal},
        {"FaultFlood", status, Whole(status, {"flood"}), Rx, Bad, Trouble,
         "too long, 300 bytes from 1"},
        {"FaultNoise", status, Whole(status, {"noise"}), Rx, Bad, Trouble,
         "noise, 5 bytes, then " + normal},
        {"NoiseAlone", status, {0x13, 0x77, 0xA0, 0x05, 0x3C}, Rx, Bad, Trouble, "noise, 5 bytes"},
        {"TwoBytesFFFFAreNoFrame", status, Bytes{0xFF, 0xFF}, Rx, Short, Trouble, "noise, 2 bytes"},
        {"OneByteOfTheAskedDetector", status, Bytes{0x01}, Rx, Short, Trouble,
         "cut reply from 1, 1 byte"},
        {"DiscardedLateReply", status, Whole(status), TrafficDirection::Discarded, Ok, Odd,
         "discarded: " + normal},
        {"LongNoiseKeptInPart", status, Bytes(512, 0x55), Rx, Bad, Trouble, "too long, 2880 bytes",
         2880},
    };
}

class Meaning : public ::testing::TestWithParam<MeaningCase> {};

TEST_P(Meaning, OfEachKindOfFrame) {
    const MeaningCase& c = GetParam();
    TrafficDescriber describer;
    if (!c.request.empty())
        describer.Describe(Sent, c.request, c.request.size());
    const TrafficMeaning m = describer.Describe(c.dir, c.bytes, c.count ? c.count : c.bytes.size());
    EXPECT_EQ(m.text, c.text);
    EXPECT_EQ(m.crc, c.crc);
    EXPECT_EQ(m.mark, c.mark);
}

INSTANTIATE_TEST_SUITE_P(Traffic, Meaning, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// A frame of fewer than two bytes asks nothing: what follows is read as if no question were
// known, not against what a longer frame before it left behind.
TEST(TrafficDescriber, ARequestOfLessThanTwoBytesIsNoQuestion) {
    const Bytes bad{0x01, 0xC8, 0x00, 0x00, 0x00};
    for (const Bytes& stub : {Bytes{}, Bytes{0x01}}) {
        TrafficDescriber d;
        d.Describe(Sent, CommandFrame(1, kCodeStatus), 9);
        EXPECT_EQ(
            d.Describe(Sent, stub, stub.size()).text,
            "frame of " + std::to_string(stub.size()) + (stub.size() == 1 ? " byte" : " bytes"));
        EXPECT_EQ(d.Describe(Rx, bad, bad.size()).text, "noise, 5 bytes");
        EXPECT_EQ(d.Describe(Rx, Bytes(300, 0x01), 300).text, "too long, 300 bytes");
    }
}

TEST(TrafficDescriber, HexTextSaysHowManyCameWhenNotAllAreKept) {
    EXPECT_EQ(HexText(Bytes{0x01, 0xC8, 0x0A}, 3), "01 C8 0A");
    EXPECT_EQ(HexText(Bytes{0xFF, 0x00}, 700), "FF 00 ... (700 bytes)");
    EXPECT_EQ(HexText(Bytes{}, 0), "");
}

}  // namespace
}  // namespace halvern::test
