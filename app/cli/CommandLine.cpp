#include "cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <map>
#include <sstream>

#include "cli/Output.h"
#include "cli/Serve.h"
#include "cli/SetupFields.h"
#include "config/AddressEntry.h"
#include "platform/GatewayAddress.h"

namespace halvern::cli {

namespace {

constexpr std::array<CommandName, 14> kCommands = {{
    {"status", Command::Status},
    {"watch", Command::Watch},
    {"scan", Command::Scan},
    {"version", Command::Version},
    {"setup", Command::Setup},
    {"address", Command::Address},
    {"sn-test", Command::SnTest},
    {"normal", Command::Normal},
    {"align", Command::Align},
    {"log", Command::Log},
    {"ports", Command::Ports},
    {"serve", Command::Serve},
    {"history", Command::History},
    {"report", Command::Report},
}};

constexpr std::array<OptionSpec, 20> kOptions = {{
    {"device", true, std::nullopt},
    {"port", true, std::nullopt},
    {"network-allowance", true, std::nullopt},
    {"data-dir", true, std::nullopt},
    {"json", false, std::nullopt},
    {"help", false, std::nullopt},
    {"version", false, std::nullopt},
    {"timeout", true, Command::Scan},
    {"interval", true, Command::Watch},
    {"period", true, Command::Log},
    {"secondary", false, Command::Version},
    {"listen", true, Command::Serve},
    {"log-period", true, Command::Serve},
    {"since", true, Command::History},
    {"output", true, Command::Report},  // also -o
    {"days", true, Command::Report},
    {"page", true, Command::Report},
    {"save", true, Command::Setup},
    {"load", true, Command::Setup},
    {"dry-run", false, Command::Setup},
}};

std::optional<Command> CommandNamed(std::string_view name) {
    for (const auto& c : kCommands)
        if (name == c.name)
            return c.command;
    return std::nullopt;
}

const char* NameOf(Command command) {
    for (const auto& c : kCommands)
        if (c.command == command)
            return c.name;
    return "";
}

const OptionSpec* OptionNamed(std::string_view name) {
    for (const auto& o : kOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

// An argument quoted in a message, its control bytes escaped.
std::string Quote(std::string_view text) {
    return "\"" + Escaped(text) + "\"";
}

std::optional<int> Address(std::string_view text, const char* what, std::string& error) {
    const auto a = WholeNumber(text, 1, kLastBusAddress);
    if (!a)
        error = std::string(what) + " " + Quote(text) +
                " is not a bus address: a whole number from 1 to 247";
    return a;
}

// "2026-12-07": a date of the calendar.
bool ValidDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    const auto y = WholeNumber(std::string_view(text).substr(0, 4), 1, 9999);
    const auto m = WholeNumber(std::string_view(text).substr(5, 2), 1, 12);
    const auto d = WholeNumber(std::string_view(text).substr(8, 2), 1, 31);
    if (!y || !m || !d)
        return false;
    constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (*y % 4 == 0 && *y % 100 != 0) || *y % 400 == 0;
    return *d <= kDays[*m - 1] && (*m != 2 || *d <= 28 || leap);
}

// "-5" is a (wrong) address, not an option.
bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

}  // namespace

std::span<const CommandName> CommandNames() {
    return kCommands;
}

std::span<const OptionSpec> OptionSpecs() {
    return kOptions;
}

std::optional<int> WholeNumber(std::string_view text, int lo, int hi) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int v = 0;
    for (char c : text)
        v = v * 10 + (c - '0');
    if (v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::string DevicePath(const std::string& given, const std::string& currentFolder) {
#ifdef _WIN32
    (void)currentFolder;
    return given;
#else
    if (given.empty() || given.front() == '/' || currentFolder.empty() || IsGatewayDevice(given))
        return given;
    return (std::filesystem::path(currentFolder) / given).lexically_normal().string();
#endif
}

std::string ShellWord(std::string_view word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("/._-+:,=@%").find(c) != std::string_view::npos;
    });
    if (plain)
        return std::string(word);
    // Double quotes: a suggestion is itself quoted with single ones.
    std::string quoted = "\"";
    for (const char c : word) {
        if (std::string_view("\"\\$`").find(c) != std::string_view::npos)
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

bool AsksForJson(const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::find(args.begin(), end, "--json") != end;
}

namespace {

// Each option given, with its last value ("" for a flag).
using Given = std::map<std::string_view, std::string>;

const std::string* ValueOf(const Given& given, std::string_view name) {
    const auto it = given.find(name);
    return it == given.end() ? nullptr : &it->second;
}

// Sorts the arguments into options and operands; the reason when one cannot be taken.
std::string SplitArguments(const std::vector<std::string>& args, Given& given,
                           std::vector<std::string>& positional) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !IsOption(arg)) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            given["help"];
            continue;
        }
        if (arg == "-o" && i + 1 < args.size()) {
            given["output"] = args[++i];
            continue;
        }
        if (arg.rfind("--", 0) != 0)
            return "unknown option " + Escaped(arg);
        const auto eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
        const OptionSpec* option = OptionNamed(name);
        if (!option)
            return "unknown option --" + Escaped(name);
        std::optional<std::string> value;
        if (eq != std::string::npos)
            value = arg.substr(eq + 1);
        if (!option->valued && value)
            return "--" + name + " takes no value";
        if (option->valued && !value) {
            if (i + 1 >= args.size())
                return "--" + name + " needs a value";
            value = args[++i];
        }
        // --device and --port name one port.
        if (name == "device")
            given.erase("port");
        if (name == "port")
            given.erase("device");
        given[option->name] = value.value_or("");
    }
    return {};
}

