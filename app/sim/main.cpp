// halvern-sim: a bus of simulated detectors on a pseudo-terminal. The program side of the
// terminal (its path is the first line of standard output) behaves like a serial port with
// detectors behind it, so the whole serial path of the program can be tried without hardware.
// With --listen-tcp the bus is served over TCP instead, as a serial device server serves it.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "HalvernVersion.h"
#include "link/Models.h"
#include "platform/GatewayAddress.h"
#include "sim/Bus.h"
#include "sim/Console.h"
#include "sim/PtyServer.h"

using namespace halvern;
using namespace halvern::sim;

namespace {

struct Options {
    std::optional<std::string> link;
    std::optional<std::string> trace;
    std::optional<GatewayAddress> listenTcp;
    Micros tcpDelayUs = 0;
    std::vector<DetectorConfig> detectors;
    Micros latencyUs = kDefaultLatencyUs;
    // Settings given as console commands, run once the bus is built: the option and its
    // command ("--latency", "latency 7 120").
    std::vector<std::pair<std::string, std::string>> commands;
};

constexpr const char* kUsage =
    "Usage: halvern-sim [--link PATH | --listen-tcp HOST:PORT [--tcp-delay MS]] [--trace FILE]\n"
    "                   [--latency [ADDR:]MS]... [--babble on|BYTES:MS]\n"
    "                   [--detector ADDR:FAMILY:VARIANT:SERIAL]...\n";

[[noreturn]] void Usage(const std::string& why) {
    std::cerr << "halvern-sim: " << why << "\n" << kUsage << "Try 'halvern-sim --help'.\n";
    std::exit(2);
}

constexpr const char* kCommandsHelp = R"(Commands on standard input, one per line:
  mute ADDR           The detector at ADDR stops answering.
  unmute ADDR         It answers again.
  status ADDR CCC N   Its status characters (three) and number (0 to 255), for example
                      "status 1 AAN 7".
  fault ADDR NAME     Injects a fault: silent, late, bad CRC, wrong address, exception, split
                      delivery, truncated, flood, noise, or ignore writes (writes of functions
                      6 and 16 go unanswered and change nothing); wrong echo address, wrong
                      echo register, wrong echo value (writes change nothing and are answered
                      by an echo from the next address, of the next register, or with the
                      value or quantity plus one).
  clear ADDR [NAME]   Clears that fault, or all of them.
  setup ADDR MEASURE OUTPUT HEATER TEMP
                      Its four setup bytes (decimal, 0 to 255 each): MeasureFlags (register 1
                      high byte), OutputFlags (register 1 low), heater mode (register 3) and
                      heater switch-on temperature (register 4), values the setup screen has
                      no text for included: "setup 12 8 4 1 35" gives a Talvek range index 2
                      and 35 degrees.
  reply ADDR LENGTH [marker|nomarker]
                      Its status replies are LENGTH bytes long (9 to 34, CRC included;
                      "full" is 34), cut after the first LENGTH-2 bytes. A short reply goes
                      without the length marker 42 at index 4, as the detectors send it, unless
                      "marker" is given; "nomarker" takes it off a full one too. The host
                      decodes a short reply when index 10 is "V": "status 1 VVV 81" then
                      "reply 1 15" is a 15-byte "VVV81" (the supply fault) from address 1.
  statusbytes ADDR B9 B10 B11 B12
                      Status bytes 9 to 12 of its replies exactly as given (0 to 255 each),
                      for odd status bytes: control characters, bytes above 127, a first
                      "O" (79) sent as itself instead of the digit 2. "status" ends it.
  reading ADDR NAME VALUE|drift
                      Holds one reading at a raw value, without drift: signal1, reference,
                      signal2, voltage, ratio1, ratio2, nq1, nq2, s1n, s2n, rn (0 to 255),
                      temperature (-128 to 127), gas (0 to 65535). "nq1 0" or "nq2 0" sends
                      an NQ ratio of 0, which a drifting one never reads. "drift" lets it
                      drift again.
  latency ADDR MS     The detector at ADDR begins its answers MS ms (0 to 10000) after a
                      request, whatever the bus's latency.
  latency MS          The bus's latency: that of every detector without its own.
  babble on           Random bytes that nobody asked for, back to back.
  babble BYTES MS     Bursts of BYTES (1 to 1000) random bytes every MS ms.
  babble off          The babbling stops.
  dump                Registers 0 to 4 of each detector.
  quit                Ends the simulator, as Ctrl+C and SIGTERM do (the end of standard
                      input does not).
)";

