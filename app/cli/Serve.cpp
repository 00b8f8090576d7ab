#include "cli/Serve.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtHttpServer/QAbstractHttpServer>

#include <array>
#include <charconv>
#include <cmath>
#include <memory>

#include "cli/Output.h"
#include "logging/LoggingControl.h"
#include "monitor/BusScan.h"

namespace halvern::cli {

namespace {

constexpr int kMaxLogPeriodS = 255;

}  // namespace

std::optional<ListenAddress> ParseListen(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string host(text.substr(0, colon));
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        return std::nullopt;  // an IPv6 address needs its brackets
    const auto port = WholeNumber(text.substr(colon + 1), 1, 65535);
    if (!port || host.empty())
        return std::nullopt;
    if (host != "localhost" && QHostAddress(QString::fromStdString(host)).isNull())
        return std::nullopt;
    return ListenAddress{host, *port};
}

bool IsLoopback(const std::string& host) {
    return host == "localhost" || QHostAddress(QString::fromStdString(host)).isLoopback();
}

std::string ReadServeOptions(const std::string* listen, const std::string* logPeriod,
                             Invocation& inv) {
    if (listen) {
        if (!ParseListen(*listen))
            return "--listen \"" + Escaped(*listen) +
                   "\": HOST:PORT, an IP address (or localhost) and a port from 1 to 65535";
        inv.listen = *listen;
    }
    if (logPeriod) {
        const auto s = WholeNumber(*logPeriod, 1, kMaxLogPeriodS);
        if (!s)
            return "--log-period \"" + Escaped(*logPeriod) + "\": whole seconds from 1 to 255";
        inv.logPeriodS = *s;
    }
    return {};
}

namespace {

const char* MethodName(QHttpServerRequest::Method m) {
    switch (m) {
        case QHttpServerRequest::Method::Get:
            return "GET";
        case QHttpServerRequest::Method::Head:
            return "HEAD";
        case QHttpServerRequest::Method::Post:
            return "POST";
        case QHttpServerRequest::Method::Put:
            return "PUT";
        case QHttpServerRequest::Method::Delete:
            return "DELETE";
        case QHttpServerRequest::Method::Options:
            return "OPTIONS";
        case QHttpServerRequest::Method::Patch:
            return "PATCH";
        case QHttpServerRequest::Method::Connect:
            return "CONNECT";
        case QHttpServerRequest::Method::Trace:
            return "TRACE";
        default:
            return "UNKNOWN";
    }
}

// The connections the HTTP server gets, each watched: one that sends more than a request may
// hold is answered 413 and closed, one that says nothing for kIdleCloseMs is closed (so idle
// clients cannot hold every place a scraper needs), and past kMaxConnections a new one is
// closed at once.
class GuardedTcpServer : public QTcpServer {
  public:
    using QTcpServer::QTcpServer;

    // The request answered: the next one counts from zero, and the idle time too.
    static void Answered(QTcpSocket* socket) {
        socket->setProperty(kCount, 0);
        if (auto* idle = socket->findChild<QTimer*>())
            idle->start();
    }

  protected:
    void incomingConnection(qintptr fd) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd) || open_ >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->setInterval(kIdleCloseMs);
        connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
        idle->start();
        // Connected before the HTTP server's own reader: it sees the bytes first.
        connect(socket, &QTcpSocket::readyRead, this, [socket, idle] {
            idle->start();
            const auto count = socket->property(kCount).toLongLong() + socket->bytesAvailable();
            socket->setProperty(kCount, count);
            if (count <= kMaxRequestBytes)
                return;
            socket->readAll();  // nothing of it reaches the request reader
            socket->write(
                "HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\n"
                "Connection: close\r\n\r\n");
            socket->disconnectFromHost();
        });
        addPendingConnection(socket);
    }

  private:
    static constexpr const char* kCount = "halvernRequestBytes";
    int open_ = 0;
};

class Endpoint : public QAbstractHttpServer {
  public:
    explicit Endpoint(const BusPoller* const& state) : state_(state) {}

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        GuardedTcpServer::Answered(socket);
        if (socket->bytesToWrite() > kMaxUnsentBytes) {
            socket->abort();  // it does not read what it asks for
            return true;
        }
        const HttpAnswer a =
            Answer(MethodName(request.method()), request.url().path().toStdString(), state_);
        QHttpServerResponder responder = makeResponder(request, socket);
        const auto status = static_cast<QHttpServerResponder::StatusCode>(a.status);
        responder.writeStatusLine(status);
        responder.writeHeader("Content-Type", QByteArray::fromStdString(a.contentType));
        responder.writeHeader("Content-Length", QByteArray::number(qsizetype(a.body.size())));
        if (a.status == 405)
            responder.writeHeader("Allow", "GET, HEAD");
        responder.writeHeader("Cache-Control", "no-store");
        if (a.head)
            responder.writeBody("", 0);
        else
            responder.writeBody(a.body.data(), static_cast<qint64>(a.body.size()));
        if (request.value("Connection").toLower() == "close")
            socket->disconnectFromHost();  // after what was written
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        handleRequest(request, socket);
    }

  private:
    const BusPoller* const& state_;
};

