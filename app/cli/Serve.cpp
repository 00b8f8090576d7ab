#include "cli/Serve.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <map>
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
    // The address parser lets blanks around an address pass; they would be printed as given.
    if (std::any_of(host.begin(), host.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; }))
        return std::nullopt;
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

// The endpoint's connections, each read with ReadRequest and answered request by request; their
// places are kept by an Admission on the platform's clock, so that slow or silent clients
// cannot hold every place a scraper needs.
class Front : public QObject {
  public:
    Front(Platform& platform, std::function<HttpAnswer(const RequestHead&)> answer)
        : platform_(platform),
          answer_(std::move(answer)),
          admission_(kMaxConnections, MsToUs(kRequestDeadlineMs), MsToUs(kIdleCloseMs)),
          sweep_(platform.NewTimer()) {
        server_.setMaxPendingConnections(1);
        connect(&server_, &QTcpServer::newConnection, this, [this] { AcceptLater(); });
        sweep_->SetInterval(kSweepMs);
        sweep_->onTick = [this] {
            for (const auto id : admission_.Due(platform_.NowUs()))
                Drop(id);
        };
    }
    ~Front() override {
        for (auto& [id, c] : open_)
            c.socket->disconnect(this);  // their last signals find nothing of ours
    }
    bool Listen(const QHostAddress& host, quint16 port) {
        sweep_->SetEnabled(server_.listen(host, port));
        return sweep_->Enabled();
    }
    std::string Error() const { return server_.errorString().toStdString(); }

  private:
    struct Connection {
        QTcpSocket* socket;
        std::string unread;    // what came and is not answered yet
        bool closing = false;  // its last answer is on its way
    };

    // One connection a turn of the event loop (the others wait in the system's queue): what
    // those let in before have sent is read before the next may close one of them for room,
    // so a scraper that sent its request at once is not taken for a slow client in a burst.
    void AcceptLater() {
        if (!acceptQueued_)
            acceptQueued_ = QMetaObject::invokeMethod(
                this, [this] { Accept(); }, Qt::QueuedConnection);
    }
    void Accept() {
        acceptQueued_ = false;
        QTcpSocket* socket = server_.nextPendingConnection();
        if (!socket)
            return;
        // Named apart, not bound: clang 14 cannot capture a structured binding.
        const auto opened = admission_.Open(platform_.NowUs());
        const Admission::Id id = opened.first;
        if (opened.second)
            Drop(*opened.second);
        open_[id] = Connection{socket, {}};
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { Read(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { Drop(id); });
        // What it sent while it waited to be taken was read with nobody listening.
        if (socket->bytesAvailable() > 0)
            Read(id);
        if (open_.count(id) && socket->state() != QAbstractSocket::ConnectedState)
            Drop(id);
    }
    void Read(Admission::Id id) {
        Connection& c = open_.at(id);
        const QByteArray bytes = c.socket->readAll();
        if (c.closing)
            return;
        c.unread.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        while (!c.unread.empty()) {
            const RequestHead h = ReadRequest(c.unread);
            if (h.kind == RequestHead::Kind::Incomplete) {
                admission_.Begun(id, platform_.NowUs());
                return;
            }
            const HttpAnswer a =
                h.kind == RequestHead::Kind::Whole ? answer_(h) : Refusal(h.status);
            c.unread.erase(0, h.length);
            admission_.Answered(id, platform_.NowUs());
            const std::string out = AnswerBytes(a, h.close);
            c.socket->write(out.data(), static_cast<qint64>(out.size()));
            // Sent now: a client that half-closed after its request has its end of input seen
            // next, on which the socket is closed with whatever it still holds.
            c.socket->flush();
            if (h.close) {
                c.closing = true;
                c.socket->disconnectFromHost();  // after what was written
                return;
            }
            if (c.socket->bytesToWrite() > kMaxUnsentBytes) {
                Drop(id);  // it does not read what it asks for
                return;
            }
        }
    }
    void Drop(Admission::Id id) {
        const auto it = open_.find(id);
        if (it == open_.end())
            return;
        QTcpSocket* socket = it->second.socket;
        open_.erase(it);
        admission_.Closed(id);
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }

    Platform& platform_;
    std::function<HttpAnswer(const RequestHead&)> answer_;
    Admission admission_;
    std::unique_ptr<Timer> sweep_;
    std::map<Admission::Id, Connection> open_;
    bool acceptQueued_ = false;
    QTcpServer server_;  // last: its sockets go before the state above
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
    Front endpoint(ctx.platform,
                   [&state](const RequestHead& h) { return Answer(h.method, h.path, state); });
    const QHostAddress host = where.host == "localhost"
                                  ? QHostAddress(QHostAddress::LocalHost)
                                  : QHostAddress(QString::fromStdString(where.host));
    const std::string url = where.host.find(':') != std::string::npos
                                ? "[" + where.host + "]:" + std::to_string(where.port)
                                : where.host + ":" + std::to_string(where.port);
    if (!endpoint.Listen(host, static_cast<quint16>(where.port)))
        return ctx.fail(kExitUsage, "cannot listen on " + url + ": " + endpoint.Error());
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
