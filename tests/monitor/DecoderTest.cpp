#include "monitor/Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <tuple>
#include <vector>

#include "link/Frame.h"
#include "monitor/Exchanges.h"

namespace halvern {
namespace {

// A complete status reply of a healthy detector; tests change the bytes they are about.
struct StatusReply {
    std::vector<std::uint8_t> bytes = {
        7,    200,  0,   0,   42,        // address, function, -, -, marker
        0,    36,                        // variant, family
        0x12, 0x67,                      // serial number
        'N',  'N',  'N', 0,              // status characters and number
        0x0D,                            // gain byte
        100,  120,  90,  200, 0xF6,      // signal 1, reference, signal 2, voltage, temperature
        80,   75,   47,  52,             // ratio 1, ratio 2, NQ ratio 1, NQ ratio 2
        30,   31,   32,                  // S1/N, S2/N, R/N
        0x10, 0x02, 0,   0,   0,    0};  // gas reading (little-endian), two unused values

    StatusReply& Set(std::size_t index, std::uint8_t value) {
        bytes.at(index) = value;
        return *this;
    }
    // The main window's decoding: the reading, and the panel as it was before showing it.
    Par Decode(Par par = {}) const {
        TakeReading(par, ReadStatus(bytes).value());
        return par;
    }
};

TEST(StatusReading, GivesStatusCodeDescriptionAndColours) {
    // The colours a panel had before the reply, to see whether a rule changed them.
    constexpr Rgb kOld{1, 2, 3}, kOldText{4, 5, 6};
    struct Case {
        const char* sent;  // the detector codes a first "O" or "R" as the digit 2 or 3
        std::uint8_t number;
        const char* code;
        const char* description;  // nullptr: the previous text stays
        Rgb back, fore;
    };
    const Case cases[] = {
        {"NNN", 0, "NNN0", "Normal", kWhite, kBlack},
        {"NNN", 3, "NNN3", "4-20mA circuit fail", kWhite, kBlack},
        {"2MN", 7, "OMN7", "Maintenance call for signal or ratio", kOld, kOldText},
        {"3MN", 0, "RMN0", "Maintenance call for ratio", kOld, kOldText},
        {"AAN", 7, "AAN7", "Alarm", kRed, kWhite},
        {"LAN", 0, "LAN0", "Alarm latch", kRed, kWhite},
        {"WWN", 7, "WWN7", "Warning", kYellow, kBlack},
        {"JAN", 0, "JAN0", "Disturbance while Alarm", kOld, kOldText},
        {"SSU", 90, "SSU90", "Start up", kWhite, kBlack},
        {"TBN", 0, "TBN0", "Pre Alarm", kWhite, kBlack},
        {"XXX", 7, "XXX7", "Alignment", kWhite, kBlack},
        {"ION", 7, "ION7", "Saturation", kWhite, kBlack},
        {"GGG", 0, "GGG0", "Gas calibration", kWhite, kBlack},
        {"N2N", 255, "N2N255", nullptr, kOld, kOldText},  // only the first character maps
        {"ZZZ", 9, "ZZZ9", nullptr, kOld, kOldText},      // unknown codes show as sent
        {"AAN", 3, "AAN3", nullptr, kRed, kWhite},
        {"NNN", 30, "NNN30", nullptr, kWhite, kBlack},  // the whole code is looked up
    };
    Par before;
    before.Main.SIL2Des = "previous";
    before.Main.StatusBack = kOld;
    before.Main.StatusFore = kOldText;
    for (const Case& c : cases) {
        StatusReply reply;
        std::copy_n(c.sent, 3, reply.bytes.begin() + 9);
        const Par par = reply.Set(12, c.number).Decode(before);
        EXPECT_EQ(par.Reading.StatusCode, c.code);
        EXPECT_EQ(par.Main.Status, c.code);
        // The reading has its own code's description or none; the panel keeps an older one.
        EXPECT_EQ(par.Reading.Description.value_or("none"), c.description ? c.description : "none");
        EXPECT_EQ(par.Main.SIL2Des, c.description ? c.description : "previous") << c.code;
        EXPECT_EQ(par.Main.StatusBack, c.back) << c.code;
        EXPECT_EQ(par.Main.StatusFore, c.fore) << c.code;
    }
}

// The answer to the setup read: function 3 with a count of eight data bytes, 13 bytes in all.
TEST(SetupReply, IsFunctionThreeWithEightDataBytes) {
    const std::vector<std::uint8_t> reply{1, 3, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};
    EXPECT_TRUE(IsSetupReply(reply));
    for (const auto& [index, value] : {std::pair<int, int>{1, 4}, {1, 0x83}, {2, 7}, {2, 9}}) {
        auto odd = reply;
        odd[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);
        EXPECT_FALSE(IsSetupReply(odd)) << index << " " << value;
    }
    EXPECT_FALSE(IsSetupReply(std::span(reply).first(12)));
}

// The answer to a version query, as the main window and halvern-cli both take it: a version
// reply of the address asked, told from a status reply by what a status reply is, whatever
// stands at index 4; the text from index 9, without the blanks that pad it.
TEST(VersionAnswer, TakesTheAskedDetectorsVersionReplyOnly) {
    const auto version = [](std::uint8_t from, std::uint8_t at4, std::string text) {
        std::vector<std::uint8_t> r{from, 200, 0, 0, at4, 0, 24, 0x12, 0x67};
        for (const char c : text)
            r.push_back(static_cast<std::uint8_t>(c));
        r[2] = static_cast<std::uint8_t>(r.size() - 3);
        AppendCrc(r);
        return r;
    };
    const auto taken = [](std::vector<std::uint8_t> bytes) {
        return Reception{ReceptionEnd::Taken, bytes, bytes.size()};
    };
    const std::vector<std::uint8_t> status = StatusReply{}.bytes;
    const struct {
        std::uint8_t asked;
        bool primary;
        Reception rx;
        const char* answer;  // the version, or why there is none
    } cases[] = {
        {7, true, taken(version(7, 20, "Ver 3.12")), "Ver 3.12"},
        {7, true, taken(version(7, 0, "Ver 3.12")), "Ver 3.12"},
        {7, false, taken(version(7, 23, "DSP 1.07            ")), "DSP 1.07"},
        {7, false, taken(version(7, 23, "DSP")), "DSP"},
        {7, true, taken(version(7, 20, "VV 2.0")), "VV 2.0"},
        {0, false, taken(version(9, 23, "DSP 1.07")), "DSP 1.07"},
        {7, true, taken(version(8, 20, "Ver 3.12")),
         "address 7 was asked, but address 8 answered, with a version reply"},
        {7, true, taken(status), "address 7 answered with a status reply, not a version reply"},
        {7, true, taken({7, 200, 4, 0x12, 0x34}),
         "address 7 answered with an exception (code 4), not a version reply"},
        {7, true, {}, "no answer from address 7"},
        {7, true, Reception{ReceptionEnd::BadCrc, {7, 200, 1}, 3},
         "no valid answer from address 7: 3 bytes came that are not a whole reply"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const VersionRead read = VersionAnswer(c.rx, c.asked, c.primary);
        EXPECT_EQ(read.version.value_or(read.refusal), c.answer);
        EXPECT_EQ(read.version.has_value(), read.refusal.empty());
    }
}

// The reply as received: its first `length - 2` bytes (the marker at index 4 or not, "V" at
// index 10 or not), then its CRC.
std::vector<std::uint8_t> Received(std::size_t length, bool marker, bool v) {
    std::vector<std::uint8_t> reply = StatusReply{}.Set(4, marker ? 42 : 0).bytes;
    reply[9] = reply[10] = reply[11] = v ? 'V' : 'N';
    reply[12] = 81;
    reply.resize(length - 2);
    AppendCrc(reply);
    return reply;
}

TEST(AcceptanceTest, NeedsAListedFamilyAndTheMarkerInACompleteReplyOrItsOwnVAtIndexTen) {
    for (int family = 0; family < 256; ++family) {
        const bool listed = ModelName(family) != "Unknown Detector!";
        const auto reply = StatusReply{}.Set(6, static_cast<std::uint8_t>(family));
        EXPECT_EQ(PassesAcceptanceTest(reply.bytes), listed) << family;
    }
    EXPECT_FALSE(PassesAcceptanceTest(StatusReply{}.Set(4, 41).bytes));
    EXPECT_FALSE(PassesAcceptanceTest(StatusReply{}.Set(4, 0).Set(10, 'v').bytes));
    struct Case {
        std::size_t length;
        bool marker, v, passes;
    };
    const Case cases[] = {
        {34, true, false, true},   {30, true, false, true},   // complete, with the marker
        {29, true, false, false},  {15, true, false, false},  // the marker promises more
        {34, false, true, true},   {15, false, true, true},
        {13, false, true, true},   {12, false, true, false},  // index 10 is the CRC's
        {30, false, false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PassesAcceptanceTest(Received(c.length, c.marker, c.v)), c.passes)
            << c.length << (c.marker ? " marker" : "") << (c.v ? " V" : "");
    EXPECT_FALSE(PassesAcceptanceTest({}));
}

// A short "V" reply after an older complete one: each field from the reply's own bytes; a field
// it does not reach shows nothing and its value is not given.
TEST(StatusReading, AShortVReplyGivesOnlyTheFieldsItReaches) {
    struct Case {
        std::size_t length;
        const char *status, *description, *gain;
        std::array<std::string, 5> shown;  // Signal 1, Reference, Signal 2, NQ ratios
        bool temperature, gas;
    };
    const Case cases[] = {
        {13, "VV", "", "", {"", "", "", "", ""}, false, false},
        {14, "VVV", "", "", {"", "", "", "", ""}, false, false},
        {15, "VVV81", "Wrong 5 volt", "", {"", "", "", "", ""}, false, false},
        {17, "VVV81", "Wrong 5 volt", "5", {"1.81", "", "", "", ""}, false, false},
        {22, "VVV81", "Wrong 5 volt", "5", {"1.81", "2.20", "1.61", "", ""}, true, false},
        {29, "VVV81", "Wrong 5 volt", "5", {"1.81", "2.20", "1.61", "0.47", "0.52"}, true, false},
        {30, "VVV81", "Wrong 5 volt", "5", {"1.81", "2.20", "1.61", "0.47", "0.52"}, true, true},
    };
    for (const Case& c : cases) {
        Par par = StatusReply{}.Set(14, 255).Set(21, 99).Set(13, 7).Decode();
        TakeReading(par, ReadStatus(Received(c.length, false, true)).value());
        EXPECT_EQ(par.Main.Status, c.status) << c.length;
        EXPECT_EQ(par.Main.SIL2Des, c.description) << c.length;
        EXPECT_EQ(par.Main.Gain, c.gain) << c.length;
        EXPECT_EQ(par.Main.ChVal, c.shown) << c.length;
        EXPECT_EQ(par.Main.SeNum, "4711");
        EXPECT_EQ(!std::isnan(par.Reading.ChannelValues[4]), c.temperature) << c.length;
        EXPECT_EQ(!std::isnan(par.Reading.ChannelValues[12]), c.gas) << c.length;
    }
}

TEST(StatusReading, RemovesTheFamilysZeroOffsetFromTheSignalsAndNeverGoesNegative) {
    using Case = std::tuple<std::uint8_t, std::uint8_t, const char*>;
    // Raw 28 is 0.549: not above 0.56, and 0.40 after 0.15.
    const Case cases[] = {Case{33, 28, "0.00"}, Case{36, 28, "0.40"}, Case{24, 29, "0.01"},
                          Case{26, 255, "4.44"}, Case{37, 7, "0.00"}};
    for (const auto& [family, raw, shown] : cases) {
        const Par par =
            StatusReply{}.Set(6, family).Set(14, raw).Set(15, raw).Set(16, raw).Decode();
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(par.Main.ChVal[i], shown) << "family " << int{family} << " slot " << i;
            EXPECT_GE(par.Reading.ChannelValues[i], 0.0f);
        }
    }
}

TEST(StatusReading, FillsPanelAndScalesEachSlotInSinglePrecision) {
    const Par par = StatusReply{}.Set(0, 12).Set(17, 255).Set(19, 255).Set(20, 1).Decode();
    // Address, model, serial number and gain (the low three bits), as read and as shown.
    const auto& [r, m] = std::pair(par.Reading, par.Main);
    EXPECT_TRUE(r.Address == 12 && r.SerialNumber == 4711);
    EXPECT_EQ(r.ModelName + "|" + r.GainText + "|" + m.DetNum + "|" + m.Flash + "|" + m.SeNum +
                  "|" + m.Gain,
              "Veridan LAMP 411|5|12|Veridan LAMP 411|4711|5");
    // Signal 1, reference, signal 2 (less 0.15), NQ ratio 1, NQ ratio 2.
    EXPECT_EQ(par.Main.ChVal, (std::array<std::string, 5>{"1.81", "2.20", "1.61", "0.47", "0.52"}));
    const auto& ch = par.Reading.ChannelValues;
    EXPECT_FLOAT_EQ(ch[3], 29.999985f);
    EXPECT_EQ(ch[4], -10.0f);  // signed temperature
    EXPECT_FLOAT_EQ(ch[5], 2.55f);
    EXPECT_FLOAT_EQ(ch[6], 0.01f);
    EXPECT_EQ(ch[11], 32.0f);
    EXPECT_EQ(ch[12], 528.0f);  // 0x0210, low byte first
    EXPECT_EQ(ch[13], 0.0f);    // beyond the status reply's slots

    const Par full =
        StatusReply{}.Set(7, 255).Set(8, 255).Set(18, 128).Set(26, 255).Set(27, 255).Decode();
    EXPECT_EQ(full.Main.SeNum, "65535");
    EXPECT_EQ(full.Reading.ChannelValues[4], -128.0f);
    EXPECT_EQ(full.Reading.ChannelValues[12], 65535.0f);
    // Nothing below index 10: not even a short status reply.
    EXPECT_FALSE(ReadStatus(Received(12, false, true)).has_value());
}

}  // namespace
}  // namespace halvern
