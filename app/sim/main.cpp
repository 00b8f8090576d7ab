// halvern-sim: a bus of simulated detectors on a pseudo-terminal. The program side of the
// terminal (its path is the first line of standard output) behaves like a serial port with
// detectors behind it, so the whole serial path of the program can be tried without hardware.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/Bus.h"
#include "sim/Console.h"
#include "sim/FrameSplitter.h"

using namespace halvern;
using namespace halvern::sim;

namespace {

constexpr Micros kIdleFlushUs = 100'000;  // a frame never pauses this long inside itself

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

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

Micros NowUs() {
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return duration_cast<microseconds>(steady_clock::now() - start).count();
}

// The master side of a pseudo-terminal in raw mode. The slave side stays open here too, so
// the master neither hangs up nor spins while no program has the terminal open.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
};

std::optional<Pty> OpenPty(std::string* error) {
    Pty p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return std::nullopt;
    }
    const char* name = ptsname(p.master);
    if (!name) {
        *error = std::string("ptsname: ") + std::strerror(errno);
        return std::nullopt;
    }
    p.path = name;
    p.slave = open(name, O_RDWR | O_NOCTTY);
    if (p.slave < 0) {
        *error = "cannot open " + p.path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    termios t{};
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(p.slave, TCSANOW, &t);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return p;
}

bool MakeLink(const std::string& target, const std::string& link, std::string* error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = link + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        *error = "cannot link " + link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

class Server {
  public:
    Server(Bus bus, Pty pty, std::FILE* trace)
        : bus_(std::move(bus)), pty_(std::move(pty)), trace_(trace) {}

    int Run() {
        sigset_t blocked, waitMask;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGINT);
        sigaddset(&blocked, SIGTERM);
        sigaddset(&blocked, SIGHUP);
        // Signals arrive only inside ppoll, so a stop request is never missed between checks.
        sigprocmask(SIG_BLOCK, &blocked, &waitMask);
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);
        signal(SIGPIPE, SIG_IGN);

        while (!g_stop && !quit_) {
            pollfd fds[2] = {{pty_.master, POLLIN, 0}, {stdinOpen_ ? 0 : -1, POLLIN, 0}};
            timespec ts{};
            const timespec* timeout = nullptr;
            if (const auto wake = NextWakeUs()) {
                const Micros d = std::max<Micros>(*wake - NowUs(), 0);
                ts.tv_sec = static_cast<time_t>(d / 1'000'000);
                ts.tv_nsec = static_cast<long>(d % 1'000'000) * 1000;
                timeout = &ts;
            }
            const int n = ppoll(fds, 2, timeout, &waitMask);
            if (n < 0 && errno != EINTR) {
                std::perror("halvern-sim: ppoll");
                return 1;
            }
            if (n > 0 && (fds[0].revents & POLLIN))
                ReadHost();
            if (n > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
                ReadStdin();
            Service();
        }
        return 0;
    }

  private:
    struct Pending {
        Micros dueUs;  // when the byte has been fully sent at 9600 baud
        std::uint8_t byte;
    };
    struct TraceDue {
        Micros atUs;
        std::vector<std::uint8_t> bytes;
    };

    std::optional<Micros> NextWakeUs() const {
        std::optional<Micros> wake;
        const auto earlier = [&](Micros t) { wake = wake ? std::min(*wake, t) : t; };
        if (!out_.empty())
            earlier(out_.front().dueUs);
        if (!traces_.empty())
            earlier(traces_.front().atUs);
        if (splitter_.Pending() > 0)
            earlier(lastHostByteUs_ + kIdleFlushUs);
        return wake;
    }

    void Trace(Micros atUs, bool fromHost, const std::vector<std::uint8_t>& bytes) {
        if (!trace_)
            return;
        std::fprintf(trace_, "%s\n", TraceLine(atUs / 1000, fromHost, bytes).c_str());
        std::fflush(trace_);
    }

    void ReadHost() {
        std::uint8_t buf[512];
        for (;;) {
            const ssize_t n = read(pty_.master, buf, sizeof buf);
            if (n <= 0)
                break;
            lastHostByteUs_ = NowUs();
            for (auto& f : splitter_.Feed(std::span(buf, static_cast<std::size_t>(n))))
                OnFrame(f);
        }
    }

    void OnFrame(const std::vector<std::uint8_t>& frame) {
        const Micros now = NowUs();
        Trace(now, true, frame);
        // A pseudo-terminal hands the bytes over at once; on the wire the frame ends only
        // after its last byte has been sent at 9600 baud, and the detectors answer from then.
        const Micros frameEnd = std::max(now, hostLineFreeUs_) + WireTimeUs(frame.size());
        hostLineFreeUs_ = frameEnd;
        std::vector<std::uint8_t> all;
        std::optional<Micros> first;
        for (const auto& t : bus_.Respond(frame, frameEnd)) {
            Micros at = std::max({t.startUs, lineFreeUs_, frameEnd});
            if (!first)
                first = at;
            for (auto b : t.bytes) {
                at += ByteTimeUs();
                out_.push_back({at, b});
            }
            lineFreeUs_ = at;
            all.insert(all.end(), t.bytes.begin(), t.bytes.end());
        }
        if (first)
            traces_.push_back({*first, std::move(all)});
    }

    void ReadStdin() {
        char buf[512];
        const ssize_t n = read(0, buf, sizeof buf);
        if (n <= 0) {
            // End of input does not end the service: only quit or a signal does.
            stdinOpen_ = false;
            if (!input_.empty())
                Command(input_);
            input_.clear();
            return;
        }
        input_.append(buf, static_cast<std::size_t>(n));
        for (auto nl = input_.find('\n'); nl != std::string::npos && !quit_;
             nl = input_.find('\n')) {
            const std::string line = input_.substr(0, nl);
            input_.erase(0, nl + 1);
            Command(line);
        }
    }

    void Command(std::string line) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto r = RunCommand(bus_, line);
        std::fputs(r.output.c_str(), stdout);
        std::fflush(stdout);
        std::fputs(r.error.c_str(), stderr);
        quit_ = quit_ || r.quit;
    }

    void Service() {
        const Micros now = NowUs();
        while (!traces_.empty() && traces_.front().atUs <= now) {
            Trace(traces_.front().atUs, false, traces_.front().bytes);
            traces_.pop_front();
        }
        std::vector<std::uint8_t> chunk;
        while (!out_.empty() && out_.front().dueUs <= now) {
            chunk.push_back(out_.front().byte);
            out_.pop_front();
        }
        // Nobody reading and the terminal's buffer full: the bytes are lost, as on a line
        // without a listener.
        if (!chunk.empty() && write(pty_.master, chunk.data(), chunk.size()) < 0 && errno != EAGAIN)
            std::perror("halvern-sim: write");
        if (splitter_.Pending() > 0 && now - lastHostByteUs_ >= kIdleFlushUs)
            for (auto& f : splitter_.Flush())
                OnFrame(f);
    }

    Bus bus_;
    Pty pty_;
    std::FILE* trace_;
    FrameSplitter splitter_;
    std::deque<Pending> out_;
    std::deque<TraceDue> traces_;
    Micros lineFreeUs_ = 0;
    Micros hostLineFreeUs_ = 0;  // when the host's last frame has left the wire
    Micros lastHostByteUs_ = 0;
    std::string input_;
    bool stdinOpen_ = true;
    bool quit_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    NowUs();  // time zero of the trace
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

    const int rc = Server(std::move(bus), *pty, trace).Run();
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
