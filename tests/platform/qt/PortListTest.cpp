// The port list as the technician sees it, the numbering read backwards, where a re-plugged
// adapter is looked for, and what a refused port says: all functions of the list or of facts
// handed in, so no device is needed.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QTemporaryDir>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/qt/PortAccess.h"
#include "platform/qt/PortDevice.h"
#include "platform/qt/PortList.h"

namespace halvern {
namespace {

PortInfo Usb(std::string device, std::string serial, std::uint16_t product = 0x6001) {
    return {std::move(device), "FT232R USB UART", "FTDI", 0x0403, product, std::move(serial)};
}
PortInfo Plain(std::string device) {
    return {std::move(device), "", "", std::nullopt, std::nullopt, ""};
}

#ifndef _WIN32

TEST(PortNumbering, NumberAndDeviceAgreeBothWaysAndNoneWhereNoNumberReaches) {
    const auto usb0 = [](const std::string& p) { return p == "/dev/ttyUSB0"; };
    const auto none = [](const std::string&) { return false; };
    EXPECT_EQ(PortForDevice("/dev/ttyUSB0", usb0), 1);
    EXPECT_EQ(PortForDevice("/dev/ttyUSB15", none), 16);
    EXPECT_EQ(PortForDevice("/dev/ttyS1", usb0), 2);
    EXPECT_EQ(PortForDevice("/dev/ttyS0", usb0), std::nullopt);  // port 1 is the adapter
    EXPECT_EQ(PortForDevice("/dev/ttyS0", none), 1);
    // The other way: the nth USB adapter when present, else the nth built-in port.
    EXPECT_EQ(DeviceForPort(1, none), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPort(1, usb0), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceForPort(2, usb0), "/dev/ttyS1");
    EXPECT_EQ(DeviceForPort(16, [](auto& p) { return p == "/dev/ttyUSB15"; }), "/dev/ttyUSB15");
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

TEST(PortRows, NumberedPortsFirstThenTheOthersInNaturalOrder) {
    const std::vector<PortInfo> ports = {Plain("/dev/ttyACM10"),   Plain("/dev/ttyS0"),
                                         Usb("/dev/ttyUSB1", "B"), Plain("/dev/ttyACM2"),
                                         Usb("/dev/ttyUSB0", "A"), Plain("/dev/ttyS4")};
    std::vector<std::string> shown;
    for (const PortRow& row : PortRows(ports))
        shown.push_back(NumberText(row) + " " + row.port.device);
    // ttyS0 is port 1 only while no ttyUSB0 is there.
    EXPECT_EQ(shown,
              (std::vector<std::string>{"1 /dev/ttyUSB0", "2 /dev/ttyUSB1", "5 /dev/ttyS4",
                                        "- /dev/ttyACM2", "- /dev/ttyACM10", "- /dev/ttyS0"}));
    EXPECT_TRUE(PortRows({}).empty());
}

#endif  // _WIN32

TEST(PortIdentity, NeedsVendorProductAndSerialNumber) {
    EXPECT_EQ(IdentityOf(Usb("/dev/ttyUSB0", "A10K3X2B")),
              (PortIdentity{0x0403, 0x6001, "A10K3X2B"}));
    EXPECT_EQ(IdentityOf(Usb("/dev/ttyUSB0", "")), std::nullopt);  // a cheap adapter
    EXPECT_EQ(IdentityOf(Plain("/dev/ttyS0")), std::nullopt);
    EXPECT_EQ(IdentityText({0x0403, 0x6001, "A10K3X2B"}), "USB 0403:6001, serial number A10K3X2B");
}

struct Reopen {
    const char* situation;
    std::string device, resolved;
    std::optional<PortIdentity> identity;
    std::vector<PortInfo> present;
    std::optional<std::string> tried;
};
void PrintTo(const Reopen& c, std::ostream* os) {
    *os << c.situation;
}

const PortIdentity kOurs{0x0403, 0x6001, "A1"};

using Ports = std::vector<PortInfo>;
using Tried = std::optional<std::string>;
const Reopen kReopens[] = {
    {"no identity: the same name, listed or not", "/dev/pts/4", "/dev/pts/4", std::nullopt,
     Ports{Usb("/dev/ttyUSB1", "A1")}, "/dev/pts/4"},
    {"back under its own name", "/dev/ttyUSB0", "/dev/ttyUSB0", kOurs,
     Ports{Usb("/dev/ttyUSB0", "A1")}, "/dev/ttyUSB0"},
    {"back under a new name", "/dev/ttyUSB0", "", kOurs,
     Ports{Plain("/dev/ttyS0"), Usb("/dev/ttyUSB1", "A1")}, "/dev/ttyUSB1"},
    {"a link that leads to it again keeps the link", "/dev/serial/by-id/ftdi-A1", "/dev/ttyUSB1",
     kOurs, Ports{Usb("/dev/ttyUSB1", "A1")}, "/dev/serial/by-id/ftdi-A1"},
    {"another adapter took its name, ours is elsewhere", "/dev/ttyUSB0", "/dev/ttyUSB0", kOurs,
     Ports{Usb("/dev/ttyUSB0", "B2"), Usb("/dev/ttyUSB1", "A1")}, "/dev/ttyUSB1"},
    {"another adapter took its name, ours is not back", "/dev/ttyUSB0", "/dev/ttyUSB0", kOurs,
     Ports{Usb("/dev/ttyUSB0", "B2")}, Tried{}},
    {"one without a serial number took its name", "/dev/ttyUSB0", "/dev/ttyUSB0", kOurs,
     Ports{Usb("/dev/ttyUSB0", "")}, Tried{}},
    {"same serial number, other product: not ours", "/dev/ttyUSB0", "", kOurs,
     Ports{Usb("/dev/ttyUSB1", "A1", 0x6015)}, "/dev/ttyUSB0"},
    {"two channels of one adapter, neither under the old name", "/dev/ttyUSB0", "", kOurs,
     Ports{Usb("/dev/ttyUSB2", "A1"), Usb("/dev/ttyUSB3", "A1")}, Tried{}},
    {"two channels, one under the old name", "/dev/ttyUSB2", "/dev/ttyUSB2", kOurs,
     Ports{Usb("/dev/ttyUSB2", "A1"), Usb("/dev/ttyUSB3", "A1")}, "/dev/ttyUSB2"},
    {"nothing listed: the same name", "/dev/ttyUSB0", "", kOurs, Ports{}, "/dev/ttyUSB0"},
};

class ReopenTargetTest : public ::testing::TestWithParam<Reopen> {};

TEST_P(ReopenTargetTest, FollowsTheAdapterAndNeverGuesses) {
    const Reopen& c = GetParam();
    EXPECT_EQ(ReopenTarget(c.device, c.resolved, c.identity, c.present), c.tried);
}

INSTANTIATE_TEST_SUITE_P(Situations, ReopenTargetTest, ::testing::ValuesIn(kReopens));

struct Refusal {
    const char* situation;
    OpenRefusal refusal;
    DeviceAccess access;
    std::string says;
};
void PrintTo(const Refusal& c, std::ostream* os) {
    *os << c.situation;
}

using Access = DeviceAccess;
using enum GroupMembership;
const Refusal kRefusals[] = {
    {"not in the serial group", OpenRefusal::NoPermission,
     Access{"root", "dialout", true, "tech", None},
     "Permission denied. The group \"dialout\" may use it and you (tech) are not in it: add "
     "yourself with: sudo usermod -aG dialout $USER, then log out and in."},
    {"another distribution's group", OpenRefusal::NoPermission,
     Access{"root", "uucp", true, "", None},
     "Permission denied. The group \"uucp\" may use it and you are not in it: add yourself "
     "with: sudo usermod -aG uucp $USER, then log out and in."},
    {"added, not yet logged in again", OpenRefusal::NoPermission,
     Access{"root", "dialout", true, "tech", FromNextLogin},
     "Permission denied. The group \"dialout\" may use it and you (tech) joined it, but that "
     "counts only from the next login: log out and in."},
    {"in the group: something else refuses", OpenRefusal::NoPermission,
     Access{"root", "dialout", true, "tech", Now}, "Permission denied"},
    {"root's group is no advice", OpenRefusal::NoPermission,
     Access{"root", "root", true, "tech", None},
     "Permission denied. Only its owner (root) may use it: ask the PC's administrator for "
     "access."},
    {"a group without read and write is no advice", OpenRefusal::NoPermission,
     Access{"anna", "tty", false, "tech", None},
     "Permission denied. Only its owner (anna) may use it: ask the PC's administrator for "
     "access."},
    {"nothing known", OpenRefusal::NoPermission, Access{}, "Permission denied"},
    {"held by another program", OpenRefusal::InUse, Access{"root", "dialout", true, "tech", None},
     "the port is in use by another program (Permission denied)"},
    {"any other failure", OpenRefusal::Other, Access{}, "Permission denied"},
};

class OpenFailureReasonTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(OpenFailureReasonTest, SaysWhatToDo) {
    const Refusal& c = GetParam();
    EXPECT_EQ(OpenFailureReason(c.refusal, "Permission denied", c.access), c.says);
}

INSTANTIATE_TEST_SUITE_P(Situations, OpenFailureReasonTest, ::testing::ValuesIn(kRefusals));

#ifndef _WIN32

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
    EXPECT_EQ(PortLockName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(PortLockName("/dev/pts/3"), "LCK..pts_3");

    struct Case {
        const char* situation;
        std::string content;  // nothing written when empty
        bool stale;
    };
    const Case cases[] = {
        {"Qt's lock of a killed program", dead + "\nhalvern-cli\n" + host + "\n", true},
        {"another program's lock: the process alone, padded",
         std::string(10 - dead.size(), ' ') + dead + "\n", true},
        {"a running process", alive + "\nhalvern\n" + host + "\n", false},
        {"a process of another PC", dead + "\nhalvern\nsome-other-pc\n", false},
        {"no process named", "locked\n", false},
        {"no lock file", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        QTemporaryDir empty, locks;
        const std::string file = locks.path().toStdString() + "/LCK..ttyUSB0";
        if (!c.content.empty())
            std::ofstream(file, std::ios::binary) << c.content;
        // The first folder that holds a lock file for the port counts.
        const auto stale =
            StalePortLock("/dev/ttyUSB0", {empty.path().toStdString(), locks.path().toStdString()});
        ASSERT_EQ(stale.has_value(), c.stale);
        if (stale) {
            EXPECT_EQ(stale->file, file);
            EXPECT_EQ(StaleLockReason(*stale),
                      "the port is blocked by the lock file " + file +
                          ", left by a program (process " + dead +
                          ") that no longer runs; remove that file (sudo rm " + file +
                          ") and try again");
        }
    }
}

#endif

}  // namespace
}  // namespace halvern