std::string AddressList(const std::vector<std::uint8_t>& addresses) {
    std::string list;
    for (const auto a : addresses)
        list += (list.empty() ? "" : ", ") + std::to_string(a);
    return list;
}

// A detector powered up or mended later is served too: the addresses that did not answer are
// asked again, a few between rounds, and the one that answers is named.
void SearchTheOthers(BusPoller& poller, const ServeContext& ctx) {
    poller.Search(BusSearch{}, [&ctx](const PolledDetector& d) {
        const StatusReading& r = *d.reading;
        ctx.say("detector " + std::to_string(d.address) + " (" + Printable(r.ModelName) +
                ", serial " + std::to_string(static_cast<long>(r.SerialNumber)) +
                ") answers: served from now on");
    });
}

}  // namespace

int Serve(const Invocation& inv, const ServeContext& ctx) {
    const ListenAddress where = inv.listen.empty()
                                    ? ListenAddress{kDefaultListenHost, kDefaultListenPort}
                                    : *ParseListen(inv.listen);
    const BusPoller* state = nullptr;
    Endpoint endpoint(state);
    auto* tcp = new GuardedTcpServer(&endpoint);
    const QHostAddress host = where.host == "localhost"
                                  ? QHostAddress(QHostAddress::LocalHost)
                                  : QHostAddress(QString::fromStdString(where.host));
    const std::string url = where.host.find(':') != std::string::npos
                                ? "[" + where.host + "]:" + std::to_string(where.port)
                                : where.host + ":" + std::to_string(where.port);
    if (!tcp->listen(host, static_cast<quint16>(where.port)))
        return ctx.fail(kExitUsage,
                        "cannot listen on " + url + ": " + tcp->errorString().toStdString());
    endpoint.bind(tcp);
    if (!IsLoopback(where.host))
        ctx.say("warning: the endpoint on " + url +
                " has no authentication: whoever reaches it reads every detector's values");

    std::vector<std::uint8_t> addresses;
    for (const int a : inv.addresses)
        addresses.push_back(static_cast<std::uint8_t>(a));
    if (addresses.empty()) {
        ctx.say("scanning addresses 1 to 247 for the detectors to serve");
        BusScan scan(ctx.link);
        while (!scan.Done() && !ctx.stop())
            scan.Step(ctx.stop);
        if (ctx.stop())
            return kExitDone;
        for (const auto& hit : scan.Hits())
            if (hit.valid)
                addresses.push_back(hit.address);
        if (addresses.empty())
            return ctx.fail(kExitNoAnswer, scan.Noisy() ? scan.NoiseText()
                                                        : "no detector answered: nothing to serve");
    }

    BusPoller poller(ctx.link, addresses, ctx.now);
    const bool searching = inv.addresses.empty();
    if (searching)
        SearchTheOthers(poller, ctx);
    std::unique_ptr<Timer> tick;
    if (inv.logPeriodS > 0) {
        poller.StartLogging(ctx.folder, inv.logPeriodS);
        tick = ctx.platform.NewTimer();
        tick->SetInterval(kLogTickMs);
        tick->onTick = [&] {
            if (!ctx.stop())
                poller.LogTick();
        };
        tick->SetEnabled(true);
    }
    state = &poller;
    ctx.say("serving address" + std::string(addresses.size() == 1 ? " " : "es ") +
            AddressList(addresses) + " on http://" + url +
            "/metrics (and /api/detectors, /healthz)" +
            (searching ? "; the other addresses are searched between rounds" : "") +
            (inv.logPeriodS > 0
                 ? "; records every " + std::to_string(inv.logPeriodS) + " s into " + ctx.folder
                 : "") +
            "; Ctrl+C or SIGTERM ends it");
    std::string warning;
    while (!ctx.stop()) {
        poller.Step(ctx.stop);
        poller.SetReopenings(ctx.port.Reopenings());
        const std::string now = LogWarning(poller.LogState());
        if (now != warning) {
            warning = now;
            ctx.say(now.empty() ? "the log files can be written again" : now);
        }
    }
    if (tick)
        tick->SetEnabled(false);
    state = nullptr;
    ctx.say("serve ended after " + std::to_string(poller.Bus().rounds) + " rounds");
    return kExitDone;
}

}  // namespace halvern::cli
