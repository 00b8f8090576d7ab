#pragma once
// Modbus RTU frame check (CRC-16, reflected polynomial 0xA001, start 0xFFFF), computed bit by
// bit, and the two shared frame buffers.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace halvern {

constexpr int kRxBufferSize = 257;

struct LinkBuffers {
    std::vector<std::uint8_t> TxBuffer;                  // the request being sent, CRC included
    std::array<std::uint8_t, kRxBufferSize> RxBuffer{};  // the last reply read, accepted or not
    std::int16_t RxCount = 0;                            // valid bytes in RxBuffer
    std::uint8_t ReplyAddress = 0;                       // address byte of the last accepted reply
};

// Folds one byte into the running CRC; updates crc in place and returns it.
std::uint16_t CrcStep(std::uint16_t& crc, std::uint8_t byte);
// CRC of a whole byte range (the frame check of any byte sequence).
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);
// CRC over tx[0 .. last-2] into tx[last-1] (low) and tx[last] (high). last: 2 to 257.
void ComputeFrameCrc(std::vector<std::uint8_t>& tx, int last);
// True when count >= 2 and rx[count-2], rx[count-1] hold the CRC of rx[0 .. count-3], low first.
bool ReplyCrcIsValid(std::span<const std::uint8_t> rx, int count);
// Appends the CRC (low byte first) to a frame: what a detector does to its replies.
void AppendCrc(std::vector<std::uint8_t>& frame);

}  // namespace halvern
