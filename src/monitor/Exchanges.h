#pragma once
// The detector exchanges that read: a status poll, a version text and the setup table. Each is
// the request, its waits and one reception; a caller that runs inside a poll drains the reply
// that poll may still be waiting for first. The windows and halvern-cli share them; the writes
// are in config/ConfigExchanges.h and maintenance/MaintExchanges.h, the align command is
// Link::Align.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/Link.h"
#include "state/Par.h"

namespace halvern {

enum class PollReply {
    None,       // nothing came
    Broken,     // bytes came that the link does not take (a bad CRC, a reply cut or too long)
    NotStatus,  // a reply the link takes that holds no status (an exception, an echo)
    Status,     // a status reply, decoded into a reading
};

// How long a poll collects its reply: the program's 150 ms collection window (ReceiveReply),
// or until a whole valid reply is in (ReceiveWholeReply).
enum class ReplyWait { Window, WholeReply };

// What one status poll got: how it ended, the reception itself, and the reading decoded from
// that reception's own bytes when it was a status reply.
struct StatusPoll {
    PollReply reply = PollReply::None;
    Reception reception;
    std::optional<StatusReading> reading;
};

// Sends the status query to `address` and takes in one reply, waiting `firstByteUs` for its
// first byte (the polling cycle's 0.6 s by default; a bus scan waits less).
StatusPoll PollStatus(Link& link, std::uint8_t address, const StopCheck& stop = {},
                      Micros firstByteUs = kFirstByteWindowUs, ReplyWait wait = ReplyWait::Window);

// The primary (code 20) or secondary (code 23) software version as the main window shows it;
// nothing without a reply. The reception goes to `reception` when given.
std::optional<std::string> ReadVersion(Link& link, std::uint8_t address, bool primary,
                                       const StopCheck& stop = {}, Reception* reception = nullptr);

// The read of registers 1-4: the request, half a second, one reception. True only when the
// reply taken is that detector's setup table (IsSetupReply from `address`); it stands in the
// buffers for the setup codec. Anything else is a failed read: decoded as a table, it could be
// burnt back into the detector.
bool ReadSetupReply(Link& link, std::uint8_t address, const StopCheck& stop = {});
// The reply (as received) is the normal answer to that read: function 3 and eight data bytes.
bool IsSetupReply(std::span<const std::uint8_t> reply);

}  // namespace halvern
