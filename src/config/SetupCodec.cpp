#include "config/SetupCodec.h"

#include <algorithm>

#include "link/Layouts.h"
#include "monitor/Decoder.h"

namespace halvern {

namespace {

using C = SetupControl;

constexpr std::array<const char*, kSetupControlCount> kControlNames = {
    "Combo2", "Combo3", "cmbShort410", "Combo4",  "Combo5", "Combo6", "Combo7",
    "Combo8", "Combo9", "Combo10",     "Label4",  "Label5", "Label6", "Label7",
    "Label8", "Label9", "Label10",     "Label11", "Label12"};

// Option texts in list order; a text's position is its value (or its index).
const std::vector<std::string> kDigitsGas = {"1", "2", "3", "4"};
const std::vector<std::string> kTalvekRange = {"Short", "Medium Long"};
const std::vector<std::string> kEthylene = {"Ethylene"};
const std::vector<std::string> kFullScale = {"500", "200"};      // bit 5 clear, set
const std::vector<std::string> kFullScale410 = {"250", "100"};   // bit 5 clear, set
const std::vector<std::string> kBgZero = {"ENABLE", "DISABLE"};  // bit 6 clear, set
const std::vector<std::string> kRelay = {"WARNING", "ALARM", "EOL"};
const std::vector<std::string> kLatch = {"NO", "YES"};
const std::vector<std::string> kLoopMode = {"CONTINUO", "DESCRETE"};      // bit 3 clear, set
const std::vector<std::string> kLoopModeList = {"DESCRETE", "CONTINUO"};  // as the list shows
const std::vector<std::string> kBeamBlock = {"NO LATCH", "LATCH"};
const std::vector<std::string> kHeaterMode = {"OFF", "AUTO", "ON"};
const std::vector<std::string> kHeaterTempList = {"0", "5", "10", "15", "20", "25", "30"};

// Families whose full scale is "500" / "200" in Combo3.
bool HasCombo3FullScale(std::int16_t code) {
    switch (code) {
        case kXenon621:
        case kXenon622:
        case kXenon623:
        case kEthylene641:
        case kEthylene642:
        case kEthylene643:
        case kLamp412:
        case kLamp413:
            return true;
        default:
            return false;
    }
}

bool IsTalvekCode(std::int16_t code) {
    return code == kTalvek880 || code == kTalvek890;
}

bool HeaterHidden(std::int16_t code) {
    return code == kLamp411 || code == kLamp412;
}

// The position of text in options, when it is one of them (exact, case-sensitive).
std::optional<int> Position(const std::vector<std::string>& options, const std::string& text) {
    const auto it = std::find(options.begin(), options.end(), text);
    if (it == options.end())
        return std::nullopt;
    return static_cast<int>(it - options.begin());
}

// The value of text among options, or 0 when it is none of them.
int ValueOf(const std::vector<std::string>& options, const std::string& text) {
    return Position(options, text).value_or(0);
}

// The text for value v, or empty when v has none.
std::string TextOf(const std::vector<std::string>& options, int v) {
    return v >= 0 && v < static_cast<int>(options.size()) ? options[static_cast<std::size_t>(v)]
                                                          : std::string();
}

bool Bit(std::uint8_t byte, int bit) {
    return (byte >> bit) & 1;
}

// Where each field's setting sits in the table: a byte (0 MeasureFlags, 1 OutputFlags,
// 2 HeaterMode, 3 HeaterOnTemp) and its bits. Both full-scale fields own bit 5: the model
// decides which one it is written from.
struct SettingBits {
    int byte;
    std::uint8_t mask;
};
constexpr std::array<SettingBits, kSetupFieldCount> kSettingBits = {{
    {0, 0x1C},  // Combo2: gas index, bits 2-4
    {0, 0x20},  // Combo3: full scale
    {0, 0x20},  // cmbShort410: full scale
    {0, 0x40},  // Combo4: BG zero
    {1, 0x03},  // Combo5: accessory relay
    {1, 0x04},  // Combo6: alarm latch
    {1, 0x08},  // Combo7: 4-20mA mode
    {1, 0x10},  // Combo8: beam block
    {2, 0xFF},  // Combo9: heater mode
    {3, 0xFF},  // Combo10: heater temperature
}};

template <typename Table>  // SetupTable or const SetupTable
auto& ByteOf(Table& t, int byte) {
    switch (byte) {
        case 0:
            return t.MeasureFlags;
        case 1:
            return t.OutputFlags;
        case 2:
            return t.HeaterMode;
        default:
            return t.HeaterOnTemp;
    }
}

// Every setting from its field's text; the Talvek models have no accessory relay, current-loop
// or beam-block setting and no full scale, written 0. A Burn takes from this only the settings
// of the fields that changed, after checking their texts.
SetupTable EncodeSetupTable(const SetupTexts& texts, const SetupModel& model) {
    const auto text = [&](C f) -> const std::string& {
        return texts[static_cast<std::size_t>(Index(f))];
    };
    const bool talvek = IsTalvekName(model.name);

    // Gas index times 4: already in place for bits 2-4. "Ethylene" is always index 0.
    const int gas = talvek ? ValueOf(kTalvekRange, text(C::Combo2)) * 4
                           : ValueOf(kDigitsGas, text(C::Combo2)) * 4;
    int fullScale = 0;
    if (!talvek) {
        fullScale = HasCombo3FullScale(model.code) ? ValueOf(kFullScale, text(C::Combo3))
                                                   : ValueOf(kFullScale410, text(C::cmbShort410));
        fullScale *= 32;
    }
    const int bgZero = ValueOf(kBgZero, text(C::Combo4)) * 64;

    const int relay = talvek ? 0 : ValueOf(kRelay, text(C::Combo5));
    const int latch = ValueOf(kLatch, text(C::Combo6)) * 4;
    const int loopMode = talvek ? 0 : ValueOf(kLoopMode, text(C::Combo7)) * 8;
    const int beamBlock = talvek ? 0 : ValueOf(kBeamBlock, text(C::Combo8)) * 16;

    SetupTable t;
    t.MeasureFlags = static_cast<std::uint8_t>(gas + fullScale + bgZero);
    t.OutputFlags = static_cast<std::uint8_t>(relay + latch + loopMode + beamBlock);
    t.HeaterMode = static_cast<std::uint8_t>(ValueOf(kHeaterMode, text(C::Combo9)));
    // "35" is not in the list, but a typed "35" is written as 35.
    const auto temp = Position(kHeaterTempList, text(C::Combo10));
    t.HeaterOnTemp = static_cast<std::uint8_t>(temp                       ? *temp * 5
                                               : text(C::Combo10) == "35" ? 35
                                                                          : 0);
    return t;
}

// The value a field's setting holds, as a text: the gas setting is an index ("index 2"), the
// others their number ("35").
std::string ValueText(const SetupTable& t, int field) {
    const auto [byte, mask] = kSettingBits[static_cast<std::size_t>(field)];
    int value = ByteOf(t, byte) & mask;
    for (std::uint8_t m = mask; !(m & 1); m >>= 1)
        value >>= 1;
    return (field == Index(C::Combo2) ? "index " : "") + std::to_string(value);
}

// The fields whose text, written, would give the setting another value than the one held.
SetupFieldSet TextsMissingValue(const SetupTable& t, const SetupTexts& texts,
                                const SetupModel& model) {
    const SetupTable written = EncodeSetupTable(texts, model);
    SetupFieldSet missing;
    for (int i = 0; i < kSetupFieldCount; ++i) {
        const auto [byte, mask] = kSettingBits[static_cast<std::size_t>(i)];
        missing[static_cast<std::size_t>(i)] =
            (ByteOf(written, byte) & mask) != (ByteOf(t, byte) & mask);
    }
    return missing;
}

}  // namespace

const char* SetupControlName(SetupControl c) {
    return kControlNames[static_cast<std::size_t>(Index(c))];
}

SetupLayout SetupLayoutFor(const SetupModel& model) {
    SetupLayout l;
    l.visible.fill(true);
    const auto show = [&](C c, bool on) { l.visible[static_cast<std::size_t>(Index(c))] = on; };
    const auto options = [&](C f) -> std::vector<std::string>& {
        return l.options[static_cast<std::size_t>(Index(f))];
    };
    show(C::cmbShort410, false);

    l.gasCaption = "Gas Type";
    if (IsTalvekName(model.name)) {
        l.gasCaption = "Range";
        options(C::Combo2) = kTalvekRange;
    } else if (IsEthyleneName(model.name)) {
        options(C::Combo2) = kEthylene;
    } else {
        options(C::Combo2) = kDigitsGas;
    }
    options(C::Combo4) = kBgZero;
    options(C::Combo5) = kRelay;
    options(C::Combo6) = kLatch;
    options(C::Combo7) = kLoopModeList;
    options(C::Combo8) = kBeamBlock;
    options(C::Combo9) = kHeaterMode;
    options(C::Combo10) = kHeaterTempList;

    if (IsTalvekName(model.name)) {
        for (C c : {C::Label7, C::Combo5, C::Label8, C::Combo6, C::Combo3, C::Label5, C::Label6,
                    C::Combo4})
            show(c, false);
        l.heaterInLeftColumn = true;
    }
    // The current-loop and beam-block settings are never offered, though they are written.
    for (C c : {C::Label9, C::Combo7, C::Label10, C::Combo8})
        show(c, false);

    if (HasCombo3FullScale(model.code)) {
        show(C::Combo3, true);
        options(C::Combo3) = kFullScale;
    } else if (model.code == kLamp411) {
        show(C::Combo3, false);
        show(C::cmbShort410, true);
        options(C::cmbShort410) = kFullScale410;
    } else if (IsTalvekCode(model.code)) {
        show(C::Combo3, false);
    }
    // Any other code leaves Combo3 showing with an empty list.

    if (HeaterHidden(model.code))
        for (C c : {C::Label11, C::Label12, C::Combo9, C::Combo10})
            show(c, false);
    return l;
}

SetupTable SetupTableFromReply(std::span<const std::uint8_t> rx) {
    SetupTable t;
    if (rx.size() > SetupReply::HeaterOnTemp) {
        t.MeasureFlags = rx[SetupReply::MeasureFlags];
        t.OutputFlags = rx[SetupReply::OutputFlags];
        t.HeaterMode = rx[SetupReply::HeaterMode];
        t.HeaterOnTemp = rx[SetupReply::HeaterOnTemp];
    }
    return t;
}

SetupTexts GetSetupTable(const SetupTable& t, const SetupModel& model) {
    SetupTexts texts;
    const auto set = [&](C f, std::string text) {
        texts[static_cast<std::size_t>(Index(f))] = std::move(text);
    };
    const bool talvek = IsTalvekName(model.name);

    const int gas = (t.MeasureFlags >> 2) & 7;
    if (gas <= 3) {
        if (IsEthyleneName(model.name))
            set(C::Combo2, "Ethylene");
        else if (talvek && gas <= 1)
            set(C::Combo2, kTalvekRange[static_cast<std::size_t>(gas)]);
        else
            set(C::Combo2, kDigitsGas[static_cast<std::size_t>(gas)]);  // Talvek 2, 3 included
    }

    const int fullScale = Bit(t.MeasureFlags, 5);
    if (HasCombo3FullScale(model.code))
        set(C::Combo3, TextOf(kFullScale, fullScale));
    else if (model.code == kLamp411)
        set(C::cmbShort410, TextOf(kFullScale410, fullScale));

    set(C::Combo4, TextOf(kBgZero, Bit(t.MeasureFlags, 6)));
    set(C::Combo5, TextOf(kRelay, t.OutputFlags & 3));
    set(C::Combo6, TextOf(kLatch, Bit(t.OutputFlags, 2)));
    set(C::Combo7, TextOf(kLoopMode, Bit(t.OutputFlags, 3)));
    set(C::Combo8, TextOf(kBeamBlock, Bit(t.OutputFlags, 4)));
    set(C::Combo9, TextOf(kHeaterMode, t.HeaterMode));
    // Nearest multiple of 5, capped at 30.
    set(C::Combo10, std::to_string(std::min(30, (t.HeaterOnTemp + 2) / 5 * 5)));
    return texts;
}

SetupTexts ShownSetupTexts(const SetupTable& t, const SetupModel& model) {
    SetupTexts texts = GetSetupTable(t, model);
    const SetupFieldSet missing = TextsMissingValue(t, texts, model);
    const SetupLayout layout = SetupLayoutFor(model);
    for (int i = 0; i < kSetupFieldCount; ++i) {
        std::string& text = texts[static_cast<std::size_t>(i)];
        if (missing[static_cast<std::size_t>(i)] && !text.empty() &&
            layout.Visible(static_cast<C>(i)))
            // The gas setting's value names itself ("index 2"); it also keeps the field short.
            text +=
                " (" + std::string(i == Index(C::Combo2) ? "" : "holds ") + ValueText(t, i) + ")";
    }
    return texts;
}

SetupTexts SettingTexts(const SetupTable& t, const SetupModel& model) {
    SetupTexts texts = GetSetupTable(t, model);
    const SetupFieldSet missing = TextsMissingValue(t, texts, model);
    for (int i = 0; i < kSetupFieldCount; ++i)
        if (missing[static_cast<std::size_t>(i)])
            texts[static_cast<std::size_t>(i)] = ValueText(t, i);
    return texts;
}

SetupFieldSet ChangedSetupFields(const SetupTable& read, const SetupTexts& texts,
                                 const SetupModel& model) {
    const SetupTexts shown = ShownSetupTexts(read, model);
    SetupFieldSet changed;
    for (std::size_t i = 0; i < texts.size(); ++i)
        changed[i] = texts[i] != shown[i];
    return changed;
}

std::vector<std::string> WritableTexts(SetupControl field, const SetupLayout& layout) {
    std::vector<std::string> texts = layout.Options(field);
    if (field == C::Combo10)
        texts.emplace_back("35");  // not in the list, but a typed "35" is written
    return texts;
}

std::variant<SetupTable, SetupRefusal> SetupTableToBurn(const SetupTable& read,
                                                        const SetupTexts& texts,
                                                        const SetupFieldSet& changed,
                                                        const SetupModel& model) {
    if (const auto empty = FirstEmptyTestedField(texts, model.code))
        return SetupRefusal{*empty, true};
    const SetupLayout layout = SetupLayoutFor(model);
    for (int i = 0; i < kSetupFieldCount; ++i) {
        const auto f = static_cast<C>(i);
        const std::string& text = texts[static_cast<std::size_t>(i)];
        if (!changed[static_cast<std::size_t>(i)])
            continue;
        if (text.empty())
            return SetupRefusal{f, true};
        if (!Position(WritableTexts(f, layout), text))
            return SetupRefusal{f, false};
    }
    SetupTable encoded = EncodeSetupTable(texts, model);
    SetupTable burnt = read;
    for (std::size_t i = 0; i < kSettingBits.size(); ++i) {
        if (!changed[i])
            continue;
        const auto [byte, mask] = kSettingBits[i];
        std::uint8_t& b = ByteOf(burnt, byte);
        b = static_cast<std::uint8_t>((b & ~mask) | (ByteOf(encoded, byte) & mask));
    }
    return burnt;
}

std::vector<SetupControl> TestedSetupFields(std::int16_t modelCode) {
    if (HasCombo3FullScale(modelCode))
        return {C::Combo2, C::Combo3, C::Combo4, C::Combo5, C::Combo6, C::Combo9, C::Combo10};
    if (IsTalvekCode(modelCode))
        return {C::Combo2, C::Combo4, C::Combo5, C::Combo6, C::Combo9, C::Combo10};
    if (modelCode == kLamp411)
        return {C::Combo2, C::cmbShort410, C::Combo4, C::Combo5, C::Combo6, C::Combo9, C::Combo10};
    return {};
}

std::optional<SetupControl> FirstEmptyTestedField(const SetupTexts& texts, std::int16_t modelCode) {
    for (C f : TestedSetupFields(modelCode))
        if (texts[static_cast<std::size_t>(Index(f))].empty())
            return f;
    return std::nullopt;
}

SetupControl LabelOf(SetupControl field) {
    switch (field) {
        case C::Combo2:
            return C::Label4;
        case C::Combo3:
        case C::cmbShort410:
            return C::Label5;
        case C::Combo4:
            return C::Label6;
        case C::Combo5:
            return C::Label7;
        case C::Combo6:
            return C::Label8;
        case C::Combo7:
            return C::Label9;
        case C::Combo8:
            return C::Label10;
        case C::Combo9:
            return C::Label11;
        case C::Combo10:
            return C::Label12;
        default:
            return field;
    }
}

std::string SetupCaption(SetupControl label, const SetupLayout& layout) {
    switch (label) {
        case C::Label4:
            return layout.gasCaption;
        case C::Label5:
            return "Full Scale Sensitivity";
        case C::Label6:
            return "BG Zero Calibration";
        case C::Label7:
            return "Accessory  Relay";
        case C::Label8:
            return "Alarm Latch";
        case C::Label9:
            return "4-20mA Mode";
        case C::Label10:
            return "Beam Block During Alarm Indication";
        case C::Label11:
            return "Heater Mode";
        case C::Label12:
            return "Heater ON at(C)";
        default:
            return {};
    }
}

std::string EmptyFieldMessage(SetupControl field, const SetupLayout& layout) {
    std::string text = std::string(kEmptyFieldText) + "\nThe field \"" +
                       SetupCaption(LabelOf(field), layout) + "\" is empty.";
    if (!layout.Visible(field))
        text +=
            " It is not shown for this detector model: the detector holds a value for it that "
            "has no text here, so the table cannot be written from this screen.";
    return text;
}

std::string SetupRefusalMessage(const SetupRefusal& refusal, const SetupTexts& texts,
                                const SetupLayout& layout) {
    if (refusal.empty)
        return EmptyFieldMessage(refusal.field, layout);
    std::string options;
    for (const auto& option : WritableTexts(refusal.field, layout))
        options += (options.empty() ? "" : ", ") + option;
    return std::string(kNotAnOptionText) + "\nThe field \"" +
           SetupCaption(LabelOf(refusal.field), layout) + "\" does not offer \"" +
           texts[static_cast<std::size_t>(Index(refusal.field))] + "\". " +
           (options.empty() ? std::string("It has no options for this detector model.")
                            : "Its options are: " + options + ".");
}

std::vector<std::string> ChangedFieldTexts(const SetupFieldSet& changed, const SetupTexts& texts,
                                           const SetupLayout& layout) {
    std::vector<std::string> out;
    for (int i = 0; i < kSetupFieldCount; ++i)
        if (changed[static_cast<std::size_t>(i)])
            out.push_back(SetupCaption(LabelOf(static_cast<SetupControl>(i)), layout) + ": " +
                          texts[static_cast<std::size_t>(i)]);
    return out;
}

std::string DiscardChangesQuestion(const std::vector<std::string>& changed) {
    std::string list;
    for (const std::string& field : changed)
        list += "\n" + field;
    return "These changes have not been written:" + list +
           "\n\nClose the setup table and discard them?";
}

}  // namespace halvern
