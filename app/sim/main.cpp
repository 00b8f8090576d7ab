// halvern-sim: a bus of simulated detectors on a pseudo-terminal. The program side of the
// terminal (its path is the first line of standard output) behaves like a serial port with
// detectors behind it, so the whole serial path of the program can be tried without hardware.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/Bus.h"
#include "sim/PtyServer.h"

using namespace halvern;
using namespace halvern::sim;

namespace {

struct Options {
    std::optional<std::string> link;
    std::optional<std::string> trace;
    std::vector<DetectorConfig> detectors;
    Micros latencyUs = kDefaultLatencyUs;
};

[[noreturn]] void Usage(const std::string& why) {
    if (!why.empty())
        std::cerr << "halvern-sim: " << why << "\n";
    std::cerr << "usage: halvern-sim [--link PATH] [--trace FILE] [--latency MS]\n"
                 "                   [--detector ADDR:FAMILY:VARIANT:SERIAL]...\n"
                 "stdin: mute ADDR | unmute ADDR | status ADDR CCC N | fault ADDR NAME |\n"
                 "       clear ADDR [NAME] | dump | quit\n";
    std::exit(2);
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
        else if (arg == "--detector")
            o.detectors.push_back(ParseDetector(value()));
        else if (arg == "--latency") {
            const auto ms = WholeNumber(value(), 0, 10'000);
            if (!ms)
                Usage("--latency wants milliseconds from 0 to 10000");
            o.latencyUs = *ms * 1000;
        } else if (arg == "--help" || arg == "-h")
            Usage("");
        else
            Usage("unknown argument " + arg);
    }
    return o;
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

    std::string error;
    auto pty = OpenPty(&error);
    if (!pty) {
        std::cerr << "halvern-sim: " << error << "\n";
        return 1;
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
    if (trace)
        std::fclose(trace);
    return rc;
}
