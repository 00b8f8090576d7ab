// Bytes a client of serve's endpoint may send, as the endpoint reads them: the first request's
// head, and where it ends. A whole request is whole again when cut at its end and not yet whole
// a byte earlier; a refusal is one of the three that are answered.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cli/Intake.h"

using namespace halvern::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const RequestHead head = ReadRequest(bytes);
    switch (head.kind) {
        case RequestHead::Kind::Whole: {
            if (head.length == 0 || head.length > bytes.size() || head.length > kMaxRequestBytes)
                std::abort();
            const RequestHead again = ReadRequest(bytes.substr(0, head.length));
            if (again.kind != RequestHead::Kind::Whole || again.length != head.length ||
                again.method != head.method || again.path != head.path)
                std::abort();
            if (ReadRequest(bytes.substr(0, head.length - 1)).kind == RequestHead::Kind::Whole)
                std::abort();
            break;
        }
        case RequestHead::Kind::Refused:
            if (head.status != 400 && head.status != 413 && head.status != 505)
                std::abort();
            (void)AnswerBytes(Refusal(head.status), true);
            break;
        case RequestHead::Kind::Incomplete:
            if (bytes.size() > kMaxRequestBytes)
                std::abort();
            break;
    }
    return 0;
}
