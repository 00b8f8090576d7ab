#pragma once
// halvern-cli's commands, on the program's detector exchanges and on any platform: the real
// port and clock in halvern-cli, virtual time and the simulated bus in the tests.

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "link/Link.h"
#include "logging/LogRecords.h"
#include "monitor/Exchanges.h"
#include "monitor/PollLoop.h"
#include "platform/Platform.h"
#include "platform/qt/PortList.h"
#include "state/Par.h"

namespace halvern::cli {

struct Environment {
    Platform& platform;
    SerialPort& port;
    std::ostream& out;
    std::ostream& err;
    std::function<std::string(int)> deviceForPort;  // the program's port numbering
    // The program folder for a --data-dir (empty: the program's default).
    std::function<std::string(const std::string&)> programFolder;
    std::function<LocalDateTime()> now;
    bool progress = false;     // standard error is a terminal: the scan shows how far it is
    PortEnumerator listPorts;  // the serial ports present
};

class Tool {
  public:
    explicit Tool(Environment env);
    ~Tool();

    // The whole command line (without the program name); returns the exit code.
    int Main(const std::vector<std::string>& args);
    int Run(const Invocation& inv);

    // What SIGINT and SIGTERM do: watch and log end there (exit 0); any other command ends at
    // its next wait (exit 1). Safe to call at any time from the event loop.
    void RequestStop();

  private:
    int Dispatch(const Invocation& inv);
    int Status(std::uint8_t address);
    int Watch(std::uint8_t address);
    int Scan(const Invocation& inv);
    int Version(std::uint8_t address, bool secondary);
    int Setup(std::uint8_t address, const std::vector<FieldAssignment>& assignments);
    int Address(std::uint8_t address, std::uint8_t newAddress);
    int Mode(std::uint8_t address, bool snTest);
    int Align(std::uint8_t address);
    int Log(std::uint8_t address, int period);
    int Ports();
    // Runs the program's polling cycle on `address` until a stop; `afterPoll` after each poll.
    void PollUntilStopped(std::uint8_t address, const std::function<void()>& afterPoll);

    // One status poll of the detector; nothing when it answered with a status, else the exit.
    std::optional<int> Reach(std::uint8_t address);
    int Refused(const std::string& why);
    int Failed(const std::string& why);  // no answer, not confirmed, or interrupted
    // A write not confirmed. A stop may come after a frame has left: the detector may have
    // taken it, so the interruption says what to check rather than only "interrupted".
    int WriteFailed(const std::string& why, const std::string& check);
    void Say(const std::string& text);   // a line on standard error
    void Emit(const std::string& line);  // a line on standard output, flushed
    bool Stopped() const { return stop_; }

    Environment env_;
    StopCheck stopCheck_;
    bool json_ = false;
    bool stop_ = false;
    PollLoop* loop_ = nullptr;
    std::unique_ptr<Par> par_;
    Link* link_ = nullptr;
};

}  // namespace halvern::cli
