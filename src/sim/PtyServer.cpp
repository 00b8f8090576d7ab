#include "sim/PtyServer.h"

#if defined(__unix__) || defined(__APPLE__)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "sim/Console.h"

namespace halvern::sim {

namespace {

constexpr Micros kIdleFlushUs = 100'000;  // a frame never pauses this long inside itself

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

}  // namespace

Micros SimNowUs() {
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return duration_cast<microseconds>(steady_clock::now() - start).count();
}

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

namespace {

// Listens at the address; -1 when it cannot.
int ListenAt(const std::vector<std::uint8_t>& address) {
    const auto* sa = reinterpret_cast<const sockaddr*>(address.data());
    const int fd = socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, sa, static_cast<socklen_t>(address.size())) != 0 || listen(fd, 1) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

std::string AddressText(const sockaddr_storage& a) {
    char host[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(a);
        inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
        return "[" + std::string(host) + "]:" + std::to_string(ntohs(in6.sin6_port));
    }
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(a);
    inet_ntop(AF_INET, &in4.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(in4.sin_port));
}

}  // namespace

std::optional<TcpListener> ListenTcp(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        *error = "cannot listen on " + host + ": " + gai_strerror(rc);
        return std::nullopt;
    }
    std::optional<TcpListener> l;
    for (const addrinfo* a = found; a && !l; a = a->ai_next) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(a->ai_addr);
        TcpListener candidate{-1, "", {bytes, bytes + a->ai_addrlen}};
        if ((candidate.fd = ListenAt(candidate.sockaddr)) < 0)
            continue;
        // The port the system chose, so that the next listening takes the same one.
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        getsockname(candidate.fd, reinterpret_cast<sockaddr*>(&bound), &length);
        const auto* b = reinterpret_cast<const std::uint8_t*>(&bound);
        candidate.sockaddr.assign(b, b + length);
        candidate.address = AddressText(bound);
        l = std::move(candidate);
    }
    const int why = errno;
    freeaddrinfo(found);
    if (!l)
        *error = "cannot listen on " + host + ":" + service + ": " + std::strerror(why);
    return l;
}

PtyServer::PtyServer(Bus bus, Pty pty, std::FILE* trace, int consoleFd)
    : bus_(std::move(bus)),
      pty_(std::move(pty)),
      hostFd_(pty_.master),
      trace_(trace),
      consoleFd_(consoleFd),
      consoleOpen_(consoleFd >= 0) {}

PtyServer::PtyServer(Bus bus, TcpListener listener, Micros delayUs, std::FILE* trace, int consoleFd)
    : bus_(std::move(bus)),
      listener_(std::move(listener)),
      netDelayUs_(delayUs),
      trace_(trace),
      consoleFd_(consoleFd),
      consoleOpen_(consoleFd >= 0) {}

