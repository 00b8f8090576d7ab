// The setup table between its four bytes and the texts of the setup screen.

#include "config/SetupCodec.h"

#include <gtest/gtest.h>

#include "monitor/Decoder.h"

namespace halvern {

bool operator==(const SetupTable& a, const SetupTable& b) {
    return a.MeasureFlags == b.MeasureFlags && a.OutputFlags == b.OutputFlags &&
           a.HeaterMode == b.HeaterMode && a.HeaterOnTemp == b.HeaterOnTemp;
}
void PrintTo(const SetupTable& t, std::ostream* os) {
    *os << "{" << int(t.MeasureFlags) << ", " << int(t.OutputFlags) << ", " << int(t.HeaterMode)
        << ", " << int(t.HeaterOnTemp) << "}";
}

namespace {

using C = SetupControl;

// A model as the main window names it from its family and variant bytes.
SetupModel Model(std::uint8_t family, std::uint8_t variant = 0) {
    return {ModelName(variant * 256 + family), family};
}
std::string& Text(SetupTexts& t, C f) {
    return t[static_cast<std::size_t>(Index(f))];
}

TEST(SetupCodec, DecodesTheDocumentedCasesAndWritesBackWhatTheTextsStandFor) {
    struct Case {
        const char* what;
        SetupModel model;
        SetupTable read;
        std::vector<std::pair<C, const char*>> shown, typed;  // typed: changed before writing
        SetupTable written;
    };
    const Case cases[] = {
        {"gas 1, bit 5, bit 6",
         Model(25, 1),
         {0x64, 0, 0, 0},
         {{C::Combo2, "2"}, {C::Combo3, "200"}, {C::Combo4, "DISABLE"}},
         {},
         {0x64, 0, 0, 0}},
        {"bits 0, 1 and 7 ignored",
         Model(24),
         {0x83, 0, 0, 0},
         {{C::Combo2, "1"}, {C::Combo3, "500"}, {C::Combo4, "ENABLE"}},
         {},
         {0, 0, 0, 0}},
        {"output flags and heater",
         Model(32, 2),
         {0x0C, 0x1E, 1, 20},
         {{C::Combo2, "4"},
          {C::Combo5, "EOL"},
          {C::Combo6, "YES"},
          {C::Combo7, "DESCRETE"},
          {C::Combo8, "LATCH"},
          {C::Combo9, "AUTO"},
          {C::Combo10, "20"}},
         {},
         {0x0C, 0x1E, 1, 20}},
        {"heater 2", Model(24), {0, 0, 0, 2}, {{C::Combo10, "0"}}, {}, {0, 0, 0, 0}},
        {"heater 3", Model(24), {0, 0, 0, 3}, {{C::Combo10, "5"}}, {}, {0, 0, 0, 5}},
        {"heater 27", Model(24), {0, 0, 0, 27}, {{C::Combo10, "25"}}, {}, {0, 0, 0, 25}},
        {"heater 28 to 255 is 30",
         Model(24),
         {0, 0, 0, 200},
         {{C::Combo10, "30"}},
         {},
         {0, 0, 0, 30}},
        {"typed 35 is written, 40 is not",
         Model(24),
         {0, 0, 0, 35},
         {{C::Combo10, "30"}},
         {{C::Combo10, "35"}, {C::Combo9, "on"}},
         {0, 0, 0, 35}},
        {"case counts",
         Model(24),
         {0x44, 0x05, 2, 3},
         {{C::Combo6, "YES"}},
         {{C::Combo6, "yes"}, {C::Combo4, "disable"}, {C::Combo3, "200 "}},
         {0x04, 0x01, 2, 5}},
        {"Ethylene: every index shows and writes as 0",
         Model(34, 2),
         {0x2C, 0, 0, 0},
         {{C::Combo2, "Ethylene"}},
         {},
         {0x20, 0, 0, 0}},
        {"LAMP 411: bit 5 is 100 in its own field",
         Model(36),
         {0x20, 0, 0, 0},
         {{C::cmbShort410, "100"}, {C::Combo3, ""}},
         {},
         {0x20, 0, 0, 0}},
        {"LAMP 412: bit 5 is 200",
         Model(37),
         {0x20, 0, 0, 0},
         {{C::Combo3, "200"}, {C::cmbShort410, ""}},
         {},
         {0x20, 0, 0, 0}},
        {"Talvek: hidden latch and BG zero as read, relay, loop, beam block as 0",
         Model(48),
         {0x44, 0x1E, 2, 30},
         {{C::Combo2, "Medium Long"}, {C::Combo4, "DISABLE"}, {C::Combo5, "EOL"}},
         {},
         {0x44, 0x04, 2, 30}},
        {"Talvek range 2 and 3 show 3 and 4, written as 0",
         Model(49),
         {0x0C, 0, 0, 0},
         {{C::Combo2, "4"}},
         {},
         {0, 0, 0, 0}},
        {"family 48, another variant: ordinary, no full scale",
         Model(48, 1),
         {0x2C, 0x1A, 0, 0},
         {{C::Combo2, "4"}, {C::Combo3, ""}, {C::Combo5, "EOL"}},
         {},
         {0x0C, 0x1A, 0, 0}},
        {"unlisted family: no full scale",
         {"Unknown Detector!", 26},
         {0x24, 0, 0, 0},
         {{C::Combo3, ""}, {C::cmbShort410, ""}},
         {},
         {0x04, 0, 0, 0}},
        {"values without a text: empty fields, 0",
         Model(24),
         {0x10, 0x03, 3, 0},
         {{C::Combo2, ""}, {C::Combo5, ""}, {C::Combo9, ""}},
         {},
         {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetupTexts texts = GetSetupTable(c.read, c.model);
        for (const auto& [field, text] : c.shown)
            EXPECT_EQ(Text(texts, field), text) << SetupControlName(field);
        for (const auto& [field, text] : c.typed)
            Text(texts, field) = text;
        EXPECT_EQ(EncodeSetupTable(texts, c.model), c.written);
    }
}

TEST(SetupCodec, EveryTableWithTextsSurvivesARoundTripOnEveryModel) {
    for (std::uint8_t family : {24, 25, 32, 33, 34, 35, 36, 37, 38, 48, 49}) {
        const SetupModel m = Model(family);
        const bool talvek = IsTalvekName(m.name), ethylene = IsEthyleneName(m.name);
        for (int measure = 0; measure < 256; ++measure)
            for (int output : {0x00, 0x05, 0x0A, 0x16, 0x1E}) {
                if (((measure >> 2) & 7) > 3)
                    continue;  // no text: the screen refuses to write those
                const int gas = ethylene || (talvek && (measure & 0x08)) ? 0 : talvek ? 4 : 12;
                const SetupTable read{static_cast<std::uint8_t>(measure),
                                      static_cast<std::uint8_t>(output), 2, 15};
                const SetupTable back = EncodeSetupTable(GetSetupTable(read, m), m);
                const SetupTable kept{
                    static_cast<std::uint8_t>(measure & (gas | 0x40 | (talvek ? 0 : 0x20))),
                    static_cast<std::uint8_t>(output & (talvek ? 0x04 : 0x1F)), 2, 15};
                ASSERT_EQ(back, kept) << m.name;
            }
    }
}

TEST(SetupLayout, GasByModelNameFullScaleAndHeaterByFamily) {
    struct Case {
        SetupModel model;
        const char* gasCaption;
        std::vector<std::string> gas;
        const char* shown;  // Combo3 cmbShort410 Label5 Combo4 Label6 Combo5 Combo6 Combo9 Combo10
        bool heaterLeft;
    };
    const std::vector<std::string> digits{"1", "2", "3", "4"};
    const Case cases[] = {
        {Model(24), "Gas Type", digits, "101111111", false},
        {Model(34, 2), "Gas Type", {"Ethylene"}, "101111111", false},
        {Model(36), "Gas Type", digits, "011111100", false},
        {Model(37), "Gas Type", digits, "101111100", false},
        {Model(49), "Range", {"Short", "Medium Long"}, "000000011", true},
        {Model(48, 1), "Gas Type", digits, "001111111", false},  // a label with no field
        {{"Unknown Detector!", 0}, "Gas Type", digits, "101111111", false},
    };
    for (const auto& c : cases) {
        const SetupLayout l = SetupLayoutFor(c.model);
        std::string shown;
        for (C ctl : {C::Combo3, C::cmbShort410, C::Label5, C::Combo4, C::Label6, C::Combo5,
                      C::Combo6, C::Combo9, C::Combo10})
            shown += l.Visible(ctl) ? "1" : "0";
        EXPECT_EQ(shown, c.shown) << c.model.name;
        EXPECT_EQ(l.gasCaption, c.gasCaption);
        EXPECT_EQ(l.Options(C::Combo2), c.gas);
        EXPECT_EQ(l.heaterInLeftColumn, c.heaterLeft);
        for (C never : {C::Label9, C::Combo7, C::Label10, C::Combo8})
            EXPECT_FALSE(l.Visible(never));
    }
    EXPECT_EQ(SetupLayoutFor(Model(36)).Options(C::cmbShort410),
              (std::vector<std::string>{"250", "100"}));
    EXPECT_TRUE(SetupLayoutFor({"Unknown Detector!", 0}).Options(C::Combo3).empty());
}

TEST(SetupLayout, BurnTestsHiddenFieldsTooAndNamesTheEmptyOne) {
    EXPECT_EQ(TestedSetupFields(36), (std::vector<C>{C::Combo2, C::cmbShort410, C::Combo4,
                                                     C::Combo5, C::Combo6, C::Combo9, C::Combo10}));
    EXPECT_EQ(TestedSetupFields(48).size(), 6u);
    EXPECT_TRUE(TestedSetupFields(26).empty());
    // A LAMP 412 whose heater mode reads 3: hidden, empty, and in the way of every Burn.
    SetupTexts texts = GetSetupTable({0x04, 0x01, 3, 10}, Model(37));
    EXPECT_EQ(FirstEmptyTestedField(texts, 37), C::Combo9);
    const std::string message = EmptyFieldMessage(C::Combo9, SetupLayoutFor(Model(37)));
    EXPECT_EQ(message.rfind("Empty Field - try again!\nThe field \"Heater Mode\" is empty.", 0),
              0u);
    EXPECT_NE(message.find("not shown"), std::string::npos);
    Text(texts, C::Combo9) = " ";  // a space is a text: it passes, and writes 0
    EXPECT_FALSE(FirstEmptyTestedField(texts, 37));
    EXPECT_EQ(EmptyFieldMessage(C::Combo2, SetupLayoutFor(Model(48))),
              "Empty Field - try again!\nThe field \"Range\" is empty.");
}

}  // namespace
}  // namespace halvern
