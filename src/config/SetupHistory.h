#pragma once
// The setup table as the service history and the command line show it: its fields in the
// order of the setup screen, each under its caption; and the events of a setup read or write.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "config/SetupCodec.h"
#include "state/Par.h"

namespace halvern {

// The setup fields in the screen's order.
const std::array<SetupControl, kSetupFieldCount>& SetupScreenOrder();
// The fields the screen shows for the model, in its order, with their captions.
std::vector<std::pair<SetupControl, std::string>> ShownFields(const SetupLayout& layout);
// Setup fields as (screen label, text), in the order of the screen.
using LabelledTexts = std::vector<std::pair<std::string, std::string>>;
LabelledTexts LabelledSetup(const SetupTexts& texts, const SetupModel& model);

// The JSON key of each caption the setup screen shows ("Accessory  Relay" ->
// "accessory_relay"), the same for every model; the command line and the setup files name
// the fields by it too. In the screen's order.
struct SetupFieldKey {
    const char* caption;
    const char* key;
};
std::span<const SetupFieldKey> SetupFieldKeys();
// The key of a caption; empty for none.
std::string JsonKeyOf(const std::string& caption);

// "Gas Type: Methane" a line, for the fields the model's screen shows.
std::string SetupHistoryText(const SetupTable& table, const SetupModel& model);
// The four bytes in hex: "48 04 01 23".
std::string SetupBytesText(const SetupTable& table);

// Records a setup read (`before` empty) or write of the detector at `address`. `source`, when
// given, ends the text after the write: where the table came from (a setup file).
void RecordSetup(Par& par, std::uint8_t address, const SetupModel& model,
                 const std::optional<SetupTable>& before, const SetupTable& after,
                 std::optional<bool> confirmed, std::optional<int> attempts = std::nullopt,
                 const std::string& source = {});

}  // namespace halvern
