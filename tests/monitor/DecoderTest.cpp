#include "monitor/Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "link/Frame.h"

namespace halvern {
namespace {

// A complete status reply of a healthy detector as it arrives on the line; tests change the
// bytes they are about.
struct StatusReply {
    std::vector<std::uint8_t> bytes = {
        7,    200,  0,   0,   42,      // address, function, -, -, marker
        0,    36,                      // variant, family
        0x12, 0x67,                    // serial number
        'N',  'N',  'N', 0,            // status characters and number
        0x03,                          // gain byte
        100,  120,  90,  200, 25,      // signal 1, reference, signal 2, voltage, temperature
        80,   75,   47,  52,           // ratio 1, ratio 2, NQ ratio 1, NQ ratio 2
        30,   31,   32,                // S1/N, S2/N, R/N
        0x10, 0x02, 0,   0,   0,  0};  // gas reading (little-endian), two unused values

    StatusReply& Set(std::size_t index, std::uint8_t value) {
        bytes.at(index) = value;
        return *this;
    }
    StatusReply& Status(char c1, char c2, char c3, std::uint8_t number) {
        return Set(9, static_cast<std::uint8_t>(c1))
            .Set(10, static_cast<std::uint8_t>(c2))
            .Set(11, static_cast<std::uint8_t>(c3))
            .Set(12, number);
    }
    // Puts the reply with its CRC into the receive buffer, as an accepted reception leaves it.
    void LoadInto(Par& par) const {
        std::vector<std::uint8_t> frame = bytes;
        AppendCrc(frame);
        std::copy(frame.begin(), frame.end(), par.Link.RxBuffer.begin());
        par.Link.RxCount = static_cast<std::int16_t>(frame.size());
    }
};

Par Decode(const StatusReply& reply) {
    Par par;
    reply.LoadInto(par);
    DecodeStatusReply(par);
    return par;
}

// The colours a panel had before the reply, to see whether a rule changed them.
constexpr Rgb kBefore{1, 2, 3};
constexpr Rgb kBeforeText{4, 5, 6};

struct StatusCase {
    std::uint8_t c1;
    char c2, c3;
    std::uint8_t number;
    const char* code;
    const char* description;  // nullptr: the previous text stays
    Rgb back, fore;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.code;
}

class StatusDecodingTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusDecodingTest, SetsCodeDescriptionAndColours) {
    const StatusCase& c = GetParam();
    Par par;
    par.Main.SIL2Des = "previous";
    par.Main.StatusBack = kBefore;
    par.Main.StatusFore = kBeforeText;
    StatusReply{}.Status(static_cast<char>(c.c1), c.c2, c.c3, c.number).LoadInto(par);

    DecodeStatusReply(par);

