// The real halvern-cli against the real halvern-sim on a pseudo-terminal, every wait bounded.
#if defined(HALVERN_SIM_PATH) && defined(HALVERN_CLI_PATH)

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/Spawned.h"

namespace halvern::test {
namespace {

TEST(EndToEnd, StatusLogOutputAndSettingFilesOnAPseudoTerminal) {
    char dirTemplate[] = "/tmp/halvern-cli-e2e-XXXXXX";
    const std::filesystem::path dir = mkdtemp(dirTemplate);
    const std::string tty = (dir / "tty").string();
    // The simulator's input stays open (its end would not stop it anyway); it ends at the
    // end of the test with its Child.
    Spawned sim({HALVERN_SIM_PATH, "--link", tty});
    ASSERT_TRUE(sim.Read([&] { return sim.out.find('\n') != std::string::npos; })) << sim.err;
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {HALVERN_CLI_PATH, "--device", tty, "--data-dir", dir.string()});
        return args;
    };

    Spawned status(cli({"status", "7", "--json"}));
    EXPECT_EQ(status.Finish(), 0) << status.err;
    // The readings drift with the simulator's clock: their values are checked on virtual time.
    EXPECT_TRUE(status.out.starts_with(
        R"({"address":7,"model":"Veridan LAMP 411","serial":1207,"status":"NNN0",)"))
        << status.out;

    // FIFOs named like the setting files in the data folder: each command says what it refuses
    // and goes on with what it has, instead of waiting for the FIFO's other end.
    const std::string tune = (dir / "CommTune2.txt").string(),
                      port = (dir / "CommPortNo.txt").string();
    ASSERT_EQ(mkfifo(tune.c_str(), 0600) + mkfifo(port.c_str(), 0600), 0);
    const std::string fifo = ": it is a FIFO (named pipe), not a regular file";

    Spawned fifoStatus(cli({"status", "7"}));
    EXPECT_EQ(fifoStatus.Finish(), 0) << fifoStatus.err;
    // Then the pseudo-terminal's refusal of RTS, said as it comes.
    EXPECT_TRUE(fifoStatus.err.starts_with("halvern-cli: Cannot read " + tune + fifo +
                                           "; the turnaround delay stays 4000 us\n"
                                           "halvern-cli: The serial port " +
                                           tty + " does not let the program switch RTS"))
        << fifoStatus.err;
    Spawned noPort({HALVERN_CLI_PATH, "--data-dir", dir.string(), "status", "7"});
    EXPECT_EQ(noPort.Finish(), 2);
    EXPECT_EQ(noPort.err, "halvern-cli: Cannot read " + port + fifo +
                              "\nhalvern-cli: no port chosen: give --device PATH or --port N\n");

    // Logging ends on SIGTERM with exit 0, the files holding whole records only (last: the
    // reply to its last query may still come, for nobody).
    Spawned log(cli({"log", "1", "--period", "1"}));
    ASSERT_TRUE(log.Read([&] { return log.err.find("every 1 s") != std::string::npos; }));
    // Once the detector has answered (its first reply writes a record): a log whose
    // detector never did is a failure. A bounded wait for the file, 10 ms a look.
    for (int look = 0; look < 1000 && !std::filesystem::exists(dir / "4711.txt"); ++look)
        poll(nullptr, 0, 10);
    ASSERT_TRUE(std::filesystem::exists(dir / "4711.txt"));
    kill(log.pid, SIGTERM);
    EXPECT_EQ(log.Finish(), 0) << log.err;
    EXPECT_TRUE(log.err.ends_with(" written\n")) << log.err;
    std::ifstream in(dir / "4711.txt", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}).ends_with("\r\n"));

    kill(sim.pid, SIGTERM);
    EXPECT_EQ(sim.Finish(), 0);
    std::filesystem::remove_all(dir);
}

#ifdef FULL_DISK_PATH
// A report onto a disk that fills up: the report of the same name stays byte for byte, no
// part of the new one stays behind, and the message says why.
TEST(EndToEnd, AReportThatCannotBeWrittenLeavesThePreviousOne) {
    char dirTemplate[] = "/tmp/halvern-cli-full-XXXXXX";
    const std::filesystem::path dir = mkdtemp(dirTemplate), out = dir / "out";
    std::filesystem::create_directories(out);
    const std::string prev = (out / "prev.pdf").string(), old(30'000, 'o');
    const auto report = [&](const std::string& file) {
        setenv("LD_PRELOAD", FULL_DISK_PATH, 1);
        setenv("HALVERN_FULL_DISK", out.c_str(), 1);
        setenv("HALVERN_FULL_DISK_ROOM", "8192", 1);
        setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
        Spawned cli({HALVERN_CLI_PATH, "--data-dir", dir.string(), "report", "880", "-o", file});
        for (const char* name : {"LD_PRELOAD", "HALVERN_FULL_DISK", "HALVERN_FULL_DISK_ROOM"})
            unsetenv(name);
        EXPECT_EQ(cli.Finish(), 1);
        EXPECT_TRUE(cli.err.ends_with("halvern-cli: Cannot write " + file + ": the disk is full\n"))
            << cli.err;
    };
    std::ofstream(prev, std::ios::binary) << old;
    report(prev);
    report((out / "new.pdf").string());
    std::ifstream kept(prev, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1);

    std::filesystem::remove_all(dir);
}
#endif

// A TCP connection to a port of this machine; the socket, or -errno when refused.
int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    const int why = errno;
    ::close(fd);
    return -why;
}

