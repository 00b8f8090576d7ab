#pragma once
// One simulated detector: the state it keeps and the bytes it answers with. Handle() is the
// whole protocol side; it does no input or output and keeps no clock of its own, so the same
// detector serves tests on virtual time, the in-process demo bus and the pseudo-terminal.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Requests.h"
#include "platform/Platform.h"

namespace halvern::sim {

// Modbus exception codes the detectors use.
constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalDataAddress = 2;
constexpr std::uint8_t kIllegalDataValue = 3;
constexpr std::uint8_t kDeviceFailure = 4;

constexpr std::uint8_t kStatusMarker = 42;      // index 4 of a complete status reply
constexpr std::size_t kStatusReplyLength = 34;  // indices 0..31 and the CRC
// The shortest status reply there is: the model family at index 6, then the CRC.
constexpr std::size_t kShortestStatusReply = 9;
constexpr std::size_t kSecondaryVersionLength = 20;
constexpr int kRegisterCount = 5;               // holding registers 0..4
constexpr Micros kAlignDurationUs = 5'000'000;  // how long "XXX" shows after an align command

// Raw reply bytes of the measured values (indices 14..27 of the status reply).
struct Readings {
    std::uint8_t Signal1 = 0;
    std::uint8_t Reference = 0;
    std::uint8_t Signal2 = 0;
    std::uint8_t Voltage = 0;
    std::int8_t Temperature = 0;
    std::uint8_t Ratio1 = 0;
    std::uint8_t Ratio2 = 0;
    std::uint8_t NqRatio1 = 0;
    std::uint8_t NqRatio2 = 0;
    std::uint8_t S1N = 0;
    std::uint8_t S2N = 0;
    std::uint8_t RN = 0;
    std::uint16_t Gas = 0;
};

struct DetectorConfig {
    std::uint8_t Address = 1;
    std::uint8_t Family = 24;
    std::uint8_t Variant = 0;
    std::uint16_t Serial = 1;
    SetupTable Setup{};
    std::string PrimaryVersion;    // empty: a text made from the family
    std::string SecondaryVersion;  // empty: a text made from the family; padded to 20
    std::uint32_t Seed = 0;        // drift of the readings; 0: taken from the serial number
};

class Detector {
  public:
    explicit Detector(const DetectorConfig& config);

    // The reply frame (CRC included) to one request frame received at `now`, or nothing when
    // the frame is not for this detector (bad CRC, other address, malformed). Address 0 is
    // answered too, always from the detector's own address.
    std::optional<std::vector<std::uint8_t>> Handle(const std::vector<std::uint8_t>& request,
                                                    Micros now);
    // True when the frame has a valid CRC and is addressed to this detector or to address 0.
    bool Hears(const std::vector<std::uint8_t>& request) const;

    std::uint8_t Address() const { return address_; }
    std::uint8_t Family() const { return family_; }
    std::uint8_t Variant() const { return variant_; }
    std::uint16_t Serial() const { return serial_; }
    const std::string& PrimaryVersion() const { return primaryVersion_; }
    const std::string& SecondaryVersion() const { return secondaryVersion_; }

    // Status characters (three) and number as the detector reports them at `now`: "XXX" while
    // an alignment runs, otherwise what SetStatus set ("NNN", 0 at start).
    std::string StatusCharsAt(Micros now) const;
    std::uint8_t StatusNumber() const { return statusNumber_; }
    // chars: exactly three characters; false (nothing changed) otherwise.
    bool SetStatus(std::string_view chars, std::uint8_t number);

    std::uint8_t Gain() const { return gain_; }
    void SetGain(std::uint8_t gain) { gain_ = gain; }
    // The readings around which the values drift (S/N figures are used only during the test).
    void SetBaseReadings(const Readings& r) { base_ = r; }
    const Readings& BaseReadings() const { return base_; }
    Readings ReadingsAt(Micros now) const;
    // Index 3 of the status reply, the top byte of the operating-time number that the
    // maintenance window reads from indices 3..6.
    void SetOperatingTimeByte(std::uint8_t b) { operatingTimeByte_ = b; }

