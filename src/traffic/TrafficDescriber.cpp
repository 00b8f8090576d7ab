#include "traffic/TrafficDescriber.h"

#include <algorithm>
#include <cstdio>

#include "config/ConfigExchanges.h"
#include "link/Frame.h"
#include "link/Layouts.h"
#include "link/Requests.h"
#include "maintenance/MaintExchanges.h"
#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"
#include "monitor/MainComm.h"

namespace halvern {

namespace {

constexpr int kFrameMinCount = 4;  // address, function, CRC
constexpr int kExceptionCount = 5;
constexpr int kEchoCount = Echo::Bytes;
constexpr int kSetupReplyCount = SetupReply::Bytes;
constexpr int kPrimaryVersionMinCount = 12;
constexpr int kSecondaryVersionMinCount = 31;  // text up to index 28, then the CRC

std::string Num(int v) {
    return std::to_string(v);
}

std::string Bytes(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

bool IsCommand(std::span<const std::uint8_t> rq) {
    return rq.size() == CommandRequest::Bytes && rq[CommandRequest::Function] == FunctionCommand &&
           rq[CommandRequest::Count] == CommandRequest::CountValue;
}

int CommandOf(std::span<const std::uint8_t> rq) {
    return IsCommand(rq) ? rq[CommandRequest::Code] : -1;
}

// A version text as the window can show it: control characters as dots, padding dropped.
std::string Printable(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
            c = '.';
    return text;
}

// The smallest whole answer to the request, to tell a reply cut short from one that is
// merely corrupted; 0 when no length is known.
int ExpectedMinCount(std::span<const std::uint8_t> rq) {
    if (rq.size() <= Request::Function)
        return 0;
    switch (rq[Request::Function]) {
        case FunctionCommand:
            switch (CommandOf(rq)) {
                case kCodeStatus:
                    return kStatusReplyFullCount;
                case kCodePrimaryVersion:
                    return kPrimaryVersionMinCount;
                case kCodeSecondaryVersion:
                    return kSecondaryVersionMinCount;
                default:
                    return kExceptionCount;
            }
        case kFunctionRead:
            return kSetupReplyCount;
        case kFunctionWriteOne:
        case kFunctionWriteMany:
            return kEchoCount;
        default:
            return 0;
    }
}

// A whole frame with a valid CRC: what it says, read against the request.
TrafficMeaning DescribeFrame(std::span<const std::uint8_t> f, std::span<const std::uint8_t> rq) {
    const int from = f[0];
    const int function = f[1];
    const std::string src = " from " + Num(from);
    const std::string by = " by " + Num(from);
    TrafficMeaning m;
    // Function 200 has its top bit set already, so an exception to it keeps the function
    // byte: a five-byte function-200 reply holds only the exception code.
    const bool exception = (function >= 128 && function != FunctionCommand) ||
                           (function == FunctionCommand && f.size() == kExceptionCount);
    if (exception) {
        m.mark = TrafficMark::Odd;
        m.text = f.size() >= kExceptionCount ? "exception " + Num(f[2]) + src : "exception" + src;
        return m;
    }
    const int code = CommandOf(rq);
    // Only a write's own echo confirms it (and only then is rq known to hold its fields).
    const bool echo = EchoesRequest(f, rq);
    const int asked = rq.empty() ? 0 : rq[Request::Address];
    switch (function) {
        case FunctionCommand:
            if (code == kCodePrimaryVersion || code == kCodeSecondaryVersion) {
                const bool primary = code == kCodePrimaryVersion;
                m.text = std::string(primary ? "primary" : "secondary") + " version" + src +
                         ": \"" + Printable(VersionTextOf(f, primary)) + "\"";
            } else if (code == kCodeAlign) {
                m.text = "align reply" + src;
            } else if (PassesAcceptanceTest(f)) {
                const auto parts = StatusPartsOf(f);
                const std::string status = parts[0] + parts[1] + parts[2] + parts[3];
                const char* description = StatusDescription(status);
                m.text = "status reply" + src + ": " + status +
                         (description ? std::string(" ") + description : std::string());
            } else {
                m.mark = TrafficMark::Odd;
                m.text = "reply" + src + ", not a status reply";
            }
            break;
        case kFunctionRead:
            m.text =
                IsSetupReply(f) ? "setup table" + src : "read reply" + src + ", " + Bytes(f.size());
            break;
        case kFunctionWriteMany:
            m.text = echo && SetupWriteConfirmed(f, rq[WriteManyRequest::Address])
                         ? "setup write confirmed" + by
                         : "write reply" + src;
            break;
        case kFunctionWriteOne:
            if (echo && AddressWriteConfirmed(f, rq[WriteOneRequest::Address],
                                              rq[WriteOneRequest::ValueLow]))
                m.text = "address write confirmed" + by + ": new address " + Num(f[Echo::ValueLow]);
            else if (echo && SnTestConfirmed(f, rq[WriteOneRequest::Address]))
                m.text = "S/N test confirmed" + by;
            else if (echo && NormalModeConfirmed(f, rq[WriteOneRequest::Address]))
                m.text = "normal mode confirmed" + by;
            else
                m.text = "write reply" + src;
            break;
        default:
            m.text = "function " + Num(function) + " reply" + src;
    }
    // The program follows whoever answers; the technician should see that it was someone else.
    if (rq.size() > Request::Function && asked != 0 && from != asked) {
        m.mark = TrafficMark::Odd;
        m.text += " (asked " + Num(asked) + ")";
    }
    return m;
}

}  // namespace

const char* CrcVerdictText(CrcVerdict v) {
    switch (v) {
        case CrcVerdict::Ok:
            return "ok";
        case CrcVerdict::Bad:
            return "bad";
        case CrcVerdict::Short:
            return "short";
    }
    return "";
}

TrafficMeaning DescribeRequest(std::span<const std::uint8_t> f) {
    TrafficMeaning m;
    if (f.size() < kFrameMinCount) {
        m.crc = CrcVerdict::Short;
        m.mark = TrafficMark::Trouble;
        m.text = "frame of " + Bytes(f.size());
        return m;
    }
    m.crc = ReplyCrcIsValid(f, static_cast<int>(f.size())) ? CrcVerdict::Ok : CrcVerdict::Bad;
    if (m.crc == CrcVerdict::Bad)
        m.mark = TrafficMark::Trouble;
    const int to = f[Request::Address];
    const std::string dst = " to " + Num(to);
    switch (f[Request::Function]) {
        case FunctionCommand:
            switch (CommandOf(f)) {
                case kCodeStatus:
                    m.text = "status query" + dst + (to == 0 ? " (search)" : "");
                    break;
                case kCodePrimaryVersion:
                    m.text = "primary version query" + dst;
                    break;
                case kCodeSecondaryVersion:
                    m.text = "secondary version query" + dst;
                    break;
                case kCodeAlign:
                    m.text = "align command" + dst;
                    break;
                default:
                    m.text = "function 200 request" + dst;
            }
            break;
        case kFunctionRead:
            m.text = "read setup from " + Num(to);
            break;
        case kFunctionWriteMany:
            m.text = "write setup" + dst;
            break;
        case kFunctionWriteOne: {
            namespace W = WriteOneRequest;
            const bool whole = f.size() == static_cast<std::size_t>(W::Bytes);
            const int reg = whole ? f[W::RegisterHigh] << 8 | f[W::RegisterLow] : -1;
            const int value = whole ? f[W::ValueHigh] << 8 | f[W::ValueLow] : -1;
            if (reg == kAddressRegister)
                m.text = "new address " + Num(f[W::ValueLow]) + dst;
            else if (reg == kModeRegister && value >= 0 && value <= 1)
                m.text = std::string(value == 1 ? "S/N test" : "normal mode") + dst;
            else
                m.text = "write register" + dst;
            break;
        }
        default:
            m.text = "function " + Num(f[Request::Function]) + " request" + dst;
    }
    return m;
}

TrafficMeaning DescribeReply(std::span<const std::uint8_t> bytes, std::size_t count,
                             std::span<const std::uint8_t> rq) {
    // A frame without an address and a function asks nothing (it is never sent, but the tap
    // shows whatever is written); the reply is then read as if no question were known.
    if (rq.size() < 2)
        rq = {};
    TrafficMeaning m;
    const std::string n = Bytes(count);
    if (count > static_cast<std::size_t>(kRxBufferSize)) {
        // The link takes nothing of it: no frame is that long.
        m.crc = CrcVerdict::Bad;
        m.mark = TrafficMark::Trouble;
        m.text = "too long, " + n +
                 (!rq.empty() && !bytes.empty() && bytes[0] == rq[Request::Address]
                      ? " from " + Num(bytes[0])
                      : std::string());
        return m;
    }
    const int c = static_cast<int>(bytes.size());
    m.crc = c < kFrameMinCount          ? CrcVerdict::Short
            : ReplyCrcIsValid(bytes, c) ? CrcVerdict::Ok
                                        : CrcVerdict::Bad;
    if (m.crc == CrcVerdict::Ok)
        return DescribeFrame(bytes, rq);

    m.mark = TrafficMark::Trouble;
    const bool fromAsked = !rq.empty() && !bytes.empty() &&
                           (rq[Request::Address] == 0 || bytes[0] == rq[Request::Address]) &&
                           (c < 2 || bytes[1] == rq[Request::Function]);
    if (fromAsked && c < ExpectedMinCount(rq)) {
        m.text = "cut reply from " + Num(bytes[0]) + ", " + n;
        return m;
    }
    // Stray bytes (noise, the tail of a late reply) in front of a whole frame.
    for (int k = 1; k + kFrameMinCount <= c; ++k) {
        const auto rest = bytes.subspan(static_cast<std::size_t>(k));
        if (ReplyCrcIsValid(rest, c - k)) {
            m.text = "noise, " + Bytes(static_cast<std::size_t>(k)) + ", then " +
                     DescribeFrame(rest, rq).text;
            return m;
        }
    }
    if (fromAsked) {
        m.text = "reply from " + Num(bytes[0]) + " with a bad CRC, " + n;
        return m;
    }
    m.text = "noise, " + n;
    return m;
}

TrafficMeaning TrafficDescriber::Describe(TrafficDirection dir, std::span<const std::uint8_t> bytes,
                                          std::size_t count) {
    switch (dir) {
        case TrafficDirection::Sent:
            lastRequest_.assign(bytes.begin(), bytes.end());
            return DescribeRequest(bytes);
        case TrafficDirection::Received:
            return DescribeReply(bytes, count, lastRequest_);
        case TrafficDirection::Discarded: {
            // Bytes that came when nobody waited for them: a late reply, most often.
            TrafficMeaning m = DescribeReply(bytes, count, lastRequest_);
            m.text = "discarded: " + m.text;
            if (m.mark == TrafficMark::Plain)
                m.mark = TrafficMark::Odd;
            return m;
        }
    }
    return {};
}

std::string HexText(std::span<const std::uint8_t> bytes, std::size_t count) {
    std::string out;
    out.reserve(bytes.size() * 3 + 24);
    char hex[4];
    for (std::uint8_t b : bytes) {
        if (!out.empty())
            out.push_back(' ');
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    if (count > bytes.size())
        out += " ... (" + std::to_string(count) + " bytes)";
    return out;
}

}  // namespace halvern