    EXPECT_EQ(par.StatusCode, c.code);
    EXPECT_EQ(par.Main.Status, c.code);
    EXPECT_EQ(par.Main.SIL2Des, c.description ? c.description : "previous");
    EXPECT_EQ(par.Main.StatusBack, c.back);
    EXPECT_EQ(par.Main.StatusFore, c.fore);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, StatusDecodingTest,
    ::testing::Values(
        StatusCase{'N', 'N', 'N', 0, "NNN0", "Normal", kWhite, kBlack},
        StatusCase{50, 'M', 'N', 7, "OMN7", "Maintenance call for signal or ratio", kBefore,
                   kBeforeText},
        StatusCase{51, 'M', 'N', 0, "RMN0", "Maintenance call for ratio", kBefore, kBeforeText},
        StatusCase{'A', 'A', 'N', 7, "AAN7", "Alarm", kRed, kWhite},
        StatusCase{'L', 'A', 'N', 0, "LAN0", "Alarm latch", kRed, kWhite},
        StatusCase{'W', 'W', 'N', 7, "WWN7", "Warning", kYellow, kBlack},
        StatusCase{'J', 'A', 'N', 0, "JAN0", "Disturbance while Alarm", kBefore, kBeforeText},
        StatusCase{'S', 'S', 'U', 90, "SSU90", "Start up", kWhite, kBlack},
        StatusCase{'O', 'O', 'N', 39, "OON39", "4-20mA communication fail", kWhite, kBlack},
        StatusCase{'X', 'X', 'X', 7, "XXX7", "Alignment", kWhite, kBlack},
        StatusCase{'T', 'B', 'N', 0, "TBN0", "Pre Alarm", kWhite, kBlack},
        StatusCase{'I', 'O', 'N', 7, "ION7", "Saturation", kWhite, kBlack},
        StatusCase{'P', 'P', 'P', 73, "PPP73", "E2PROM CRC fail", kBefore, kBeforeText},
        // Only the first character maps the digits to letters.
        StatusCase{'N', '2', 'N', 255, "N2N255", nullptr, kBefore, kBeforeText},
        StatusCase{'A', '5', 'N', 0, "A5N0", nullptr, kBefore, kBeforeText},
        // Unknown codes show as sent and keep the previous description.
        StatusCase{'Z', 'Z', 'Z', 9, "ZZZ9", nullptr, kBefore, kBeforeText},
        StatusCase{'n', 'n', 'n', 0, "nnn0", nullptr, kBefore, kBeforeText},
        StatusCase{'A', 'A', 'N', 3, "AAN3", nullptr, kRed, kWhite}));

TEST(StatusDescription, IsExactOnTheWholeCode) {
    EXPECT_STREQ(StatusDescription("DDD"), "Disconnection");
    EXPECT_STREQ(StatusDescription("BBN3"), "4-20mA circuit fail within Block");
    EXPECT_STREQ(StatusDescription("NNN39"), "4-20mA communication error");
    EXPECT_EQ(StatusDescription("NNN00"), nullptr);
    EXPECT_EQ(StatusDescription("NNN"), nullptr);
    EXPECT_EQ(StatusDescription(""), nullptr);
}

TEST(DescribeStatus, SetsDescriptionOnlyForKnownCodes) {
    Par par;
    par.StatusCode = "DDD";
    DescribeStatus(par);
    EXPECT_EQ(par.Main.SIL2Des, "Disconnection");
    par.StatusCode = "QQQ1";
    DescribeStatus(par);
    EXPECT_EQ(par.Main.SIL2Des, "Disconnection");
}

struct ModelCase {
    int code;
    const char* name;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << std::hex << "0x" << c.code;
}

class ModelNameTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelNameTest, NamesTheModelCode) {
    EXPECT_EQ(ModelName(GetParam().code), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelNameTest,
    ::testing::Values(
        ModelCase{0x0118, "Veridan Xenon 621-2"}, ModelCase{0x0018, "Veridan Xenon 621-1"},
        ModelCase{0x0220, "Veridan Xenon 623-3"}, ModelCase{0x0021, "Veridan Ethylene 641-1"},
        ModelCase{0x0223, "Veridan Ethylene 643-3"}, ModelCase{0x0224, "Veridan LAMP 411"},
        ModelCase{0x0026, "Veridan LAMP 413"}, ModelCase{0x0030, "Talvek 880"},
        ModelCase{0x0031, "Talvek 890"},
        // Unlisted variants and families.
        ModelCase{0x0130, "Unknown Detector!"}, ModelCase{0x0231, "Unknown Detector!"},
        ModelCase{0x0318, "Unknown Detector!"}, ModelCase{0x001A, "Unknown Detector!"},
        ModelCase{0x0000, "Unknown Detector!"}));

TEST(AcceptanceTest, AcceptsEveryFamilyOfTheModelTable) {
    for (int family = 0; family < 256; ++family) {
        const bool listed = ModelName(family) != "Unknown Detector!";
        EXPECT_EQ(IsAcceptedFamily(static_cast<std::uint8_t>(family)), listed) << family;
        EXPECT_EQ(
            PassesAcceptanceTest(StatusReply{}.Set(6, static_cast<std::uint8_t>(family)).bytes),
            listed)
            << family;
    }
}

TEST(AcceptanceTest, NeedsTheMarkerAtIndexFourOrVAtIndexTen) {
    EXPECT_TRUE(PassesAcceptanceTest(StatusReply{}.bytes));
    EXPECT_TRUE(PassesAcceptanceTest(StatusReply{}.Set(4, 0).Set(10, 'V').bytes));
    EXPECT_FALSE(PassesAcceptanceTest(StatusReply{}.Set(4, 41).bytes));
    EXPECT_FALSE(PassesAcceptanceTest(StatusReply{}.Set(4, 0).Set(10, 'v').bytes));
    EXPECT_FALSE(PassesAcceptanceTest(StatusReply{}.Set(4, 42).Set(6, 26).bytes));
}

TEST(AcceptanceTest, RejectsReplyTooShortToHoldTheMarkers) {
    const std::vector<std::uint8_t> shortReply = {7, 200, 0, 0, 42, 0, 36, 0, 0, 'N'};
    EXPECT_FALSE(PassesAcceptanceTest(shortReply));
    EXPECT_FALSE(PassesAcceptanceTest({}));
}

struct OffsetCase {
    std::uint8_t family;
    std::uint8_t raw;
    const char* shown;
};

void PrintTo(const OffsetCase& c, std::ostream* os) {
    *os << "family " << int{c.family} << " raw " << int{c.raw};
}

class ZeroOffsetTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(ZeroOffsetTest, AppliesToTheThreeSignalsAndNeverGoesNegative) {
    const OffsetCase& c = GetParam();
    const Par par =
        Decode(StatusReply{}.Set(6, c.family).Set(14, c.raw).Set(15, c.raw).Set(16, c.raw));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(par.Main.ChVal[static_cast<std::size_t>(i)], c.shown) << "slot " << i;
        EXPECT_GE(par.ChannelValues[static_cast<std::size_t>(i)], 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, ZeroOffsetTest,
                         ::testing::Values(OffsetCase{33, 28, "0.00"},  // 0.549 is not above 0.56
                                           OffsetCase{36, 28, "0.40"},  // 0.549 - 0.15
                                           OffsetCase{24, 29, "0.01"}, OffsetCase{32, 28, "0.00"},
                                           OffsetCase{35, 255, "4.44"}, OffsetCase{26, 255, "4.44"},
                                           OffsetCase{36, 255, "4.85"}, OffsetCase{37, 7, "0.00"},
                                           OffsetCase{48, 8, "0.01"}));

TEST(DecodeStatusReply, FillsPanelAndDecodedValues) {
    const Par par = Decode(StatusReply{}.Set(0, 12));

    EXPECT_EQ(par.Link.ReplyAddress, 12);
    EXPECT_EQ(par.Main.DetNum, "12");
    EXPECT_EQ(par.Main.Flash, "Veridan LAMP 411");
    EXPECT_EQ(par.SerialNumber, 4711);
    EXPECT_EQ(par.Main.SeNum, "4711");
    EXPECT_EQ(par.StatusParts, (std::array<std::string, 4>{"N", "N", "N", "0"}));
    EXPECT_EQ(par.GainByte, 3);
    EXPECT_EQ(par.GainText, "3");
    EXPECT_EQ(par.Main.Gain, "3");
    // Signal 1, reference, signal 2 (less 0.15), NQ ratio 1, NQ ratio 2.
    EXPECT_EQ(par.Main.ChVal, (std::array<std::string, 5>{"1.81", "2.20", "1.61", "0.47", "0.52"}));
}

TEST(DecodeStatusReply, ScalesEachChannelSlotInSinglePrecision) {
    const Par par = Decode(StatusReply{}.Set(17, 255).Set(19, 255).Set(20, 1));
    const auto& ch = par.ChannelValues;
    EXPECT_FLOAT_EQ(ch[0], 100 / 51.0f - 0.15f);
    EXPECT_FLOAT_EQ(ch[3], 29.999985f);
    EXPECT_EQ(ch[4], 25.0f);
    EXPECT_FLOAT_EQ(ch[5], 2.55f);
    EXPECT_FLOAT_EQ(ch[6], 0.01f);
    EXPECT_FLOAT_EQ(ch[7], 0.47f);
    EXPECT_FLOAT_EQ(ch[8], 0.52f);
    EXPECT_EQ(ch[9], 30.0f);
    EXPECT_EQ(ch[10], 31.0f);
    EXPECT_EQ(ch[11], 32.0f);
    EXPECT_EQ(ch[12], 528.0f);  // 0x0210, low byte first
    EXPECT_EQ(ch[13], 0.0f);    // beyond the status reply's slots
}

TEST(DecodeStatusReply, DecodesFieldEdges) {
    EXPECT_EQ(Decode(StatusReply{}.Set(18, 0xF6)).ChannelValues[4], -10.0f);
    EXPECT_EQ(Decode(StatusReply{}.Set(18, 0x80)).ChannelValues[4], -128.0f);
    EXPECT_EQ(Decode(StatusReply{}.Set(18, 0x7F)).ChannelValues[4], 127.0f);
    EXPECT_EQ(Decode(StatusReply{}.Set(26, 0xFF).Set(27, 0xFF)).ChannelValues[12], 65535.0f);
    EXPECT_EQ(Decode(StatusReply{}.Set(13, 0x0D)).GainText, "5");
    EXPECT_EQ(Decode(StatusReply{}.Set(13, 0xF8)).Main.Gain, "0");
    EXPECT_EQ(Decode(StatusReply{}.Set(7, 0xFF).Set(8, 0xFF)).Main.SeNum, "65535");
    EXPECT_EQ(Decode(StatusReply{}.Set(7, 0).Set(8, 0)).Main.SeNum, "0");
    EXPECT_EQ(Decode(StatusReply{}.Set(0, 247)).Main.DetNum, "247");
    EXPECT_EQ(Decode(StatusReply{}.Set(21, 0).Set(22, 255)).Main.ChVal[3], "0.00");
    EXPECT_EQ(Decode(StatusReply{}.Set(21, 0).Set(22, 255)).Main.ChVal[4], "2.55");
}

TEST(SignedByte, TurnsUpperHalfNegative) {
    EXPECT_EQ(SignedByte(0), 0);
    EXPECT_EQ(SignedByte(127), 127);
    EXPECT_EQ(SignedByte(128), -128);
    EXPECT_EQ(SignedByte(0xF6), -10);
    EXPECT_EQ(SignedByte(255), -1);
}

}  // namespace
}  // namespace halvern