    bool SnTestRunning() const { return mode_ == 1; }
    std::array<std::uint16_t, kRegisterCount> Registers() const;
    SetupTable Setup() const;
    // Puts the four setting bytes into registers 1, 3 and 4 as a write would, values that the
    // setup screen has no text for included.
    void SetSetup(const SetupTable& t);

    // The status reply at `now` (what function 200 code 32 answers): 34 bytes, or the shape
    // that SetStatusReplyShape chose.
    std::vector<std::uint8_t> StatusReply(Micros now) const;

    // Every reply shape a detector may send a status query, for trials of the host:
    // - the status reply cut to `length` bytes (kShortestStatusReply to kStatusReplyLength,
    //   the CRC recomputed at its end), with or without the length marker at index 4; the
    //   detectors send their short replies, "V" ones, without it. False when out of range.
    bool SetStatusReplyShape(std::size_t length, bool marker);
    std::size_t StatusReplyLength() const { return replyLength_; }
    // - status bytes 9 to 12 exactly as given, none translated: control characters, bytes
    //   above 127, a first "O" as itself instead of the digit 2. SetStatus ends it.
    void SetStatusBytes(std::array<std::uint8_t, 4> bytes);
    // - a reading held at a raw value, without drift and without the floor of 1 that the NQ
    //   ratios and noise figures otherwise keep (so an NQ ratio can read 0); nullopt lets it
    //   drift again around that value. Names: signal1, reference, signal2, voltage,
    //   temperature, ratio1, ratio2, nq1, nq2, s1n, s2n, rn, gas. False for another name or a
    //   value its byte (or, for gas, two bytes) cannot hold.
    bool HoldReading(std::string_view name, std::optional<int> value);
    std::vector<std::uint8_t> ExceptionReply(std::uint8_t function, std::uint8_t code) const;

  private:
    std::vector<std::uint8_t> HandleCommand(const std::vector<std::uint8_t>& rq, Micros now);
    std::vector<std::uint8_t> HandleRead(const std::vector<std::uint8_t>& rq) const;
    std::vector<std::uint8_t> HandleWriteOne(const std::vector<std::uint8_t>& rq);
    std::vector<std::uint8_t> HandleWriteMany(const std::vector<std::uint8_t>& rq);
    std::vector<std::uint8_t> VersionReply(std::uint8_t code) const;
    // Checks a write of `value` into register `reg`; 0 when it is allowed, else the
    // exception code.
    std::uint8_t CheckWrite(int reg, std::uint16_t value) const;
    void ApplyWrite(int reg, std::uint16_t value);

    std::uint8_t address_;
    std::uint8_t family_;
    std::uint8_t variant_;
    std::uint16_t serial_;
    std::uint32_t seed_;
    std::string primaryVersion_;
    std::string secondaryVersion_;
    std::string statusChars_ = "NNN";
    std::uint8_t statusNumber_ = 0;
    std::uint8_t gain_ = 3;
    std::uint8_t operatingTimeByte_ = 0;
    Readings base_;
    std::uint16_t reg1_ = 0;  // MeasureFlags << 8 | OutputFlags
    std::uint16_t mode_ = 0;  // register 2: 1 while the S/N test runs
    std::uint16_t reg3_ = 0;  // HeaterMode in the low byte
    std::uint16_t reg4_ = 0;  // HeaterOnTemp in the low byte
    std::optional<Micros> alignUntilUs_;
    std::size_t replyLength_ = kStatusReplyLength;
    bool replyMarker_ = true;
    bool rawStatus_ = false;     // statusChars_ go out as they are, without the "O"/"R" digits
    unsigned heldReadings_ = 0;  // bit per reading, in the order of kReadingNames
};

}  // namespace halvern::sim
