#pragma once
// What serve's endpoint lets in: the head of a request read from the bytes a connection sent,
// the bytes of an answer, and which connections keep their places. Functions of bytes and
// times; the sockets are Serve's.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "site/Exports.h"

namespace halvern::cli {

// A request (request line, headers and body) larger than this is refused: the endpoint takes
// GET and HEAD, whose requests are a few hundred bytes.
constexpr std::size_t kMaxRequestBytes = 16 * 1024;

struct RequestHead {
    enum class Kind { Incomplete, Whole, Refused };
    Kind kind = Kind::Incomplete;
    int status = 0;  // Refused: 400, 413 or 505
    std::string method, path;
    bool close = false;      // the connection ends after the answer
    std::size_t length = 0;  // Whole: the bytes of the request, its body included
};
// The first request in `bytes`, which may hold the start of the next ones too. One that cannot
// be HTTP is refused as soon as that shows, without waiting for the rest.
RequestHead ReadRequest(std::string_view bytes);

// A refusal's answer: 400, 413 or 505, its reason as text.
HttpAnswer Refusal(int status);
// The bytes sent for an answer; `close` says that the connection ends after it.
std::string AnswerBytes(const HttpAnswer& a, bool close);

// The places for connections. A request must be whole within a deadline from its first byte,
// however slowly its bytes come; a connection waiting for its next request is closed after a
// longer idle time. When every place is taken, a new connection is let in by closing the
// oldest connection that has not got its request in (a request begun, or no request yet), and
// only when there is none, the oldest of those waiting between requests.
class Admission {
  public:
    using Id = std::uint64_t;
    Admission(int places, Micros requestDeadline, Micros idleClose)
        : places_(places), deadline_(requestDeadline), idle_(idleClose) {}

    // A new connection at t; the one to close to make room for it, if any.
    std::pair<Id, std::optional<Id>> Open(Micros t);
    // Bytes of a request came at t: its deadline runs from the first of them.
    void Begun(Id id, Micros t);
    // Its request was answered at t: it waits for the next.
    void Answered(Id id, Micros t);
    void Closed(Id id) { open_.erase(id); }
    // The connections whose time is up at t, forgotten here: the caller closes them.
    std::vector<Id> Due(Micros t);
    std::size_t Count() const { return open_.size(); }

  private:
    enum class State { New, Reading, Waiting };
    struct Connection {
        State state;
        Micros since;  // connected, first byte of the request, or answered
    };
    int places_;
    Micros deadline_, idle_;
    Id next_ = 1;
    std::map<Id, Connection> open_;
};

}  // namespace halvern::cli