// The models --detector can give, from the table the program names detectors by: one row per
// family and run of variants of the same name ("36:0-2  Veridan LAMP 411").
std::string ModelsHelp() {
    std::string text = "  FAMILY:VARIANT  MODEL\n";
    for (const ModelEntry& entry : kModelTable) {
        const auto& names = entry.byVariant;
        for (std::size_t v = 0, from = 0; v < names.size(); ++v) {
            const bool runEnds = v + 1 == names.size() || !names[v + 1] ||
                                 std::string_view(names[v + 1]) != names[v];
            if (!runEnds)
                continue;
            if (names[v]) {
                std::string key = std::to_string(entry.family) + ":" + std::to_string(from);
                if (v > from)
                    key += "-" + std::to_string(v);
                text += "  " + key + std::string(16 - key.size(), ' ') + names[v] + "\n";
            }
            from = v + 1;
        }
    }
    return text;
}

// Asked for, so on standard output and with success (the man page is made from it).
[[noreturn]] void Help() {
    std::cout
        << kUsage << R"(
Serves a bus of simulated gas detectors on a pseudo-terminal, so that halvern and halvern-cli
can be tried over the real serial path without hardware. The first line of standard output is
the terminal's device path (for example /dev/pts/4): give it to halvern --device.

Without --detector the bus holds address 1 "Veridan Xenon 621-2" (serial 4711), address 7
"Veridan LAMP 411" (serial 1207) and address 12 "Talvek 880" (serial 880).

Options:
  --link PATH       Also make PATH a symbolic link to the terminal; it is removed at the end
                    while it still points there.
  --listen-tcp HOST:PORT
                    Serve the bus over TCP instead of a terminal, as a serial device server
                    (an RS-485 port on the network) does: the bytes of one connection go to
                    and from the bus. One client at a time: while it is connected others are
                    refused. PORT 0 takes a free port. The first line of standard output is
                    then the device to give the programs, tcp://HOST:PORT
                    (halvern-cli --device tcp://127.0.0.1:4001 scan).
  --tcp-delay MS    With --listen-tcp: hold the bytes MS ms (0 to 10000) each way, as a slow
                    network between the program and the gateway would.
  --detector ADDR:FAMILY:VARIANT:SERIAL
                    A detector at bus address ADDR (1 to 247) with the model bytes FAMILY and
                    VARIANT (0 to 255) and the serial number SERIAL (0 to 65535). Repeat it
                    for more detectors.
  --latency MS      How long a detector takes to begin its answer (0 to 10000 ms, default )"
        << kDefaultLatencyUs / 1000 << R"().
  --latency ADDR:MS The latency of the detector at ADDR alone, in place of the bus's (for
                    example --latency 7:400); repeat it for more detectors.
  --babble on       A device on the line that sends random bytes nobody asked for, back to
                    back, from the first request on.
  --babble BYTES:MS The same in bursts: BYTES (1 to 1000) random bytes every MS ms.
  --trace FILE      Appends a line per frame: milliseconds since start, ">" (from the host)
                    or "<" (reply), and the bytes in hexadecimal.
  -h, --help        This text.
  --version         The version of halvern-sim.

)" << kCommandsHelp
        << R"(
Models: the FAMILY and VARIANT of --detector, and the model halvern and halvern-cli name them
by (--detector 3:33:1:500 is a "Veridan Ethylene 641-2" with serial number 500 at address 3):
)" << ModelsHelp()
        << R"(Another VARIANT of these families is an "Unknown Detector!" to the program; another
FAMILY is no detector the program knows: it does not take its replies as status replies.

Exit status:
  0  ended by quit, Ctrl+C (SIGINT) or SIGTERM; also after --help and --version
  1  the pseudo-terminal, the link, the listening socket or the trace file could not be
     made, or waiting on the terminal or the socket failed
  2  a bad command line
)";
    std::exit(0);
}

std::optional<long> WholeNumber(const std::string& s, long lo, long hi) {
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (errno || *end != '\0' || v < lo || v > hi)
        return std::nullopt;
    return v;
}

DetectorConfig ParseDetector(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const auto colon = text.find(':', from);
        parts.push_back(text.substr(from, colon - from));
        if (colon == std::string::npos)
            break;
        from = colon + 1;
    }
    if (parts.size() != 4)
        Usage("--detector wants ADDR:FAMILY:VARIANT:SERIAL, got " + text);
    const auto a = WholeNumber(parts[0], 1, 247);
    const auto f = WholeNumber(parts[1], 0, 255);
    const auto v = WholeNumber(parts[2], 0, 255);
    const auto s = WholeNumber(parts[3], 0, 65535);
    if (!a || !f || !v || !s)
        Usage("--detector out of range: " + text);
    DetectorConfig c;
    c.Address = static_cast<std::uint8_t>(*a);
    c.Family = static_cast<std::uint8_t>(*f);
    c.Variant = static_cast<std::uint8_t>(*v);
    c.Serial = static_cast<std::uint16_t>(*s);
    return c;
}

