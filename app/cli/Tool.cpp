#include "cli/Tool.h"

#include <cstdio>
#include <filesystem>
#include <span>
#include <variant>

#include "HalvernVersion.h"
#include "cli/Output.h"
#include "cli/SetupFields.h"
#include "config/ConfigExchanges.h"
#include "config/SetupCodec.h"
#include "link/LinkFiles.h"
#include "link/Tuning.h"
#include "logging/LoggingControl.h"
#include "maintenance/MaintExchanges.h"
#include "monitor/BusScan.h"
#include "monitor/MainComm.h"
#include "platform/FilePath.h"
#include "ui/Dialogs.h"

namespace halvern::cli {

namespace {

constexpr const char* kProgram = "halvern-cli: ";
constexpr int kVersionHeaderBytes = 9;  // the text starts at index 9

std::string Seconds(Micros us) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(us) / 1e6);
    return buf;
}

// The version text of the reply just taken, cut to the reply's own bytes: a secondary version
// is read as 20 characters, which a short reply does not hold.
std::optional<std::string> VersionOfReply(const LinkBuffers& b, const std::string& text) {
    // An exception (five bytes, function 200 too) or another reply holds no version.
    if (b.RxBuffer[1] != FunctionCommand || b.RxCount < kVersionHeaderBytes + 2)
        return std::nullopt;
    const int own = b.RxCount - 2 - kVersionHeaderBytes;
    std::string v =
        text.substr(0, std::min<std::size_t>(text.size(), static_cast<std::size_t>(own)));
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0'))
        v.pop_back();
    return v;
}

}  // namespace

Tool::Tool(Environment env) : env_(std::move(env)) {
    stopCheck_ = [this] { return stop_; };
}

Tool::~Tool() = default;

void Tool::RequestStop() {
    stop_ = true;
    if (loop_)
        loop_->Quit();
}

void Tool::Say(const std::string& text) {
    env_.err << kProgram << text << "\n" << std::flush;
}

void Tool::Emit(const std::string& line) {
    env_.out << line << "\n" << std::flush;
}

int Tool::Refused(const std::string& why) {
    Say(why);
    return kExitUsage;
}

int Tool::Failed(const std::string& why) {
    Say(Stopped() ? "interrupted" : why);
    return kExitNoAnswer;
}

int Tool::WriteFailed(const std::string& why, const std::string& check) {
    Say((Stopped() ? "interrupted during the write; " : why + "; ") + check);
    return kExitNoAnswer;
}

int Tool::Main(const std::vector<std::string>& args) {
    const ParsedLine parsed = ParseCommandLine(args);
    if (parsed.help) {
        env_.out << HelpText() << std::flush;
        return kExitDone;
    }
    if (parsed.version) {
        env_.out << "halvern-cli " << kVersion << "\n" << std::flush;
        return kExitDone;
    }
    if (!parsed.invocation) {
        env_.err << kProgram << parsed.error << "\n" << kUsageLine << std::flush;
        return kExitUsage;
    }
    return Run(*parsed.invocation);
}

int Tool::Run(const Invocation& inv) {
    json_ = inv.json;
    if (inv.command == Command::Ports)
        return Ports();  // opens no port: any --device or --port is beside the point
    if (inv.command == Command::Setup) {
        const std::string why = CheckForEveryModel(inv.assignments);
        if (!why.empty())
            return Refused(why);
    }
    const std::string folder = env_.programFolder(inv.dataDir);
    std::string device = inv.device;
    if (device.empty()) {
        int number = inv.port.value_or(0);
        const std::string portFile = JoinPath(folder, kPortFile);
        std::string problem;
        if (!inv.port && FileExists(portFile, &problem))
            number = LoadPortNumber(portFile);
        if (!problem.empty())
            Say(problem);
        if (number < 1)
            return Refused("no port chosen: give --device PATH or --port N");
        device = env_.deviceForPort(number);
    }
    std::string why;
    if (!env_.port.Open(device, &why)) {
        Say(why.find(device) != std::string::npos ? why : "cannot open " + device + ": " + why);
        return kExitPort;
    }
    // What the port reports (RTS refused, device gone) is said at once while polling goes on,
    // and otherwise only to explain a command that failed: a pseudo-terminal or an adapter
    // that switches direction by itself refuses RTS and works all the same.
    std::vector<std::string> notices;
    const bool polling = inv.command == Command::Watch || inv.command == Command::Log;
    env_.port.onNotice = [this, polling, &notices](const std::string& notice) {
        if (polling)
            Say(notice);
        else
            notices.push_back(notice);
    };

    par_ = std::make_unique<Par>();
    par_->ProgramFolder = folder;
    Link link(env_.platform, env_.port, par_->Link);
    const std::string tuneFile = JoinPath(folder, kTuneFile);
    std::string problem;
    if (FileExists(tuneFile, &problem))
        link.TurnaroundDelay = LoadTurnaroundDelay(tuneFile);
    if (!problem.empty())
        Say(problem + "; the turnaround delay stays " +
            std::to_string(static_cast<long long>(link.TurnaroundDelay)) + " us");
    link_ = &link;
    const int code = Dispatch(inv);
    if (code == kExitNoAnswer)
        for (const auto& notice : notices)
            Say(notice);
    link_ = nullptr;
    env_.port.onNotice = nullptr;
    env_.port.Close();
    return code;
}