constexpr const char* kAssignmentExample = ": write FIELD=TEXT, for example \"Alarm Latch=YES\"";

struct OperandCount {
    std::size_t least = 1, most = 1;
};

// How many operands a command takes (after its name).
OperandCount OperandCountOf(Command command, std::size_t given) {
    switch (command) {
        case Command::Scan:
            return {0, 2};
        case Command::Setup:
            return {1, given > 0 ? given : 1};
        case Command::Address:
            return {2, 2};
        case Command::Ports:
            return {0, 0};
        case Command::Serve:
            return {0, static_cast<std::size_t>(kLastBusAddress)};
        case Command::History:
            return {0, 1};
        default:
            return {};
    }
}

// Too many operands or too few; a second command name among the extra operands is said as
// such.
std::string CheckOperandCount(Command command, const std::string& cmd,
                              const std::vector<std::string>& ops) {
    const OperandCount count = OperandCountOf(command, ops.size());
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const bool extra = k >= count.most || (command == Command::Setup && k > 0 &&
                                               ops[k].find('=') == std::string::npos);
        if (extra && CommandNamed(ops[k]))
            return "two commands at once (" + cmd + " and " + ops[k] + "): give one";
        if (extra && command == Command::Setup)
            return Quote(ops[k]) + kAssignmentExample;
        if (extra)
            return "unexpected argument " + Quote(ops[k]) + " after " + cmd;
    }
    if (ops.size() < count.least)
        return cmd + (command == Command::Address  ? " needs ADDR and NEW"
                      : command == Command::Report ? " needs the detector's serial number"
                                                   : " needs the detector's address");
    return {};
}

// The detectors a command is for: an address, a range, a list or a serial number.
std::string ReadTargets(const std::vector<std::string>& ops, Invocation& inv) {
    std::string error;
    if (inv.command == Command::Scan) {
        for (std::size_t k = 0; k < ops.size(); ++k) {
            const auto a = Address(ops[k], k == 0 ? "FROM" : "TO", error);
            if (!a)
                return error;
            (k == 0 ? inv.from : inv.to) = *a;
        }
        if (inv.from > inv.to)
            return "scan: FROM (" + ops[0] + ") is above TO (" + ops[1] + ")";
    } else if (inv.command == Command::Serve) {
        for (const auto& op : ops) {
            const auto a = Address(op, "address", error);
            if (!a)
                return error;
            if (std::find(inv.addresses.begin(), inv.addresses.end(), *a) != inv.addresses.end())
                return "serve: address " + std::to_string(*a) + " given twice";
            inv.addresses.push_back(*a);
        }
    } else if (inv.command == Command::History || inv.command == Command::Report) {
        inv.serial = ops.empty() ? std::string() : ops[0];
    } else if (inv.command != Command::Ports) {
        const auto a = Address(ops[0], "address", error);
        if (!a)
            return error;
        inv.address = *a;
    }
    return {};
}

