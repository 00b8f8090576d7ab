#pragma once
// Setup fields named on the command line by the captions of the setup screen, and their texts
// checked against the options the screen offers.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Output.h"
#include "config/SetupCodec.h"
#include "config/SetupHistory.h"

namespace halvern::cli {

// Lower case, blanks around dropped, runs of blanks as one space: "Accessory  Relay" and
// "accessory relay" are one name.
std::string NameKey(std::string_view name);

// The fields as one JSON object with every key of SetupFieldKeys: the text of the field shown
// under its caption ("" when empty), null when the model's screen shows no such field.
JsonObject SetupFieldsJson(const LabelledTexts& fields);

// What can be told before the detector is asked: a name that is no caption of any model, a
// field the screen never shows, a text that is an option for no model, a field named twice.
// Empty when none of these.
std::string CheckForEveryModel(const std::vector<FieldAssignment>& assignments);

// The texts with the assignments applied, each text as its option is written ("alarm" ->
// "ALARM"), and the fields named; or why not: a field this model's screen does not show, a
// text that is not one of this model's options, or a tested field that stays empty.
struct SetupEdit {
    SetupTexts texts;
    SetupFieldSet named;  // written from their texts, even one named with the text it shows
};
std::variant<SetupEdit, std::string> ApplyAssignments(
    SetupTexts texts, const SetupModel& model, const std::vector<FieldAssignment>& assignments);

}  // namespace halvern::cli
