#pragma once
// A detector's setup table in a file of its own: kept as a record before a change, or put
// into another detector of the same model. The file is JSON. It names the detector it was
// read from, holds setup registers 1-4 as read (the table itself) and, for whoever reads the
// file, each field's text under its JSON key. Reading it back checks all of this before
// anything goes to a detector.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/SetupCodec.h"

namespace halvern {

constexpr const char* kSetupFileKind = "halvern setup table";
// The layout this program writes and the latest it reads.
constexpr int kSetupFileFormat = 1;
// A setup file is about a kilobyte; anything far larger is some other file.
constexpr std::int64_t kSetupFileMaxBytes = 64 * 1024;

struct SetupFile {
    int format = kSetupFileFormat;
    std::string program, programVersion;  // what saved it: "halvern-cli", "0.1.0"
    std::string savedUtc;                 // "2026-12-07T04:09:02Z"
    int address = 0;                      // where the detector answered
    std::uint16_t modelCode = 0;          // variant byte * 256 + family byte
    std::string model;                    // its name, "Veridan Xenon 621-2"
    long serial = 0;
    std::array<std::uint16_t, 4> registers{};  // registers 1-4, as read
};

// Registers 1-4 of a function-3 reply of the setup table (bytes 3-10).
std::array<std::uint16_t, 4> SetupRegistersFromReply(std::span<const std::uint8_t> rx);
// The four setting bytes the registers hold.
SetupTable SetupTableOf(const SetupFile& file);
// The model whose option sets the table is read with.
SetupModel SetupModelOf(const SetupFile& file);

// The file's text, fields included.
std::string SetupFileJson(const SetupFile& file);
// The file read back, or what is wrong with it: not a setup file of this program, of a later
// format, damaged (not whole, a member missing or of the wrong kind, a field's text that is
// not what its registers hold), or a setting that its model cannot take (naming the field).
std::variant<SetupFile, std::string> ParseSetupFile(std::string_view bytes);
// Why the file's table is not for the detector (another model); empty when it is.
std::string SetupModelMismatch(const SetupFile& file, const SetupModel& detector,
                               int detectorAddress);

// A setting that the file's table holds and the detector's does not: by the screen's caption
// and texts (SettingTexts).
struct SetupDifference {
    SetupControl field;
    std::string caption, detector, file;
};
// The settings of `loaded` that differ from `read`, in the screen's order; only the settings
// the model has (its fields with options).
std::vector<SetupDifference> SetupDifferences(const SetupTable& read, const SetupTable& loaded,
                                              const SetupModel& model);
// The setup screen's texts after a load: as shown for `read`, but each setting that differs
// as the file's text, as if the technician had chosen it. A Burn of these writes `loaded`'s
// settings and leaves the rest as read.
SetupTexts LoadedSetupTexts(const SetupTable& read, const SetupTable& loaded,
                            const SetupModel& model);
// "Loaded from /home/tech/4711.json, saved from serial number 4711": how the service history
// names a table written from a file.
std::string SetupFileSource(const std::string& path, const SetupFile& file);

// The file at `path` read whole (into `bytes`), or why not: missing, no regular file, too
// large to be a setup file, unreadable. Empty when read.
std::string ReadSetupFileBytes(const std::string& path, std::string& bytes);

}  // namespace halvern