// The command and its operands; the reason when they do not fit.
std::string ReadOperands(const std::vector<std::string>& positional, Invocation& inv) {
    if (positional.empty())
        return "no command given";
    const auto command = CommandNamed(positional[0]);
    if (!command)
        return "unknown command " + Quote(positional[0]);
    inv.command = *command;
    const std::string cmd = positional[0];
    const std::vector<std::string> ops(positional.begin() + 1, positional.end());
    if (auto error = CheckOperandCount(inv.command, cmd, ops); !error.empty())
        return error;
    if (auto error = ReadTargets(ops, inv); !error.empty())
        return error;

    std::string error;
    if (inv.command == Command::Address) {
        const auto n = Address(ops[1], "new address", error);
        if (!n)
            return error;
        inv.newAddress = *n;
    }
    if (inv.command == Command::Setup) {
        for (std::size_t k = 1; k < ops.size(); ++k) {
            const auto eq = ops[k].find('=');
            FieldAssignment a{ops[k].substr(0, eq), ops[k].substr(eq + 1)};
            if (a.field.find_first_not_of(" \t") == std::string::npos || a.text.empty())
                return Quote(ops[k]) + kAssignmentExample;
            inv.assignments.push_back(std::move(a));
        }
    }
    return {};
}

// setup --save FILE or --load FILE [--dry-run]: a table to or from a file, alone.
std::string ReadSetupFileOptions(const Given& given, Invocation& inv) {
    const auto* save = ValueOf(given, "save");
    const auto* load = ValueOf(given, "load");
    inv.dryRun = ValueOf(given, "dry-run") != nullptr;
    if (save && load)
        return "setup takes --save or --load, not both";
    if ((save && save->empty()) || (load && load->empty()))
        return std::string("--") + (save ? "save" : "load") + " needs a file";
    if ((save || load) && !inv.assignments.empty())
        return std::string("--") + (save ? "save" : "load") +
               " takes no FIELD=TEXT: it saves or loads the whole table";
    if (inv.dryRun && !load)
        return "--dry-run belongs to setup --load";
    inv.saveFile = save ? *save : "";
    inv.loadFile = load ? *load : "";
    return {};
}

// The values of the options that belong to one command; the reason when one does not fit.
std::string ReadCommandOptions(const Given& given, Invocation& inv) {
    for (const auto& o : kOptions)
        if (o.owner && *o.owner != inv.command && ValueOf(given, o.name))
            return std::string("--") + o.name + " belongs to the " + NameOf(*o.owner) + " command";
    if (const auto* timeout = ValueOf(given, "timeout")) {
        const auto ms = WholeNumber(*timeout, 1, kMaxScanTimeoutMs);
        if (!ms)
            return "--timeout " + Quote(*timeout) + ": whole milliseconds from 1 to 10000";
        inv.timeoutMs = *ms;
    }
    if (const auto* interval = ValueOf(given, "interval")) {
        const auto s = WholeNumber(*interval, 1, kMaxWatchIntervalS);
        if (!s)
            return "--interval " + Quote(*interval) + ": whole seconds from 1 to " +
                   std::to_string(kMaxWatchIntervalS);
        inv.intervalS = *s;
    }
    inv.secondary = ValueOf(given, "secondary") != nullptr;
    if (inv.command == Command::Serve) {
        const std::string why =
            ReadServeOptions(ValueOf(given, "listen"), ValueOf(given, "log-period"), inv);
        if (!why.empty())
            return why;
    }
    if (const auto* since = ValueOf(given, "since")) {
        if (!ValidDate(*since))
            return "--since " + Quote(*since) + ": a date as YYYY-MM-DD";
        inv.since = *since;
    }
    if (const auto* days = ValueOf(given, "days")) {
        const auto d = WholeNumber(*days, 1, 36'500);
        if (!d)
            return "--days " + Quote(*days) + ": whole days from 1 to 36500";
        inv.days = *d;
    }
    if (const auto* page = ValueOf(given, "page")) {
        if (*page != "a4" && *page != "letter")
            return "--page " + Quote(*page) + ": a4 or letter";
        inv.letter = *page == "letter";
    }
    if (const std::string why = ReadSetupFileOptions(given, inv); !why.empty())
        return why;
    if (inv.command == Command::Report) {
        const auto* output = ValueOf(given, "output");
        if (!output || output->empty())
            return "report needs -o FILE.pdf";
        inv.output = *output;
    }
    if (inv.command == Command::Log) {
        const auto* period = ValueOf(given, "period");
        if (!period)
            return "log needs --period S (seconds from 1 to 255)";
        const auto s = WholeNumber(*period, 1, 255);
        if (!s)
            return "--period " + Quote(*period) + ": whole seconds from 1 to 255";
        inv.period = *s;
    }
    return {};
}

}  // namespace

