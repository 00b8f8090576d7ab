// Runs against Linux pseudo-terminals and checks the Linux port names.
#if defined(__linux__)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "QtTestSupport.h"
#include "platform/qt/PortDevice.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtSerialPort.h"

namespace halvern {
namespace {

using Bytes = std::vector<std::uint8_t>;
using qttest::PumpUntil;

// The far end of a pseudo-terminal: the port under test opens its slave side.
class Pty {
  public:
    Pty() {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        int slave = -1;
        if (openpty(&master_, &slave, name, &raw, nullptr) != 0)
            return;
        ::close(slave);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        slave_ = name;
    }
    ~Pty() { Hangup(); }
    const std::string& SlavePath() const { return slave_; }
    void Hangup() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    void Send(const Bytes& b) {
        ASSERT_EQ(::write(master_, b.data(), b.size()), ssize_t(b.size()));
    }
    void Collect(Bytes* into) {
        std::uint8_t buf[256];
        for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;)
            into->insert(into->end(), buf, buf + n);
    }

  private:
    int master_ = -1;
    std::string slave_;
};

class QtSerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qttest::EnsureApplication();
        ASSERT_FALSE(pty.SlavePath().empty()) << "no pseudo-terminal available";
        port.onNotice = [this](const std::string& n) { notices.push_back(n); };
    }
    QtPlatform p;
    QtSerialPort port{p};
    Pty pty;
    std::vector<std::string> notices;
};

TEST_F(QtSerialPortTest, OpensAt9600_8N1AndMovesBytesBothWays) {
    std::string error;
    ASSERT_TRUE(port.Open(pty.SlavePath(), &error)) << error;
    EXPECT_TRUE(port.IsOpen());

    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(::cfgetospeed(&t), B9600);
    EXPECT_EQ(::cfgetispeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    const Bytes frame{0x01, 0xC8, 0x04, 0x00, 0x20, 0x5A, 0x3E, 0x00, 0xFF};
    port.Write(frame);
    Bytes arrived;
    EXPECT_TRUE(PumpUntil(p, [&] {
        pty.Collect(&arrived);
        return arrived.size() >= frame.size();
    }));
    EXPECT_EQ(arrived, frame);

    pty.Send({0x07, 0x00, 0x0D, 0x0A});
    ASSERT_TRUE(PumpUntil(p, [&] { return port.BytesWaiting() == 4; }));
    EXPECT_EQ(port.ReadAll(), (Bytes{0x07, 0x00, 0x0D, 0x0A}));
    EXPECT_EQ(port.BytesWaiting(), 0);
}

TEST_F(QtSerialPortTest, DrainedComesThroughTheEventQueueOnceTheBytesHaveLeft) {
    ASSERT_TRUE(port.Open(pty.SlavePath(), nullptr));
    int drained = 0;
    Micros drainedAt = 0;
    Bytes atFarEnd;
    port.onSendDrained = [&] {
        ++drained;
        drainedAt = p.NowUs();
        pty.Collect(&atFarEnd);  // what has left the port is at the far end already
    };
    const Bytes frame(17, 0x55);
    const Micros writtenAt = p.NowUs();
    port.Write(frame);
    EXPECT_EQ(drained, 0);  // never from inside Write
    ASSERT_TRUE(PumpUntil(p, [&] { return drained > 0; }));
    EXPECT_GE(drainedAt - writtenAt, WireTimeUs(frame.size()));
    EXPECT_EQ(atFarEnd, frame);

    // Back-to-back frames: one notification once both have left.
    port.Write(Bytes(8, 1));
    port.Write(Bytes(9, 2));
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 2; }));
    EXPECT_EQ(atFarEnd.size(), 17u + 8u + 9u);
    PumpUntil(
        p, [] { return false; }, 20'000);
    EXPECT_EQ(drained, 2);

    port.Write(frame);
    port.Close();  // a closed port reports nothing more
    PumpUntil(
        p, [] { return false; }, 40'000);
    EXPECT_EQ(drained, 2);
}

TEST_F(QtSerialPortTest, RtsRefusedByAPtyIsReportedOnceAndKeptLogically) {
    ASSERT_TRUE(port.Open(pty.SlavePath(), nullptr));
    EXPECT_FALSE(port.Rts());
    EXPECT_TRUE(notices.empty());  // opening does not complain
    port.SetRts(true);
    EXPECT_TRUE(port.Rts());
    port.SetRts(false);
    EXPECT_FALSE(port.Rts());
    port.SetRts(true);
    EXPECT_TRUE(port.Rts());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(pty.SlavePath()), std::string::npos);
    EXPECT_NE(notices[0].find("RTS"), std::string::npos);
    EXPECT_TRUE(port.IsOpen());  // a refusal is not a lost device
}

