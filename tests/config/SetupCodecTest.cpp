// The setup table between its four bytes and the texts of the setup screen.

#include "config/SetupCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <variant>

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
SetupModel Unlisted(std::int16_t family) {
    return {"Unknown Detector!", family};
}
std::string& Text(SetupTexts& t, C f) {
    return t[static_cast<std::size_t>(Index(f))];
}
SetupTable T(int measure = 0, int output = 0, int heater = 0, int temp = 0) {
    return {std::uint8_t(measure), std::uint8_t(output), std::uint8_t(heater), std::uint8_t(temp)};
}
SetupRefusal No(C field, bool empty = false) {
    return {field, empty};
}
// "Combo2=2|Combo3=200": fields by their control names, with their texts.
std::vector<std::pair<C, std::string>> Fields(const std::string& spec) {
    std::vector<std::pair<C, std::string>> out;
    for (std::size_t at = 0; at < spec.size();) {
        const std::size_t bar = std::min(spec.find('|', at), spec.size());
        const std::size_t eq = spec.find('=', at);
        const std::string name = spec.substr(at, eq - at);
        for (int i = 0; i < kSetupFieldCount; ++i)
            if (name == SetupControlName(C(i)))
                out.emplace_back(C(i), spec.substr(eq + 1, bar - eq - 1));
        at = bar + 1;
    }
    EXPECT_EQ(out.size(), spec.empty() ? 0u : std::count(spec.begin(), spec.end(), '|') + 1u);
    return out;
}

