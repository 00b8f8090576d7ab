#pragma once
// The detector's setup table as bytes and as the option texts of the setup screen, as pure
// functions: the screen only moves texts between these functions and its fields.
//
// Two inputs choose the option sets: the model name as the main window shows it (the Talvek
// and Ethylene choices go by name) and the model family byte, ModelCode (the full-scale and
// heater choices go by code). So a detector named "Unknown Detector!" gets the name-based
// choices of an ordinary model and the code-based choices of its family.

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "link/Frame.h"
#include "link/Requests.h"

namespace halvern {

// The controls of the setup screen that depend on the model: the ten fields first, then
// their captions. The names are the controls' object names.
enum class SetupControl : std::uint8_t {
    Combo2,       // gas type or range
    Combo3,       // full scale, "500" / "200"
    cmbShort410,  // full scale of the LAMP 411, "250" / "100"
    Combo4,       // BG zero calibration
    Combo5,       // accessory relay
    Combo6,       // alarm latch
    Combo7,       // 4-20mA mode
    Combo8,       // beam block during alarm
    Combo9,       // heater mode
    Combo10,      // heater switch-on temperature
    Label4,       // "Gas Type" or "Range"
    Label5,       // "Full Scale Sensitivity"
    Label6,       // "BG Zero Calibration"
    Label7,       // "Accessory  Relay"
    Label8,       // "Alarm Latch"
    Label9,       // "4-20mA Mode"
    Label10,      // "Beam Block During Alarm Indication"
    Label11,      // "Heater Mode"
    Label12,      // "Heater ON at(C)"
};
constexpr int kSetupFieldCount = 10;
constexpr int kSetupControlCount = 19;

constexpr int Index(SetupControl c) {
    return static_cast<int>(c);
}
constexpr bool IsSetupField(SetupControl c) {
    return Index(c) < kSetupFieldCount;
}
const char* SetupControlName(SetupControl c);

// The text of every field, indexed by Index(field). Empty: the field shows nothing.
using SetupTexts = std::array<std::string, kSetupFieldCount>;

// What identifies the detector for the option sets.
struct SetupModel {
    std::string name;       // as lblFlash shows it, e.g. "Talvek 880"
    std::int16_t code = 0;  // ModelCode, the family byte
};

// How the screen looks for a model: captions, option lists and which controls show.
struct SetupLayout {
    std::string gasCaption;  // Label4: "Gas Type" or "Range"
    std::array<std::vector<std::string>, kSetupFieldCount> options;
    std::array<bool, kSetupControlCount> visible{};
    // Talvek: the heater fields move into the left column (their tops stay).
    bool heaterInLeftColumn = false;

    const std::vector<std::string>& Options(SetupControl f) const { return options[Index(f)]; }
    bool Visible(SetupControl c) const { return visible[Index(c)]; }
};
SetupLayout SetupLayoutFor(const SetupModel& model);

// Reply bytes 3, 4, 8 and 10 of a function-3 reply of registers 1-4 as the setup table.
// The function code and byte count are not checked: the screen opens only on a setup reply.
SetupTable SetupTableFromReply(std::span<const std::uint8_t> rx);
// The field texts of a setup table. A value that has no text leaves its field empty.
SetupTexts GetSetupTable(const SetupTable& table, const SetupModel& model);

// What the setup screen shows for the table: GetSetupTable's texts, and where a shown field's
// text would write another value than the one held, that text with the value held: "30 (holds
// 35)", "Ethylene (index 2)". So the technician sees what the detector holds, and picking
// the option from the list is a change that writes it. A value without any text stays empty.
SetupTexts ShownSetupTexts(const SetupTable& table, const SetupModel& model);
// Each setting as a record states it: its text when that text writes exactly the value held,
// else the value itself ("35", "index 2", "3"). Two tables' texts differ exactly where their
// settings do.
SetupTexts SettingTexts(const SetupTable& table, const SetupModel& model);

// Fields, by Index(field).
using SetupFieldSet = std::bitset<kSetupFieldCount>;
// The fields whose text differs from the text ShownSetupTexts gave them for `read`.
SetupFieldSet ChangedSetupFields(const SetupTable& read, const SetupTexts& texts,
                                 const SetupModel& model);
// The texts a field can be written from: its options, and for the heater temperature also "35".
std::vector<std::string> WritableTexts(SetupControl field, const SetupLayout& layout);

// Why a Burn is refused: `field` is a tested field that is empty, or a changed field whose
// text is none of its WritableTexts (case counts).
struct SetupRefusal {
    SetupControl field;
    bool empty = false;
};
// What a Burn writes after the table `read`: its four bytes as read, with only the settings
// of the `changed` fields encoded from their texts. So a value that has no text of its own
// (a Talvek range index 2, an Ethylene gas index 3, a heater temperature of 35 shown as "30")
// and the reserved bits survive a write of another field. Refused when a tested field is
// empty or a changed field holds a text that is not one of its options.
std::variant<SetupTable, SetupRefusal> SetupTableToBurn(const SetupTable& read,
                                                        const SetupTexts& texts,
                                                        const SetupFieldSet& changed,
                                                        const SetupModel& model);

// The fields that must not be empty for a Burn, by ModelCode, whether they show or not.
std::vector<SetupControl> TestedSetupFields(std::int16_t modelCode);
// The first tested field that is empty, if any.
std::optional<SetupControl> FirstEmptyTestedField(const SetupTexts& texts, std::int16_t modelCode);
// The label that names a field.
SetupControl LabelOf(SetupControl field);
// The caption a label shows ("Heater Mode"); Label4's depends on the model.
std::string SetupCaption(SetupControl label, const SetupLayout& layout);

// Each of the `changed` fields as "Heater Mode: ON", in the order of the fields.
std::vector<std::string> ChangedFieldTexts(const SetupFieldSet& changed, const SetupTexts& texts,
                                           const SetupLayout& layout);
// Enter closes the screen without writing: asked first when fields were changed.
std::string DiscardChangesQuestion(const std::vector<std::string>& changed);

constexpr const char* kEmptyFieldText = "Empty Field - try again!";
// The refusal of a Burn with an empty tested field: kEmptyFieldText, then a line naming the
// field, and for a hidden one why it cannot be filled here.
std::string EmptyFieldMessage(SetupControl field, const SetupLayout& layout);
constexpr const char* kNotAnOptionText = "Not an Option - try again!";
// The refusal of a Burn: EmptyFieldMessage, or kNotAnOptionText, then a line naming the field,
// the text typed and the field's options.
std::string SetupRefusalMessage(const SetupRefusal& refusal, const SetupTexts& texts,
                                const SetupLayout& layout);

}  // namespace halvern
