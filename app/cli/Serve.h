#pragma once
// halvern-cli serve: the detectors of a bus polled in turn and served over HTTP, read-only, for
// the plant's monitoring stack: /metrics in the Prometheus text format, /api/detectors as JSON
// with the keys of --json, and /healthz. The texts are functions of the poller's state; the
// endpoint only reads request heads (Intake.h) and hands the texts out.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Intake.h"
#include "link/Link.h"
#include "logging/LogRecords.h"
#include "site/BusPoller.h"
#include "site/Exports.h"

namespace halvern::cli {

constexpr const char* kDefaultListenHost = "127.0.0.1";
constexpr int kDefaultListenPort = 9464;
constexpr int kMaxConnections = 64;
// A request must be whole this long after its first byte, however slowly it comes.
constexpr int kRequestDeadlineMs = 5'000;
// A connection that waits this long for its next request (or its first) is closed. Longer than
// a scrape interval of a minute, so a scraper's kept-alive connection is not cut between its
// scrapes.
constexpr int kIdleCloseMs = 75'000;
// How often the connections' times are looked at.
constexpr int kSweepMs = 250;
// A client that does not read its answers is dropped once this much waits to be sent to it.
constexpr std::int64_t kMaxUnsentBytes = 4 * 1024 * 1024;

struct ListenAddress {
    std::string host;  // an IPv4 or IPv6 address, or "localhost"
    int port = kDefaultListenPort;
};
// "HOST:PORT" ("[::1]:9464" for IPv6); nothing when it is not one.
std::optional<ListenAddress> ParseListen(std::string_view text);
// Whether only this machine can reach the address.
bool IsLoopback(const std::string& host);

// serve's own options, checked with the command line; the reason when one does not fit.
std::string ReadServeOptions(const std::string* listen, const std::string* logPeriod,
                             Invocation& inv);

using ::halvern::DetectorsJson;
using ::halvern::MetricsText;

using ::halvern::Answer;
using ::halvern::HttpAnswer;

struct ServeContext {
    Platform& platform;
    SerialPort& port;
    Link& link;
    std::function<LocalDateTime()> now;
    std::string folder;  // where --log-period writes
    StopCheck stop;
    std::function<void(const std::string&)> say;                // a line on standard error
    std::function<int(int code, const std::string& why)> fail;  // a failure, said; its exit code
};
// Listens, scans when no address is given, and polls until a stop.
int Serve(const Invocation& inv, const ServeContext& ctx);

}  // namespace halvern::cli
