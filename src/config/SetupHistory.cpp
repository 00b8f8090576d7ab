#include "config/SetupHistory.h"

#include <cstdio>

#include "history/ServiceEvent.h"

namespace halvern {

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
                 std::optional<bool> confirmed, std::optional<int> attempts) {
    if (!par.History)
        return;
    ServiceEvent e = DetectorEvent(par, address, before ? kActionSetupWrite : kActionSetupRead);
    e.model = model.name;
    if (before) {
        e.before = SetupHistoryText(*before, model);
        e.rawBefore = SetupBytesText(*before);
    }
    e.after = SetupHistoryText(after, model);
    e.rawAfter = SetupBytesText(after);
    e.confirmed = confirmed;
    e.attempts = attempts;
    RecordEvent(par, std::move(e));
}

}  // namespace halvern
