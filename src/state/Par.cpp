#include "state/Par.h"

#include <cctype>

namespace halvern {

std::uint8_t DetNumByte(const Par& par) {
    unsigned value = 0;
    for (char c : par.Main.DetNum) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        value = (value * 10 + static_cast<unsigned>(c - '0')) & 0xFFFF;
    }
    return static_cast<std::uint8_t>(value);
}

}  // namespace halvern
