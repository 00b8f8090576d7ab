#include "config/SetupFile.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <optional>

#include "config/SetupHistory.h"
#include "link/Layouts.h"
#include "link/Models.h"
#include "monitor/Decoder.h"
#include "platform/ProgramFile.h"

namespace halvern {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// A whole number from lo to hi, as JSON holds it.
std::optional<long> WholeIn(const QJsonValue& v, long lo, long hi) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi))
        return std::nullopt;
    return static_cast<long>(d);
}

std::string List(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

bool FamilyListed(std::uint16_t code) {
    return std::any_of(kModelTable.begin(), kModelTable.end(),
                       [&](const ModelEntry& e) { return e.family == (code & 0xFF); });
}

// The fields that are settings of the model: those it offers options for.
bool IsSettingOf(SetupControl field, const SetupLayout& layout) {
    return !WritableTexts(field, layout).empty();
}

// The members that every setup file has, read into `file`; else what is missing or wrong.
std::string ReadMembers(const QJsonObject& o, SetupFile& file) {
    const auto code = WholeIn(o["model_code"], 0, 0xFFFF);
    if (!code)
        return "\"model_code\" is not a model code (a whole number from 0 to 65535)";
    file.modelCode = static_cast<std::uint16_t>(*code);
    if (!o["model"].isString())
        return "\"model\" is not a model name";
    file.model = o["model"].toString().toStdString();
    const auto serial = WholeIn(o["serial"], 0, 0xFFFF);
    if (!serial)
        return "\"serial\" is not a serial number (a whole number from 0 to 65535)";
    file.serial = *serial;
    const QJsonArray registers = o["registers"].toArray();
    bool whole = o["registers"].isArray() && registers.size() == 4;
    for (qsizetype i = 0; whole && i < 4; ++i) {
        const auto r = WholeIn(registers[i], 0, 0xFFFF);
        whole = r.has_value();
        file.registers[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(r.value_or(0));
    }
    if (!whole)
        return "\"registers\" is not four whole numbers from 0 to 65535";
    if (!o["fields"].isObject())
        return "\"fields\" is missing";
    // What only tells where the table came from is taken as it is.
    file.program = o["program"].toString().toStdString();
    file.programVersion = o["program_version"].toString().toStdString();
    file.savedUtc = o["saved"].toString().toStdString();
    file.address = static_cast<int>(WholeIn(o["address"], 0, 255).value_or(0));
    return {};
}

// The model named by the code, and each field's text as its registers give it.
std::string CheckConsistent(const QJsonObject& fields, const SetupFile& file) {
    if (!FamilyListed(file.modelCode))
        return "model code " + std::to_string(file.modelCode) + " is no detector model";
    const SetupModel model = SetupModelOf(file);
    if (file.model != model.name)
        return "\"model\" is " + Quoted(file.model) + ", but model code " +
               std::to_string(file.modelCode) + " is the " + model.name;
    const SetupTexts texts = SettingTexts(SetupTableOf(file), model);
    for (const auto& [field, caption] : ShownFields(SetupLayoutFor(model))) {
        const std::string key = JsonKeyOf(caption);
        const QJsonValue v = fields[Q(key)];
        const std::string& held = texts[static_cast<std::size_t>(Index(field))];
        if (!v.isString())
            return "the field " + Quoted(key) + " is missing";
        if (v.toString().toStdString() != held)
            return "the field " + Quoted(caption) + " reads " + Quoted(v.toString().toStdString()) +
                   ", but the registers hold " + Quoted(held);
    }
    return {};
}

// A setting that the model's setup cannot write, by the field that holds it.
std::string CheckTakeable(const SetupFile& file) {
    const SetupModel model = SetupModelOf(file);
    const SetupLayout layout = SetupLayoutFor(model);
    const SetupTexts texts = SettingTexts(SetupTableOf(file), model);
    for (const SetupControl f : SetupScreenOrder()) {
        const auto writable = WritableTexts(f, layout);
        const std::string& text = texts[static_cast<std::size_t>(Index(f))];
        if (!IsSettingOf(f, layout) || text.empty() ||
            std::find(writable.begin(), writable.end(), text) != writable.end())
            continue;
        // A field the screen hides is written all the same; its options are not the point.
        return Quoted(SetupCaption(LabelOf(f), layout)) + " holds " + text + ", which the " +
               model.name + " cannot take" +
               (layout.Visible(f) ? ": its options are " + List(writable) : "");
    }
    return {};
}

}  // namespace

std::array<std::uint16_t, 4> SetupRegistersFromReply(std::span<const std::uint8_t> rx) {
    std::array<std::uint16_t, 4> r{};
    if (rx.size() <= SetupReply::HeaterOnTemp)
        return r;
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<std::uint16_t>(rx[3 + 2 * i] << 8 | rx[4 + 2 * i]);
    return r;
}

SetupTable SetupTableOf(const SetupFile& file) {
    const auto& r = file.registers;
    return {static_cast<std::uint8_t>(r[0] >> 8), static_cast<std::uint8_t>(r[0] & 0xFF),
            static_cast<std::uint8_t>(r[2] & 0xFF), static_cast<std::uint8_t>(r[3] & 0xFF)};
}

SetupModel SetupModelOf(const SetupFile& file) {
    return {ModelName(file.modelCode), static_cast<std::int16_t>(file.modelCode & 0xFF)};
}

std::string SetupFileJson(const SetupFile& file) {
    const SetupModel model = SetupModelOf(file);
    const SetupTexts texts = SettingTexts(SetupTableOf(file), model);
    const SetupLayout layout = SetupLayoutFor(model);
    QJsonObject fields;
    for (const auto& [caption, key] : SetupFieldKeys())
        fields[key] = QJsonValue::Null;
    for (const auto& [field, caption] : ShownFields(layout))
        fields[Q(JsonKeyOf(caption))] = Q(texts[static_cast<std::size_t>(Index(field))]);
    QJsonArray registers;
    for (const std::uint16_t r : file.registers)
        registers.append(r);
    const QJsonObject o{
        {"kind", kSetupFileKind},
        {"format_version", file.format},
        {"program", Q(file.program)},
        {"program_version", Q(file.programVersion)},
        {"saved", Q(file.savedUtc)},
        {"address", file.address},
        {"model_code", file.modelCode},
        {"model", Q(file.model)},
        {"serial", static_cast<qint64>(file.serial)},
        {"registers", registers},
        {"fields", fields},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

std::variant<SetupFile, std::string> ParseSetupFile(std::string_view bytes) {
    const std::string notOurs = "not a setup file of halvern";
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &error);
    if (doc.isNull()) {
        // A setup file cut short or spoilt still begins as one; anything else is another file.
        const auto first = bytes.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos || bytes[first] != '{')
            return notOurs;
        return "damaged: not whole JSON (" + error.errorString().toStdString() + " at byte " +
               std::to_string(error.offset) + ")";
    }
    const QJsonObject o = doc.object();
    if (o["kind"].toString() != kSetupFileKind)
        return notOurs;
    SetupFile file;
    const auto format = WholeIn(o["format_version"], 1, 1'000'000);
    if (!format)
        return std::string("damaged: \"format_version\" is not a format version");
    file.format = static_cast<int>(*format);
    if (file.format > kSetupFileFormat) {
        const std::string version = o["program_version"].toString().toStdString();
        const std::string by = version.empty() ? "" : "halvern " + version;
        return "saved" + (by.empty() ? "" : " by " + by) + " in setup file format " +
               std::to_string(file.format) + ", which this version cannot read (it reads format " +
               std::to_string(kSetupFileFormat) + "): load it with " +
               (by.empty() ? "a later version of halvern" : by + " or later");
    }
    std::string why = ReadMembers(o, file);
    if (why.empty())
        why = CheckConsistent(o["fields"].toObject(), file);
    if (!why.empty())
        return "damaged: " + why;
    if (why = CheckTakeable(file); !why.empty())
        return why;
    return file;
}

std::string SetupModelMismatch(const SetupFile& file, const SetupModel& detector,
                               int detectorAddress) {
    const SetupModel model = SetupModelOf(file);
    if (model.name == detector.name && model.code == detector.code)
        return {};
    return "a setup table of the " + model.name + " (serial number " + std::to_string(file.serial) +
           "), not of the " + detector.name + " at address " + std::to_string(detectorAddress) +
           ": a table is loaded only into a detector of its model";
}

std::vector<SetupDifference> SetupDifferences(const SetupTable& read, const SetupTable& loaded,
                                              const SetupModel& model) {
    const SetupLayout layout = SetupLayoutFor(model);
    const SetupTexts held = SettingTexts(read, model), wanted = SettingTexts(loaded, model);
    std::vector<SetupDifference> out;
    for (const SetupControl f : SetupScreenOrder()) {
        const auto i = static_cast<std::size_t>(Index(f));
        if (IsSettingOf(f, layout) && held[i] != wanted[i])
            out.push_back({f, SetupCaption(LabelOf(f), layout), held[i], wanted[i]});
    }
    return out;
}

SetupTexts LoadedSetupTexts(const SetupTable& read, const SetupTable& loaded,
                            const SetupModel& model) {
    SetupTexts texts = ShownSetupTexts(read, model);
    for (const SetupDifference& d : SetupDifferences(read, loaded, model))
        texts[static_cast<std::size_t>(Index(d.field))] = d.file;
    return texts;
}

std::string SetupFileSource(const std::string& path, const SetupFile& file) {
    return "Loaded from " + path + ", saved from serial number " + std::to_string(file.serial);
}

std::string ReadSetupFileBytes(const std::string& path, std::string& bytes) {
    const OpenedFile in = OpenProgramFile(path, FileAccess::Read);
    if (!in)
        return CannotRead(path, in);
    const std::int64_t size = in->Size();
    if (size > kSetupFileMaxBytes)
        return path + ": " + "not a setup file of halvern (" + std::to_string(size) + " bytes)";
    bytes.assign(static_cast<std::size_t>(kSetupFileMaxBytes + 1), '\0');
    const std::int64_t n = in->Read(bytes.data(), kSetupFileMaxBytes + 1);
    if (n < 0)
        return "Cannot read " + path + ": " + in->Error();
    bytes.resize(static_cast<std::size_t>(n));
    return {};
}

}  // namespace halvern