ParsedLine ParseCommandLine(const std::vector<std::string>& args) {
    ParsedLine result;
    Given given;
    std::vector<std::string> positional;
    result.error = SplitArguments(args, given, positional);
    if (!result.error.empty())
        return result;
    result.help = ValueOf(given, "help") != nullptr;
    result.version = ValueOf(given, "version") != nullptr;
    if (result.help || result.version)
        return result;

    // The options of every command, then the command, then its own options.
    Invocation inv;
    const auto fail = [&](std::string why) {
        if (result.error.empty())  // the first reason found
            result.error = std::move(why);
    };
    inv.json = ValueOf(given, "json") != nullptr;
    if (const auto* device = ValueOf(given, "device")) {
        std::string why;
        if (device->empty())
            fail("--device needs a device path");
        else if (IsGatewayDevice(*device) && !ParseGatewayDevice(*device, &why))
            fail("--device " + Quote(*device) + ": " + why);
        inv.device = *device;
    }
    if (const auto* dataDir = ValueOf(given, "data-dir")) {
        if (dataDir->empty())
            fail("--data-dir needs a folder");
        inv.dataDir = *dataDir;
    }
    if (const auto* port = ValueOf(given, "port")) {
        inv.port = WholeNumber(*port, 1, 32767);
        if (!inv.port)
            fail("--port " + Quote(*port) + ": a port number is from 1 to 32767");
    }
    if (const auto* ms = ValueOf(given, "network-allowance")) {
        inv.networkAllowanceMs = WholeNumber(*ms, 0, kMaxNetworkAllowanceMs);
        if (!inv.networkAllowanceMs)
            fail("--network-allowance " + Quote(*ms) + ": milliseconds from 0 to " +
                 std::to_string(kMaxNetworkAllowanceMs));
    }
    if (result.error.empty())
        result.error = ReadOperands(positional, inv);
    if (result.error.empty())
        result.error = ReadCommandOptions(given, inv);
    if (result.error.empty())
        result.invocation = std::move(inv);
    return result;
}