int Tool::Dispatch(const Invocation& inv) {
    const auto a = static_cast<std::uint8_t>(inv.address);
    switch (inv.command) {
        case Command::Status:
            return Status(a);
        case Command::Watch:
            return Watch(a);
        case Command::Scan:
            return Scan(inv);
        case Command::Version:
            return Version(a, inv.secondary);
        case Command::Setup:
            return Setup(a, inv.assignments);
        case Command::Address:
            return Address(a, static_cast<std::uint8_t>(inv.newAddress));
        case Command::SnTest:
            return Mode(a, true);
        case Command::Normal:
            return Mode(a, false);
        case Command::Align:
            return Align(a);
        case Command::Log:
            return Log(a, inv.period);
        case Command::Ports:
            return Ports();
    }
    return kExitUsage;
}

std::optional<int> Tool::Reach(std::uint8_t address) {
    const PollReply reply = PollStatus(*link_, *par_, address, stopCheck_);
    const std::string a = std::to_string(address);
    switch (reply) {
        case PollReply::Status:
            par_->Main.Com = "Good";
            return std::nullopt;
        case PollReply::None:
            return Failed("no answer from address " + a);
        default:
            return Failed("address " + a + " answered, reply not valid");
    }
}

int Tool::Status(std::uint8_t address) {
    if (const auto failed = Reach(address))
        return *failed;
    const Reading r = ReadingOf(*par_);
    if (json_)
        Emit(ReadingJson(r).Str());
    else
        env_.out << StatusText(r) << std::flush;
    return kExitDone;
}

void Tool::PollUntilStopped(std::uint8_t address, const std::function<void()>& afterPoll) {
    // The main window's start-up state, serving `address`.
    Par& par = *par_;
    par.CurrentAddress = address;
    par.Main.DetNum = std::to_string(address);
    DecliningDialogs dialogs;
    PollLoop loop;
    MainCommHooks hooks;
    hooks.now = env_.now;
    MainComm comm(par, *link_, dialogs, loop, std::move(hooks));
    loop.SetIteration([&](const StopCheck& stop) {
        comm.PollIteration(stop);
        if (!stop())
            afterPoll();
    });
    // The cycle starts with its own poll, without the extra query of the window's activation,
    // whose reply would run into the first poll's.
    loop_ = &loop;
    if (!stop_)
        loop.Run();
    loop_ = nullptr;
}

int Tool::Watch(std::uint8_t address) {
    PollUntilStopped(address, [&] {
        const Par& par = *par_;
        const int missed = static_cast<int>(par.FailCount[par.CurrentAddress]);
        const LocalDateTime t = env_.now();
        Emit(json_ ? WatchJson(t, ReadingOf(par), missed).Str()
                   : WatchText(t, ReadingOf(par), missed));
    });
    return kExitDone;
}

