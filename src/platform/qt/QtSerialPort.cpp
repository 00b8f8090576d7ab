#include "platform/qt/QtSerialPort.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>

#include "platform/FilePath.h"
#include "platform/qt/PortAccess.h"

#ifdef Q_OS_LINUX
#include <sys/ioctl.h>
#include <termios.h>
#endif
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace halvern {

namespace {
constexpr Micros kDrainRecheckUs = 1000;
constexpr int kDefaultReopenMs = 1000;

// What a device name leads to now (/dev/serial/by-id/... to /dev/ttyUSB0); empty when it
// leads nowhere, as when the adapter behind a link is gone.
std::string Resolved(const std::string& device) {
    std::error_code ec;
    const auto path = std::filesystem::canonical(Utf8Path(device), ec);
    return ec ? std::string() : Utf8Text(path);
}

}  // namespace

QtSerialPort::QtSerialPort(Platform& platform, PortEnumerator listPorts)
    : p_(platform),
      port_(std::make_unique<QSerialPort>()),
      alive_(std::make_shared<bool>(true)),
      reopen_(platform.NewTimer()),
      listPorts_(std::move(listPorts)) {
    QObject::connect(port_.get(), &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) { OnError(e); });
    QObject::connect(port_.get(), &QSerialPort::bytesWritten, [this](qint64) {
        if (port_->bytesToWrite() == 0)
            handedOverUs_ = p_.NowUs();
    });
    reopen_->SetInterval(kDefaultReopenMs);
    reopen_->onTick = [this] { TryReopen(); };
}

QtSerialPort::~QtSerialPort() {
    *alive_ = false;
    reopen_->SetEnabled(false);
    QObject::disconnect(port_.get(), nullptr, nullptr, nullptr);
    port_->close();
}

void QtSerialPort::SetReopenIntervalMs(int ms) {
    reopen_->SetInterval(ms);
}

bool QtSerialPort::Open(const std::string& device, std::string* error) {
    Close();
    device_ = device;
    identity_.reset();
    rtsRefused_ = false;
    lossReported_ = false;
    if (device.empty()) {
        if (error)
            *error = "No serial port was chosen.";
        return false;
    }
    std::string reason;
    if (!OpenDevice(device, &reason)) {
        if (error)
            *error = "Cannot open the serial port " + device + ": " + reason;
        return false;
    }
    // Known now, while the adapter is here: once it is pulled out the system forgets it.
    if (listPorts_) {
        const std::vector<PortInfo> ports = listPorts_();  // kept: FindPort points into it
        if (const PortInfo* info = FindPort(ports, device, Resolved(device)))
            identity_ = IdentityOf(*info);
    }
    return true;
}

bool QtSerialPort::OpenDevice(const std::string& device, std::string* reason) {
    port_->setPortName(QString::fromStdString(device));
    port_->setBaudRate(kBaud);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        if (reason)
            *reason = OpenFailure(device);
        port_->clearError();
        return false;
    }
    useOutQueue_ = true;
    // The line starts in the state the program last asked for (released at first), so an
    // opened port does not hold the bus. A refusal here is reported by the first SetRts.
    port_->setRequestToSend(rts_);
    // Bytes the system kept from before the opening (the tail of a reply to another program,
    // or to this one before it lost the device) answer nothing sent from here.
    port_->clear(QSerialPort::Input);
    port_->clearError();
    return true;
}

std::string QtSerialPort::OpenFailure(const std::string& device) const {
    std::string reason = port_->errorString().toStdString();
    if (port_->error() != QSerialPort::PermissionError)
        return reason;
        // A port held by another program is refused as a permission error ("locking the device"
        // on Unix, "Access is denied." on Windows); say what it most likely is.
#ifdef Q_OS_UNIX
    // A lock left by a killed program blocks whoever may not remove it; it is not "in use".
    if (const auto stale = StalePortLock(device, PortLockFolders()))
        return StaleLockReason(*stale);
    if (::access(device.c_str(), R_OK | W_OK) == 0)
        return OpenFailureReason(OpenRefusal::InUse, reason, {});
    return OpenFailureReason(OpenRefusal::NoPermission, reason, DeviceAccessOf(device));
#else
    return reason + " (the port may be in use by another program)";
#endif
}

void QtSerialPort::Close() {
    ++session_;
    reopen_->SetEnabled(false);
    lost_ = false;
    pendingBytes_ = 0;
    handedOverUs_ = -1;
    drainCheckPosted_ = false;
    if (port_->isOpen())
        port_->close();
    port_->clearError();
}

bool QtSerialPort::IsOpen() const {
    return port_->isOpen() && !lost_;
}

int QtSerialPort::BytesWaiting() {
    if (!IsOpen())
        return 0;
    return static_cast<int>(std::min<qint64>(port_->bytesAvailable(), INT_MAX));
}

std::vector<std::uint8_t> QtSerialPort::ReadAll() {
    if (!IsOpen())
        return {};
    const QByteArray data = port_->readAll();
    return {data.begin(), data.end()};
}

