// The maintenance window's decoding of a status reply, as a function of its bytes.

#include "maintenance/MaintDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "link/Frame.h"
#include "monitor/Decoder.h"

namespace halvern {
namespace {

// A healthy detector's status reply; tests change the bytes they are about.
Par Decoded(std::vector<std::pair<int, std::uint8_t>> changes, bool snTest = false) {
    std::vector<std::uint8_t> rx = {7,   200, 29,   0x00, 42,   1,   24,  0x12, 0x67, 'N', 'N',
                                    'N', 0,   0x0B, 200,  190,  185, 140, 23,   98,   101, 97,
                                    99,  180, 170,  190,  0x0A, 0,   0,   0,    0,    0};
    for (const auto& [i, v] : changes)
        rx[static_cast<std::size_t>(i)] = v;
    Par par;
    std::copy(rx.begin(), rx.end(), par.Link.RxBuffer.begin());
    par.Link.RxCount = static_cast<std::int16_t>(rx.size());
    par.SnTestMode = snTest;
    DecodeMaintenanceReply(par);
    return par;
}

// The noise figures show only during the S/N test.
TEST(DecodeMaintenanceReply, ScalesTheDocumentedCasesWithItsOwnOffsetsAndVoltage) {
    struct Case {
        std::vector<std::pair<int, std::uint8_t>> changes;
        std::string MaintPanel::*field;
        const char* shown;
        bool snTest = false;
    };
    const Case cases[] = {
        {{{6, 36}, {14, 255}}, &MaintPanel::Sig1, "4.85"},
        {{{6, 36}, {15, 128}}, &MaintPanel::Ref, "2.36"},
        {{{6, 36}, {16, 0}}, &MaintPanel::Sig2, "0.00"},
        {{{6, 33}, {14, 28}}, &MaintPanel::Sig1, "0.00"},  // 0.549 is not above 0.56
        {{{6, 32}, {14, 28}}, &MaintPanel::Sig1, "0.40"},  // 32 takes 0.15 here
        {{{17, 140}}, &MaintPanel::Voltage, "24.0"},
        {{{17, 0}}, &MaintPanel::Voltage, "10.0"},
        {{{18, 0xF6}}, &MaintPanel::Temp, "-10"},
        {{{26, 0x10}, {27, 0x27}}, &MaintPanel::LEL, "10000.0"},
        {{{19, 255}}, &MaintPanel::Rat1, "2.55"},
        {{{22, 7}}, &MaintPanel::NQRat2, "0.07"},
        {{{13, 0x0F}}, &MaintPanel::Gain, "7"},
        {{{9, '2'}, {10, 'M'}, {12, 7}}, &MaintPanel::Status, "OMN7"},
        {{}, &MaintPanel::R2N, ""},
        {{}, &MaintPanel::S1N, ""},
        {{}, &MaintPanel::S2N, ""},
        {{}, &MaintPanel::R2N, "190", true},
        {{}, &MaintPanel::S1N, "180", true},
        {{}, &MaintPanel::S2N, "170", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decoded(c.changes, c.snTest).Maint.*c.field, c.shown) << c.shown;
    EXPECT_FLOAT_EQ(Decoded({}).Maint.Values[9], 180);  // decoded all the same

    // The main window decodes the same family-32 reply with 0.56.
    Par main = Decoded({{6, 32}, {14, 28}});
    DecodeStatusReply(main);
    EXPECT_EQ(main.Main.ChVal[0], "0.00");
}

// Its own figures only: the shared decoded values, which the log records take, are the main
// window's decoding's.
TEST(DecodeMaintenanceReply, FillsItsFiguresTitleAddressAndStatusColours) {
    const Par par = Decoded({{0, 12}, {10, 'W'}});
    EXPECT_EQ(par.Maint.Title, "Maintenance window of detector serial No:4711");
    EXPECT_EQ(par.Maint.Serial, 4711);
    EXPECT_EQ(par.Main.DetNum, "12");
    EXPECT_EQ(par.ModelCode, 24);
    EXPECT_EQ(par.Maint.Gain, "3");
    EXPECT_EQ(par.SerialNumber, 0);
    EXPECT_EQ(par.ChannelValues, Par{}.ChannelValues);
    EXPECT_EQ(par.Maint.Status, "NWN0");
    EXPECT_EQ(par.Maint.StatusBack, kYellow);
    EXPECT_EQ(par.Maint.StatusFore, kBlack);
    const Par alarm = Decoded({{9, 'A'}, {10, 'A'}});
    EXPECT_EQ(alarm.Maint.StatusBack, kRed);
    EXPECT_EQ(alarm.Maint.StatusFore, kWhite);
    EXPECT_EQ(Decoded({{10, 'X'}}).Maint.StatusBack, kWhite);
    EXPECT_FLOAT_EQ(par.Maint.Values[12], 10);
    EXPECT_EQ(OperatingTimeText(Decoded({{3, 1}}).Link), std::to_string(0x012A0118));
}

// A 15-byte "V" reply (status code, then its CRC) over a complete one in the buffer: the
// figures it does not reach show nothing, not the older reply's.
TEST(DecodeMaintenanceReply, AShortVReplyShowsOnlyWhatItCarries) {
    Par par = Decoded({});
    std::vector<std::uint8_t> reply(par.Link.RxBuffer.begin(), par.Link.RxBuffer.begin() + 13);
    reply[4] = 0;
    std::copy_n("VVV", 3, reply.begin() + 9);
    reply[12] = 81;
    AppendCrc(reply);
    std::copy(reply.begin(), reply.end(), par.Link.RxBuffer.begin());
    par.Link.RxCount = 15;
    ASSERT_TRUE(HoldsMaintenanceFields(reply));
    DecodeMaintenanceReply(par);
    const MaintPanel& m = par.Maint;
    EXPECT_EQ(m.Status, "VVV81");
    EXPECT_EQ(m.Title, "Maintenance window of detector serial No:4711");
    EXPECT_EQ(m.Gain + m.Sig1 + m.Ref + m.Sig2 + m.Rat1 + m.Rat2 + m.NQRat1 + m.NQRat2 + m.LEL +
                  m.Temp + m.Voltage,
              "");
    EXPECT_TRUE(std::isnan(m.Values[12]));
    reply[10] = 'N';  // no "V": a short reply is no status reply
    EXPECT_FALSE(HoldsMaintenanceFields(reply));
}

}  // namespace
}  // namespace halvern
