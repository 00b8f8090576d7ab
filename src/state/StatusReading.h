#pragma once
// One status reply decoded once, from that reply's own bytes: every field it holds, each
// present or absent (a short reply, marked by "V" at index 10, holds fewer). The main window,
// the log records, the bus overview, the exports and the history's naming of a detector all
// take their values from a reading, never from the shared buffers or another window's texts.

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace halvern {

// Slots 0 to 32 of the decoded channel values; 0 to 12 are written (ChannelSlot), 13 to 32
// stay as they start.
constexpr int kChannelSlots = 33;

// What each written slot of the channel values holds.
enum ChannelSlot : std::uint8_t {
    kSlotSignal1 = 0,
    kSlotReference = 1,
    kSlotSignal2 = 2,
    kSlotVoltage = 3,
    kSlotTemperature = 4,
    kSlotRatio1 = 5,
    kSlotRatio2 = 6,
    kSlotNqRatio1 = 7,
    kSlotNqRatio2 = 8,
    kSlotS1Noise = 9,   // S1/N
    kSlotS2Noise = 10,  // S2/N
    kSlotRNoise = 11,   // R/N
    kSlotGas = 12,      // the gas reading
};

using ChannelArray = std::array<float, kChannelSlots>;

// The value of a channel slot that a reply did not carry.
constexpr float kNotGiven = std::numeric_limits<float>::quiet_NaN();

struct StatusReading {
    // The reply reached index 10: address, model, serial number and the first two status
    // characters are there. Before any reply, nothing is.
    bool Taken = false;
    std::uint8_t Address = 0;
    std::int16_t ModelCode = 0;  // the family byte (ModelFamily)
    std::uint8_t Variant = 0;    // the model code's high byte
    double SerialNumber = 0;
    // The reply's bytes 9 and 10, as the logging triggers compare them.
    std::uint8_t FirstStatusByte = 0, SecondStatusByte = 0;
    // Three one-character parts and the number as decimal text; a part the reply does not
    // reach is empty.
    std::array<std::string, 4> StatusParts;
    std::string StatusCode;  // the parts joined, for example "NNN0"
    std::optional<std::uint8_t> GainByte;
    std::string GainText;  // "0" to "7"; empty when the reply has no gain
    // By ChannelSlot; NaN: not in the reply. All zeros before any reply, as the description
    // of a disconnection relies on.
    ChannelArray ChannelValues{};
    // The model's name ("Unknown Detector!" for a code of no model) and the status code's
    // description; none for a code cut short or not in the table.
    std::string ModelName;
    std::optional<std::string> Description;

    // The code ends with its number, so it can be looked up.
    bool WholeCode() const { return !StatusParts[3].empty(); }
};

}  // namespace halvern