void QtSerialPort::Write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return;
    // A lost device swallows the frame but still reports it sent after its wire time, so
    // the program releases RTS and simply hears no reply, as from a silent detector.
    if (!IsOpen() && !lost_)
        return;
    const Micros now = p_.NowUs();
    pendingBytes_ += bytes.size();
    wireEndUs_ = std::max(wireEndUs_, now) + WireTimeUs(bytes.size());
    if (!lost_) {
        handedOverUs_ = -1;
        port_->write(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<qint64>(bytes.size()));
        port_->flush();  // hand the bytes to the system now, not at the next event turn
    }
    if (!drainCheckPosted_)
        PostDrainCheck(wireEndUs_);
}

void QtSerialPort::PostDrainCheck(Micros atUs) {
    drainCheckPosted_ = true;
    std::weak_ptr<bool> alive = alive_;
    const auto session = session_;
    p_.Post(atUs, [this, alive, session] {
        if (alive.expired() || session != session_)
            return;
        drainCheckPosted_ = false;
        CheckDrained();
    });
}

void QtSerialPort::CheckDrained() {
    const Micros now = p_.NowUs();
    if (now < wireEndUs_)
        return PostDrainCheck(wireEndUs_);
    if (lost_ || !port_->isOpen())
        return NotifyDrained();  // nothing is left to leave
    if (port_->bytesToWrite() > 0)
        return PostDrainCheck(now + kDrainRecheckUs);
#ifdef Q_OS_LINUX
    if (useOutQueue_) {
        int queued = 0;
        if (::ioctl(port_->handle(), TIOCOUTQ, &queued) == 0) {
            if (queued > 0)
                return PostDrainCheck(now + kDrainRecheckUs);
            return NotifyDrained();
        }
        useOutQueue_ = false;  // this driver cannot tell: count the wire time instead
    }
#endif
    // The system took the bytes at handedOverUs_; give them their wire time from there.
    const Micros due = handedOverUs_ < 0
                           ? wireEndUs_
                           : std::max(wireEndUs_, handedOverUs_ + WireTimeUs(pendingBytes_));
    if (now < due)
        return PostDrainCheck(due);
    NotifyDrained();
}

void QtSerialPort::NotifyDrained() {
    pendingBytes_ = 0;
    handedOverUs_ = -1;
    if (onSendDrained)
        onSendDrained();
}

void QtSerialPort::SetRts(bool on) {
    rts_ = on;
    if (IsOpen())
        ApplyRts();
}

void QtSerialPort::ApplyRts() {
    if (rtsRefused_)
        return;
    if (port_->setRequestToSend(rts_))
        return;
    const std::string reason = port_->errorString().toStdString();
    port_->clearError();
    if (!IsOpen())
        return;  // the device went away meanwhile: that is reported on its own
    rtsRefused_ = true;
    if (rtsRefusalReported_)
        return;
    rtsRefusalReported_ = true;
    Notice("The serial port " + device_ + " does not let the program switch RTS (" + reason +
           "). Carrying on; the adapter must switch the bus direction itself.");
}

void QtSerialPort::OnError(int code) {
    // A pulled adapter shows as a resource error, or (Linux, hung-up tty) as a read that
    // returns nothing although the port signalled data; either way the device is gone.
    // Left open, the hung-up port would keep signalling and spin the event loop.
    if (code == QSerialPort::ResourceError || code == QSerialPort::ReadError ||
        code == QSerialPort::WriteError)
        OnDeviceLost();
}

void QtSerialPort::OnDeviceLost() {
    if (lost_ || !port_->isOpen())
        return;
    lost_ = true;  // from now on reads see nothing and writes are swallowed
    // QSerialPort is still inside its own notification: close it from the event loop.
    std::weak_ptr<bool> alive = alive_;
    const auto session = session_;
    p_.Post(p_.NowUs(), [this, alive, session] {
        if (alive.expired() || session != session_ || !lost_)
            return;
        port_->close();
        port_->clearError();
        reopen_->SetEnabled(true);
        if (lossReported_)
            return;
        lossReported_ = true;
        Notice("The serial port " + device_ +
               " has gone (device removed?). It will be reopened when it returns.");
    });
}

void QtSerialPort::TryReopen() {
    if (!lost_) {
        reopen_->SetEnabled(false);
        return;
    }
    const auto target = identity_ && listPorts_
                            ? ReopenTarget(device_, Resolved(device_), identity_, listPorts_())
                            : std::optional<std::string>(device_);
    if (!target || !OpenDevice(*target, nullptr))
        return;  // still missing: try again at the next tick
    lost_ = false;
    ++reopenings_;
    reopen_->SetEnabled(false);
    if (*target == device_)
        return;
    Notice("The adapter of " + device_ + " (" + IdentityText(*identity_) + ") is back as " +
           *target + "; reopened " + *target + ".");
    device_ = *target;
}

void QtSerialPort::Notice(const std::string& text) {
    if (onNotice)
        onNotice(text);
}

}  // namespace halvern