// A port nobody listens on.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// How many detectors /metrics at the port shows as answering; -1 when it cannot be read.
int DetectorsUp(int port) {
    const int fd = ConnectTo(port);
    const std::string request = "GET /metrics HTTP/1.0\r\nConnection: close\r\n\r\n";
    if (fd < 0 || ::write(fd, request.data(), request.size()) < 0)
        return -1;
    std::string text;
    std::array<int, 2> fds{fd, -1};
    ReadOutputs(
        fds, {&text, nullptr}, [] { return false; }, 5000);
    ::close(fds[0]);
    int up = 0;
    for (std::size_t at = text.find("\nhalvern_detector_up{"); at != std::string::npos;
         at = text.find("\nhalvern_detector_up{", at + 1)) {
        const std::size_t end = text.find('\n', at + 1);
        up += end != std::string::npos && text.compare(end - 2, 2, " 1") == 0;
    }
    return up;
}

// Looks every 50 ms, for at most 10 s, until done() holds.
bool Eventually(auto done) {
    for (int look = 0; look < 200; ++look, poll(nullptr, 0, 50))
        if (done())
            return true;
    return false;
}

// The bus behind a network gateway: halvern-sim serving it over TCP, 20 ms each way. The scan
// finds the bus's three detectors; serve exports them, holding the gateway's one connection,
// and carries on through the gateway's restart.
TEST(EndToEnd, ScanAndServeThroughANetworkGatewayThatRestarts) {
    char dirTemplate[] = "/tmp/halvern-cli-gateway-XXXXXX";
    const std::filesystem::path dir = mkdtemp(dirTemplate);
    const auto gateway = [](const std::string& at) {
        return std::vector<std::string>{HALVERN_SIM_PATH, "--listen-tcp", at, "--tcp-delay", "20"};
    };
    auto sim = std::make_unique<Spawned>(gateway("127.0.0.1:0"));
    ASSERT_TRUE(sim->Read([&] { return sim->out.find('\n') != std::string::npos; })) << sim->err;
    const std::string device = sim->out.substr(0, sim->out.find('\n'));
    ASSERT_TRUE(device.starts_with("tcp://127.0.0.1:")) << device;
    const int simPort = std::stoi(device.substr(device.rfind(':') + 1));
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(),
                    {HALVERN_CLI_PATH, "--device", device, "--data-dir", dir.string()});
        return args;
    };

    Spawned scan(cli({"scan", "1", "12", "--json"}));
    EXPECT_EQ(scan.Finish(), 0) << scan.err;
    for (const char* found : {"{\"address\":1,\"valid\":true,\"model\":\"Veridan Xenon 621-2\"",
                              "\n{\"address\":7,\"valid\":true,\"model\":\"Veridan LAMP 411\"",
                              "\n{\"address\":12,\"valid\":true,\"model\":\"Talvek 880\""})
        EXPECT_NE(scan.out.find(found), std::string::npos) << found << " in " << scan.out;
    EXPECT_EQ(std::count(scan.out.begin(), scan.out.end(), '\n'), 3) << scan.out;

    const int http = FreePort();
    Spawned serve(cli({"serve", "1", "7", "12", "--listen", "127.0.0.1:" + std::to_string(http)}));
    ASSERT_TRUE(serve.Read([&] { return serve.err.find("serving") != std::string::npos; }));
    EXPECT_TRUE(Eventually([&] { return DetectorsUp(http) == 3; })) << serve.err;
    EXPECT_EQ(ConnectTo(simPort), -ECONNREFUSED);  // the gateway's one connection is taken

    // The gateway restarts on its address.
    kill(sim->pid, SIGTERM);
    EXPECT_EQ(sim->Finish(), 0);
    sim = std::make_unique<Spawned>(gateway("127.0.0.1:" + std::to_string(simPort)));
    ASSERT_TRUE(serve.Read([&] { return serve.err.find("connected again") != std::string::npos; }))
        << serve.err;
    EXPECT_NE(
        serve.err.find("halvern-cli: The network gateway " + device + " dropped the connection"),
        std::string::npos)
        << serve.err;
    EXPECT_TRUE(Eventually([&] { return DetectorsUp(http) == 3; })) << serve.err;

    kill(serve.pid, SIGTERM);
    EXPECT_EQ(serve.Finish(), 0) << serve.err;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace halvern::test

#endif
