// The port list, its numbering, where a re-plugged adapter is looked for and what a refused
// port says (functions of facts handed in); then the Qt platform on the machine's clock and its
// serial port against Linux pseudo-terminals, with bounded waits (a fault fails, never hangs).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/GatewayAddress.h"
#include "platform/qt/PortAccess.h"
#include "platform/qt/PortDevice.h"
#include "platform/qt/PortList.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/TcpGatewayPort.h"

#if defined(__linux__)
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/qt/QtSerialPort.h"
#endif

namespace halvern {
namespace {

PortInfo Usb(std::string device, std::string serial, std::uint16_t product = 0x6001) {
    return {std::move(device), "FT232R USB UART", "FTDI", 0x0403, product, std::move(serial)};
}
PortInfo Plain(std::string device) {
    return {std::move(device), "", "", std::nullopt, std::nullopt, ""};
}

TEST(ReopenTarget, FollowsTheAdapterAndNeverGuesses) {
    const PortIdentity ours{0x0403, 0x6001, "A1"};
    const std::string u0 = "/dev/ttyUSB0", u1 = "/dev/ttyUSB1", u2 = "/dev/ttyUSB2";
    const struct {
        std::string device, resolved;
        std::optional<PortIdentity> identity;
        std::vector<PortInfo> present;
        std::optional<std::string> tried;
    } cases[] = {
        {"/dev/pts/4", "/dev/pts/4", std::nullopt, {Usb(u1, "A1")}, "/dev/pts/4"},  // no identity
        {u0, "", ours, {Plain("/dev/ttyS0"), Usb(u1, "A1")}, u1},  // back under a new name
        {"/dev/serial/by-id/ftdi-A1", u1, ours, {Usb(u1, "A1")}, "/dev/serial/by-id/ftdi-A1"},
        {u0, u0, ours, {Usb(u0, "B2"), Usb(u1, "A1")}, u1},  // another took its name
        {u0, u0, ours, {Usb(u0, "")}, std::nullopt},  // one without a serial number took its name
        {u0, "", ours, {Usb(u1, "A1", 0x6015)}, u0},  // same serial number, other product
        {u0, "", ours, {Usb(u2, "A1"), Usb("/dev/ttyUSB3", "A1")}, std::nullopt},  // two channels
        {u0, "", ours, {}, u0},  // nothing listed: the same name
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReopenTarget(c.device, c.resolved, c.identity, c.present), c.tried) << c.device;
}

TEST(OpenFailureReason, SaysWhatToDo) {
    using Access = DeviceAccess;
    using enum GroupMembership;
    const auto no = OpenRefusal::NoPermission;
    const std::string pd = "Permission denied", owner = ". Only its owner (",
                      admin = ") may use it: ask the PC's administrator for access.";
    const struct {
        OpenRefusal refusal;
        DeviceAccess access;
        std::string says;
    } cases[] = {
        {no, Access{"root", "dialout", true, "tech", None},
         pd + ". The group \"dialout\" may use it and you (tech) are not in it: add yourself "
              "with: sudo usermod -aG dialout $USER, then log out and in."},
        {no, Access{"root", "dialout", true, "tech", FromNextLogin},
         pd + ". The group \"dialout\" may use it and you (tech) joined it, but that counts only "
              "from the next login: log out and in."},
        {no, Access{"root", "dialout", true, "tech", Now}, pd},  // something else refuses
        // Root's group is no advice.
        {no, Access{"root", "root", true, "tech", None}, pd + owner + "root" + admin},
        {OpenRefusal::InUse, Access{"root", "dialout", true, "tech", None},
         "the port is in use by another program (Permission denied)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OpenFailureReason(c.refusal, pd, c.access), c.says);
}

// A network gateway is named tcp://HOST:PORT; anything else under that scheme is refused with
// what is wrong, and never taken for a serial device's path.
TEST(GatewayAddress, NamesAGatewayAndSaysWhatIsWrongWithAnythingElse) {
    const struct {
        const char* device;
        std::optional<GatewayAddress> address;
        const char* refusal;  // the start of what is said
    } cases[] = {
        {"tcp://127.0.0.1:4001", GatewayAddress{"127.0.0.1", 4001}, ""},
        {"TCP://gw-a.plant.local:1", GatewayAddress{"gw-a.plant.local", 1}, ""},
        {"tcp://[fd00::5]:65535", GatewayAddress{"fd00::5", 65535}, ""},
        {"tcp://10.0.0.5", std::nullopt, "no port: give it as HOST:PORT"},
        {"tcp://[::1]", std::nullopt, "no port: give it as HOST:PORT"},  // its colons are no port's
        {"tcp://[::1", std::nullopt, "\"[::1\" is not a host"},
        {"tcp://10.0.0.5:", std::nullopt, "the port \"\" is not a number from 1 to 65535"},
        {"tcp://10.0.0.5:0", std::nullopt, "the port \"0\" is not a number from 1 to 65535"},
        {"tcp://10.0.0.5:65536", std::nullopt, "the port \"65536\""},
        {"tcp://10.0.0.5:4001/bus", std::nullopt, "the port \"4001/bus\""},
        {"tcp://:4001", std::nullopt, "no host and port"},
        {"tcp://", std::nullopt, "no host and port"},
        {"tcp://user@10.0.0.5:4001", std::nullopt, "\"user@10.0.0.5\" is not a host"},
        {"tcp://fd00::5:4001", std::nullopt, "\"fd00::5\" is not a host"},  // unbracketed
        {"/dev/ttyUSB0", std::nullopt, "a network gateway is named tcp://HOST:PORT"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(ParseGatewayDevice(c.device, &why), c.address) << c.device;
        EXPECT_TRUE(why.starts_with(c.refusal)) << c.device << ": " << why;
        EXPECT_EQ(IsGatewayDevice(c.device), std::string(c.device).rfind("/", 0) != 0);
        if (c.address) {
            EXPECT_EQ(ParseGatewayDevice(GatewayDevice(*c.address), nullptr), c.address);
        }
    }
    // The listening side may ask for any free port.
    EXPECT_EQ(ParseHostPort("127.0.0.1:0", 0, nullptr), (GatewayAddress{"127.0.0.1", 0}));
    // Reconnecting waits 1 s, then twice as long after each failed try, up to 30 s.
    const std::pair<int, int> delays[] = {
        {0, 1000}, {1, 2000}, {4, 16'000}, {5, 30'000}, {40, 30'000}};
    for (const auto& [failures, ms] : delays)
        EXPECT_EQ(ReconnectDelayMs(failures, 1000, 30'000), ms) << failures;
}

// Runs the event loop until done() holds or 3 s have passed; true when done() holds.
template <class Done>
bool PumpUntil(QtPlatform& p, Done done) {
    const Micros end = p.NowUs() + 10'000'000;
    while (!done() && p.NowUs() < end)
        p.ProcessEvents(std::min(end, p.NowUs() + 10'000));
    return done();
}

class QtPlatformTest : public ::testing::Test {
  protected:
    // Qt needs its application object before any event processing; it stays for the run.
    static void SetUpTestSuite() {
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("platform_tests"), nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
    QtPlatform p;
};

// Posted calls run in time order, never before their time; a wait with a passed deadline runs
// what is due without blocking.
TEST_F(QtPlatformTest, PostedCallsRunInTimeOrderAndNeverBeforeTheirTime) {
    const Micros t0 = p.NowUs();
    std::vector<std::string> order;
    bool early = false;
    const auto post = [&](Micros at, std::string name) {
        p.Post(at, [&, at, name] { order.push_back(name), early = early || p.NowUs() < at; });
    };
    post(t0 + 20'000, "late"), post(t0 + 5'000, "soon"), post(t0, "now-1"), post(t0, "now-2");
    p.ProcessEvents(t0 - 1);
    EXPECT_EQ(order, (std::vector<std::string>{"now-1", "now-2"}));
    ASSERT_TRUE(PumpUntil(p, [&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"now-1", "now-2", "soon", "late"}));
    EXPECT_FALSE(early);
}

#if defined(__linux__)

TEST(PortNumbering, NumberAndDeviceAgreeBothWaysAndNoneWhereNoNumberReaches) {
    const auto usb0 = [](const std::string& p) { return p == "/dev/ttyUSB0"; };
    const auto none = [](const std::string&) { return false; };
    EXPECT_EQ(PortForDevice("/dev/ttyUSB15", none), 16);
    EXPECT_EQ(PortForDevice("/dev/ttyS0", usb0), std::nullopt);  // port 1 is the adapter
    // The other way: the nth USB adapter when present, else the nth built-in port.
    EXPECT_EQ(DeviceForPort(1, none) + DeviceForPort(1, usb0) + DeviceForPort(2, usb0),
              "/dev/ttyS0/dev/ttyUSB0/dev/ttyS1");
    EXPECT_EQ(DeviceForPort(0, none) + DeviceForPort(-3, usb0), "");  // none
    for (const char* unreachable :
         {"/dev/ttyACM0", "/dev/pts/3", "/dev/ttyUSB", "/dev/ttyUSB01", "/dev/ttyUSB-1",
          "/dev/ttyUSB32767", "/dev/ttyUSB1x", "ttyUSB0", "/dev/serial/by-id/usb-FTDI-if00"})
        EXPECT_EQ(PortForDevice(unreachable, none), std::nullopt) << unreachable;
    // Both ways agree: the number found opens that very device.
    for (int n : {1, 2, 9, 10, 100, kLastPortNumber})
        for (const auto& exists : {DeviceExistsFn(usb0), DeviceExistsFn(none)})
            EXPECT_EQ(PortForDevice(DeviceForPort(n, exists), exists), n) << n;
}

// A lock file is stale only when the process it names is known to be gone from this PC.
TEST(PortLock, ALockOfAProcessThatNoLongerRunsIsStaleAndNamed) {
    const pid_t gone = fork();  // a process that has ended and been reaped
    if (gone == 0)
        _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone), alive = std::to_string(getpid());
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::pair<std::string, bool> cases[] = {
        // content (none: no file), stale
        {dead + "\nhalvern-cli\n" + host + "\n", true},            // Qt's lock of a killed program
        {std::string(10 - dead.size(), ' ') + dead + "\n", true},  // another's: padded process
        {alive + "\nhalvern\n" + host + "\n", false},              // a running process
        {dead + "\nhalvern\nsome-other-pc\n", false},              // a process of another PC
        {"locked\n", false},
        {"", false},
    };
    for (const auto& [content, isStale] : cases) {
        SCOPED_TRACE(content);
        QTemporaryDir empty, locks;
        const std::string file = locks.path().toStdString() + "/LCK..ttyUSB0";
        if (!content.empty())
            std::ofstream(file, std::ios::binary) << content;
        // The first folder that holds a lock file for the port counts.
        const auto stale =
            StalePortLock("/dev/ttyUSB0", {empty.path().toStdString(), locks.path().toStdString()});
        EXPECT_EQ(stale ? stale->file + " " + StaleLockReason(*stale) : "",
                  !isStale
                      ? ""
                      : file + " the port is blocked by the lock file " + file +
                            ", left by a program (process " + dead + ") that no " +
                            "longer runs; remove that file (sudo rm " + file + ") and try again");
    }
}

using Bytes = std::vector<std::uint8_t>;

// The far end of a pseudo-terminal: the port under test opens its slave side.
struct Pty {
    Pty() {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        int slave = -1;
        if (openpty(&master, &slave, name, &raw, nullptr) != 0)
            return;
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        path = name;
    }
    ~Pty() { Hangup(); }
    void Hangup() { ::close(std::exchange(master, -1)); }
    void Send(const Bytes& b) { ASSERT_EQ(::write(master, b.data(), b.size()), ssize_t(b.size())); }
    void Collect(Bytes* into) {
        std::uint8_t buf[256];
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
            into->insert(into->end(), buf, buf + n);
    }
    int master = -1;
    std::string path;
};

class QtSerialPortTest : public QtPlatformTest {
  protected:
    void SetUp() override {
        port.onNotice = [this](const std::string& n) { notices.push_back(n); };
        ASSERT_FALSE(pty.path.empty()) << "no pseudo-terminal";
    }
    std::vector<PortInfo> present;
    int listings = 0;
    QtSerialPort port{p, [this] { return ++listings, present; }};
    Pty pty;
    std::vector<std::string> notices;
};

TEST_F(QtSerialPortTest, CarriesBytesRawBothWaysAndSaysWhatItCannotDo) {
    std::string error;
    ASSERT_TRUE(port.Open(pty.path, &error)) << error;
    int drained = 0;
    Micros drainedAt = 0;
    Bytes atFarEnd;
    port.onSendDrained = [&] {  // what has left the port is at the far end already
        drained++, drainedAt = p.NowUs(), pty.Collect(&atFarEnd);
    };
    const Bytes frame{0x01, 0xC8, 0x0D, 0x0A, 0x11, 0x13, 0x00, 0xFF, 0x7F};  // nothing translated
    const Micros writtenAt = p.NowUs();
    port.Write(frame);
    EXPECT_EQ(drained, 0);  // never from inside Write
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 1; }));
    EXPECT_GE(drainedAt - writtenAt, WireTimeUs(frame.size()));
    EXPECT_EQ(atFarEnd, frame);
    pty.Send(frame);
    ASSERT_TRUE(PumpUntil(p, [&] { return port.BytesWaiting() == 9; }));
    EXPECT_EQ(port.ReadAll(), frame);
    // A pseudo-terminal refuses RTS: said once, kept logically, and not a lost device.
    port.SetRts(true), port.SetRts(false);
    EXPECT_FALSE(port.Rts());
    port.SetRts(true);
    EXPECT_TRUE(port.Rts());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].find(pty.path) != std::string::npos &&
                notices[0].find("RTS") != std::string::npos)
        << notices[0];
    EXPECT_TRUE(port.IsOpen());
    // Held by another, the port is said to be in use.
    QtSerialPort second(p);
    EXPECT_FALSE(second.Open(pty.path, &error));
    EXPECT_TRUE(error.starts_with("Cannot open the serial port " + pty.path +
                                  ": the port is in use by another program ("))
        << error;
    port.Close();
    EXPECT_TRUE(second.Open(pty.path, &error)) << error;
}

// The device goes (the write fails on a hung-up terminal): said once, the frame still
// "leaves" (so the program releases RTS and hears silence), and the port is reopened where its
// adapter comes back, found by its identity under a new name.
TEST_F(QtSerialPortTest, ALostDeviceIsSaidOnceAndReopenedWhereItsAdapterReturns) {
    Pty back;  // made now, so that it cannot take over the old terminal's name
    present = {Usb(pty.path, "A1")};
    port.SetReopenIntervalMs(20);
    ASSERT_TRUE(port.Open(pty.path, nullptr));
    int drained = 0;
    port.onSendDrained = [&] { ++drained; };
    pty.Hangup();
    present.clear();
    port.Write(Bytes(9, 0xAA));
    ASSERT_TRUE(PumpUntil(p, [&] { return !notices.empty() && drained == 1; }));
    EXPECT_TRUE(port.DeviceLost() && !port.IsOpen());
    const int before = listings;
    ASSERT_TRUE(PumpUntil(p, [&] { return listings >= before + 3; }));
    EXPECT_EQ(notices.size(), 1u);  // failed reopen attempts do not nag
    present = {Usb(back.path, "A1")};
    ASSERT_TRUE(PumpUntil(p, [&] { return port.IsOpen(); }));
    EXPECT_TRUE(!port.DeviceLost() && port.Reopenings() == 1u && port.Device() == back.path);
    ASSERT_EQ(notices.size(), 2u) << notices[0];
    EXPECT_EQ(notices[1], "The adapter of " + pty.path +
                              " (USB 0403:6001, serial number A1) is back as " + back.path +
                              "; reopened " + back.path + ".");
}

#endif  // __linux__

// The bus behind a serial device server, played by a local TCP server: frames both ways, no
// RTS to refuse; the server restarting drops the connection, which is said, swallows frames
// meanwhile (still reported sent) and is reopened, and said so, once the server listens again.
TEST_F(QtPlatformTest, AGatewayCarriesFramesAndIsReconnectedAfterARestart) {
    QTcpServer gateway;
    ASSERT_TRUE(gateway.listen(QHostAddress::LocalHost));
    const quint16 tcpPort = gateway.serverPort();
    const std::string device = "tcp://127.0.0.1:" + std::to_string(tcpPort);
    TcpGatewayPort port(p);
    port.SetReconnectDelaysMs(10, 40);
    std::vector<std::string> notices;
    port.onNotice = [&](const std::string& n) { notices.push_back(n); };
    int drained = 0;
    port.onSendDrained = [&] { ++drained; };
    std::string error;
    ASSERT_TRUE(port.Open(device, &error)) << error;
    ASSERT_TRUE(PumpUntil(p, [&] { return gateway.hasPendingConnections(); }));
    QTcpSocket* far = gateway.nextPendingConnection();

    const std::vector<std::uint8_t> frame{0x01, 0xC8, 0x04, 0x00, 0x20, 0x5A, 0x3E, 0x50, 0xF2};
    port.SetRts(true);
    port.Write(frame);
    EXPECT_EQ(drained, 0);  // never from inside Write
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 1 && far->bytesAvailable() == 9; }));
    EXPECT_EQ(far->readAll(), QByteArray(reinterpret_cast<const char*>(frame.data()), 9));
    far->write(reinterpret_cast<const char*>(frame.data()), 9);
    ASSERT_TRUE(PumpUntil(p, [&] { return port.BytesWaiting() == 9; }));
    EXPECT_EQ(port.ReadAll(), frame);
    EXPECT_TRUE(port.Rts() && port.OverNetwork() && notices.empty());

    // The gateway restarts, twice: each time the connection goes, nobody listens for a while,
    // and both the drop and the return are said.
    for (std::uint64_t restart = 1; restart <= 2; ++restart) {
        SCOPED_TRACE(restart);
        gateway.close();
        far->abort();
        const std::size_t said = notices.size();
        ASSERT_TRUE(PumpUntil(p, [&] { return notices.size() == said + 1; }));
        EXPECT_TRUE(notices.back().starts_with("The network gateway " + device +
                                               " dropped the connection ("))
            << notices.back();
        EXPECT_FALSE(port.IsOpen());
        port.Write(frame);
        ASSERT_TRUE(PumpUntil(p, [&] { return drained == 1 + int(restart); }));
        EXPECT_EQ(port.BytesWaiting(), 0);
        ASSERT_TRUE(gateway.listen(QHostAddress::LocalHost, tcpPort));
        ASSERT_TRUE(PumpUntil(p, [&] { return port.IsOpen() && gateway.hasPendingConnections(); }));
        far = gateway.nextPendingConnection();
        EXPECT_EQ(port.Reopenings(), restart);
        ASSERT_EQ(notices.size(), said + 2);
        EXPECT_EQ(notices.back(), "The network gateway " + device + " is connected again.");
    }

    // Nobody at the address: refused at once, naming it.
    port.Close();
    gateway.close();
    EXPECT_FALSE(port.Open(device, &error));
    EXPECT_EQ(error, "Cannot reach the network gateway " + device + ": Connection refused");
}

}  // namespace
}  // namespace halvern
