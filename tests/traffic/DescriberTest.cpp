// The meaning line of each kind of frame, with replies made by the simulator, its named
// faults included.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Requests.h"
#include "sim/Bus.h"
#include "support/Bench.h"
#include "traffic/TrafficDescriber.h"

namespace halvern::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every transmission the one detector at address 1 (a Xenon 621-2) sends in answer, with
// the faults named, or them all as one.
std::vector<Bytes> Answer(const Bytes& request, std::initializer_list<const char*> faults = {},
                          bool whole = false) {
    sim::Bus bus = OneDetector(1);
    for (const char* f : faults)
        bus.InjectFault(1, f);
    std::vector<Bytes> out(whole ? 1 : 0);
    for (const auto& t : bus.Respond(request, 0))
        whole ? (void)out[0].insert(out[0].end(), t.bytes.begin(), t.bytes.end())
              : out.push_back(t.bytes);
    return out;
}
Bytes Whole(const Bytes& request, std::initializer_list<const char*> faults = {}) {
    return Answer(request, faults, true)[0];
}

constexpr auto Sent = TrafficDirection::Sent;
constexpr auto Rx = TrafficDirection::Received;

// A frame and its meaning: the request sent before (none: no question known), the entry
// (none: the whole answer to the request), the meaning said as below, the direction, and how
// many bytes came when more than kept.
struct Row {
    Bytes request, bytes;
    std::string said;
    TrafficDirection dir = Rx;
    std::size_t count = 0;
};

// The meaning's text after its CRC verdict and mark, each left out when ok or plain.
std::string Said(const TrafficMeaning& m) {
    const std::string crc[] = {"", "bad ", "short "}, mark[] = {"", "odd ", "trouble "};
    const std::string said = crc[static_cast<int>(m.crc)] + mark[static_cast<int>(m.mark)];
    return said.empty() ? m.text : said + "| " + m.text;
}

