#pragma once
// The detectors' models by the family and variant bytes of their status replies, with the names
// the technicians know them by. The program names a detector from this table, and the
// simulator's help lists it, so that a tester can build a bus of chosen models.

#include <array>
#include <cstdint>

namespace halvern {

struct ModelEntry {
    std::uint8_t family;
    std::array<const char*, 3> byVariant;  // variant byte 0, 1, 2; nullptr: not a model
};

inline constexpr auto kModelTable = std::to_array<ModelEntry>({
    {24, {"Veridan Xenon 621-1", "Veridan Xenon 621-2", "Veridan Xenon 621-3"}},
    {25, {"Veridan Xenon 622-1", "Veridan Xenon 622-2", "Veridan Xenon 622-3"}},
    {32, {"Veridan Xenon 623-1", "Veridan Xenon 623-2", "Veridan Xenon 623-3"}},
    {33, {"Veridan Ethylene 641-1", "Veridan Ethylene 641-2", "Veridan Ethylene 641-3"}},
    {34, {"Veridan Ethylene 642-1", "Veridan Ethylene 642-2", "Veridan Ethylene 642-3"}},
    {35, {"Veridan Ethylene 643-1", "Veridan Ethylene 643-2", "Veridan Ethylene 643-3"}},
    {36, {"Veridan LAMP 411", "Veridan LAMP 411", "Veridan LAMP 411"}},
    {37, {"Veridan LAMP 412", "Veridan LAMP 412", "Veridan LAMP 412"}},
    {38, {"Veridan LAMP 413", "Veridan LAMP 413", "Veridan LAMP 413"}},
    {48, {"Talvek 880", nullptr, nullptr}},
    {49, {"Talvek 890", nullptr, nullptr}},
});

}  // namespace halvern
