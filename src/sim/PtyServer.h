#pragma once
// halvern-sim's terminal side (Unix only): a pseudo-terminal whose program side behaves like a
// serial port with the bus's detectors behind it, on real time; or a TCP port that behaves
// like a serial device server with the bus on its RS-485 port (one client at a time, others
// refused while it stays, the bytes optionally held a while each way as by a slow network).
// Frames are cut from the host's bytes, answers leave at 9600 baud, each frame gets a trace
// line, and operator commands come from a file descriptor (standard input). The byte and text
// entries are public so that tests and fuzz targets can drive the server without a terminal.

#if defined(__unix__) || defined(__APPLE__)

#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Bus.h"
#include "sim/FrameSplitter.h"

namespace halvern::sim {

// Microseconds since the first call: the time base of the trace.
Micros SimNowUs();

// The master side of a pseudo-terminal in raw mode. The slave side stays open here too, so
// the master neither hangs up nor spins while no program has the terminal open.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
};
std::optional<Pty> OpenPty(std::string* error);
// Makes `link` a symbolic link to `target`; an existing file that is not a link is kept.
bool MakeLink(const std::string& target, const std::string& link, std::string* error);

// A TCP socket listening at an address; `address` is as bound ("127.0.0.1:4001", the port
// chosen by the system when 0 was asked for).
struct TcpListener {
    int fd = -1;
    std::string address;
    std::vector<std::uint8_t> sockaddr;  // to listen there again
};
std::optional<TcpListener> ListenTcp(const std::string& host, int port, std::string* error);

class PtyServer {
  public:
    // `trace` may be null; `consoleFd` is read for commands (-1: none).
    PtyServer(Bus bus, Pty pty, std::FILE* trace, int consoleFd = 0);
    // The same bus served to TCP clients, the bytes held `delayUs` each way.
    PtyServer(Bus bus, TcpListener listener, Micros delayUs, std::FILE* trace, int consoleFd = 0);

    // Serves until "quit" or SIGINT, SIGTERM or SIGHUP; 0, or 1 when waiting failed.
    int Run();

    // Bytes the host wrote, as read from the terminal at `nowUs`.
    void HostBytes(std::span<const std::uint8_t> bytes, Micros nowUs);
    // Console text as read (lines end in '\n'); an empty text is the end of input, which
    // does not end the service.
    void ConsoleText(std::string_view text);
    // Sends what is due by `nowUs` and flushes a frame left unfinished by a quiet line.
    void Service(Micros nowUs);
    bool QuitAsked() const { return quit_; }
    Bus& GetBus() { return bus_; }

  private:
    struct Pending {
        Micros dueUs;  // when the byte has been fully sent at 9600 baud
        std::uint8_t byte;
    };
    struct TraceDue {
        Micros atUs;
        std::vector<std::uint8_t> bytes;
    };

    std::optional<Micros> NextWakeUs() const;
    void Trace(Micros atUs, bool fromHost, const std::vector<std::uint8_t>& bytes);
    void ReadHost();
    void AcceptClient();
    // The client has gone: what was on its way is dropped and the next one is let in.
    void DropClient();
    void ReadConsole();
    void OnFrame(const std::vector<std::uint8_t>& frame, Micros nowUs);
    // Puts the answers that have begun by `nowUs` on the line, after what holds it.
    void Begin(Micros nowUs);
    // Puts the bus's babble bursts due by `nowUs` on the line.
    void Babble(Micros nowUs);
    void Command(std::string line);

    Bus bus_;
    Pty pty_;
    int hostFd_ = -1;  // where the host's bytes come from: the terminal, or the TCP client
    TcpListener listener_;
    Micros netDelayUs_ = 0;
    std::deque<TraceDue> inbound_;  // the host's bytes, due at the bus after the delay
    std::FILE* trace_;
    int consoleFd_;
    FrameSplitter splitter_;
    std::multimap<Micros, std::vector<Transmission>> due_;  // answers not yet begun, by start
    std::deque<Pending> out_;
    std::deque<TraceDue> traces_;
    Micros lineFreeUs_ = 0;
    Micros hostLineFreeUs_ = 0;  // when the host's last frame has left the wire
    Micros lastHostByteUs_ = 0;
    std::optional<Micros> nextBabbleUs_;  // while the bus babbles
    std::string input_;
    bool consoleOpen_ = true;
    bool quit_ = false;
};

}  // namespace halvern::sim

#endif
