#include "cli/CommandLine.h"

#include <algorithm>
#include <array>

#include "config/AddressEntry.h"

namespace halvern::cli {

namespace {

struct CommandName {
    const char* name;
    Command command;
};

constexpr std::array<CommandName, 11> kCommands = {{
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

// Options that take a value, and flags.
constexpr std::array<std::string_view, 5> kValued = {"device", "port", "data-dir", "timeout",
                                                     "period"};
constexpr std::array<std::string_view, 4> kFlags = {"json", "secondary", "help", "version"};

bool Among(std::string_view name, const auto& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::optional<int> Address(std::string_view text, const char* what, std::string& error) {
    const auto a = WholeNumber(text, 1, kLastBusAddress);
    if (!a)
        error = std::string(what) + " \"" + std::string(text) +
                "\" is not a bus address: a whole number from 1 to 247";
    return a;
}

}  // namespace

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

ParsedLine ParseCommandLine(const std::vector<std::string>& args) {
    ParsedLine result;
    const auto fail = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    Invocation inv;
    std::vector<std::string> positional;
    std::vector<std::string> seen;
    std::optional<std::string> timeout, period;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "-5" is a (wrong) address, not an option.
        const bool number = arg.size() > 1 && arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9';
        if (optionsEnded || number || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            result.help = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0)
            return fail("unknown option " + arg);
        const auto eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
        std::optional<std::string> value;
        if (eq != std::string::npos)
            value = arg.substr(eq + 1);
        if (Among(name, kFlags)) {
            if (value)
                return fail("--" + name + " takes no value");
        } else if (Among(name, kValued)) {
            if (!value) {
                if (i + 1 >= args.size())
                    return fail("--" + name + " needs a value");
                value = args[++i];
            }
        } else {
            return fail("unknown option --" + name);
        }
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            return fail("--" + name + " is given twice");
        seen.push_back(name);

        if (name == "help") {
            result.help = true;
        } else if (name == "version") {
            result.version = true;
        } else if (name == "json") {
            inv.json = true;
        } else if (name == "secondary") {
            inv.secondary = true;
        } else if (name == "device") {
            if (value->empty())
                return fail("--device needs a device path");
            inv.device = *value;
        } else if (name == "data-dir") {
            if (value->empty())
                return fail("--data-dir needs a folder");
            inv.dataDir = *value;
        } else if (name == "port") {
            inv.port = WholeNumber(*value, 1, 32767);
            if (!inv.port)
                return fail("--port \"" + *value + "\": a port number is from 1 to 32767");
        } else if (name == "timeout") {
            timeout = *value;
        } else if (name == "period") {
            period = *value;
        }
    }
    if (result.help || result.version)
        return result;
    if (!inv.device.empty() && inv.port)
        return fail("give --device or --port, not both");
    if (positional.empty())
        return fail("no command given");
    const auto command = CommandNamed(positional[0]);
    if (!command)
        return fail("unknown command \"" + positional[0] + "\"");
    inv.command = *command;
    const std::string cmd = positional[0];
    std::vector<std::string> ops(positional.begin() + 1, positional.end());

    // Operand counts: a second command name among the extra operands is said as such.
    std::size_t least = 1, most = 1;
    switch (inv.command) {
        case Command::Scan:
            least = 0;
            most = 2;
            break;
        case Command::Setup:
            most = ops.size() > 0 ? ops.size() : 1;
            break;
        case Command::Address:
            least = most = 2;
            break;
        case Command::Ports:
            least = most = 0;
            break;
        default:
            break;
    }
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const bool extra = k >= most || (inv.command == Command::Setup && k > 0 &&
                                         ops[k].find('=') == std::string::npos);
        if (extra && CommandNamed(ops[k]))
            return fail("two commands at once (" + cmd + " and " + ops[k] + "): give one");
        if (extra && inv.command == Command::Setup)
            return fail("\"" + ops[k] + "\": write FIELD=TEXT, for example \"Alarm Latch=YES\"");
        if (extra)
            return fail("unexpected argument \"" + ops[k] + "\" after " + cmd);
    }
    if (ops.size() < least)
        return fail(cmd + (inv.command == Command::Address ? " needs ADDR and NEW"
                                                           : " needs the detector's address"));

    std::string error;
    if (inv.command == Command::Scan) {
        for (std::size_t k = 0; k < ops.size(); ++k) {
            const auto a = Address(ops[k], k == 0 ? "FROM" : "TO", error);
            if (!a)
                return fail(error);
            (k == 0 ? inv.from : inv.to) = *a;
        }
        if (inv.from > inv.to)
            return fail("scan: FROM (" + ops[0] + ") is above TO (" + ops[1] + ")");
    } else if (inv.command != Command::Ports) {
        const auto a = Address(ops[0], "address", error);
        if (!a)
            return fail(error);
        inv.address = *a;
    }
    if (inv.command == Command::Address) {
        const auto n = Address(ops[1], "new address", error);
        if (!n)
            return fail(error);
        inv.newAddress = *n;
    }
    if (inv.command == Command::Setup) {
        for (std::size_t k = 1; k < ops.size(); ++k) {
            const auto eq = ops[k].find('=');
            FieldAssignment a{ops[k].substr(0, eq), ops[k].substr(eq + 1)};
            if (a.field.find_first_not_of(" \t") == std::string::npos || a.text.empty())
                return fail("\"" + ops[k] +
                            "\": write FIELD=TEXT, for example \"Alarm Latch=YES\"");
            inv.assignments.push_back(std::move(a));
        }
    }

    // Options that belong to one command only.
    const auto belongs = [&](bool given, const char* option, Command owner) {
        if (given && inv.command != owner)
            error = std::string(option) + " belongs to the " + NameOf(owner) + " command";
    };
    belongs(inv.secondary, "--secondary", Command::Version);
    belongs(timeout.has_value(), "--timeout", Command::Scan);
    belongs(period.has_value(), "--period", Command::Log);
    if (!error.empty())
        return fail(error);
    if (timeout) {
        const auto ms = WholeNumber(*timeout, 1, kMaxScanTimeoutMs);
        if (!ms)
            return fail("--timeout \"" + *timeout + "\": whole milliseconds from 1 to 10000");
        inv.timeoutMs = *ms;
    }
    if (inv.command == Command::Log) {
        if (!period)
            return fail("log needs --period S (seconds from 1 to 255)");
        const auto s = WholeNumber(*period, 1, 255);
        if (!s)
            return fail("--period \"" + *period + "\": whole seconds from 1 to 255");
        inv.period = *s;
    }
    result.invocation = std::move(inv);
    return result;
}

std::string HelpText() {
    return std::string(R"(Usage: halvern-cli [OPTIONS] COMMAND [ARGUMENTS]

Services open-path gas detectors on the RS-485 bus from a terminal: the exchanges of the
halvern program, without its windows. ADDR is a bus address from 1 to 247.

Commands:
  status ADDR                One status poll: model, serial number, status code and its
                             description, gain, signals, ratios, gas reading, link state.
  watch ADDR                 Polls ADDR as the program's main window does, one line per poll,
                             until Ctrl+C. Like the program, writes a disconnection record
                             to <ADDR>.txt while the detector is given up.
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
                             runs of blanks do not matter), TEXT one of the field's options
                             for the model, e.g. "Accessory Relay=alarm" "Heater ON at(C)=35".
  address ADDR NEW           Gives the detector at ADDR the bus address NEW (refused when a
                             detector answers at NEW).
  sn-test ADDR               Starts the signal/noise test (not for the LAMP 411 and 412)
                             and prints its noise figures; "normal ADDR" ends it.
  normal ADDR                Returns the detector to normal mode (not for the LAMP 411, 412).
  align ADDR                 Sends the align command.
  log ADDR --period S        Logs the readings of ADDR every S seconds (1 to 255) into the
                             program folder with the program's files, columns and rules,
                             until Ctrl+C or SIGTERM.
  ports                      Lists the serial ports present: the port number that reaches
                             each (as --port N; "-" when none does: use --device), the
                             device, and the adapter's description and maker.

Options:
  --device PATH     The serial device (USB adapters, /dev/serial/by-id links, halvern-sim's
                    pseudo-terminal).
  --port N          Port number N as the program numbers ports (Linux: /dev/ttyUSB{N-1} when
                    it exists, else /dev/ttyS{N-1}; Windows: COMN). Without --device and
                    --port, the port chosen last in the program (CommPortNo.txt).
  --data-dir PATH   The program folder (CommPortNo.txt, CommTune2.txt, log files); by default
                    the program's: this program's folder when writable and not installed
                    (under /usr), else the per-user application data folder.
  --timeout MS      scan: how long each address has to begin its answer in the first pass,
                    once the query has left (default )") +
           std::to_string(kDefaultScanTimeoutMs) + R"( ms). Where bytes came, the addresses
                    they may be from are asked again with the full 0.6 s, so a slower
                    detector is found all the same, only later.
  --json            One JSON object per line on standard output.
  -h, --help        This text.
  --version         The version of halvern-cli.

JSON keys:
  status, watch     address, model, serial, status, description, gain, signal1, reference,
                    signal2, ratio1, ratio2, nqratio1, nqratio2, gas, link; watch adds time
                    and missed (silent polls in a row). Values not known are null.
  scan              address, valid; when valid also model, serial, status, description.
  version           address, which ("primary" or "secondary"), version.
  setup             address, model, serial, fields (an object: screen label -> text).
  address           address, new_address, confirmed.
  sn-test, normal   address, mode ("sn-test" or "normal"), confirmed; sn-test adds
                    sig1_noise, sig2_noise, ref_noise.
  align             address, align ("sent").
  ports             port (null when no number reaches the device), device, description,
                    maker, usb_vendor and usb_product (4 hex digits), serial_number.

Exit codes: 0 done; 1 no answer, a write not confirmed, or interrupted; 2 usage error or a
request refused before anything was written; 3 the port could not be opened.
)";
}

}  // namespace halvern::cli