TEST_F(QtSerialPortTest, OpeningAMissingDeviceSaysWhichAndWhy) {
    std::string error;
    EXPECT_FALSE(port.Open("/dev/ttyHalvernMissing7", &error));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(error.find("/dev/ttyHalvernMissing7"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(port.Open("", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(port.BytesWaiting(), 0);
}

TEST_F(QtSerialPortTest, LostDeviceGoesSilentIsReportedOnceAndReopensWhenItReturns) {
    // The device is reached through a link, as udev names an adapter, so it can "return"
    // as a new pseudo-terminal under the same name.
    char dirTemplate[] = "/tmp/halvern-port-XXXXXX";
    ASSERT_NE(::mkdtemp(dirTemplate), nullptr);
    const std::filesystem::path dir = dirTemplate;
    const std::filesystem::path link = dir / "ttyUSB0";
    std::filesystem::create_symlink(pty.SlavePath(), link);

    port.SetReopenIntervalMs(20);
    ASSERT_TRUE(port.Open(link.string(), nullptr));
    int drained = 0;
    port.onSendDrained = [&] { ++drained; };

    pty.Hangup();
    port.Write(Bytes(9, 0xAA));  // the write fails on a hung-up device
    ASSERT_TRUE(PumpUntil(p, [&] { return !notices.empty(); }));
    EXPECT_TRUE(port.DeviceLost());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.BytesWaiting(), 0);
    EXPECT_NE(notices[0].find(link.string()), std::string::npos);
    // Frames go nowhere but still "leave", so the program releases RTS and hears silence.
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 1; }));
    port.Write(Bytes(9, 0xBB));
    ASSERT_TRUE(PumpUntil(p, [&] { return drained == 2; }));

    PumpUntil(
        p, [] { return false; }, 60'000);  // a few failed reopen attempts
    EXPECT_TRUE(port.DeviceLost());

    Pty back;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(back.SlavePath(), link);
    ASSERT_TRUE(PumpUntil(p, [&] { return port.IsOpen(); }));
    EXPECT_FALSE(port.DeviceLost());
    back.Send({0x11, 0x22});
    ASSERT_TRUE(PumpUntil(p, [&] { return port.BytesWaiting() == 2; }));
    EXPECT_EQ(port.ReadAll(), (Bytes{0x11, 0x22}));
    EXPECT_EQ(notices.size(), 1u);

    port.Close();
    std::filesystem::remove_all(dir);
}

struct PortCase {
    std::string name;
    int n;
    std::vector<std::string> present;
    std::string device;
};

void PrintTo(const PortCase& c, std::ostream* os) {
    *os << c.name;
}

class DeviceForPortTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(DeviceForPortTest, MapsPortNumbersToDevices) {
    const auto& c = GetParam();
    const auto exists = [&](const std::string& path) {
        return std::find(c.present.begin(), c.present.end(), path) != c.present.end();
    };
    EXPECT_EQ(DeviceForPort(c.n, exists), c.device);
}

INSTANTIATE_TEST_SUITE_P(
    Linux, DeviceForPortTest,
    ::testing::Values(PortCase{"BuiltInWhenNoAdapter", 1, {}, "/dev/ttyS0"},
                      PortCase{"AdapterFirst", 1, {"/dev/ttyUSB0"}, "/dev/ttyUSB0"},
                      PortCase{"EachNumberOnItsOwn", 2, {"/dev/ttyUSB0"}, "/dev/ttyS1"},
                      PortCase{"Sixteenth", 16, {"/dev/ttyUSB15"}, "/dev/ttyUSB15"},
                      PortCase{"ZeroIsNoPort", 0, {}, ""},
                      PortCase{"NegativeIsNoPort", -3, {"/dev/ttyUSB0"}, ""}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace halvern

#endif  // __linux__