int Tool::Log(std::uint8_t address, int period) {
    Par& par = *par_;
    // A folder that cannot be made shows as records that cannot be written.
    std::error_code ignored;
    std::filesystem::create_directories(Utf8Path(par.ProgramFolder), ignored);
    const auto started = LogMenuCommand(par, [&] { return std::to_string(period); });
    if (started.outcome != LogCommandOutcome::Started)
        return Refused(started.message.empty() ? "logging did not start" : started.message);

    std::string warning;
    const auto reportTrouble = [&] {
        const std::string now = LogWarning(par);
        if (now == warning)
            return;
        warning = now;
        Say(now.empty() ? "the log files can be written again" : now);
    };
    // The program's logging tick: a repeating one-second timer from the moment logging starts.
    auto tick = env_.platform.NewTimer();
    tick->SetInterval(kLogTickMs);
    tick->onTick = [&] {
        if (stop_)
            return;
        LogTick(par, env_.now());
        reportTrouble();
    };
    Say("logging address " + std::to_string(address) + " every " + std::to_string(period) +
        " s into " + par.ProgramFolder + "; Ctrl+C or SIGTERM ends it");
    tick->SetEnabled(true);
    PollUntilStopped(address, reportTrouble);
    tick->SetEnabled(false);
    LogMenuCommand(par, {});  // logging off, as the program's menu command leaves it
    Say("logging ended");
    return kExitDone;
}

int Tool::Ports() {
    const std::vector<PortRow> rows =
        PortRows(env_.listPorts ? env_.listPorts() : std::vector<PortInfo>{});
    if (rows.empty())
        Say("no serial ports found");
    if (json_)
        for (const PortRow& row : rows)
            Emit(PortJson(row).Str());
    else
        env_.out << PortsText(rows) << std::flush;
    return kExitDone;
}

int Tool::Scan(const Invocation& inv) {
    BusScan scan(*link_, inv.from, inv.to, inv.timeoutMs);
    const Micros start = env_.platform.NowUs();
    std::size_t shownProgress = 0;
    const auto clearProgress = [&] {
        if (shownProgress)
            env_.err << '\r' << std::string(shownProgress, ' ') << '\r' << std::flush;
        shownProgress = 0;
    };
    while (!scan.Done() && !Stopped()) {
        const std::size_t before = scan.Hits().size();
        scan.Step(stopCheck_);
        if (scan.Hits().size() > before) {
            clearProgress();
            const ScanHit& hit = scan.Hits().back();
            Emit(json_ ? ScanJson(hit).Str() : ScanText(hit));
        }
        if (env_.progress && !scan.Done()) {
            const std::string line = "scan " + std::to_string(inv.from) + "-" +
                                     std::to_string(inv.to) + ": address " +
                                     std::to_string(scan.NextAddress() - 1) + ", " +
                                     Seconds(scan.TimeLeftUs()) + " left";
            env_.err << '\r' << line;
            if (line.size() < shownProgress)
                env_.err << std::string(shownProgress - line.size(), ' ');
            env_.err << std::flush;
            shownProgress = std::max(shownProgress, line.size());
        }
    }
    clearProgress();
    if (Stopped())
        return Failed("");
    const std::size_t n = scan.Hits().size();
    Say(std::to_string(n) + (n == 1 ? " address" : " addresses") + " of " +
        std::to_string(inv.from) + "-" + std::to_string(inv.to) + " answered (" +
        Seconds(env_.platform.NowUs() - start) + ")");
    return n ? kExitDone : kExitNoAnswer;
}

int Tool::Version(std::uint8_t address, bool secondary) {
    const auto text = ReadVersion(*link_, address, !secondary, stopCheck_);
    const std::string a = std::to_string(address);
    if (!text)
        return Failed(link_->LastReceptionHadBytes() ? "address " + a + " answered, reply not valid"
                                                     : "no answer from address " + a);
    const auto version = VersionOfReply(link_->Buffers(), *text);
    if (!version)
        return Failed("address " + a + " answered, reply not valid");
    if (json_)
        Emit(JsonObject()
                 .Number("address", static_cast<long>(address))
                 .Text("which", secondary ? "secondary" : "primary")
                 .Text("version", *version, true)
                 .Str());
    else
        Emit(Printable(*version));
    return kExitDone;
}