// What the screen shows of a table read, and what a Burn writes after the texts typed: the
// settings of the fields changed, everything else as read. Or the Burn is refused, naming an
// empty tested field first, then a changed text that is none of its options.
TEST(SetupCodec, DecodesTheTableAndBurnsOnlyTheSettingsOfTheFieldsChanged) {
    struct Case {
        const char* what;
        SetupModel model;
        SetupTable read;
        std::string shown, typed;  // typed: changed before the Burn
        std::variant<SetupTable, SetupRefusal> burnt;
    };
    const Case cases[] = {
        {"gas 1, bit 5, bit 6", Model(25, 1), T(0x64, 0, 0, 0),
         "Combo2=2|Combo3=200|Combo4=DISABLE", "", T(0x64, 0, 0, 0)},
        {"bits 0, 1 and 7 are not shown and kept; changed fields are encoded", Model(24),
         T(0x83, 0, 0, 0), "Combo2=1|Combo3=500|Combo4=ENABLE", "Combo2=3|Combo4=DISABLE",
         T(0xCB, 0, 0, 0)},
        {"output flags and heater", Model(32, 2), T(0x0C, 0x1E, 1, 20),
         "Combo2=4|Combo5=EOL|Combo6=YES|Combo7=DESCRETE|Combo8=LATCH|Combo9=AUTO|Combo10=20", "",
         T(0x0C, 0x1E, 1, 20)},
        {"output bits 5-7 kept, relay changed", Model(24), T(0, 0xE1, 0, 0), "Combo5=ALARM",
         "Combo5=EOL", T(0, 0xE2, 0, 0)},
        {"heater 2", Model(24), T(0, 0, 0, 2), "Combo10=0", "", T(0, 0, 0, 2)},
        {"heater 3", Model(24), T(0, 0, 0, 3), "Combo10=5", "", T(0, 0, 0, 3)},
        {"heater 27", Model(24), T(0, 0, 0, 27), "Combo10=25", "", T(0, 0, 0, 27)},
        {"heater 28 to 255 shows 30, kept", Model(24), T(0, 0, 0, 200), "Combo10=30", "",
         T(0, 0, 0, 200)},
        {"heater 35 kept when the alarm latch changes", Model(24, 1), T(0x24, 0x01, 2, 35),
         "Combo10=30|Combo6=NO", "Combo6=YES", T(0x24, 0x05, 2, 35)},
        {"a text put back as it showed is no change", Model(24), T(0, 0, 1, 35), "Combo10=30",
         "Combo10=30", T(0, 0, 1, 35)},
        {"typed 35 is written", Model(24), T(0, 0, 0, 20), "", "Combo10=35", T(0, 0, 0, 35)},
        {"heater mode and temperature chosen", Model(38), T(0, 0, 0, 35), "",
         "Combo9=ON|Combo10=15", T(0, 0, 2, 15)},
        {"Ethylene: every index shows Ethylene, kept", Model(34, 2), T(0x2C, 0, 0, 0),
         "Combo2=Ethylene", "", T(0x2C, 0, 0, 0)},
        {"Ethylene index 2 kept when the alarm latch changes", Model(33), T(0x08, 0, 0, 10),
         "Combo2=Ethylene", "Combo6=YES", T(0x08, 0x04, 0, 10)},
        {"LAMP 411: bit 5 is 100 in its own field", Model(36), T(0, 0, 0, 0),
         "cmbShort410=250|Combo3=", "cmbShort410=100", T(0x20, 0, 0, 0)},
        {"LAMP 412: bit 5 is 200", Model(37), T(0x20, 0, 0, 0),
         "Combo3=200|cmbShort410=", "Combo3=500", T(0, 0, 0, 0)},
        {"Talvek: hidden relay, loop and beam block kept", Model(48), T(0x44, 0x1E, 2, 30),
         "Combo2=Medium Long|Combo4=DISABLE|Combo5=EOL", "Combo9=OFF", T(0x44, 0x1E, 0, 30)},
        {"Talvek range index 2 shows 3 and is kept when the heater mode changes", Model(48),
         T(0x48, 0x04, 1, 35), "Combo2=3|Combo9=AUTO|Combo10=30", "Combo9=ON",
         T(0x48, 0x04, 2, 35)},
        {"Talvek range changed: bits 2-4 as the new index", Model(49), T(0x0C, 0, 0, 0), "Combo2=4",
         "Combo2=Medium Long", T(0x04, 0, 0, 0)},
        {"family 48, another variant: ordinary, bit 5 kept", Model(48, 1), T(0x2C, 0x1A, 0, 0),
         "Combo2=4|Combo3=|Combo5=EOL", "Combo2=1", T(0x20, 0x1A, 0, 0)},
        {"unlisted family: no full scale, kept", Unlisted(26), T(0x24, 0, 0, 0),
         "Combo3=|cmbShort410=", "", T(0x24, 0, 0, 0)},
        {"other capitals", Model(24), T(), "", "Combo9=on", No(C::Combo9)},
        {"yes for YES", Model(24), T(), "", "Combo6=yes", No(C::Combo6)},
        {"a blank after", Model(24), T(), "", "Combo3=200 ", No(C::Combo3)},
        {"a single space", Model(24), T(), "", "Combo4= ", No(C::Combo4)},
        {"40 degrees", Model(24), T(), "", "Combo10=40", No(C::Combo10)},
        {"Talvek: 3 shows for index 2, but is no range", Model(48), T(), "", "Combo2=3",
         No(C::Combo2)},
        {"Ethylene: a digit", Model(35), T(), "", "Combo2=1", No(C::Combo2)},
        // A space in a hidden field is a text: it is no option, not empty.
        {"LAMP 412, hidden heater mode", Model(37), T(0x04, 0x01, 3, 10), "",
         "Combo9= ", No(C::Combo9)},
        {"emptied", Model(24), T(), "", "Combo6=", No(C::Combo6, true)},
        {"values without a text", Model(24), T(0x10, 0x03, 3, 0), "", "", No(C::Combo2, true)},
        {"empty before wrong", Model(24), T(0, 0, 3, 0), "", "Combo2=x", No(C::Combo9, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetupTexts texts = GetSetupTable(c.read, c.model);
        for (const auto& [field, text] : Fields(c.shown))
            EXPECT_EQ(Text(texts, field), text) << SetupControlName(field);
        for (const auto& [field, text] : Fields(c.typed))
            Text(texts, field) = text;
        const auto burnt =
            SetupTableToBurn(c.read, texts, ChangedSetupFields(c.read, texts, c.model), c.model);
        ASSERT_EQ(burnt.index(), c.burnt.index());
        if (const auto* table = std::get_if<SetupTable>(&c.burnt)) {
            EXPECT_EQ(std::get<SetupTable>(burnt), *table);
        } else {
            const SetupRefusal& refusal = std::get<SetupRefusal>(c.burnt);
            EXPECT_EQ(SetupControlName(std::get<SetupRefusal>(burnt).field),
                      SetupControlName(refusal.field));
            EXPECT_EQ(std::get<SetupRefusal>(burnt).empty, refusal.empty);
        }
    }
    // The window's message for "7" in Heater ON at(C), and for an empty field.
    SetupTexts texts = GetSetupTable({}, Model(24));
    Text(texts, C::Combo10) = "7";
    const SetupLayout layout = SetupLayoutFor(Model(24));
    EXPECT_EQ(SetupRefusalMessage({C::Combo10, false}, texts, layout),
              "Not an Option - try again!\nThe field \"Heater ON at(C)\" does not offer \"7\". Its "
              "options are: 0, 5, 10, 15, 20, 25, 30, 35.");
    EXPECT_EQ(SetupRefusalMessage({C::Combo6, true}, texts, layout),
              EmptyFieldMessage(C::Combo6, layout));
    EXPECT_EQ(EmptyFieldMessage(C::Combo2, SetupLayoutFor(Model(48))),
              "Empty Field - try again!\nThe field \"Range\" is empty.");
}

TEST(SetupCodec, ABurnOfNoChangeWritesEveryTableBackAsReadOnEveryModel) {
    for (std::uint8_t family : {24, 25, 32, 33, 34, 35, 36, 37, 38, 48, 49}) {
        const SetupModel m = Model(family);
        for (int measure = 0; measure < 256; ++measure)
            for (int output : {0x00, 0x05, 0x0A, 0x13, 0xF6})
                for (int heater : {0, 2, 3})
                    for (int temp : {13, 35}) {
                        const SetupTable read{
                            static_cast<std::uint8_t>(measure), static_cast<std::uint8_t>(output),
                            static_cast<std::uint8_t>(heater), static_cast<std::uint8_t>(temp)};
                        // Refused only for a value without text in a tested field.
                        const bool refused =
                            ((measure >> 2) & 7) > 3 || (output & 3) == 3 || heater > 2;
                        const auto burnt =
                            SetupTableToBurn(read, GetSetupTable(read, m), SetupFieldSet(), m);
                        ASSERT_EQ(std::holds_alternative<SetupRefusal>(burnt), refused) << m.name;
                        if (!refused) {
                            ASSERT_EQ(std::get<SetupTable>(burnt), read) << m.name;
                        }
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
        {Unlisted(0), "Gas Type", digits, "101111111", false},
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
    EXPECT_TRUE(SetupLayoutFor(Unlisted(0)).Options(C::Combo3).empty());
}

TEST(SetupLayout, BurnTestsHiddenFieldsToo) {
    EXPECT_EQ(TestedSetupFields(36), (std::vector<C>{C::Combo2, C::cmbShort410, C::Combo4,
                                                     C::Combo5, C::Combo6, C::Combo9, C::Combo10}));
    EXPECT_EQ(TestedSetupFields(48).size(), 6u);
    EXPECT_TRUE(TestedSetupFields(26).empty());
}

}  // namespace
}  // namespace halvern
