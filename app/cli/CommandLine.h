#pragma once
// The command line of halvern-cli: options and one command with its operands. It is checked in
// full before the port is opened, so a mistyped command sends nothing.

#include <optional>
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
    Ports
};

struct FieldAssignment {
    std::string field;  // as typed: a caption of the setup screen
    std::string text;
};

struct Invocation {
    Command command = Command::Status;
    std::string device;       // --device
    std::optional<int> port;  // --port
    std::string dataDir;      // --data-dir
    bool json = false;
    int timeoutMs = kDefaultScanTimeoutMs;     // --timeout, scan only
    int address = 0;                           // the detector served (every command but scan)
    int from = 1, to = 247;                    // scan
    bool secondary = false;                    // version --secondary
    int newAddress = 0;                        // address
    int period = 0;                            // log --period
    std::vector<FieldAssignment> assignments;  // setup FIELD=TEXT...
};

struct ParsedLine {
    std::optional<Invocation> invocation;  // nothing: help was asked for, or `error` says why
    bool help = false;
    bool version = false;  // --version: the program's, not a detector's
    std::string error;
};

// The arguments after the program name; options may stand before or after the command.
ParsedLine ParseCommandLine(const std::vector<std::string>& args);

// A whole decimal number from lo to hi, digits only (leading zeros allowed).
std::optional<int> WholeNumber(std::string_view text, int lo, int hi);

std::string HelpText();
constexpr const char* kUsageLine =
    "Usage: halvern-cli [--device PATH | --port N] [--data-dir PATH] [--json] COMMAND ...\n"
    "Try 'halvern-cli --help'.\n";

}  // namespace halvern::cli