TEST(TrafficDescriber, TheMeaningOfEachKindOfFrame) {
    const Bytes status = CommandFrame(1, kCodeStatus), search = CommandFrame(0, kCodeStatus);
    const Bytes version = CommandFrame(1, kCodePrimaryVersion), setupRead = ReadSetupFrame(1);
    const Bytes addressWrite = NewAddressFrame(1, 9), normalMode = NormalModeFrame(1);
    const std::string normal = "status reply from 1: NNN0 Normal";
    const auto late = Answer(status, {"late"});
    Bytes tailThenReply = late.back();  // the late tail, taken in with the next poll's reply
    const Bytes next = Whole(status);
    tailThenReply.insert(tailThenReply.end(), next.begin(), next.end());
    const SetupTable setup{0x24, 0x05, 2, 10};
    const Bytes setupWrite = WriteSetupFrame(1, setup);
    // The supply fault as a detector's short "V" reply: the status code, then the CRC.
    sim::Bus shortV = OneDetector(1);
    shortV.Find(1)->SetStatus("VVV", 81);
    shortV.Find(1)->SetStatusReplyShape(15, false);
    // What the program sends; whole answers, read against their question; the simulator's
    // faults (an echo that is not the write's own confirms nothing); odd receptions.
    // clang-format off
    const Row rows[] = {
        {{}, status, "status query to 1", Sent}, {{}, search, "status query to 0 (search)", Sent},
        {{}, version, "primary version query to 1", Sent},
        {{}, CommandFrame(12, kCodeSecondaryVersion), "secondary version query to 12", Sent},
        {{}, CommandFrame(7, kCodeAlign), "align command to 7", Sent},
        {{}, ReadSetupFrame(247), "read setup from 247", Sent},
        {{}, WriteSetupFrame(3, setup), "write setup to 3", Sent},
        {{}, NewAddressFrame(12, 7), "new address 7 to 12", Sent},
        {{}, SnTestFrame(12), "S/N test to 12", Sent}, {{}, normalMode, "normal mode to 1", Sent},
        {status, {}, normal}, {{}, Whole(status), normal},
        {status, shortV.Respond(status, 0).at(0).bytes, "status reply from 1: VVV81 Wrong 5 volt"},
        {version, {}, "primary version from 1: \"Ver 3.12 F24\""},
        {CommandFrame(1, kCodeSecondaryVersion), {}, "secondary version from 1: \"DSP 1.07 F24\""},
        {status, Whole(version), "odd | reply from 1, not a status reply"},
        {CommandFrame(1, kCodeAlign), {}, "align reply from 1"},
        {setupRead, {}, "setup table from 1"}, {setupWrite, {}, "setup write confirmed by 1"},
        {addressWrite, {}, "address write confirmed by 1: new address 9"},
        {SnTestFrame(1), {}, "S/N test confirmed by 1"},
        {normalMode, {}, "normal mode confirmed by 1"}, {search, {}, normal},
        {status, Whole(status, {"bad CRC"}), "bad trouble | reply from 1 with a bad CRC, 34 bytes"},
        {status, Whole(status, {"wrong address"}),
         "odd | status reply from 2: NNN0 Normal (asked 1)"},
        {status, Whole(status, {"exception"}), "odd | exception 4 from 1"},
        {addressWrite, Whole(addressWrite, {"wrong echo address"}),
         "odd | write reply from 2 (asked 1)"},
        {setupWrite, Whole(setupWrite, {"wrong echo register"}), "write reply from 1"},
        {normalMode, Whole(normalMode, {"wrong echo value"}), "write reply from 1"},
        {setupRead, Whole(setupRead, {"exception"}), "odd | exception 4 from 1"},
        {status, Whole(status, {"truncated"}), "bad trouble | cut reply from 1, 17 bytes"},
        {setupRead, Whole(setupRead, {"truncated"}), "bad trouble | cut reply from 1, 6 bytes"},
        {status, tailThenReply, "bad trouble | noise, 17 bytes, then " + normal},
        {status, Whole(status, {"flood"}), "bad trouble | too long, 300 bytes from 1"},
        {status, Whole(status, {"noise"}), "bad trouble | noise, 5 bytes, then " + normal},
        {status, {0x13, 0x77, 0xA0, 0x05, 0x3C}, "bad trouble | noise, 5 bytes"},
        {status, {0xFF, 0xFF}, "short trouble | noise, 2 bytes"},
        {status, {0x01}, "short trouble | cut reply from 1, 1 byte"},
        {status, Whole(status), "odd | discarded: " + normal, TrafficDirection::Discarded},
        {status, Bytes(512, 0x55), "bad trouble | too long, 2880 bytes", Rx, 2880}};
    // clang-format on
    for (const Row& row : rows) {
        TrafficDescriber describer;
        if (!row.request.empty())
            describer.Describe(Sent, row.request, row.request.size());
        const Bytes bytes = row.bytes.empty() ? Whole(row.request) : row.bytes;
        EXPECT_EQ(Said(describer.Describe(row.dir, bytes, row.count ? row.count : bytes.size())),
                  row.said);
    }
}

// A frame of fewer than two bytes asks nothing: what follows is read as if no question were
// known, not against what a longer frame before it left behind.
TEST(TrafficDescriber, ARequestOfLessThanTwoBytesIsNoQuestion) {
    for (const Bytes& stub : {Bytes{}, Bytes{0x01}}) {
        TrafficDescriber d;
        d.Describe(Sent, CommandFrame(1, kCodeStatus), 9);
        std::string said = d.Describe(Sent, stub, stub.size()).text;  // in this order
        said += "/" + d.Describe(Rx, Bytes{0x01, 0xC8, 0x00, 0x00, 0x00}, 5).text;
        said += "/" + d.Describe(Rx, Bytes(300, 0x01), 300).text;
        EXPECT_EQ(said, (stub.empty() ? "frame of 0 bytes" : "frame of 1 byte") +
                            std::string("/noise, 5 bytes/too long, 300 bytes"));
    }
}

TEST(TrafficDescriber, HexTextSaysHowManyCameWhenNotAllAreKept) {
    EXPECT_EQ(HexText(Bytes{0x01, 0xC8, 0x0A}, 3) + "|" + HexText(Bytes{0xFF, 0x00}, 700) + "|" +
                  HexText(Bytes{}, 0),
              "01 C8 0A|FF 00 ... (700 bytes)|");
}

}  // namespace
}  // namespace halvern::test
