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

#include <cstdlib>
#include <filesystem>

#include "platform/qt/PortDevice.h"
#include "platform/qt/QtSerialPort.h"
#endif

namespace halvern {
namespace {

// Runs the event loop until done() holds or limitUs has passed; true when done() holds.
template <class Done>
bool PumpUntil(QtPlatform& p, Done done, Micros limitUs = 3'000'000) {
    const Micros end = p.NowUs() + limitUs;
    while (!done()) {
        const Micros now = p.NowUs();
        if (now >= end)
            return false;
        p.ProcessEvents(std::min(end, now + 10'000));
    }
    return true;
}

// Runs the event loop for a while, to see that nothing (more) happens.
void Pump(QtPlatform& p, Micros us) {
    PumpUntil(
        p, [] { return false; }, us);
}

class QtPlatformTest : public ::testing::Test {
  protected:
    // Qt needs its application object before any event processing. It stays for the whole
    // run: tearing Qt down among static destructors buys nothing.
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "platform_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }
    QtPlatform p;
};

TEST(MsUntil, RoundsUpSoATimerNeverFiresEarly) {
    EXPECT_EQ(MsUntil(5000, 4000), 0);
    EXPECT_EQ(MsUntil(5000, 5001), 1);
    EXPECT_EQ(MsUntil(5000, 6001), 2);
}

TEST_F(QtPlatformTest, PostedCallsRunInTimeOrderAndNeverBeforeTheirTime) {
    const Micros t0 = p.NowUs();
    std::vector<std::string> order;
    bool early = false;
    for (const auto& [at, name] : std::vector<std::pair<Micros, std::string>>{
             {t0 + 20'000, "late"}, {t0 + 5'000, "soon"}, {t0, "now-1"}, {t0, "now-2"}})
        p.Post(at, [&, at, name] {
            order.push_back(name);
            early = early || p.NowUs() < at;
        });
    ASSERT_TRUE(PumpUntil(p, [&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"now-1", "now-2", "soon", "late"}));
    EXPECT_FALSE(early);
    EXPECT_EQ(p.PendingPosts(), 0u);
}

TEST_F(QtPlatformTest, WaitRunsWhatIsDueAndOtherwiseBlocksUntilItsDeadline) {
    bool ran = false, far = false;
    p.Post(p.NowUs(), [&] { ran = true; });
    p.Post(p.NowUs() + 60'000'000, [&] { far = true; });
    p.ProcessEvents(p.NowUs() - 1);  // a passed deadline: what is due runs, nothing blocks
    EXPECT_TRUE(ran);
    EXPECT_FALSE(far);
    const Micros deadline = p.NowUs() + 50'000;
    int turns = 0;
    for (; p.NowUs() < deadline && turns < 1000; ++turns)
        p.ProcessEvents(deadline);
    EXPECT_LT(turns, 10);  // a spinning wait would take thousands of turns
}

TEST_F(QtPlatformTest, WaitNestedInAPostedCallSeesLaterCalls) {
    std::vector<std::string> order;
    const Micros t0 = p.NowUs();
    p.Post(t0, [&] {
        order.push_back("outer begins");
        PumpUntil(p, [&] { return order.size() == 2; });
        order.push_back("outer ends");
    });
    p.Post(t0 + 2'000, [&] { order.push_back("inner"); });
    ASSERT_TRUE(PumpUntil(p, [&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"outer begins", "inner", "outer ends"}));
}

TEST_F(QtPlatformTest, TimerRepeatsUntilDisabledOrDestroyed) {
    auto t = p.NewTimer();
    int ticks = 0;
    t->onTick = [&] { ++ticks; };
    t->SetInterval(0);  // held at the shortest interval, never a busy timer
    EXPECT_EQ(t->Interval(), 1);
    t->SetEnabled(true);
    ASSERT_TRUE(PumpUntil(p, [&] { return ticks >= 3; }));
    t->SetEnabled(false);
    const int stopped = ticks;
    Pump(p, 30'000);
    EXPECT_EQ(ticks, stopped);
    t->SetEnabled(true);
    t->onTick = [&] { t.reset(); };  // a tick may destroy its own timer
    ASSERT_TRUE(PumpUntil(p, [&] { return t == nullptr; }));
}

TEST_F(QtPlatformTest, MicroDelayBlocksAtLeastItsTimeAndRunsNoEvent) {
    bool ran = false;
    p.Post(p.NowUs(), [&] { ran = true; });
    const Micros before = p.NowUs();
    p.DelayUs(3'000);
    EXPECT_GE(p.NowUs() - before, 3'000);
    EXPECT_FALSE(ran);
    p.DelayUs(-5);  // returns at once
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
    QtSerialPort port{p};
    Pty pty;
    std::vector<std::string> notices;
};

TEST_F(QtSerialPortTest, OpensRawAt9600_8N1AndReportsTheDrainOnlyOnceTheBytesHaveLeft) {
    std::string error;
    ASSERT_TRUE(port.Open(pty.path, &error)) << error;
    const int fd = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(::cfgetospeed(&t), B9600);
    EXPECT_EQ(::cfgetispeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    int drained = 0;
    Micros drainedAt = 0;
    Bytes atFarEnd;
    port.onSendDrained = [&] {
        ++drained;
        drainedAt = p.NowUs();
        pty.Collect(&atFarEnd);  // what has left the port is at the far end already
    };
    const Bytes frame{0x01, 0xC8, 0x0D, 0x0A, 0x11, 0x13, 0x00, 0xFF, 0x7F};  // nothing translated
    const Micros writtenAt = p.NowUs();
    port.Write(frame);
    EXPECT_EQ(drained, 0);  // never from inside Write
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 1; }));
    EXPECT_GE(drainedAt - writtenAt, WireTimeUs(frame.size()));
    EXPECT_EQ(atFarEnd, frame);
    // Back-to-back frames: one notification, once both have left.
    port.Write(Bytes(8, 1));
    port.Write(Bytes(9, 2));
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 2; }));
    EXPECT_EQ(atFarEnd.size(), 9u + 8u + 9u);
    Pump(p, 20'000);
    EXPECT_EQ(drained, 2);

    pty.Send(frame);
    ASSERT_TRUE(PumpUntil(p, [&] { return port.BytesWaiting() == 9; }));
    EXPECT_EQ(port.ReadAll(), frame);
}

TEST_F(QtSerialPortTest, RtsRefusedByAPtyIsReportedOnceAndKeptLogically) {
    ASSERT_TRUE(port.Open(pty.path, nullptr));
    EXPECT_TRUE(notices.empty());  // opening does not complain
    for (bool on : {true, false, true}) {
        port.SetRts(on);
        EXPECT_EQ(port.Rts(), on);
    }
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(pty.path), std::string::npos);
    EXPECT_NE(notices[0].find("RTS"), std::string::npos);
    EXPECT_TRUE(port.IsOpen());  // a refusal is not a lost device
}

TEST_F(QtSerialPortTest, OpeningAMissingDeviceSaysWhichAndWhy) {
    std::string error;
    EXPECT_FALSE(port.Open("/dev/ttyHalvernMissing7", &error));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(error.find("/dev/ttyHalvernMissing7"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST_F(QtSerialPortTest, LostDeviceGoesSilentIsReportedOnceAndReopensWhenItReturns) {
    // The device is reached through a link, as udev names an adapter, so it can "return"
    // as a new pseudo-terminal under the same name.
    char dirTemplate[] = "/tmp/halvern-port-XXXXXX";
    ASSERT_NE(::mkdtemp(dirTemplate), nullptr);
    const std::filesystem::path dir = dirTemplate, link = dir / "ttyUSB0";
    std::filesystem::create_symlink(pty.path, link);
    port.SetReopenIntervalMs(20);
    ASSERT_TRUE(port.Open(link.string(), nullptr));
    int drained = 0;
    port.onSendDrained = [&] { ++drained; };

    pty.Hangup();
    port.Write(Bytes(9, 0xAA));  // the write fails on a hung-up device
    ASSERT_TRUE(PumpUntil(p, [&] { return !notices.empty(); }));
    EXPECT_TRUE(port.DeviceLost());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(notices[0].find(link.string()), std::string::npos);
    // The frame goes nowhere but still "leaves", so the program releases RTS and hears silence.
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 1; }));

    Pty back;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(back.path, link);
    ASSERT_TRUE(PumpUntil(p, [&] { return port.IsOpen(); }));
    EXPECT_FALSE(port.DeviceLost());
    back.Send({0x11, 0x22});
    ASSERT_TRUE(PumpUntil(p, [&] { return port.BytesWaiting() == 2; }));
    EXPECT_EQ(notices.size(), 1u);  // failed reopen attempts do not nag
    port.Close();
    std::filesystem::remove_all(dir);
}

TEST(DeviceForPort, TakesTheNthUsbAdapterWhenPresentElseTheNthBuiltInPort) {
    const auto only = [](const std::string& present) {
        return [present](const std::string& path) { return path == present; };
    };
    EXPECT_EQ(DeviceForPort(1, only("")), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPort(1, only("/dev/ttyUSB0")), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceForPort(2, only("/dev/ttyUSB0")), "/dev/ttyS1");
    EXPECT_EQ(DeviceForPort(16, only("/dev/ttyUSB15")), "/dev/ttyUSB15");
    EXPECT_EQ(DeviceForPort(0, only("")), "");  // no port chosen
    EXPECT_EQ(DeviceForPort(-3, only("/dev/ttyUSB0")), "");
}

#endif  // __linux__

}  // namespace
}  // namespace halvern
