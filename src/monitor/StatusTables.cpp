// The detector vocabulary: model names and status descriptions, exactly as the detectors'
// documentation and the technicians know them.
#include <array>
#include <string_view>

#include "link/Models.h"
#include "monitor/Decoder.h"

namespace halvern {

namespace {

struct StatusEntry {
    std::string_view code;
    const char* description;
};

constexpr auto kStatusDescriptions = std::to_array<StatusEntry>({
    {"DDD", "Disconnection"},
    {"SSU90", "Start up"},
    {"SSU92", "Restore from low voltage"},
    {"PPP71", "Program memory CRC fail"},
    {"PPP72", "E2PROM CRC fail"},
    {"PPP73", "E2PROM CRC fail"},
    {"PPP74", "RAM CRC fail"},
    {"VVV81", "Wrong 5 volt"},
    {"VVV83", "Wrong Vin"},
    {"FFN40", "Wrong 12V"},
    {"FFN34", "Noisy signal1"},
    {"FFN35", "Noisy reference"},
    {"FFN36", "Noisy signal2"},
    {"FFN42", "Wrong flash"},
    {"NNN0", "Normal"},
    {"NNN3", "4-20mA circuit fail"},
    {"NNN7", "Relay fail"},
    {"NNN39", "4-20mA communication error"},
    {"XXX0", "Alignment"},
    {"XXX7", "Alignment"},
    {"SSY0", "Stand by"},
    {"SSY7", "Stand by"},
    {"GGG0", "Gas calibration"},
    {"GGG7", "Gas calibration"},
    {"QQN0", "Wrong alignment"},
    {"QQN7", "Wrong alignment"},
    {"BBN0", "Block"},
    {"BBN7", "Block"},
    {"BBN3", "4-20mA circuit fail within Block"},
    {"MBN7", "Misalignment"},
    {"OMN0", "Maintenance call for signal or ratio"},
    {"OMN7", "Maintenance call for signal or ratio"},
    {"OON0", "Obscuration"},
    {"OON7", "Obscuration"},
    {"OON39", "4-20mA communication fail"},
    {"RMN0", "Maintenance call for ratio"},
    {"RMN7", "Maintenance call for ratio"},
    {"ION0", "Saturation"},
    {"ION7", "Saturation"},
    {"WWN0", "Warning"},
    {"WWN7", "Warning"},
    {"TNN0", "Pre Alarm"},
    {"TNN7", "Pre Alarm"},
    {"TBN0", "Pre Alarm"},
    {"TBN7", "Pre Alarm"},
    {"AAN0", "Alarm"},
    {"AAN7", "Alarm"},
    {"LAN0", "Alarm latch"},
    {"LAN7", "Alarm latch"},
    {"JAN0", "Disturbance while Alarm"},
    {"JAN7", "Disturbance while Alarm"},
});

}  // namespace

std::string ModelName(int code) {
    const auto family = static_cast<std::uint8_t>(code & 0xFF);
    const int variant = (code >> 8) & 0xFF;
    for (const ModelEntry& entry : kModelTable) {
        if (entry.family != family)
            continue;
        if (variant < static_cast<int>(entry.byVariant.size()) && entry.byVariant[variant]) {
            return entry.byVariant[variant];
        }
        break;
    }
    return "Unknown Detector!";
}

const char* StatusDescription(const std::string& code) {
    for (const StatusEntry& entry : kStatusDescriptions) {
        if (entry.code == code)
            return entry.description;
    }
    return nullptr;
}

bool IsTalvekName(std::string_view name) {
    return name == "Talvek 880" || name == "Talvek 890";
}

bool IsEthyleneName(std::string_view name) {
    for (std::uint8_t family : {33, 34, 35})
        for (int variant = 0; variant < 3; ++variant)
            if (name == ModelName(variant * 256 + family))
                return true;
    return false;
}

bool IsAcceptedFamily(std::uint8_t family) {
    for (const ModelEntry& entry : kModelTable) {
        if (entry.family == family)
            return true;
    }
    return false;
}

}  // namespace halvern
