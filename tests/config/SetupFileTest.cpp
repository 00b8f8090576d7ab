// Setup tables in files: what a file holds, every reason a file is not loaded, and what a load
// changes.

#include "config/SetupFile.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>

#include "monitor/Decoder.h"

namespace halvern {
namespace {

// A Veridan Xenon 621-2 (model code 0x0118) holding gas index 1, full scale 200, relay ALARM,
// latch YES, heater ON at 10 degrees.
SetupFile Xenon() {
    return {.program = "halvern-cli",
            .programVersion = "1.4.0",
            .savedUtc = "2026-12-07T04:09:02Z",
            .address = 1,
            .modelCode = 0x0118,
            .model = "Veridan Xenon 621-2",
            .serial = 4711,
            .registers = {0x2405, 0, 2, 10}};
}

QJsonObject Json(const SetupFile& file) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(SetupFileJson(file))).object();
}

std::string Text(const QJsonObject& o) {
    return QJsonDocument(o).toJson().toStdString();
}

TEST(SetupFile, HoldsTheDetectorItsRegistersAndEachFieldsTextAndReadsBackAsSaved) {
    const QJsonObject o = Json(Xenon());
    EXPECT_EQ(o["model_code"].toInt(), 280);
    EXPECT_EQ(o["registers"].toArray(), (QJsonArray{9221, 0, 2, 10}));
    const QJsonObject fields{{"gas_type", "2"},
                             {"range", QJsonValue::Null},
                             {"full_scale_sensitivity", "200"},
                             {"bg_zero_calibration", "ENABLE"},
                             {"accessory_relay", "ALARM"},
                             {"alarm_latch", "YES"},
                             {"mode_4_20ma", QJsonValue::Null},
                             {"beam_block_during_alarm_indication", QJsonValue::Null},
                             {"heater_mode", "ON"},
                             {"heater_on_at_c", "10"}};
    EXPECT_EQ(o["fields"].toObject(), fields);

    const auto read = ParseSetupFile(SetupFileJson(Xenon()));
    ASSERT_TRUE(std::holds_alternative<SetupFile>(read)) << std::get<std::string>(read);
    const SetupFile& f = std::get<SetupFile>(read);
    const SetupFile x = Xenon();
    EXPECT_EQ(std::tie(f.program, f.programVersion, f.savedUtc, f.address, f.modelCode, f.model,
                       f.serial, f.registers),
              std::tie(x.program, x.programVersion, x.savedUtc, x.address, x.modelCode, x.model,
                       x.serial, x.registers));
}

struct Refusal {
    const char* what;
    std::function<std::string()> file;
    std::string said;  // a text ending in "..." is the start of what is said
    SetupModel detector = {"Veridan Xenon 621-2", 24};  // the detector it is loaded into
};

std::string Edited(const std::function<void(QJsonObject&)>& edit) {
    QJsonObject o = Json(Xenon());
    edit(o);
    return Text(o);
}

void SetField(QJsonObject& o, const char* key, const QJsonValue& v) {
    QJsonObject fields = o["fields"].toObject();
    fields[key] = v;
    o["fields"] = fields;
}

// A Talvek 880 whose accessory relay bits hold 2: its setup writes them 0.
std::string TalvekWithRelay() {
    SetupFile f = Xenon();
    f.modelCode = 48;
    f.model = "Talvek 880";
    f.registers = {0x0406, 0, 1, 5};
    return SetupFileJson(f);
}

