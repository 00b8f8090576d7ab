#include "link/Requests.h"

#include "link/Frame.h"
#include "link/Layouts.h"

namespace halvern {

namespace {

std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
    frame.resize(frame.size() + 2);
    ComputeFrameCrc(frame, static_cast<int>(frame.size()) - 1);
    return frame;
}

void PutWord(std::vector<std::uint8_t>& frame, std::size_t high, std::uint16_t value) {
    frame[high] = static_cast<std::uint8_t>(value >> 8);
    frame[high + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::vector<std::uint8_t> WriteOne(std::uint8_t address, std::uint16_t reg, std::uint16_t value) {
    std::vector<std::uint8_t> frame(WriteOneRequest::Bytes - 2);
    frame[WriteOneRequest::Address] = address;
    frame[WriteOneRequest::Function] = kFunctionWriteOne;
    PutWord(frame, WriteOneRequest::RegisterHigh, reg);
    PutWord(frame, WriteOneRequest::ValueHigh, value);
    return WithCrc(std::move(frame));
}

}  // namespace

std::vector<std::uint8_t> CommandFrame(std::uint8_t address, std::uint8_t code) {
    std::vector<std::uint8_t> frame(CommandRequest::Bytes - 2);
    frame[CommandRequest::Address] = address;
    frame[CommandRequest::Function] = FunctionCommand;
    frame[CommandRequest::Count] = CommandRequest::CountValue;
    frame[CommandRequest::Reserved] = 0;
    frame[CommandRequest::Code] = code;
    frame[CommandRequest::TrailerFirst] = kCommandTrailer[0];
    frame[CommandRequest::TrailerSecond] = kCommandTrailer[1];
    return WithCrc(std::move(frame));
}

std::vector<std::uint8_t> SnTestFrame(std::uint8_t address) {
    return WriteOne(address, kModeRegister, 1);
}

std::vector<std::uint8_t> NormalModeFrame(std::uint8_t address) {
    return WriteOne(address, kModeRegister, 0);
}

std::vector<std::uint8_t> ReadSetupFrame(std::uint8_t address) {
    std::vector<std::uint8_t> frame(ReadRequest::Bytes - 2);
    frame[ReadRequest::Address] = address;
    frame[ReadRequest::Function] = kFunctionRead;
    PutWord(frame, ReadRequest::StartHigh, kSetupFirstRegister);
    PutWord(frame, ReadRequest::QuantityHigh, kSetupRegisterCount);
    return WithCrc(std::move(frame));
}

std::vector<std::uint8_t> WriteSetupFrame(std::uint8_t address, const SetupTable& t) {
    constexpr std::size_t valueBytes = 2 * kSetupRegisterCount;
    std::vector<std::uint8_t> frame(WriteManyRequest::HeaderBytes - 2 + valueBytes);
    frame[WriteManyRequest::Address] = address;
    frame[WriteManyRequest::Function] = kFunctionWriteMany;
    PutWord(frame, WriteManyRequest::StartHigh, kSetupFirstRegister);
    PutWord(frame, WriteManyRequest::QuantityHigh, kSetupRegisterCount);
    frame[WriteManyRequest::ByteCount] = valueBytes;
    // Register 1 holds two flag bytes; register 2 (the mode) is written as 0, normal mode;
    // registers 3 and 4 hold one byte each, low.
    constexpr std::size_t v = WriteManyRequest::ValuesStart;
    PutWord(frame, v, static_cast<std::uint16_t>(t.MeasureFlags << 8 | t.OutputFlags));
    PutWord(frame, v + 2, 0);
    PutWord(frame, v + 4, t.HeaterMode);
    PutWord(frame, v + 6, t.HeaterOnTemp);
    return WithCrc(std::move(frame));
}

std::vector<std::uint8_t> NewAddressFrame(std::uint8_t address, std::uint8_t newAddress) {
    return WriteOne(address, kAddressRegister, newAddress);
}

}  // namespace halvern
