#include "config/SetupHistory.h"

#include <cstdio>

#include "history/ServiceEvent.h"

namespace halvern {

namespace {

constexpr std::array<SetupFieldKey, 10> kFieldKeys = {{
    {"Gas Type", "gas_type"},
    {"Range", "range"},
    {"Full Scale Sensitivity", "full_scale_sensitivity"},
    {"BG Zero Calibration", "bg_zero_calibration"},
    {"Accessory  Relay", "accessory_relay"},
    {"Alarm Latch", "alarm_latch"},
    {"4-20mA Mode", "mode_4_20ma"},  // a key that starts with a letter serves jq's .fields.KEY
    {"Beam Block During Alarm Indication", "beam_block_during_alarm_indication"},
    {"Heater Mode", "heater_mode"},
    {"Heater ON at(C)", "heater_on_at_c"},
}};

}  // namespace

std::span<const SetupFieldKey> SetupFieldKeys() {
    return kFieldKeys;
}

std::string JsonKeyOf(const std::string& caption) {
    for (const auto& f : kFieldKeys)
        if (caption == f.caption)
            return f.key;
    return {};
}

const std::array<SetupControl, kSetupFieldCount>& SetupScreenOrder() {
    using C = SetupControl;
    static constexpr std::array<C, kSetupFieldCount> order = {
        C::Combo2, C::Combo3, C::cmbShort410, C::Combo4, C::Combo5,
        C::Combo6, C::Combo7, C::Combo8,      C::Combo9, C::Combo10};
    return order;
}

std::vector<std::pair<SetupControl, std::string>> ShownFields(const SetupLayout& layout) {
    std::vector<std::pair<SetupControl, std::string>> shown;
    for (const SetupControl f : SetupScreenOrder())
        if (layout.Visible(f))
            shown.emplace_back(f, SetupCaption(LabelOf(f), layout));
    return shown;
}

LabelledTexts LabelledSetup(const SetupTexts& texts, const SetupModel& model) {
    LabelledTexts out;
    for (const auto& [field, caption] : ShownFields(SetupLayoutFor(model)))
        out.emplace_back(caption, texts[static_cast<std::size_t>(Index(field))]);
    return out;
}

std::string SetupHistoryText(const SetupTable& table, const SetupModel& model) {
    std::string text;
    for (const auto& [caption, value] : LabelledSetup(SettingTexts(table, model), model))
        text += (text.empty() ? "" : "\n") + caption + ": " + value;
    return text;
}

std::string SetupBytesText(const SetupTable& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X %02X %02X %02X", t.MeasureFlags, t.OutputFlags,
                  t.HeaterMode, t.HeaterOnTemp);
    return buf;
}

void RecordSetup(Par& par, std::uint8_t address, const SetupModel& model,
                 const std::optional<SetupTable>& before, const SetupTable& after,
                 std::optional<bool> confirmed, std::optional<int> attempts,
                 const std::string& source) {
    if (!par.History)
        return;
    ServiceEvent e = DetectorEvent(par, address, before ? kActionSetupWrite : kActionSetupRead);
    e.model = model.name;
    if (before) {
        e.before = SetupHistoryText(*before, model);
        e.rawBefore = SetupBytesText(*before);
    }
    e.after = SetupHistoryText(after, model);
    if (!source.empty())
        e.after += "\n" + source;
    e.rawAfter = SetupBytesText(after);
    e.confirmed = confirmed;
    e.attempts = attempts;
    RecordEvent(par, std::move(e));
}

}  // namespace halvern
