// halvern-cli serve: its command line and what each request gets.

#include "cli/Serve.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>

#include "cli/CliBench.h"
#include "cli/CommandLine.h"

namespace halvern::test {
namespace {

// What serve takes: addresses, a listen address and a log period (the refusals are with the
// other command lines'); only the loopback needs no warning.
TEST(ServeCommandLine, TakesAddressesAListenAddressAndALogPeriod) {
    struct Case {
        std::vector<std::string> args;
        std::vector<int> addresses;
        std::string listen;
        int logPeriodS;
    };
    // clang-format off
    for (const Case& c : {Case{{"serve"}, {}, "", 0}, Case{{"serve", "1", "7", "247"}, {1, 7, 247}, "", 0}, Case{{"serve", "--listen=[::1]:9464", "3"}, {3}, "[::1]:9464", 0},
                          Case{{"serve", "--listen", "localhost:8080"}, {}, "localhost:8080", 0}, Case{{"serve", "--log-period", "10", "1"}, {1}, "", 10}}) {
        // clang-format on
        const auto parsed = cli::ParseCommandLine(c.args);
        ASSERT_TRUE(parsed.invocation.has_value()) << parsed.error;
        const cli::Invocation& i = *parsed.invocation;
        EXPECT_EQ(std::tie(i.addresses, i.listen, i.logPeriodS),
                  std::tie(c.addresses, c.listen, c.logPeriodS));
    }
    // clang-format off
    for (const auto& [host, loopback] : std::initializer_list<std::pair<const char*, bool>>{
             {"127.4.5.6", true}, {"::1", true}, {"localhost", true}, {"0.0.0.0", false}, {"192.168.1.20", false}, {"::", false}})
        EXPECT_EQ(cli::IsLoopback(host), loopback) << host;
    // clang-format on
}

TEST(ServeRequests, ReadOnlyEndpointsAnswerGetAndHeadOnly) {
    const struct {
        const char *method, *path;
        int status;
        const char* contentType;  // its start
    } cases[] = {
        {"GET", "/metrics", 200, "text/plain; version=0.0.4"},
        {"HEAD", "/metrics", 200, "text/plain; version=0.0.4"},
        {"GET", "/api/detectors", 200, "application/json"},
        {"POST", "/metrics", 405, "text/plain"},
        {"DELETE", "/healthz", 405, "text/plain"},
        {"HEAD", "/nothing", 404, "text/plain"},
        {"GET", "/metrics/", 404, "text/plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const auto a = cli::Answer(c.method, c.path, nullptr);
        EXPECT_EQ(a.status, c.status);
        EXPECT_EQ(a.contentType.rfind(c.contentType, 0), 0u) << a.contentType;
        EXPECT_EQ(a.head, std::string(c.method) == "HEAD");
        EXPECT_FALSE(a.body.empty());
    }
}

// Started without addresses while detector 12 is silent, serve serves 1 and 7; once 12
// answers again, the search between rounds finds it within five minutes, and serve says so.
TEST(ServeSearch, ADetectorSilentAtTheStartIsServedOnceItAnswers) {
    CliBench b(BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880, "silent"}}));
    constexpr Micros kAnswersAgain = 60'000'000;
    b.beforeRun = [&](cli::Tool& tool) {
        b.plat.Post(kAnswersAgain, [&] { b.bus().ClearFaults(12); });
        b.plat.Post(kAnswersAgain + 300'000'000, [&tool] { tool.RequestStop(); });
    };
    QTcpServer free;  // a port nobody listens on, for the endpoint
    ASSERT_TRUE(free.listen(QHostAddress::LocalHost));
    const std::string listen = "127.0.0.1:" + std::to_string(free.serverPort());
    free.close();
    const CliRun r = b.Cli({"serve", "--listen", listen});
    EXPECT_EQ(r.code, 0) << r.err;
    const auto lines = Lines(r.err);
    ASSERT_GE(lines.size(), 3u) << r.err;
    EXPECT_EQ(lines[1].substr(0, 42), "halvern-cli: serving addresses 1, 7 on htt");
    EXPECT_EQ(lines[2],
              "halvern-cli: detector 12 (Talvek 880, serial 880) answers: served from now on");
}

}  // namespace
}  // namespace halvern::test
