#pragma once
// The input of the poll_cycle target, shared with make-seeds: the log period (0: logging
// off), then records, each a header byte and its body, one record a frame the program writes.
//   kind kReply:        a length byte and that many bytes, sent back as the detector's reply
//   kind kReplyWithCrc: the same with the reply's CRC appended
//   kind kSilence:      no reply
//   kind kKey:          an action byte (for kBurnAddress also the address); the frame is
//                       answered by the next record
// The header's kind is its low two bits; the rest counts kDelayStepUs from the frame's end
// until the reply starts or the key is pressed.

#include <cstdint>

#include "platform/Platform.h"

namespace halvern::fuzz {

enum RecordKind : std::uint8_t { kReply, kReplyWithCrc, kSilence, kKey };
constexpr Micros kDelayStepUs = 4000;

constexpr std::uint8_t Header(RecordKind kind, int delaySteps) {
    return static_cast<std::uint8_t>(delaySteps << 2 | kind);
}

// The technician's keys; each acts only in the window it belongs to.
enum Action : std::uint8_t {
    // main window
    kUp,
    kDown,
    kAlign,
    kSetup,
    kVersion,
    kVersion2,
    kMaster,
    kTune,
    kNewAddress,
    kMaint,
    // maintenance window
    kCheck,
    kNormal,
    kMaintAlign,
    // any other window
    kClose,
    // setup screen
    kBurnSetup,
    // address dialog, followed by the address typed
    kBurnAddress,
    kActionCount
};

}  // namespace halvern::fuzz