namespace {

// The setup fields' JSON keys, wrapped to the column of the other JSON descriptions.
std::string WrappedFieldKeys() {
    std::string fieldKeys;
    for (const auto& [caption, key] : SetupFieldKeys())
        fieldKeys += std::string(fieldKeys.empty() ? "" : ", ") + key;
    std::string wrapped, line;
    std::istringstream words(fieldKeys);
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > 70) {
            wrapped += line + "\n" + std::string(20, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    wrapped += line;
    return wrapped;
}

std::string CommandsHelp() {
    return std::string(R"(Usage: halvern-cli [OPTIONS] COMMAND [ARGUMENTS]

Services open-path gas detectors on the RS-485 bus from a terminal: the exchanges of the
halvern program, without its windows. ADDR is a bus address from 1 to 247.

Commands:
  status ADDR                One status poll: model, serial number, status code and its
                             description, gain, signals, ratios, gas reading, link state.
  watch ADDR [--interval S]  Polls ADDR as the program's main window does, one line per poll
                             (or one every S seconds, 1 to 86400), until Ctrl+C. Like the
                             program, writes a disconnection record to <ADDR>.txt while the
                             detector is given up.
  scan [FROM [TO]]           Polls every address from FROM to TO (1 to 247) and lists each
                             detector that answers within the program's 0.6 s reply window;
                             an address that answers with broken replies is listed as
                             "answered, reply not valid". Bytes that nobody asked for (noise)
                             stop the scan with exit code 1.
  version ADDR [--secondary]
                             The primary (or secondary) software version.
  setup ADDR                 The setup table, field by field, by the setup screen's labels.
  setup ADDR FIELD=TEXT...   Changes fields and writes the table; fields not named are written
                             back as read. FIELD is a label of the setup screen (case and
                             runs of blanks do not matter) or its JSON key, TEXT one of the
                             field's options for the model, e.g. "Accessory Relay=alarm"
                             "Heater ON at(C)=35" alarm_latch=yes.
  setup ADDR --save FILE     Also writes the table to FILE (JSON: the detector's model,
                             serial number and address, the time, the raw values of
                             registers 1-4 and each field's text), e.g. as a record before
                             a change.
  setup ADDR --load FILE [--dry-run]
                             Prints each setting of FILE that differs from the detector's
                             (as "Label  detector -> file") and writes FILE's table (bits
                             that are no setting stay as read); with --dry-run writes
                             nothing, nor when nothing differs. Refused
                             (exit 2, nothing written) when FILE is not a setup file, is
                             damaged, of a later format, of another model than the
                             detector's, or holds a value the model cannot take.
  address ADDR NEW           Gives the detector at ADDR the bus address NEW (refused when a
                             detector answers at NEW).
  sn-test ADDR               Starts the signal/noise test (not for the LAMP 411 and 412)
                             and prints its noise figures; "normal ADDR" ends it.
  normal ADDR                Returns the detector to normal mode (not for the LAMP 411, 412).
  align ADDR                 Sends the align command.
  log ADDR --period S        Logs the readings of ADDR every S seconds (1 to 255) into the
                             program folder with the program's files, columns and rules,
                             until Ctrl+C, SIGTERM or SIGHUP. On a terminal a status line
                             shows the records written, the last reading and the failures.
  ports                      Lists the serial ports present: the port number that reaches
                             each (as --port N; "-" when none does: use --device), the
                             device, and the adapter's description and maker.
  serve [ADDR...]            Polls the detectors at ADDR... (or those a scan of 1 to 247
                             finds, and any other address that answers later: a few are
                             asked between rounds) in turn and serves their readings over
                             HTTP, read-only: /metrics (Prometheus text format),
                             /api/detectors (JSON) and /healthz. A detector is lost after 5
                             failed polls in a row and asked again every round. Runs until
                             Ctrl+C or SIGTERM.
  history [SERIAL] [--since YYYY-MM-DD]
                             The service history (history.sqlite in the program folder) of
                             the detector with serial number SERIAL, or of all, newest first:
                             every setup read and write, address change, S/N test, normal
                             mode, align and version read of halvern and halvern-cli.
  report SERIAL -o FILE.pdf [--days N] [--page a4|letter]
                             The service report of the detector as a PDF: model, address,
                             versions, setup table, last S/N figures, status and the events
                             of the last N days (default 90), on A4 (default) or Letter.
                             Neither command uses the port.

)");
}

std::string OptionsHelp() {
    return std::string(R"(Options:
  --device PATH     The serial device (USB adapters, /dev/serial/by-id links, halvern-sim's
                    pseudo-terminal); a relative PATH is taken from the current folder. A bus
                    behind a serial device server (a network gateway) is tcp://HOST:PORT
                    (an IPv6 address in brackets): the same frames over a TCP connection,
                    which is reopened, waiting longer after each failed try, when it drops.
  --port N          Port number N as the program numbers ports (Linux: /dev/ttyUSB{N-1} when
                    it exists, else /dev/ttyS{N-1}; Windows: COMN). Without --device and
                    --port, the port chosen last in the program (CommPortNo.txt).
  --network-allowance MS
                    Over a network gateway: how much later than on a serial line a reply may
                    come (the network both ways and the gateway's forwarding), added to each
                    reply window (default )") +
           std::to_string(kDefaultNetworkAllowanceMs) + R"( ms, 0 to )" +
           std::to_string(kMaxNetworkAllowanceMs) + R"(). Raise it for a slow or far
                    network; on a local one it may be lowered to speed up scans.
  --data-dir PATH   The program folder (CommPortNo.txt, CommTune2.txt, log files); by default
                    the program's: this program's folder when writable and not installed
                    (under /usr), else the per-user application data folder.
  --timeout MS      scan: how long each address has to begin its answer in the first pass,
                    once the query has left (default )" +
           std::to_string(kDefaultScanTimeoutMs) + R"( ms). Where bytes came, the addresses
                    they may be from are asked again with the full 0.6 s, so a slower
                    detector is found all the same, only later.
  --interval S      watch: one line every S seconds instead of every poll.
  --listen HOST:PORT
                    serve: the address and port to listen on (default 127.0.0.1:9464; IPv6
                    in brackets). The endpoint has no authentication: give another address
                    than this machine's own only on a network where everyone may read it.
  --log-period S    serve: also writes each detector's cycle and disconnection records, as
                    the program does, every S seconds (1 to 255) into the program folder.
  --json            One JSON object per line on standard output; a failure too.
  -h, --help        This text.
  --version         The version of halvern-cli.
An option given twice counts with its last value (so an alias can be overridden); of
--device and --port the last given counts.

)";
}

std::string JsonAndExitHelp() {
    const std::string wrapped = WrappedFieldKeys();
    return std::string(R"(JSON keys (the same for every model; a value not known is null):
  status, watch     address, model, serial, status, description, gain, signal1, reference,
                    signal2, ratio1, ratio2, nqratio1, nqratio2, gas, link; watch adds time
                    and missed (silent polls in a row).
  scan              address, valid; when valid also model, serial, status, description.
  version           address, which ("primary" or "secondary"), version.
  setup             address, model, serial, fields, confirmed (true after a confirmed
                    write, null when only read). fields has every key below: the field's
                    text ("" when empty), null when the model's screen does not show it:
                    )") +
           wrapped + R"(.
                    --save and --load add file; --load adds differences (by field key:
                    label, detector, file) and written (false: nothing was written,
                    after --dry-run or with nothing to change).
  address           address, new_address, confirmed.
  sn-test, normal   address, mode ("sn-test" or "normal"), confirmed; sn-test adds
                    sig1_noise, sig2_noise, ref_noise.
  align             address, align ("sent").
  history           one object per event: id, utc, local, serial, model, address, action,
                    before, after, raw_before, raw_after, confirmed (null: none expected),
                    attempts, status, program, version, user.
  report            serial, file, events.
  ports             port (null when no number reaches the device), device, description,
                    maker, usb_vendor and usb_product (4 hex digits), serial_number.
  serve             /api/detectors: an array, per detector the keys of status and lost,
                    last_seen, polls and failures.
  a failure         error (the message), exit_code; a write not confirmed adds reason
                    (what its last attempt got: "no answer", "broken answer" or "wrong
                    echo") and attempts.

Exit status:
  0  done; also watch, log and serve ended by SIGINT, SIGTERM or SIGHUP, their way to end
  1  no answer, an answer from another address or of another kind, a write not confirmed,
     another command ended by a signal, standard output that could not be written, or a
     log that wrote no record or whose detector never answered
  2  a bad command line, or a request refused before anything was written
  3  the port could not be opened (the message gives the system's reason)
)";
}

}  // namespace

std::string HelpText() {
    return CommandsHelp() + OptionsHelp() + JsonAndExitHelp();
}

}  // namespace halvern::cli