TEST(SetupFile, IsRefusedWithItsReasonBeforeAnythingIsWritten) {
    const std::string later =
        "saved by halvern 1.4.0 in setup file format 2, which this "
        "version cannot read (it reads format 1): load it with halvern "
        "1.4.0 or later";
    const Refusal rows[] = {
        {"a PDF", [] { return std::string("%PDF-1.4\n%\xE2\xE3\n"); },
         "not a setup file of halvern"},
        {"other JSON", [] { return std::string(R"({"kind": "trend export"})"); },
         "not a setup file of halvern"},
        {"cut short", [] { return SetupFileJson(Xenon()).substr(0, 100); },
         "damaged: not whole JSON (..."},
        {"later format", [] { return Edited([](auto& o) { o["format_version"] = 2; }); }, later},
        {"three registers",
         [] { return Edited([](auto& o) {
                  o["registers"] = QJsonArray{9221, 0, 2};
              }); },
         "damaged: \"registers\" is not four whole numbers from 0 to 65535"},
        {"a register past 16 bits",
         [] { return Edited([](auto& o) {
                  o["registers"] = QJsonArray{9221, 0, 2, 65536};
              }); },
         "damaged: \"registers\" is not four whole numbers from 0 to 65535"},
        {"a name not of its code",
         [] { return Edited([](auto& o) { o["model"] = "Talvek 880"; }); },
         "damaged: \"model\" is \"Talvek 880\", but model code 280 is the Veridan Xenon 621-2"},
        {"a field edited",
         [] { return Edited([](auto& o) { SetField(o, "heater_mode", "HOT"); }); },
         "damaged: the field \"Heater Mode\" reads \"HOT\", but the registers hold \"ON\""},
        {"a field missing",
         [] { return Edited([](auto& o) { SetField(o, "heater_mode", QJsonValue::Undefined); }); },
         "damaged: the field \"heater_mode\" is missing"},
        {"27 degrees",
         [] {
             return Edited([](auto& o) {
                 o["registers"] = QJsonArray{9221, 0, 2, 27};
                 SetField(o, "heater_on_at_c", "27");
             });
         },
         "\"Heater ON at(C)\" holds 27, which the Veridan Xenon 621-2 cannot take: its options "
         "are 0, 5, 10, 15, 20, 25, 30, 35"},
        {"a Talvek's relay",
         TalvekWithRelay,
         "\"Accessory  Relay\" holds 2, which the Talvek 880 cannot take",
         {"Talvek 880", 48}},
        {"another model",
         [] { return SetupFileJson(Xenon()); },
         "a setup table of the Veridan Xenon 621-2 (serial number 4711), not of the Veridan LAMP "
         "411 at address 7: a table is loaded only into a detector of its model",
         {"Veridan LAMP 411", 36}},
        {"another variant",
         [] { return SetupFileJson(Xenon()); },
         "a setup table of the Veridan Xenon 621-2 (serial number 4711), not of the Veridan "
         "Xenon 621-1 at address 7: a table is loaded only into a detector of its model",
         {"Veridan Xenon 621-1", 24}},
    };
    for (const Refusal& r : rows) {
        SCOPED_TRACE(r.what);
        const auto read = ParseSetupFile(r.file());
        const std::string said = std::holds_alternative<std::string>(read)
                                     ? std::get<std::string>(read)
                                     : SetupModelMismatch(std::get<SetupFile>(read), r.detector, 7);
        if (r.said.ends_with("..."))
            EXPECT_TRUE(said.starts_with(r.said.substr(0, r.said.size() - 3))) << said;
        else
            EXPECT_EQ(said, r.said);
    }
}

// A load changes the settings that differ and nothing else: bits that are no setting stay as
// the detector holds them, and so do values without a text that the file holds too.
TEST(SetupFile, ALoadWritesTheSettingsThatDifferThroughTheScreensBurn) {
    struct Row {
        SetupModel model;
        SetupTable read, loaded;
        std::vector<std::string> said;  // "caption: detector -> file"
        SetupTable burnt;
    };
    const SetupModel xenon{"Veridan Xenon 621-2", 24}, talvek{"Talvek 880", 48};
    const Row rows[] = {
        {xenon,
         {0x24, 0x05, 2, 35},
         {0x24, 0x05, 2, 30},
         {"Heater ON at(C): 35 -> 30"},
         {0x24, 0x05, 2, 30}},
        // Bits 0, 1 and 7 are reserved.
        {xenon,
         {0xA7, 0x05, 2, 10},
         {0x04, 0x05, 2, 10},
         {"Full Scale Sensitivity: 200 -> 500"},
         {0x87, 0x05, 2, 10}},
        // The BG zero setting of a Talvek is hidden, and written all the same.
        {talvek,
         {0x48, 0x04, 1, 35},
         {0x04, 0x04, 1, 35},
         {"Range: index 2 -> Medium Long", "BG Zero Calibration: DISABLE -> ENABLE"},
         {0x04, 0x04, 1, 35}},
        {talvek, {0x48, 0x04, 1, 35}, {0x48, 0x04, 1, 35}, {}, {0x48, 0x04, 1, 35}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(&r - rows);
        std::vector<std::string> said;
        for (const auto& d : SetupDifferences(r.read, r.loaded, r.model))
            said.push_back(d.caption + ": " + d.detector + " -> " + d.file);
        EXPECT_EQ(said, r.said);
        const SetupTexts texts = LoadedSetupTexts(r.read, r.loaded, r.model);
        const SetupFieldSet changed = ChangedSetupFields(r.read, texts, r.model);
        EXPECT_EQ(changed.count(), r.said.size());
        const auto burn = SetupTableToBurn(r.read, texts, changed, r.model);
        ASSERT_TRUE(std::holds_alternative<SetupTable>(burn));
        const SetupTable& t = std::get<SetupTable>(burn);
        EXPECT_EQ(std::tie(t.MeasureFlags, t.OutputFlags, t.HeaterMode, t.HeaterOnTemp),
                  std::tie(r.burnt.MeasureFlags, r.burnt.OutputFlags, r.burnt.HeaterMode,
                           r.burnt.HeaterOnTemp));
    }
}

}  // namespace
}  // namespace halvern
