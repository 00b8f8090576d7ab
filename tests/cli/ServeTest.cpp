// halvern-cli serve: its command line and what each request gets.

#include "cli/Serve.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <list>

#include "cli/CliBench.h"
#include "cli/CommandLine.h"
#include "cli/Intake.h"
#include "support/UiTest.h"

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

// The first request of what a connection sent: whole (its method, path, length and whether the
// connection ends after it), not yet whole, or refused at once when it cannot be HTTP.
TEST(ServeRequests, TheFirstRequestOfTheBytesIsRead) {
    using K = cli::RequestHead::Kind;
    const std::string big(17'000, 'a');
    const struct {
        std::string bytes;
        K kind;
        int status;
        const char *method, *path;
        bool close;
        std::size_t length;
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\nGET /healthz", K::Whole, 0, "GET", "/metrics",
         false, 34},
        {"GET /metrics?x=1 HTTP/1.0\r\n\r\n", K::Whole, 0, "GET", "/metrics", true, 29},
        {"GET /metrics HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", K::Whole, 0, "GET", "/metrics",
         false, 49},
        {"HEAD http://plant:9464/healthz HTTP/1.1\r\nConnection: close\r\n\r\n", K::Whole, 0,
         "HEAD", "/healthz", true, 62},
        {"GET /healthz HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n", K::Whole, 0,
         "GET", "/healthz", false, 66},
        {"\r\nGET / HTTP/1.1\nHost: x\n\n", K::Whole, 0, "GET", "/", false, 26},
        {"POST /metrics HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET", K::Whole, 0, "POST",
         "/metrics", false, 48},
        {"POST /metrics HTTP/1.1\r\nContent-Length: 3\r\n\r\nab", K::Incomplete, 0, "", "", false,
         0},
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n", K::Incomplete, 0, "", "", false, 0},
        {"GET /met", K::Incomplete, 0, "", "", false, 0},
        {"\x16\x03\x01\x02", K::Refused, 400, "", "", true, 0},
        {"GET /metrics\r\n", K::Refused, 400, "", "", true, 0},
        {"GET\r\n", K::Refused, 400, "", "", true, 0},
        {"hello there you\r\n", K::Refused, 400, "", "", true, 0},
        {"GET /metrics HTTP/2.0\r\n\r\n", K::Refused, 505, "", "", true, 0},
        {"GET /metrics HTTP/0.9\r\n\r\n", K::Refused, 400, "", "", true, 0},
        {"GET /metrics HTTP/1.1\r\nHost : x\r\n\r\n", K::Refused, 400, "", "", true, 0},
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", K::Refused, 400, "", "", true, 0},
        {"GET /metrics HTTP/1.1\r\nContent-Length: -1\r\n\r\n", K::Refused, 400, "", "", true, 0},
        {"GET /metrics HTTP/1.1\r\nX: " + big, K::Refused, 413, "", "", true, 0},
        {"POST /metrics HTTP/1.1\r\nContent-Length: 17000\r\n\r\n", K::Refused, 413, "", "", true,
         0},
    };
    for (const auto& c : cases) {
        const auto h = cli::ReadRequest(c.bytes);
        EXPECT_EQ(std::tie(h.kind, h.status, h.method, h.path, h.close, h.length),
                  std::tuple(c.kind, c.status, c.method, c.path, c.close, c.length))
            << c.bytes.substr(0, 60);
    }
}

