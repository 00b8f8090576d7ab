#pragma once
// halvern-cli's commands, on the program's detector exchanges and on any platform: the real
// port and clock in halvern-cli, virtual time and the simulated bus in the tests.

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "config/SetupFile.h"
#include "link/Link.h"
#include "link/Writes.h"
#include "logging/LogRecords.h"
#include "monitor/Exchanges.h"
#include "monitor/PollLoop.h"
#include "platform/Platform.h"
#include "platform/qt/PortList.h"
#include "state/Par.h"

namespace halvern {
struct HistoryWriter;
}

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
    // Standard error is a terminal: the scan shows how far it is, the log how it goes.
    bool progress = false;
    PortEnumerator listPorts;   // the serial ports present
    std::string currentFolder;  // a relative --device is taken from here
};

// halvern-cli as the writer of history events.
HistoryWriter CliHistoryWriter();
// The service history of the folder, opened as halvern-cli writes it.
HistoryStore CliHistoryStore(const std::string& folder);

class Tool {
  public:
    explicit Tool(Environment env);
    ~Tool();

    // The whole command line (without the program name); returns the exit code.
    int Main(const std::vector<std::string>& args);
    int Run(const Invocation& inv);

    // What SIGINT, SIGTERM and SIGHUP do: watch and log end there (exit 0); any other command
    // ends at its next wait (exit 1). Safe to call at any time from the event loop.
    void RequestStop();

  private:
    int Dispatch(const Invocation& inv);
    int Status(std::uint8_t address);
    int Watch(std::uint8_t address, int intervalS);
    int Scan(const Invocation& inv);
    int Version(std::uint8_t address, bool secondary);
    int Setup(std::uint8_t address, const Invocation& inv);
    // setup --load: the file read and checked into loaded_, or why it is refused.
    std::string ReadLoadFile(const std::string& path);
    // setup --save and --load, once the detector's table is read. Save: empty, or why not.
    std::string SaveSetup(std::uint8_t address, const SetupModel& model,
                          std::span<const std::uint8_t> reply, const std::string& path);
    int LoadSetup(std::uint8_t address, const SetupModel& model, const SetupTable& read,
                  const Invocation& inv);
    int Address(std::uint8_t address, std::uint8_t newAddress);
    int Mode(std::uint8_t address, bool snTest);
    int Align(std::uint8_t address);
    int Log(std::uint8_t address, int period);
    int Ports();
    int History(const Invocation& inv, const std::string& folder);  // cli/History.cpp
    int Report(const Invocation& inv, const std::string& folder);
    // Runs the program's polling cycle on `address` until a stop; `afterPoll` after each poll.
    void PollUntilStopped(std::uint8_t address, const std::function<void()>& afterPoll);

    // One status poll of the detector; nothing when it answered with a status, else the exit.
    std::optional<int> Reach(std::uint8_t address);
    // Every failure ends here: said on standard error, and kept for the JSON error object.
    int Fail(int code, const std::string& why);
    int Refused(const std::string& why) { return Fail(kExitUsage, why); }
    int Failed(const std::string& why);  // no answer, not confirmed, or interrupted
    // A write not confirmed. A stop may come after a frame has left: the detector may have
    // taken it, so the interruption says what to check rather than only "interrupted".
    // A write not confirmed: how it ended, what was not confirmed, and what to check.
    int WriteFailed(const WriteResult& result, const std::string& why, const std::string& check);
    // "'halvern-cli --device /dev/ttyUSB0 status 7'": a command to run next, on the same port
    // and folder as this one.
    std::string Suggest(const std::string& command) const;
    void Say(const std::string& text);  // a line on standard error
    // Text on standard output, flushed: a line, or whole lines. False once a write failed;
    // the command then ends with exit 1.
    bool Emit(const std::string& line);
    bool Print(const std::string& text);
    // The line on a terminal's standard error that is rewritten in place (the scan's progress,
    // the log's state); a message clears it first.
    void ShowLine(const std::string& line);
    void ClearLine();
    bool Stopped() const { return stop_; }

    Environment env_;
    StopCheck stopCheck_;
    bool json_ = false;
    bool stop_ = false;
    std::string error_;                       // the failure said last
    std::optional<WriteResult> writeResult_;  // the write that failed, for the JSON failure
    std::string outputError_;    // why standard output could not be written; empty: it could
    std::string sameRun_;        // the options that name this run's port and folder
    std::size_t shownLine_ = 0;  // the width of the line shown; 0: none
    std::string shownText_;
    PollLoop* loop_ = nullptr;
    std::optional<SetupFile> loaded_;  // setup --load: the file, read before the port opens
    std::unique_ptr<Par> par_;
    Link* link_ = nullptr;
};

}  // namespace halvern::cli
