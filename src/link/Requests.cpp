#include "link/Requests.h"

#include "link/Frame.h"

namespace halvern {

namespace {
std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
    frame.resize(frame.size() + 2);
    ComputeFrameCrc(frame, static_cast<int>(frame.size()) - 1);
    return frame;
}
}  // namespace

std::vector<std::uint8_t> CommandFrame(std::uint8_t address, std::uint8_t code) {
    return WithCrc({address, FunctionCommand, 4, 0, code, kCommandTrailer[0], kCommandTrailer[1]});
}

std::vector<std::uint8_t> SnTestFrame(std::uint8_t address) {
    return WithCrc({address, kFunctionWriteOne, 0, 2, 0, 1});
}

std::vector<std::uint8_t> NormalModeFrame(std::uint8_t address) {
    return WithCrc({address, kFunctionWriteOne, 0, 2, 0, 0});
}

std::vector<std::uint8_t> ReadSetupFrame(std::uint8_t address) {
    return WithCrc({address, kFunctionRead, 0, 1, 0, 4});
}

std::vector<std::uint8_t> WriteSetupFrame(std::uint8_t address, const SetupTable& t) {
    return WithCrc({address, kFunctionWriteMany, 0, 1, 0, 4, 8, t.MeasureFlags, t.OutputFlags, 0, 0,
                    0, t.HeaterMode, 0, t.HeaterOnTemp});
}

std::vector<std::uint8_t> NewAddressFrame(std::uint8_t address, std::uint8_t newAddress) {
    return WithCrc({address, kFunctionWriteOne, 0, 0, 0, newAddress});
}

}  // namespace halvern
