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

// A version reply: function 200, long enough for the text's first index (9) and the CRC, and
// neither an exception nor a complete status reply (by its length, marker and family; a short
// status reply's "V" at index 10 may be a version text's second letter). Which of the two
// versions it holds is not in the reply: it is the one asked for.
bool IsVersionReply(std::span<const std::uint8_t> reply);
// The version text of a reply as received: primary = indices 9 to count-3 (empty below 12
// bytes); secondary = always the 20 bytes at indices 9 to 28, bytes past its end as zero bytes.
std::string VersionTextOf(std::span<const std::uint8_t> reply, bool primary);
// The version text of a reply as received, primary or secondary, without the blanks and zero
// bytes that pad it; nothing past the reply's own bytes.
std::string VersionOf(std::span<const std::uint8_t> reply, bool primary);

// What a taken reply is, as a message names it: "a status reply", "an exception (code 4)",
// "a version reply", "a reply of function 3, 13 bytes".
std::string WhatCame(std::span<const std::uint8_t> reply);
// Why a reception is not the answer of the detector at `address` of the kind asked (`kindAsked`:
// the reply is of that kind; `asked` names it): nothing came, bytes came that are no whole
// reply, another address answered, or the asked one with another kind of reply. Empty when it
// is the answer. Address 0, the broadcast, takes the answer of any address.
std::string NotTheAnswer(const Reception& rx, std::uint8_t address, bool kindAsked,
                         const std::string& asked);

// One version query: what came, and the version when it is the asked detector's version reply,
// else why not. The main window and halvern-cli take the same replies as the version.
struct VersionRead {
    Reception reception;
    std::optional<std::string> version;
    std::string refusal;  // empty when there is a version
};
VersionRead VersionAnswer(Reception rx, std::uint8_t address, bool primary);
// Records the version read in the service history: done with the version, or not done with
// why (another detector's answer is never recorded as this one's version).
void RecordVersion(Par& par, std::uint8_t address, bool primary, const VersionRead& read);
// Sends the primary (code 20) or secondary (code 23) version query and takes its answer.
VersionRead ReadVersion(Link& link, std::uint8_t address, bool primary, const StopCheck& stop = {});

// The read of registers 1-4: the request, half a second, one reception. True only when the
// reply taken is that detector's setup table (IsSetupReply from `address`); it stands in the
// buffers for the setup codec. Anything else is a failed read: decoded as a table, it could be
// burnt back into the detector.
bool ReadSetupReply(Link& link, std::uint8_t address, const StopCheck& stop = {});
// The reply (as received) is the normal answer to that read: function 3 and eight data bytes.
bool IsSetupReply(std::span<const std::uint8_t> reply);

}  // namespace halvern
