#include "link/Frame.h"

namespace halvern {

std::uint16_t CrcStep(std::uint16_t& crc, std::uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        if (crc & 1u)
            crc = static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u);
        else
            crc = static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes)
        CrcStep(crc, b);
    return crc;
}

void ComputeFrameCrc(std::vector<std::uint8_t>& tx, int last) {
    if (last < 2 || static_cast<std::size_t>(last) >= tx.size())
        return;  // never for our frames
    const std::uint16_t crc = Crc16(std::span(tx).first(static_cast<std::size_t>(last - 1)));
    tx[static_cast<std::size_t>(last - 1)] = static_cast<std::uint8_t>(crc & 0xFF);
    tx[static_cast<std::size_t>(last)] = static_cast<std::uint8_t>(crc >> 8);
}

bool ReplyCrcIsValid(std::span<const std::uint8_t> rx, int count) {
    if (count < 2 || static_cast<std::size_t>(count) > rx.size())
        return false;
    const auto n = static_cast<std::size_t>(count);
    const std::uint16_t crc = Crc16(rx.first(n - 2));
    return rx[n - 2] == (crc & 0xFF) && rx[n - 1] == (crc >> 8);
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = Crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

}  // namespace halvern
