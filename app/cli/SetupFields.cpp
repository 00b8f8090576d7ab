#include "cli/SetupFields.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "link/Models.h"
#include "monitor/Decoder.h"

namespace halvern::cli {

namespace {

using C = SetupControl;

const auto& kScreenOrder = SetupScreenOrder();

// One model of each family: together they have every caption and option the screen offers.
const std::vector<SetupModel>& EveryModel() {
    static const std::vector<SetupModel> models = [] {
        std::vector<SetupModel> m;
        for (const ModelEntry& entry : kModelTable)
            m.push_back({ModelName(entry.family), entry.family});
        return m;
    }();
    return models;
}

// The text as the field's option is written, when it is one; a typed "35" is kept for the
// heater temperature, which the screen also writes.
std::optional<std::string> OptionFor(C field, const SetupLayout& layout, std::string_view text) {
    for (const auto& option : WritableTexts(field, layout))
        if (NameKey(option) == NameKey(text))
            return option;
    return std::nullopt;
}

std::string List(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "none" : text;
}

void AddOnce(std::vector<std::string>& items, const std::string& item) {
    if (std::find(items.begin(), items.end(), item) == items.end())
        items.push_back(item);
}

std::string Quote(std::string_view s) {
    return "\"" + Escaped(s) + "\"";
}

// A typed field name as NameKey gives it for the caption: a JSON key stands for its caption.
std::string TypedName(std::string_view typed) {
    const std::string name = NameKey(typed);
    for (const auto& f : SetupFieldKeys())
        if (name == f.key)
            return NameKey(f.caption);
    return name;
}

}  // namespace

std::string NameKey(std::string_view name) {
    std::string key;
    bool blank = false;
    for (const char c : name) {
        if (c == ' ' || c == '\t') {
            blank = !key.empty();
            continue;
        }
        if (blank)
            key += ' ';
        blank = false;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

JsonObject SetupFieldsJson(const LabelledTexts& fields) {
    JsonObject j;
    for (const auto& f : SetupFieldKeys()) {
        const auto shown = std::find_if(fields.begin(), fields.end(), [&](const auto& field) {
            return field.first == f.caption;
        });
        if (shown == fields.end())
            j.Text(f.key, "");
        else
            j.Text(f.key, shown->second, true);
    }
    return j;
}

std::string CheckForEveryModel(const std::vector<FieldAssignment>& assignments) {
    std::vector<std::string> keys, captions;
    for (const auto& model : EveryModel())
        for (const auto& [field, caption] : ShownFields(SetupLayoutFor(model)))
            AddOnce(captions, caption);
    for (const auto& a : assignments) {
        const std::string key = TypedName(a.field);
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            return "the field " + Quote(a.field) + " is named twice";
        keys.push_back(key);
        bool named = false, shown = false, option = false, sameOptions = true;
        std::string caption;
        std::optional<std::vector<std::string>> options;
        for (const auto& model : EveryModel()) {
            const SetupLayout layout = SetupLayoutFor(model);
            for (const C f : kScreenOrder) {
                const std::string c = SetupCaption(LabelOf(f), layout);
                if (NameKey(c) != key)
                    continue;
                named = true;
                caption = c;
                if (!layout.Visible(f))
                    continue;
                shown = true;
                option = option || OptionFor(f, layout, a.text).has_value();
                const auto own = WritableTexts(f, layout);
                sameOptions = sameOptions && (!options || *options == own);
                options = own;
            }
        }
        if (!named)
            return "unknown field " + Quote(a.field) + "; the fields are: " + List(captions);
        if (!shown)
            return "the setup screen does not offer the field " + Quote(caption);
        // Options that differ by model are told once the detector's model is known.
        if (!option)
            return Quote(a.text) + " is not an option of " + Quote(caption) +
                   (sameOptions ? ": " + List(*options) : " for any detector model");
    }
    return {};
}

std::variant<SetupEdit, std::string> ApplyAssignments(
    SetupTexts texts, const SetupModel& model, const std::vector<FieldAssignment>& assignments) {
    const SetupLayout layout = SetupLayoutFor(model);
    SetupFieldSet named;
    const auto shown = ShownFields(layout);
    for (const auto& a : assignments) {
        const auto it = std::find_if(shown.begin(), shown.end(), [&](const auto& s) {
            return NameKey(s.second) == TypedName(a.field);
        });
        if (it == shown.end())
            return "the field " + Quote(a.field) + " is not shown for the " + model.name;
        const auto option = OptionFor(it->first, layout, a.text);
        if (!option)
            return Quote(a.text) + " is not an option of " + Quote(it->second) + " for the " +
                   model.name + ": " + List(WritableTexts(it->first, layout));
        texts[static_cast<std::size_t>(Index(it->first))] = *option;
        named.set(static_cast<std::size_t>(Index(it->first)));
    }
    if (const auto empty = FirstEmptyTestedField(texts, model.code)) {
        const std::string caption = SetupCaption(LabelOf(*empty), layout);
        if (!layout.Visible(*empty))
            return "the field " + Quote(caption) + " is empty and not shown for the " + model.name +
                   ": the detector holds a value for it that has no text, so the table cannot "
                   "be written";
        return "the field " + Quote(caption) +
               " is empty (the detector holds a value that has no text): give it one of " +
               List(layout.Options(*empty));
    }
    return SetupEdit{std::move(texts), named};
}

}  // namespace halvern::cli