int Tool::Setup(std::uint8_t address, const std::vector<FieldAssignment>& assignments) {
    if (const auto failed = Reach(address))
        return *failed;
    const SetupModel model{par_->Main.Flash, par_->ModelCode};
    const std::string serial = par_->Main.SeNum;
    const std::string a = std::to_string(address);
    link_->DiscardInput();
    if (!ReadSetupReply(*link_, address, stopCheck_) || !IsSetupReply(link_->Buffers()))
        return Failed("address " + a + " did not send its setup table");
    const auto& b = link_->Buffers();
    SetupTexts texts = GetSetupTable(
        SetupTableFromReply(std::span(b.RxBuffer).first(static_cast<std::size_t>(b.RxCount))),
        model);
    const bool write = !assignments.empty();
    if (write) {
        auto applied = ApplyAssignments(texts, model, assignments);
        if (const auto* why = std::get_if<std::string>(&applied))
            return Refused(*why);
        texts = std::get<SetupTexts>(applied);
        if (!WriteSetupTable(*link_, address, EncodeSetupTable(texts, model), stopCheck_))
            return WriteFailed(
                "the detector at address " + a + " did not confirm the setup table after " +
                    std::to_string(kSetupWriteAttempts) + " attempts",
                "the setup table may not have been written: check it with 'halvern-cli setup " + a +
                    "'");
    }
    const LabelledTexts fields = LabelledSetup(texts, model);
    if (json_) {
        JsonObject f;
        for (const auto& [label, text] : fields)
            f.Text(label, text, true);
        JsonObject j;
        j.Number("address", static_cast<long>(address))
            .Text("model", model.name)
            .Number("serial", serial)
            .Object("fields", f);
        if (write)
            j.Bool("confirmed", true);
        Emit(j.Str());
    } else {
        env_.out << SetupText(fields) << std::flush;
    }
    return kExitDone;
}

int Tool::Address(std::uint8_t address, std::uint8_t newAddress) {
    if (const auto failed = Reach(address))
        return *failed;
    const std::string a = std::to_string(address), n = std::to_string(newAddress);
    if (newAddress != address) {
        // Two detectors on one address would answer every query together.
        auto other = std::make_unique<Par>();
        link_->DiscardInput();
        const PollReply reply = PollStatus(*link_, *other, newAddress, stopCheck_);
        if (Stopped())
            return Failed("");
        if (reply != PollReply::None)
            return Refused("address " + n + " is taken: " +
                           (reply == PollReply::Status
                                ? Printable(other->Main.Flash) + " " + other->Main.SeNum
                                : std::string("a detector")) +
                           " answers there");
    }
    if (!WriteNewAddress(*link_, address, newAddress, stopCheck_))
        return WriteFailed("the detector at address " + a + " did not confirm its new address " +
                               n + " after " + std::to_string(kAddressWriteAttempts) + " attempts",
                           "it may still have address " + a + " or have taken address " + n +
                               ": check with 'halvern-cli status " + n + "'");
    if (json_)
        Emit(JsonObject()
                 .Number("address", static_cast<long>(address))
                 .Number("new_address", static_cast<long>(newAddress))
                 .Bool("confirmed", true)
                 .Str());
    else
        Emit("address " + a + " -> " + n + ": confirmed");
    return kExitDone;
}

int Tool::Mode(std::uint8_t address, bool snTest) {
    if (const auto failed = Reach(address))
        return *failed;
    const std::string a = std::to_string(address);
    // The maintenance window offers neither command for these two.
    if (par_->ModelCode == 36 || par_->ModelCode == 37)
        return Refused(std::string(snTest ? "the signal/noise test" : "the normal-mode command") +
                       " is not for the " + par_->Main.Flash);
    if (!WriteDetectorMode(*link_, address, snTest, par_->SnTestMode, stopCheck_))
        return WriteFailed(std::string(snTest ? kSnTestFailText : kNormalModeFailText) +
                               " (address " + a + " did not confirm after " +
                               std::to_string(kModeWriteAttempts) + " attempts)",
                           "the detector may have changed its mode");
    if (json_)
        Emit(JsonObject()
                 .Number("address", static_cast<long>(address))
                 .Text("mode", snTest ? "sn-test" : "normal")
                 .Bool("confirmed", true)
                 .Str());
    else
        Emit(snTest ? "address " + a + ": signal/noise test started"
                    : "address " + a + ": normal mode");
    return kExitDone;
}

int Tool::Align(std::uint8_t address) {
    if (const auto failed = Reach(address))
        return *failed;
    link_->Align(address, stopCheck_);
    if (Stopped())
        return Failed("");
    if (json_)
        Emit(
            JsonObject().Number("address", static_cast<long>(address)).Text("align", "sent").Str());
    else
        Emit("address " + std::to_string(address) + ": align command sent");
    return kExitDone;
}

}  // namespace halvern::cli