int PtyServer::Run() {
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
        pollfd fds[3] = {{hostFd_, POLLIN, 0},
                         {consoleOpen_ ? consoleFd_ : -1, POLLIN, 0},
                         {listener_.fd, POLLIN, 0}};
        timespec ts{};
        const timespec* timeout = nullptr;
        if (const auto wake = NextWakeUs()) {
            const Micros d = std::max<Micros>(*wake - SimNowUs(), 0);
            ts.tv_sec = static_cast<time_t>(d / 1'000'000);
            ts.tv_nsec = static_cast<long>(d % 1'000'000) * 1000;
            timeout = &ts;
        }
        const int n = ppoll(fds, 3, timeout, &waitMask);
        if (n < 0 && errno != EINTR) {
            std::perror("halvern-sim: ppoll");
            return 1;
        }
        if (n > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadHost();
        if (n > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadConsole();
        if (n > 0 && (fds[2].revents & POLLIN))
            AcceptClient();
        if (hostFd_ < 0 && listener_.fd < 0 && !listener_.sockaddr.empty())
            return 1;  // said by DropClient
        Service(SimNowUs());
    }
    return 0;
}

std::optional<Micros> PtyServer::NextWakeUs() const {
    std::optional<Micros> wake;
    const auto earlier = [&](Micros t) { wake = wake ? std::min(*wake, t) : t; };
    if (!out_.empty())
        earlier(out_.front().dueUs + netDelayUs_);
    if (!inbound_.empty())
        earlier(inbound_.front().atUs);
    if (!traces_.empty())
        earlier(traces_.front().atUs);
    if (!due_.empty())
        earlier(due_.begin()->first);
    if (splitter_.Pending() > 0)
        earlier(lastHostByteUs_ + kIdleFlushUs);
    if (bus_.Babbling())
        earlier(nextBabbleUs_.value_or(0));
    return wake;
}

void PtyServer::Trace(Micros atUs, bool fromHost, const std::vector<std::uint8_t>& bytes) {
    if (!trace_)
        return;
    std::fprintf(trace_, "%s\n", TraceLine(atUs / 1000, fromHost, bytes).c_str());
    std::fflush(trace_);
}

void PtyServer::ReadHost() {
    std::uint8_t buf[512];
    for (;;) {
        const ssize_t n = read(hostFd_, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            // The terminal's own side stays open, so only a TCP client ends this way.
            if (!listener_.sockaddr.empty())
                DropClient();
            break;
        }
        if (n < 0)
            break;
        const Micros now = SimNowUs();
        if (netDelayUs_ > 0)
            inbound_.push_back({now + netDelayUs_, {buf, buf + n}});
        else
            HostBytes(std::span(buf, static_cast<std::size_t>(n)), now);
    }
}

void PtyServer::AcceptClient() {
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const int fd = accept4(listener_.fd, reinterpret_cast<sockaddr*>(&from), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // each byte as it is due
    hostFd_ = fd;
    // As a serial device server with one connection: while this client stays, nobody else
    // gets in (the port is not listened on, so they are refused).
    close(std::exchange(listener_.fd, -1));
    std::fprintf(stderr, "halvern-sim: client %s connected; others are refused until it leaves\n",
                 AddressText(from).c_str());
}

void PtyServer::DropClient() {
    close(std::exchange(hostFd_, -1));
    out_.clear();
    inbound_.clear();
    splitter_.Flush();
    std::fprintf(stderr, "halvern-sim: the client left\n");
    listener_.fd = ListenAt(listener_.sockaddr);
    if (listener_.fd < 0)
        std::fprintf(stderr, "halvern-sim: cannot listen on %s again: %s\n",
                     listener_.address.c_str(), std::strerror(errno));
}

void PtyServer::HostBytes(std::span<const std::uint8_t> bytes, Micros nowUs) {
    lastHostByteUs_ = nowUs;
    for (auto& f : splitter_.Feed(bytes))
        OnFrame(f, nowUs);
}

void PtyServer::OnFrame(const std::vector<std::uint8_t>& frame, Micros nowUs) {
    Trace(nowUs, true, frame);
    // A pseudo-terminal hands the bytes over at once; on the wire the frame ends only after
    // its last byte has been sent at 9600 baud, and the detectors answer from then.
    const Micros frameEnd = std::max(nowUs, hostLineFreeUs_) + WireTimeUs(frame.size());
    hostLineFreeUs_ = frameEnd;
    // An answer takes the line when it begins, not when it was asked for: a slow detector's
    // reply must not hold back a quick one asked after it.
    auto answer = bus_.Respond(frame, frameEnd);
    if (!answer.empty())
        due_.emplace(std::max(answer.front().startUs, frameEnd), std::move(answer));
}

void PtyServer::Begin(Micros nowUs) {
    while (!due_.empty() && due_.begin()->first <= nowUs) {
        std::vector<std::uint8_t> all;
        std::optional<Micros> first;
        for (const auto& t : due_.begin()->second) {
            Micros at = std::max({t.startUs, due_.begin()->first, lineFreeUs_});
            if (!first)
                first = at;
            for (auto b : t.bytes) {
                at += ByteTimeUs();
                out_.push_back({at, b});
            }
            lineFreeUs_ = at;
            all.insert(all.end(), t.bytes.begin(), t.bytes.end());
        }
        traces_.push_back({*first, std::move(all)});
        due_.erase(due_.begin());
    }
}

void PtyServer::Babble(Micros nowUs) {
    if (!bus_.Babbling()) {
        nextBabbleUs_.reset();
        return;
    }
    if (!nextBabbleUs_)
        nextBabbleUs_ = nowUs;
    for (; *nextBabbleUs_ <= nowUs; *nextBabbleUs_ += bus_.BabblePeriodUs()) {
        // A burst due while a reply still holds the line is left out, so that a babbling
        // line never builds up a backlog.
        if (lineFreeUs_ > *nextBabbleUs_)
            continue;
        Micros at = *nextBabbleUs_;
        const auto burst = bus_.BabbleBurst();
        traces_.push_back({at, burst});
        for (auto b : burst) {
            at += ByteTimeUs();
            out_.push_back({at, b});
        }
        lineFreeUs_ = at;
    }
}

void PtyServer::ReadConsole() {
    char buf[512];
    const ssize_t n = read(consoleFd_, buf, sizeof buf);
    ConsoleText(n > 0 ? std::string_view(buf, static_cast<std::size_t>(n)) : std::string_view());
}

void PtyServer::ConsoleText(std::string_view text) {
    if (text.empty()) {
        // End of input does not end the service: only quit or a signal does.
        consoleOpen_ = false;
        if (!input_.empty())
            Command(input_);
        input_.clear();
        return;
    }
    input_.append(text);
    for (auto nl = input_.find('\n'); nl != std::string::npos && !quit_; nl = input_.find('\n')) {
        const std::string line = input_.substr(0, nl);
        input_.erase(0, nl + 1);
        Command(line);
    }
}

void PtyServer::Command(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const auto r = RunCommand(bus_, line);
    std::fputs(r.output.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(r.error.c_str(), stderr);
    quit_ = quit_ || r.quit;
}

void PtyServer::Service(Micros nowUs) {
    Begin(nowUs);
    Babble(nowUs);
    while (!traces_.empty() && traces_.front().atUs <= nowUs) {
        Trace(traces_.front().atUs, false, traces_.front().bytes);
        traces_.pop_front();
    }
    while (!inbound_.empty() && inbound_.front().atUs <= nowUs) {
        HostBytes(inbound_.front().bytes, inbound_.front().atUs);
        inbound_.pop_front();
    }
    std::vector<std::uint8_t> chunk;
    while (!out_.empty() && out_.front().dueUs + netDelayUs_ <= nowUs) {
        chunk.push_back(out_.front().byte);
        out_.pop_front();
    }
    // Nobody reading and the terminal's buffer full: the bytes are lost, as on a line without
    // a listener. A client gone is seen by the next read.
    if (!chunk.empty() && hostFd_ >= 0 && write(hostFd_, chunk.data(), chunk.size()) < 0 &&
        errno != EAGAIN && errno != EPIPE && errno != ECONNRESET)
        std::perror("halvern-sim: write");
    if (splitter_.Pending() > 0 && nowUs - lastHostByteUs_ >= kIdleFlushUs)
        for (auto& f : splitter_.Flush())
            OnFrame(f, nowUs);
}

}  // namespace halvern::sim

#endif
