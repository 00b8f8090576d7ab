// The setup table between its four bytes and the texts of the setup screen.

#include "config/SetupCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <variant>

#include "monitor/Decoder.h"

namespace halvern {

namespace {

using C = SetupControl;

// A table as its four bytes, compared and printed as such.
std::array<int, 4> Bytes(const SetupTable& t) {
    return {t.MeasureFlags, t.OutputFlags, t.HeaterMode, t.HeaterOnTemp};
}

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
// "Combo2=2|Combo3=200": fields by their control names, with their texts.
std::vector<std::pair<C, std::string>> Fields(const std::string& row) {
    std::vector<std::pair<C, std::string>> out;
    std::istringstream in(row);
    for (std::string item; std::getline(in, item, '|');)
        for (int i = 0; i < kSetupFieldCount; ++i)
            if (item.rfind(SetupControlName(C(i)) + std::string("="), 0) == 0)
                out.emplace_back(C(i), item.substr(item.find('=') + 1));
    EXPECT_EQ(out.size(), row.empty() ? 0u : std::count(row.begin(), row.end(), '|') + 1u);
    return out;
}

// What the screen shows of a table read, and what a Burn writes after the texts typed: the
// settings of the fields changed, everything else as read. Or the Burn is refused, naming an
// empty tested field first, then a changed text that is none of its options.
TEST(SetupCodec, DecodesTheTableAndBurnsOnlyTheSettingsOfTheFieldsChanged) {
    const struct {
        SetupModel model;
        SetupTable read;
        std::string shown, typed;  // typed: changed before the Burn
        std::variant<SetupTable, SetupRefusal> burnt;
    } cases[] = {
        // Gas 1, bit 5, bit 6.
        {Model(25, 1), T(0x64), "Combo2=2|Combo3=200|Combo4=DISABLE", "", T(0x64)},
        // Bits 0, 1 and 7 are not shown and kept; changed fields are encoded.
        {Model(24), T(0x83), "Combo2=1|Combo3=500|Combo4=ENABLE", "Combo2=3|Combo4=DISABLE",
         T(0xCB)},
        // Output flags and heater.
        {Model(32, 2), T(0x0C, 0x1E, 1, 20),
         "Combo2=4|Combo5=EOL|Combo6=YES|Combo7=DESCRETE|Combo8=LATCH|Combo9=AUTO|Combo10=20", "",
         T(0x0C, 0x1E, 1, 20)},
        // Output bits 5-7 kept, relay changed.
        {Model(24), T(0, 0xE1), "Combo5=ALARM", "Combo5=EOL", T(0, 0xE2)},
        // The heater temperature shows to the nearest 5, up to 30, with what it holds when
        // that is another value; kept as read.
        {Model(24), T(0, 0, 0, 2), "Combo10=0 (holds 2)", "", T(0, 0, 0, 2)},
        {Model(24), T(0, 0, 0, 3), "Combo10=5 (holds 3)", "", T(0, 0, 0, 3)},
        {Model(24), T(0, 0, 0, 25), "Combo10=25", "", T(0, 0, 0, 25)},
        {Model(24), T(0, 0, 0, 200), "Combo10=30 (holds 200)", "", T(0, 0, 0, 200)},
        // Heater 35 kept when the alarm latch changes.
        {Model(24, 1), T(0x24, 0x01, 2, 35), "Combo10=30 (holds 35)|Combo6=NO", "Combo6=YES",
         T(0x24, 0x05, 2, 35)},
        // A text put back as it showed is no change; the option 30 picked is written, as is
        // a typed 35.
        {Model(24), T(0, 0, 1, 35), "", "Combo10=30 (holds 35)", T(0, 0, 1, 35)},
        {Model(24), T(0, 0, 1, 35), "", "Combo10=30", T(0, 0, 1, 30)},
        {Model(24), T(0, 0, 0, 20), "", "Combo10=35", T(0, 0, 0, 35)},
        {Model(38), T(0, 0, 0, 35), "", "Combo9=ON|Combo10=15", T(0, 0, 2, 15)},
        // Ethylene: every index shows Ethylene (and which one it holds) and is kept, also when
        // the alarm latch changes; Ethylene picked is index 0.
        {Model(34, 2), T(0x2C), "Combo2=Ethylene (index 3)", "", T(0x2C)},
        {Model(33), T(0x08, 0, 0, 10), "Combo2=Ethylene (index 2)", "Combo6=YES",
         T(0x08, 0x04, 0, 10)},
        {Model(33), T(0x08), "", "Combo2=Ethylene", T(0x00)},
        // LAMP 411: bit 5 is 100 in its own field; LAMP 412: bit 5 is 200.
        {Model(36), T(), "cmbShort410=250|Combo3=", "cmbShort410=100", T(0x20)},
        {Model(37), T(0x20), "Combo3=200|cmbShort410=", "Combo3=500", T()},
        // Talvek: hidden relay, loop and beam block kept; range index 2 shows 3 and is kept
        // when the heater mode changes; a changed range is bits 2-4 as the new index.
        {Model(48), T(0x44, 0x1E, 2, 30), "Combo2=Medium Long|Combo4=DISABLE|Combo5=EOL",
         "Combo9=OFF", T(0x44, 0x1E, 0, 30)},
        {Model(48), T(0x48, 0x04, 1, 35), "Combo2=3 (index 2)|Combo9=AUTO|Combo10=30 (holds 35)",
         "Combo9=ON", T(0x48, 0x04, 2, 35)},
        {Model(49), T(0x0C), "Combo2=4 (index 3)", "Combo2=Medium Long", T(0x04)},
        // Family 48, another variant: ordinary, bit 5 kept. An unlisted family: no full scale.
        {Model(48, 1), T(0x2C, 0x1A), "Combo2=4|Combo3=|Combo5=EOL", "Combo2=1", T(0x20, 0x1A)},
        {Unlisted(26), T(0x24), "Combo3=|cmbShort410=", "", T(0x24)},
        // Refused: other capitals, a blank after, 40 degrees, Talvek's 3 (shown for index 2,
        // but no range), a digit for Ethylene, a space in a hidden field (a text, not empty).
        {Model(24), T(), "", "Combo9=on", SetupRefusal{C::Combo9}},
        {Model(24), T(), "", "Combo3=200 ", SetupRefusal{C::Combo3}},
        {Model(24), T(), "", "Combo10=40", SetupRefusal{C::Combo10}},
        {Model(48), T(), "", "Combo2=3", SetupRefusal{C::Combo2}},
        {Model(35), T(), "", "Combo2=1", SetupRefusal{C::Combo2}},
        {Model(37), T(0x04, 0x01, 3, 10), "", "Combo9= ", SetupRefusal{C::Combo9}},
        // Emptied, values without a text, and empty before wrong.
        {Model(24), T(), "", "Combo6=", SetupRefusal{C::Combo6, true}},
        {Model(24), T(0x10, 0x03, 3, 0), "", "", SetupRefusal{C::Combo2, true}},
        {Model(24), T(0, 0, 3, 0), "", "Combo2=x", SetupRefusal{C::Combo9, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        SetupTexts texts = ShownSetupTexts(c.read, c.model);
        for (const auto& [field, text] : Fields(c.shown))
            EXPECT_EQ(Text(texts, field), text) << SetupControlName(field);
        for (const auto& [field, text] : Fields(c.typed))
            Text(texts, field) = text;
        const auto burnt =
            SetupTableToBurn(c.read, texts, ChangedSetupFields(c.read, texts, c.model), c.model);
        ASSERT_EQ(burnt.index(), c.burnt.index());
        if (const auto* table = std::get_if<SetupTable>(&c.burnt)) {
            EXPECT_EQ(Bytes(std::get<SetupTable>(burnt)), Bytes(*table));
        } else {
            const auto &got = std::get<SetupRefusal>(burnt),
                       &want = std::get<SetupRefusal>(c.burnt);
            EXPECT_EQ(std::pair(std::string(SetupControlName(got.field)), got.empty),
                      std::pair(std::string(SetupControlName(want.field)), want.empty));
        }
    }
    // The messages for an empty field, shown or not.
    EXPECT_EQ(EmptyFieldMessage(C::Combo2, SetupLayoutFor(Model(48))),
              "Empty Field - try again!\nThe field \"Range\" is empty.");
    const std::string hidden = EmptyFieldMessage(C::Combo9, SetupLayoutFor(Model(37)));
    EXPECT_EQ(hidden.rfind("Empty Field - try again!\nThe field \"Heater Mode\" is empty.", 0), 0u);
    EXPECT_NE(hidden.find("not shown"), std::string::npos) << hidden;
}

// A record states each setting as held: its text where that text writes exactly the value,
// else the value itself, so that two tables' texts differ exactly where their bytes do.
TEST(SettingTexts, StateTheValueWhereTheTextWouldWriteAnother) {
    const struct {
        SetupModel model;
        SetupTable table;
        std::string texts;
    } cases[] = {
        {Model(24), T(0, 0, 1, 35), "Combo10=35|Combo9=AUTO"},
        {Model(24), T(0, 0, 1, 30), "Combo10=30"},
        {Model(24), T(0x14, 3, 7, 2), "Combo2=index 5|Combo5=3|Combo9=7|Combo10=2"},
        {Model(34, 2), T(0x2C), "Combo2=index 3"},
        {Model(34, 2), T(0x20), "Combo2=Ethylene|Combo3=200"},
        {Model(48), T(0x08), "Combo2=index 2"},
        {Model(48), T(0x04), "Combo2=Medium Long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        SetupTexts texts = SettingTexts(c.table, c.model);
        for (const auto& [field, text] : Fields(c.texts))
            EXPECT_EQ(Text(texts, field), text) << SetupControlName(field);
    }
}

// Which fields a model shows (Combo3 cmbShort410 Label5 Combo4 Label6 Combo5 Combo6 Combo9
// Combo10), its gas options, and which fields a Burn tests, shown or not.
TEST(SetupLayout, GasByModelNameFullScaleAndHeaterByFamily) {
    const std::vector<std::string> digits{"1", "2", "3", "4"};
    const std::tuple<SetupModel, std::vector<std::string>, const char*> cases[] = {
        {Model(24), digits, "101111111"},
        {Model(36), digits, "011111100"},
        {Model(37), digits, "101111100"},
        {Model(49), {"Short", "Medium Long"}, "000000011"},
        {Model(48, 1), digits, "001111111"}};  // a label with no field
    for (const auto& [model, gas, visible] : cases) {
        const SetupLayout l = SetupLayoutFor(model);
        std::string shown;
        for (C ctl : {C::Combo3, C::cmbShort410, C::Label5, C::Combo4, C::Label6, C::Combo5,
                      C::Combo6, C::Combo9, C::Combo10})
            shown += l.Visible(ctl) ? "1" : "0";
        EXPECT_EQ(shown, visible) << model.name;
        EXPECT_EQ(l.Options(C::Combo2), gas) << model.name;
    }
    EXPECT_EQ(TestedSetupFields(36), (std::vector<C>{C::Combo2, C::cmbShort410, C::Combo4,
                                                     C::Combo5, C::Combo6, C::Combo9, C::Combo10}));
    EXPECT_EQ(TestedSetupFields(48).size(), 6u);
    EXPECT_TRUE(TestedSetupFields(26).empty());
}

}  // namespace
}  // namespace halvern
