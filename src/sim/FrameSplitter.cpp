#include "sim/FrameSplitter.h"

#include "link/Frame.h"
#include "link/Layouts.h"
#include "link/Requests.h"

namespace halvern::sim {

namespace {
constexpr std::size_t kMaxPending = 1024;  // more than any frame: the rest is garbage
}

int FrameSplitter::ExpectedLength(std::span<const std::uint8_t> b) {
    if (b.empty())
        return -1;
    if (b[Request::Address] > 247)
        return 0;  // no host frame goes to such an address
    if (b.size() <= Request::Function)
        return -1;
    switch (b[Request::Function]) {
        case kFunctionRead:
            return ReadRequest::Bytes;
        case kFunctionWriteOne:
            return WriteOneRequest::Bytes;
        case FunctionCommand:
            return CommandRequest::Bytes;
        case kFunctionWriteMany:
            return b.size() <= WriteManyRequest::ByteCount
                       ? -1
                       : WriteManyRequest::HeaderBytes + b[WriteManyRequest::ByteCount];
        default:
            return 0;
    }
}

std::vector<std::vector<std::uint8_t>> FrameSplitter::Scan() {
    std::vector<std::vector<std::uint8_t>> frames;
    for (;;) {
        // The earliest complete frame with a valid CRC, anywhere in the buffer: a false start
        // that waits for bytes that never come must not hold back a good frame behind it.
        bool found = false;
        for (std::size_t i = 0; i + 1 < buf_.size() && !found; ++i) {
            const auto rest = std::span(buf_).subspan(i);
            const int len = ExpectedLength(rest);
            if (len <= 0 || static_cast<std::size_t>(len) > rest.size())
                continue;
            if (!ReplyCrcIsValid(rest, len))
                continue;
            frames.emplace_back(rest.begin(), rest.begin() + len);
            dropped_ += i;
            buf_.erase(buf_.begin(), buf_.begin() + static_cast<long>(i) + len);
            found = true;
        }
        if (!found)
            break;
    }
    // Leading bytes that cannot begin a frame (no such function, or complete and failing the
    // CRC) go, one at a time, until a possible start waits for more bytes.
    while (!buf_.empty()) {
        const int len = ExpectedLength(buf_);
        if (len < 0 || (len > 0 && static_cast<std::size_t>(len) > buf_.size()))
            break;
        buf_.erase(buf_.begin());
        ++dropped_;
    }
    if (buf_.size() > kMaxPending) {
        const std::size_t cut = buf_.size() - kMaxPending;
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<long>(cut));
        dropped_ += cut;
    }
    return frames;
}

std::vector<std::vector<std::uint8_t>> FrameSplitter::Feed(std::span<const std::uint8_t> bytes) {
    buf_.insert(buf_.end(), bytes.begin(), bytes.end());
    return Scan();
}

std::vector<std::vector<std::uint8_t>> FrameSplitter::Flush() {
    std::vector<std::vector<std::uint8_t>> frames;
    while (!buf_.empty()) {
        // The false start at the front goes; whatever stood behind it gets its chance.
        buf_.erase(buf_.begin());
        ++dropped_;
        auto more = Scan();
        frames.insert(frames.end(), more.begin(), more.end());
    }
    return frames;
}

}  // namespace halvern::sim