// Which connections keep their places, with two places, a request deadline of 5 s and an idle
// close of 75 s. A step is "t:Xc": at t seconds, X of connection c (o opened, b bytes of a
// request, a answered); then who is closed, in order, by the steps and by the time up to `at`.
TEST(ServeRequests, ConnectionsKeepTheirPlacesByTheirRequestsAge) {
    const struct {
        const char* why;
        std::vector<std::string> steps;
        double at;
        std::string closed;
    } cases[] = {
        {"a request not whole 5 s after its first byte", {"0:oa", "1:ba", "4:ba"}, 5.9, ""},
        {"a request not whole 5 s after its first byte", {"0:oa", "1:ba", "4:ba"}, 6, "a"},
        {"kept alive between requests", {"0:oa", "0:aa", "60:aa"}, 134, ""},
        {"idle after its answer", {"0:oa", "0:aa"}, 75, "a"},
        {"connected, saying nothing", {"0:oa"}, 75, "a"},
        {"a new one for a begun request", {"0:oa", "0:aa", "1:ob", "2:bb", "3:oc"}, 3, "b"},
        {"a new one for the oldest that has not got its request in",
         {"0:oa", "1:ba", "2:ob", "3:oc"},
         3,
         "a"},
        {"a new one for the oldest waiting",
         {"0:oa", "0:aa", "1:ob", "1:ab", "3:oc", "4:od"},
         4,
         "ac"},
    };
    for (const auto& c : cases) {
        cli::Admission adm(2, 5'000'000, 75'000'000);
        std::map<char, cli::Admission::Id> ids;
        std::map<cli::Admission::Id, char> names;
        std::string closed;
        for (const std::string& step : c.steps) {
            const Micros t = std::stoi(step) * 1'000'000LL;
            const char what = step[step.find(':') + 1], who = step.back();
            if (what == 'o') {
                const auto [id, made] = adm.Open(t);
                ids[who] = id, names[id] = who;
                if (made)
                    closed += names[*made];
            } else {
                what == 'b' ? adm.Begun(ids[who], t) : adm.Answered(ids[who], t);
            }
        }
        for (const auto id : adm.Due(static_cast<Micros>(c.at * 1e6)))
            closed += names[id];
        EXPECT_EQ(closed, c.closed) << c.why << " at " << c.at;
    }
}

// A loopback address with a port nobody listens on, for the endpoint.
std::string FreeListen() {
    QTcpServer free;
    free.listen(QHostAddress::LocalHost);
    return "127.0.0.1:" + std::to_string(free.serverPort());
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
    const CliRun r = b.Cli({"serve", "--listen", FreeListen()});
    EXPECT_EQ(r.code, 0) << r.err;
    const auto lines = Lines(r.err);
    ASSERT_GE(lines.size(), 3u) << r.err;
    EXPECT_EQ(lines[1].substr(0, 42), "halvern-cli: serving addresses 1, 7 on htt");
    EXPECT_EQ(lines[2],
              "halvern-cli: detector 12 (Talvek 880, serial 880) answers: served from now on");
}

// Lets the endpoint take what the clients sent and answer it, and the clients take the answers.
// The loopback has delivered every byte written before this is called, so a few turns of the
// event loop see them all without waiting.
void Settle() {
    for (int i = 0; i < 30; ++i)
        QCoreApplication::processEvents();
}

