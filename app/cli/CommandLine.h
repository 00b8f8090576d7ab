#pragma once
// The command line of halvern-cli: options and one command with its operands. It is checked in
// full before the port is opened, so a mistyped command sends nothing.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/BusScan.h"

namespace halvern::cli {

enum ExitCode : int {
    kExitDone = 0,
    kExitNoAnswer = 1,  // no answer, a write not confirmed, or interrupted
    kExitUsage = 2,     // a bad command line, or a request refused before anything is written
    kExitPort = 3,      // the port could not be opened
};

enum class Command {
    Status,
    Watch,
    Scan,
    Version,
    Setup,
    Address,
    SnTest,
    Normal,
    Align,
    Log,
    Ports,
    Serve,
    History,
    Report
};

constexpr int kMaxWatchIntervalS = 86'400;  // a day

struct CommandName {
    const char* name;
    Command command;
};
// Every command, by the name typed.
std::span<const CommandName> CommandNames();

// An option: --name, or --name VALUE (also --name=VALUE). One that belongs to a command is
// refused with any other.
struct OptionSpec {
    const char* name;
    bool valued;
    std::optional<Command> owner;  // nothing: any command
};
std::span<const OptionSpec> OptionSpecs();

struct FieldAssignment {
    std::string field;  // as typed: a caption of the setup screen or its JSON key
    std::string text;
};

// An option given more than once counts with its last value, so that an alias can be
// overridden; --device and --port name one port, and the last of them counts.
struct Invocation {
    Command command = Command::Status;
    std::string device;                     // --device, as given
    std::optional<int> port;                // --port
    std::optional<int> networkAllowanceMs;  // --network-allowance
    std::string dataDir;                    // --data-dir
    bool json = false;
    int timeoutMs = kDefaultScanTimeoutMs;     // --timeout, scan only
    int intervalS = 0;                         // watch --interval; 0: a line every poll
    int address = 0;                           // the detector served (every command but scan)
    int from = 1, to = 247;                    // scan
    bool secondary = false;                    // version --secondary
    int newAddress = 0;                        // address
    int period = 0;                            // log --period
    std::vector<FieldAssignment> assignments;  // setup FIELD=TEXT...
    std::string saveFile, loadFile;            // setup --save FILE, --load FILE
    bool dryRun = false;                       // setup --load FILE --dry-run
    std::vector<int> addresses;                // serve ADDR...; none: a scan finds them
    std::string listen;                        // serve --listen HOST:PORT, as given
    int logPeriodS = 0;                        // serve --log-period; 0: no records
    std::string serial, since, output;         // history [SERIAL] --since; report SERIAL -o
    int days = 90;                             // report --days
    bool letter = false;                       // report --page letter
};

struct ParsedLine {
    std::optional<Invocation> invocation;  // nothing: help was asked for, or `error` says why
    bool help = false;
    bool version = false;  // --version: the program's, not a detector's
    std::string error;
};

// The arguments after the program name; options may stand before or after the command.
ParsedLine ParseCommandLine(const std::vector<std::string>& args);
// --json stands among the options: a line that cannot be parsed is answered in JSON too.
bool AsksForJson(const std::vector<std::string>& args);

// The device to open for --device: a relative path is taken from `currentFolder` (the serial
// library would read a bare name as a device under /dev); an absolute one, and on Windows
// any name (COM3), stays as given.
std::string DevicePath(const std::string& given, const std::string& currentFolder);

// An argument as a POSIX shell reads it back: as it is when it holds only plain characters,
// else in double quotes.
std::string ShellWord(std::string_view word);

// A whole decimal number from lo to hi, digits only (leading zeros allowed).
std::optional<int> WholeNumber(std::string_view text, int lo, int hi);

std::string HelpText();
constexpr const char* kUsageLine =
    "Usage: halvern-cli [--device PATH | --port N] [--data-dir PATH] [--json] COMMAND ...\n"
    "Try 'halvern-cli --help'.\n";

}  // namespace halvern::cli
