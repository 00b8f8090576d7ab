#include "platform/qt/TcpGatewayPort.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <climits>
#include <utility>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace halvern {

namespace {
// A server that went without a word (its power cut) leaves the frames unacknowledged; the
// system gives such a connection up after this long, instead of after TCP's retries of a
// quarter of an hour, and the port reconnects.
constexpr unsigned kUnacknowledgedLimitMs = 10'000;
}  // namespace

TcpGatewayPort::TcpGatewayPort(Platform& platform)
    : p_(platform),
      socket_(std::make_unique<QTcpSocket>()),
      alive_(std::make_shared<bool>(true)),
      reconnect_(platform.NewTimer()) {
    QObject::connect(socket_.get(), &QTcpSocket::bytesWritten, [this](qint64 n) {
        if (state_ != State::Connected || unsent_ <= 0)
            return;
        unsent_ = std::max<std::int64_t>(unsent_ - n, 0);
        if (unsent_ == 0)
            PostDrained();
    });
    QObject::connect(socket_.get(), &QTcpSocket::connected, [this] {
        if (state_ != State::Reconnecting)
            return;  // Open waits for its own connection
        state_ = State::Connected;
        Configure();
        ++reopenings_;
        failures_ = 0;
        if (std::exchange(lossUnanswered_, false))
            Notice("The network gateway " + device_ + " is connected again.");
    });
    const auto gone = [this] {
        if (state_ == State::Connected)
            OnLost(socket_->errorString().toStdString());
        else if (state_ == State::Reconnecting)
            OnReconnectFailed();
    };
    QObject::connect(socket_.get(), &QTcpSocket::disconnected, gone);
    QObject::connect(socket_.get(), &QTcpSocket::errorOccurred, gone);
    reconnect_->onTick = [this] { TryReconnect(); };
}

TcpGatewayPort::~TcpGatewayPort() {
    *alive_ = false;
    reconnect_->SetEnabled(false);
    QObject::disconnect(socket_.get(), nullptr, nullptr, nullptr);
    socket_->abort();
}

void TcpGatewayPort::SetReconnectDelaysMs(int firstMs, int mostMs) {
    firstReconnectMs_ = firstMs;
    mostReconnectMs_ = mostMs;
}

bool TcpGatewayPort::Open(const std::string& device, std::string* error) {
    Close();
    device_ = device;
    lossUnanswered_ = false;
    failures_ = 0;
    std::string why;
    const auto address = ParseGatewayDevice(device, &why);
    if (!address) {
        if (error)
            *error = "Cannot use " + device + ": " + why;
        return false;
    }
    address_ = *address;
    socket_->connectToHost(QString::fromStdString(address_.host),
                           static_cast<quint16>(address_.port));
    if (!socket_->waitForConnected(kConnectLimitMs)) {
        why = socket_->error() == QAbstractSocket::SocketTimeoutError
                  ? "no answer within " + std::to_string(kConnectLimitMs / 1000) + " s"
                  : socket_->errorString().toStdString();
        socket_->abort();
        if (error)
            *error = "Cannot reach the network gateway " + device + ": " + why;
        return false;
    }
    state_ = State::Connected;
    Configure();
    return true;
}

void TcpGatewayPort::Configure() {
    // Frames are small and wanted at once: no holding them back to fill a packet.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const unsigned limit = kUnacknowledgedLimitMs;
    ::setsockopt(static_cast<int>(socket_->socketDescriptor()), IPPROTO_TCP, TCP_USER_TIMEOUT,
                 &limit, sizeof limit);
#endif
}

void TcpGatewayPort::Close() {
    ++session_;
    reconnect_->SetEnabled(false);
    state_ = State::Closed;
    unsent_ = 0;
    socket_->abort();
}

bool TcpGatewayPort::IsOpen() const {
    return state_ == State::Connected;
}

int TcpGatewayPort::BytesWaiting() {
    if (!IsOpen())
        return 0;
    return static_cast<int>(std::min<qint64>(socket_->bytesAvailable(), INT_MAX));
}

std::vector<std::uint8_t> TcpGatewayPort::ReadAll() {
    if (!IsOpen())
        return {};
    const QByteArray data = socket_->readAll();
    return {data.begin(), data.end()};
}

void TcpGatewayPort::Write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || state_ == State::Closed)
        return;
    if (state_ != State::Connected) {
        // Swallowed while the connection is down, but reported sent: the program hears
        // silence, as from detectors that do not answer.
        PostDrained();
        return;
    }
    unsent_ += static_cast<std::int64_t>(bytes.size());
    socket_->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    socket_->flush();  // hand the bytes to the system now, not at the next event turn
}

void TcpGatewayPort::PostDrained() {
    std::weak_ptr<bool> alive = alive_;
    const auto session = session_;
    p_.Post(p_.NowUs(), [this, alive, session] {
        if (!alive.expired() && session == session_ && onSendDrained)
            onSendDrained();
    });
}

void TcpGatewayPort::OnLost(const std::string& why) {
    state_ = State::Lost;  // from now on reads see nothing and writes are swallowed
    if (std::exchange(unsent_, 0) > 0)
        PostDrained();  // the frame on its way is as good as sent into silence
    // The socket is still inside its own notification: let go of it from the event loop.
    std::weak_ptr<bool> alive = alive_;
    const auto session = session_;
    p_.Post(p_.NowUs(), [this, alive, session, why] {
        if (alive.expired() || session != session_ || state_ != State::Lost)
            return;
        socket_->abort();
        ScheduleReconnect();
        lossUnanswered_ = true;
        Notice("The network gateway " + device_ + " dropped the connection (" + why +
               "). Reconnecting.");
    });
}

void TcpGatewayPort::ScheduleReconnect() {
    reconnect_->SetInterval(ReconnectDelayMs(failures_, firstReconnectMs_, mostReconnectMs_));
    reconnect_->SetEnabled(true);
}

void TcpGatewayPort::TryReconnect() {
    reconnect_->SetEnabled(false);
    if (state_ != State::Lost)
        return;
    socket_->abort();
    state_ = State::Reconnecting;
    const auto attempt = ++attempt_;
    socket_->connectToHost(QString::fromStdString(address_.host),
                           static_cast<quint16>(address_.port));
    // A server that does not answer at all is given up on like one that refuses.
    std::weak_ptr<bool> alive = alive_;
    p_.Post(p_.NowUs() + MsToUs(kConnectLimitMs), [this, alive, attempt] {
        if (!alive.expired() && state_ == State::Reconnecting && attempt == attempt_)
            OnReconnectFailed();
    });
}

void TcpGatewayPort::OnReconnectFailed() {
    if (state_ != State::Reconnecting)
        return;
    state_ = State::Lost;
    ++failures_;
    std::weak_ptr<bool> alive = alive_;
    const auto session = session_;
    p_.Post(p_.NowUs(), [this, alive, session] {
        if (alive.expired() || session != session_ || state_ != State::Lost)
            return;
        socket_->abort();
        ScheduleReconnect();
    });
}

void TcpGatewayPort::Notice(const std::string& text) {
    if (onNotice)
        onNotice(text);
}

}  // namespace halvern