// A client of the endpoint on a real loopback socket.
struct Client {
    explicit Client(int port) {
        s.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        Settle();  // the endpoint takes it: the system's queue of connections stays short
        s.waitForConnected(2000);
    }
    void Send(std::string_view bytes) {
        s.write(bytes.data(), static_cast<qint64>(bytes.size()));
        s.waitForBytesWritten(2000);
    }
    // All it was answered so far.
    const std::string& Got() { return got += s.readAll().toStdString(), got; }
    bool Open() const { return s.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket s;
    std::string got;
};

int Answers(const std::string& got) {
    int n = 0;
    for (auto at = got.find("HTTP/1.1 "); at != std::string::npos;
         at = got.find("HTTP/1.1 ", at + 1))
        ++n;
    return n;
}

constexpr const char* kScrape = "GET /metrics HTTP/1.1\r\nHost: plant\r\n\r\n";

// serve on a real loopback socket, its polling on virtual time: `script` runs at 1 s with the
// endpoint's port and schedules what the clients do; serve stops after `stopAfter`.
CliRun ServeWith(CliBench& b, Micros stopAfter, std::function<void(int port)> script) {
    App();  // the event loop the sockets need
    const std::string listen = FreeListen();
    const int port = std::stoi(listen.substr(listen.rfind(':') + 1));
    b.beforeRun = [&, port, stopAfter, script](cli::Tool& tool) {
        b.plat.Post(1'000'000, [port, script] { script(port); });
        b.plat.Post(stopAfter, [&tool] { tool.RequestStop(); });
    };
    return b.Cli({"serve", "1", "--listen", listen});
}

// 64 clients that send a request's header lines one every 30 s, and come back at once when
// closed, hold every place the endpoint has; a scraper is still answered at once, every time,
// and a scraper's kept-alive connection is kept between its scrapes. The slow ones are closed
// a few seconds after their first byte.
TEST(ServeClients, SlowClientsDoNotKeepAScraperOut) {
    CliBench b;
    std::list<Client> slow;
    std::unique_ptr<Client> scraper;
    std::vector<std::string> scrapes;
    int stillOpen = -1;
    const auto tick = [&](int port) {
        for (auto& c : slow)
            if (c.Open())
                c.Send("X-Slow: 1\r\n");
        slow.remove_if([](const Client& c) { return !c.Open(); });  // they come back at once
        while (slow.size() < 64)
            slow.emplace_back(port).Send("GET /metrics HTTP/1.1\r\n");
        Settle();
    };
    const CliRun r = ServeWith(b, 200'000'000, [&](int port) {
        tick(port);
        b.plat.Post(11'000'000, [&] {
            Settle();
            stillOpen = static_cast<int>(
                std::count_if(slow.begin(), slow.end(), [](const Client& c) { return c.Open(); }));
        });
        for (Micros t = 31'000'000; t < 200'000'000; t += 30'000'000) {
            b.plat.Post(t, [&, port] { tick(port); });
            b.plat.Post(t + 1'000'000, [&, port] {
                if (!scraper || !scraper->Open())
                    scraper = std::make_unique<Client>(port);
                const auto before = scraper->Got().size();
                scraper->Send(kScrape);
                Settle();
                scrapes.push_back(scraper->Got().substr(before, 15));
            });
        }
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(stillOpen, 0);
    EXPECT_EQ(scrapes, std::vector<std::string>(6, "HTTP/1.1 200 OK"));
    EXPECT_TRUE(scraper && scraper->Open());
}

// What reaches the endpoint and what it answers, on a real socket: each request once (one
// asking for an upgrade too, with nothing said on standard error), a request that is not HTTP
// with 400, a request whose client half-closes after it, and a burst of small pipelined
// requests larger together than one request may be, each answered.
TEST(ServeClients, EachRequestGetsOneAnswer) {
    struct Case {
        const char* what;
        std::string send;
        bool halfClose;
        int answers;
        const char* first;  // the start of the first answer
    };
    std::string burst;
    for (int i = 0; i < 500; ++i)
        burst += "GET /healthz HTTP/1.1\r\nHost: plant\r\n\r\n";  // 38 bytes: 19 kB
    const Case cases[] = {
        {"upgrade",
         "GET /healthz HTTP/1.1\r\nHost: plant\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n",
         false, 1, "HTTP/1.1 200 OK"},
        {"garbage", "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", false, 1,
         "HTTP/1.1 400 Bad Request"},
        {"HTTP/0.9", "GET /metrics\r\n", false, 1, "HTTP/1.1 400 Bad Request"},
        {"half-closed", kScrape, true, 1, "HTTP/1.1 200 OK"},
        {"pipelined", burst, false, 500, "HTTP/1.1 200 OK"},
    };
    App();  // before the messages are caught: it may say things of its own
    std::vector<std::string> stderrLines;
    static std::vector<std::string>* said = nullptr;
    said = &stderrLines;
    const auto previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
            said->push_back(m.toStdString());
        });
    CliBench b;
    std::vector<std::pair<int, std::string>> got;
    const CliRun r = ServeWith(b, 5'000'000, [&](int port) {
        for (const Case& c : cases) {
            Client client(port);
            client.Send(c.send);
            if (c.halfClose)
                ::shutdown(static_cast<int>(client.s.socketDescriptor()), SHUT_WR);
            Settle();
            const std::string& answer = client.Got();
            got.emplace_back(Answers(answer), answer.substr(0, std::string(c.first).size()));
        }
    });
    qInstallMessageHandler(previous);
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(got.size(), std::size(cases));
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], std::pair(cases[i].answers, std::string(cases[i].first)))
            << cases[i].what;
    EXPECT_EQ(stderrLines, std::vector<std::string>{});
}

}  // namespace
}  // namespace halvern::test
