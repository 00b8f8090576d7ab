#pragma once
// Where each field stands in the requests the program sends and in the replies the detectors
// send, and which models the family codes are. Indices count from the frame's first byte (its
// address); the CRC follows the fields. The builders, the decoders, the traffic describer, the
// confirmation tests and the simulator read through these names, so an offset is written once.

#include <cstddef>
#include <cstdint>

namespace halvern {

// The fields every request starts with, whatever its function.
namespace Request {
constexpr std::size_t Address = 0;  // 0 asks whoever is on the bus
constexpr std::size_t Function = 1;
}  // namespace Request

// The status, version and align queries (function 200), told apart by their command code.
namespace CommandRequest {
constexpr std::size_t Address = 0;  // 0 asks whoever is on the bus
constexpr std::size_t Function = 1;
constexpr std::size_t Count = 2;         // the bytes that follow before the CRC
constexpr std::size_t Reserved = 3;      // always 0
constexpr std::size_t Code = 4;          // the command code
constexpr std::size_t TrailerFirst = 5;  // the two fixed bytes that close the data
constexpr std::size_t TrailerSecond = 6;
constexpr std::uint8_t CountValue = 4;
constexpr int Bytes = 9;
}  // namespace CommandRequest

// The read of registers (function 3).
namespace ReadRequest {
constexpr std::size_t Address = 0;
constexpr std::size_t Function = 1;
constexpr std::size_t StartHigh = 2;  // the first register, high byte first
constexpr std::size_t StartLow = 3;
constexpr std::size_t QuantityHigh = 4;  // how many registers, high byte first
constexpr std::size_t QuantityLow = 5;
constexpr int Bytes = 8;
}  // namespace ReadRequest

// The write of one register (function 6): the mode, or the bus address.
namespace WriteOneRequest {
constexpr std::size_t Address = 0;
constexpr std::size_t Function = 1;
constexpr std::size_t RegisterHigh = 2;
constexpr std::size_t RegisterLow = 3;
constexpr std::size_t ValueHigh = 4;
constexpr std::size_t ValueLow = 5;
constexpr int Bytes = 8;
}  // namespace WriteOneRequest

// The write of several registers (function 16): the setup table.
namespace WriteManyRequest {
constexpr std::size_t Address = 0;
constexpr std::size_t Function = 1;
constexpr std::size_t StartHigh = 2;  // the first register, high byte first
constexpr std::size_t StartLow = 3;
constexpr std::size_t QuantityHigh = 4;  // how many registers, high byte first
constexpr std::size_t QuantityLow = 5;
constexpr std::size_t ByteCount = 6;    // the bytes of the values: two per register
constexpr std::size_t ValuesStart = 7;  // the registers' values, each high byte first
constexpr int HeaderBytes = 9;          // a request with no values: the fields and the CRC
}  // namespace WriteManyRequest

// The answer to the status query (function 200, code 32).
namespace StatusReply {
constexpr std::size_t Address = 0;
constexpr std::size_t Function = 1;
constexpr std::size_t Count = 2;
constexpr std::size_t LengthMarker = 4;  // 42 in a complete reply
constexpr std::size_t Variant = 5;       // the model code's high byte
constexpr std::size_t Family = 6;        // the model code's low byte
constexpr std::size_t SerialHigh = 7;
constexpr std::size_t SerialLow = 8;
constexpr std::size_t FirstStatus = 9;    // "O" and "R" come as the digits 2 and 3
constexpr std::size_t SecondStatus = 10;  // a short reply's "V"
constexpr std::size_t ThirdStatus = 11;
constexpr std::size_t StatusNumber = 12;
constexpr std::size_t Gain = 13;          // the low three bits
constexpr std::size_t ChannelStart = 14;  // channel slots 0 to 11, one byte each
constexpr std::size_t GasLow = 26;        // the gas reading, low byte first
constexpr std::size_t GasHigh = 27;
constexpr std::uint8_t LengthMarkerValue = 42;
constexpr int FullCount = 30;  // through the gas reading, and the CRC
}  // namespace StatusReply

// What the maintenance window reads of a reply beyond the status fields.
namespace MaintReply {
constexpr std::size_t OperatingHoursFirst = 3;  // four bytes, high byte first
constexpr std::size_t OperatingHoursBytes = 4;
}  // namespace MaintReply

// The answer to the version queries (codes 20 and 23): the text from index 9.
namespace VersionReply {
constexpr std::size_t TextStart = 9;
constexpr std::size_t SecondaryTextBytes = 20;
}  // namespace VersionReply

// The answer to the read of registers 1-4 (function 3): a count of 8 and the four registers.
namespace SetupReply {
constexpr std::size_t Function = 1;
constexpr std::size_t Count = 2;
constexpr std::uint8_t CountValue = 8;
constexpr std::size_t MeasureFlags = 3;   // register 1, high byte
constexpr std::size_t OutputFlags = 4;    // register 1, low byte
constexpr std::size_t HeaterMode = 8;     // register 3, low byte
constexpr std::size_t HeaterOnTemp = 10;  // register 4, low byte
constexpr int Bytes = 13;
}  // namespace SetupReply

// The echo of a write (function 6 or 16): it repeats the request's address, function,
// register and value (function 6) or quantity (function 16).
namespace Echo {
constexpr std::size_t Address = 0;
constexpr std::size_t Function = 1;
constexpr std::size_t RegisterHigh = 2;
constexpr std::size_t RegisterLow = 3;
constexpr std::size_t ValueHigh = 4;
constexpr std::size_t ValueLow = 5;
constexpr std::size_t Echoed = 6;  // the bytes that must repeat the request's
constexpr int Bytes = 8;
}  // namespace Echo

// The family byte of the model code: which detectors each is.
enum ModelFamily : std::uint8_t {
    kXenon621 = 24,
    kXenon622 = 25,
    kXenon623 = 32,
    kEthylene641 = 33,
    kEthylene642 = 34,
    kEthylene643 = 35,
    kLamp411 = 36,
    kLamp412 = 37,
    kLamp413 = 38,
    kTalvek880 = 48,
    kTalvek890 = 49,
};

}  // namespace halvern