// Its own parser, not the benchmarks' (bench/support): the simulator is a shipped program whose
// options, messages and exit codes its man page gives.
Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--link")
            o.link = value();
        else if (arg == "--trace")
            o.trace = value();
        else if (arg == "--listen-tcp") {
            std::string why;
            o.listenTcp = ParseHostPort(value(), 0, &why);
            if (!o.listenTcp)
                Usage("--listen-tcp: " + why);
        } else if (arg == "--tcp-delay") {
            const auto ms = WholeNumber(value(), 0, kMaxLatencyMs);
            if (!ms)
                Usage("--tcp-delay wants milliseconds from 0 to 10000");
            o.tcpDelayUs = *ms * 1000;
        } else if (arg == "--detector")
            o.detectors.push_back(ParseDetector(value()));
        else if (arg == "--latency") {
            std::string v = value();
            if (const auto colon = v.find(':'); colon != std::string::npos) {
                o.commands.emplace_back(arg, "latency " + v.replace(colon, 1, " "));
                continue;
            }
            const auto ms = WholeNumber(v, 0, kMaxLatencyMs);
            if (!ms)
                Usage("--latency wants milliseconds from 0 to 10000, or ADDR:MS");
            o.latencyUs = *ms * 1000;
        } else if (arg == "--babble") {
            std::string v = value();
            if (const auto colon = v.find(':'); colon != std::string::npos)
                v.replace(colon, 1, " ");
            o.commands.emplace_back(arg, "babble " + v);
        } else if (arg == "--help" || arg == "-h")
            Help();
        else if (arg == "--version") {
            std::cout << "halvern-sim " << kVersion << "\n";
            std::exit(0);
        } else
            Usage("unknown argument " + arg);
    }
    if (o.listenTcp && o.link)
        Usage("--link names a terminal; with --listen-tcp there is none");
    if (o.tcpDelayUs > 0 && !o.listenTcp)
        Usage("--tcp-delay goes with --listen-tcp");
    return o;
}

}  // namespace

namespace {

// Serves the bus on a TCP port until quit or a signal.
int ServeTcp(Bus bus, const Options& o, std::FILE* trace) {
    std::string error;
    auto listener = ListenTcp(o.listenTcp->host, o.listenTcp->port, &error);
    if (!listener) {
        std::cerr << "halvern-sim: " << error << "\n";
        return 1;
    }
    std::printf("%s%s\n", kGatewayScheme, listener->address.c_str());
    std::fflush(stdout);
    return PtyServer(std::move(bus), std::move(*listener), o.tcpDelayUs, trace).Run();
}

// Serves the bus on a pseudo-terminal until quit or a signal.
int ServePty(Bus bus, const Options& o, std::FILE* trace) {
    std::string error;
    auto pty = OpenPty(&error);
    if (!pty) {
        std::cerr << "halvern-sim: " << error << "\n";
        return 1;
    }
    if (o.link && !MakeLink(pty->path, *o.link, &error)) {
        std::cerr << "halvern-sim: " << error << "\n";
        return 1;
    }
    std::printf("%s\n", pty->path.c_str());
    std::fflush(stdout);

    const int rc = PtyServer(std::move(bus), *pty, trace).Run();
    if (o.link) {
        // Remove the link only while it still points at this terminal.
        char target[4096];
        const ssize_t n = readlink(o.link->c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == pty->path)
            unlink(o.link->c_str());
    }
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    SimNowUs();  // time zero of the trace
    Options o = ParseOptions(argc, argv);
    Bus bus;
    if (o.detectors.empty())
        bus = DefaultBus();
    for (const auto& d : o.detectors)
        bus.Add(d);
    bus.SetLatencyUs(o.latencyUs);
    for (const auto& [option, command] : o.commands) {
        const CommandResult r = RunCommand(bus, command);
        if (!r.error.empty())
            Usage(option + ": " + r.error.substr(0, r.error.size() - 1));
    }

    std::FILE* trace = nullptr;
    if (o.trace) {
        trace = std::fopen(o.trace->c_str(), "a");
        if (!trace) {
            std::cerr << "halvern-sim: cannot open " << *o.trace << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    }
    const int rc =
        o.listenTcp ? ServeTcp(std::move(bus), o, trace) : ServePty(std::move(bus), o, trace);
    if (trace)
        std::fclose(trace);
    return rc;
}
