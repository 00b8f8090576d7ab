// The Qt platform on the machine's clock: the only tests that do not run on virtual time,
// because the objects under test are the operating system's. Waits are bounded so that a
// fault shows as a failure, not a hang. The serial port runs against Linux pseudo-terminals.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/QtPlatform.h"

#if defined(__linux__)
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "platform/qt/PortDevice.h"
#include "platform/qt/QtSerialPort.h"
#endif

namespace halvern {
namespace {

// Runs the event loop until done() holds or 3 s have passed; true when done() holds.
template <class Done>
bool PumpUntil(QtPlatform& p, Done done) {
    // A bound, not a measure: generous for sanitizer builds on a loaded machine.
    const Micros end = p.NowUs() + 10'000'000;
    while (!done() && p.NowUs() < end)
        p.ProcessEvents(std::min(end, p.NowUs() + 10'000));
    return done();
}

class QtPlatformTest : public ::testing::Test {
  protected:
    // Qt needs its application object before any event processing. It stays for the whole
    // run: tearing Qt down among static destructors buys nothing.
    static void SetUpTestSuite() {
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("platform_tests"), nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
    QtPlatform p;
};

TEST_F(QtPlatformTest, PostedCallsRunInTimeOrderAndNeverBeforeTheirTime) {
    const Micros t0 = p.NowUs();
    std::vector<std::string> order;
    bool early = false;
    const auto post = [&](Micros at, std::string name) {
        p.Post(at, [&, at, name] { order.push_back(name), early = early || p.NowUs() < at; });
    };
    post(t0 + 20'000, "late"), post(t0 + 5'000, "soon"), post(t0, "now-1"), post(t0, "now-2");
    ASSERT_TRUE(PumpUntil(p, [&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"now-1", "now-2", "soon", "late"}));
    EXPECT_FALSE(early);
}

TEST_F(QtPlatformTest, WaitRunsWhatIsDueAndOtherwiseBlocksUntilItsDeadline) {
    bool ran = false;
    p.Post(p.NowUs(), [&] { ran = true; });
    p.ProcessEvents(p.NowUs() - 1);  // a passed deadline: what is due runs, nothing blocks
    EXPECT_TRUE(ran);
    const Micros deadline = p.NowUs() + 50'000;
    int turns = 0;
    for (; p.NowUs() < deadline && turns < 1000; ++turns)
        p.ProcessEvents(deadline);
    EXPECT_LT(turns, 10);  // a spinning wait would take thousands of turns
}

#if defined(__linux__)

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
    QtSerialPortTest() {
        port.onNotice = [this](const std::string& n) { notices.push_back(n); };
    }
    void SetUp() override { ASSERT_FALSE(pty.path.empty()) << "no pseudo-terminal"; }
    // What the system lists; nothing unless a test says otherwise.
    std::vector<PortInfo> present;
    int listings = 0;
    QtSerialPort port{p, [this] { return ++listings, present; }};
    Pty pty;
    std::vector<std::string> notices;
};

PortInfo Adapter(std::string device, std::string serial) {
    return {std::move(device), "FT232R USB UART", "FTDI", 0x0403, 0x6001, std::move(serial)};
}

TEST_F(QtSerialPortTest, CarriesBytesRawBothWaysAndReportsTheDrainOnlyOnceTheyHaveLeft) {
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
}

TEST_F(QtSerialPortTest, APortHeldByAnotherIsSaidToBeInUseAndAMissingOneGivesTheSystemsReason) {
    ASSERT_TRUE(port.Open(pty.path, nullptr));
    QtSerialPort second(p);
    std::string error;
    EXPECT_FALSE(second.Open(pty.path, &error));
    EXPECT_EQ(error.rfind("Cannot open the serial port " + pty.path +
                              ": the port is in use by another program (",
                          0),
              0u)
        << error;
    EXPECT_FALSE(second.Open("/dev/halvern-no-such-port", &error));
    EXPECT_EQ(error,
              "Cannot open the serial port /dev/halvern-no-such-port: No such file or directory");
    port.Close();
    EXPECT_TRUE(second.Open(pty.path, &error)) << error;
}

TEST_F(QtSerialPortTest, RtsRefusedByAPtyIsReportedOnceAndKeptLogically) {
    ASSERT_TRUE(port.Open(pty.path, nullptr));
    for (bool on : {true, false, true}) {
        port.SetRts(on);
        EXPECT_EQ(port.Rts(), on);
    }
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(pty.path), std::string::npos);
    EXPECT_NE(notices[0].find("RTS"), std::string::npos);
    EXPECT_TRUE(port.IsOpen());  // a refusal is not a lost device
}

// The device goes (the write fails on a hung-up terminal): said once, the frame still
// "leaves" (so the program releases RTS and hears silence), and the port is reopened where its
// adapter comes back, found by its identity under a new name; another adapter is not ours.
TEST_F(QtSerialPortTest, ALostDeviceIsSaidOnceAndReopenedWhereItsAdapterReturns) {
    Pty back;  // made now, so that it cannot take over the old terminal's name
    present = {Adapter(pty.path, "A1")};
    port.SetReopenIntervalMs(20);
    ASSERT_TRUE(port.Open(pty.path, nullptr));
    ASSERT_TRUE(port.Identity().has_value());
    int drained = 0;
    port.onSendDrained = [&] { ++drained; };

    pty.Hangup();
    present.clear();
    port.Write(Bytes(9, 0xAA));
    ASSERT_TRUE(PumpUntil(p, [&] { return !notices.empty() && drained == 1; }));
    EXPECT_TRUE(port.DeviceLost() && !port.IsOpen());
    EXPECT_NE(notices[0].find(pty.path), std::string::npos);
    present = {Adapter(back.path, "B2")};
    const int before = listings;
    ASSERT_TRUE(PumpUntil(p, [&] { return listings >= before + 3; }));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Reopenings(), 0u);
    EXPECT_EQ(notices.size(), 1u);  // failed reopen attempts do not nag

    present = {Adapter(back.path, "A1")};
    ASSERT_TRUE(PumpUntil(p, [&] { return port.IsOpen(); }));
    EXPECT_FALSE(port.DeviceLost());
    EXPECT_EQ(port.Reopenings(), 1u);  // counted for serve's /metrics
    EXPECT_EQ(port.Device(), back.path);
    ASSERT_EQ(notices.size(), 2u) << notices[0];
    EXPECT_EQ(notices[1], "The adapter of " + pty.path +
                              " (USB 0403:6001, serial number A1) is back as " + back.path +
                              "; reopened " + back.path + ".");
    back.Send({0x11, 0x22});
    ASSERT_TRUE(PumpUntil(p, [&] { return port.BytesWaiting() == 2; }));
    EXPECT_EQ(port.ReadAll(), (Bytes{0x11, 0x22}));
}

#endif  // __linux__

}  // namespace
}  // namespace halvern
