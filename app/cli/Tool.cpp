#include "cli/Tool.h"

#include <algorithm>
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
#include "monitor/Decoder.h"
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

constexpr int kExceptionBytes = 5;        // address, 200, code, CRC: function 200 keeps its byte
constexpr std::size_t kCommandIndex = 4;  // a version reply repeats the code asked for there

// The taken reply is a version of the kind `code` asks for: an exception (five bytes, function
// 200 too) or a status reply (its marker where the code stands) holds none.
bool IsVersionReply(const LinkBuffers& b, std::uint8_t code) {
    return b.RxBuffer[1] == FunctionCommand && b.RxCount >= kVersionHeaderBytes + 2 &&
           b.RxBuffer[kCommandIndex] == code;
}

// What the taken reply is, by its own bytes.
std::string WhatCame(const LinkBuffers& b) {
    const auto own =
        std::span(b.RxBuffer).first(static_cast<std::size_t>(std::max<int>(b.RxCount, 0)));
    if (b.RxBuffer[1] == FunctionCommand) {
        if (b.RxCount == kExceptionBytes)
            return "an exception (code " + std::to_string(b.RxBuffer[2]) + ")";
        if (PassesAcceptanceTest(own))
            return "a status reply";
        if (IsVersionReply(b, kCodePrimaryVersion))
            return "a primary version";
        if (IsVersionReply(b, kCodeSecondaryVersion))
            return "a secondary version";
    }
    return "a reply of function " + std::to_string(b.RxBuffer[1]) + ", " +
           std::to_string(b.RxCount) + " bytes";
}

// Why the taken reply is not the answer to the question: another address answered, or the
// asked one with another kind of reply. Empty when it is the answer.
std::string NotTheAnswer(const LinkBuffers& b, std::uint8_t address, bool kindAsked,
                         const std::string& asked) {
    const std::string a = std::to_string(address);
    if (b.RxBuffer[0] != address)
        return "address " + a + " was asked, but address " + std::to_string(b.RxBuffer[0]) +
               " answered, with " + WhatCame(b);
    if (!kindAsked)
        return "address " + a + " answered with " + WhatCame(b) + ", not " + asked;
    return {};
}

std::string NoValidAnswer(std::uint8_t address, std::size_t bytes) {
    return "no valid answer from address " + std::to_string(address) + ": " +
           std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes") +
           " came that are not a whole reply";
}

// The version text of the reply just taken, cut to the reply's own bytes: a secondary version
// is read as 20 characters, which a short reply does not hold.
std::string VersionOfReply(const LinkBuffers& b, const std::string& text) {
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
    switch (reply) {
        case PollReply::None:
            return Failed("no answer from address " + std::to_string(address));
        case PollReply::Broken:
            return Failed(NoValidAnswer(address, link_->LastReceptionBytes()));
        default:
            break;
    }
    // Only the detector asked may be checked, written or shown.
    const std::string wrong =
        NotTheAnswer(link_->Buffers(), address, reply == PollReply::Status, "a status reply");
    if (!wrong.empty())
        return Failed(wrong);
    par_->Main.Com = "Good";
    return std::nullopt;
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
        // A step may list several: addresses asked again for what its wait saw.
        for (std::size_t i = before; i < scan.Hits().size(); ++i) {
            clearProgress();
            const ScanHit& hit = scan.Hits()[i];
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
    if (scan.Noisy())
        return Failed(scan.NoiseText());
    const std::size_t n = scan.Hits().size();
    Say(std::to_string(n) + (n == 1 ? " address" : " addresses") + " of " +
        std::to_string(inv.from) + "-" + std::to_string(inv.to) + " answered (" +
        Seconds(env_.platform.NowUs() - start) + ")");
    return n ? kExitDone : kExitNoAnswer;
}

int Tool::Version(std::uint8_t address, bool secondary) {
    const auto text = ReadVersion(*link_, address, !secondary, stopCheck_);
    if (!text)
        return Failed(link_->LastReceptionHadBytes()
                          ? NoValidAnswer(address, link_->LastReceptionBytes())
                          : "no answer from address " + std::to_string(address));
    const LinkBuffers& b = link_->Buffers();
    const std::string wrong = NotTheAnswer(
        b, address, IsVersionReply(b, secondary ? kCodeSecondaryVersion : kCodePrimaryVersion),
        secondary ? "a secondary version" : "a primary version");
    if (!wrong.empty())
        return Failed(wrong);
    const std::string version = VersionOfReply(b, *text);
    if (json_)
        Emit(JsonObject()
                 .Number("address", static_cast<long>(address))
                 .Text("which", secondary ? "secondary" : "primary")
                 .Text("version", version, true)
                 .Str());
    else
        Emit(Printable(version));
    return kExitDone;
}

int Tool::Setup(std::uint8_t address, const std::vector<FieldAssignment>& assignments) {
    if (const auto failed = Reach(address))
        return *failed;
    const SetupModel model{par_->Main.Flash, par_->ModelCode};
    const std::string serial = par_->Main.SeNum;
    const std::string a = std::to_string(address);
    link_->DiscardInput();
    if (!ReadSetupReply(*link_, address, stopCheck_))
        return Failed("address " + a + " did not send its setup table");
    const auto& b = link_->Buffers();
    const SetupTable read =
        SetupTableFromReply(std::span(b.RxBuffer).first(static_cast<std::size_t>(b.RxCount)));
    SetupTexts texts = GetSetupTable(read, model);
    const bool write = !assignments.empty();
    if (write) {
        auto applied = ApplyAssignments(texts, model, assignments);
        if (const auto* why = std::get_if<std::string>(&applied))
            return Refused(*why);
        const auto& edit = std::get<SetupEdit>(applied);
        texts = edit.texts;
        // Fields not named are written back as read, values without a text of their own too.
        const auto burn = SetupTableToBurn(read, texts, edit.named, model);
        if (const auto* refused = std::get_if<SetupRefusal>(&burn))
            return Refused(SetupRefusalMessage(*refused, texts, SetupLayoutFor(model)));
        if (!WriteSetupTable(*link_, address, std::get<SetupTable>(burn), stopCheck_))
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
        link_->DiscardInput();
        const auto who = DetectorAt(*link_, newAddress, stopCheck_);
        if (Stopped())
            return Failed("");
        if (who)
            return Refused("address " + n + " is taken: " + *who + " answers there");
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
                           snTest ? "the detector may be in its signal/noise test all the same: "
                                    "end it with 'halvern-cli normal " +
                                        a + "'"
                                  : "the detector may have changed its mode");
    // The noise figures as the maintenance window shows them in the test: its next poll.
    bool noiseRead = false;
    if (snTest) {
        par_->SnTestMode = true;
        link_->DiscardInput();
        noiseRead = PollMaintenance(*link_, *par_, address, stopCheck_);
    }
    const MaintPanel& m = par_->Maint;
    if (json_) {
        JsonObject j;
        j.Number("address", static_cast<long>(address))
            .Text("mode", snTest ? "sn-test" : "normal")
            .Bool("confirmed", true);
        if (snTest)
            j.Number("sig1_noise", noiseRead ? m.S1N : "")
                .Number("sig2_noise", noiseRead ? m.S2N : "")
                .Number("ref_noise", noiseRead ? m.R2N : "");
        Emit(j.Str());
    } else {
        Emit(snTest ? "address " + a + ": signal/noise test started"
                    : "address " + a + ": normal mode");
        if (noiseRead)
            env_.out << NoiseText(m) << std::flush;
    }
    if (snTest) {
        if (!noiseRead)
            Say(Stopped() ? "interrupted before the noise figures were read"
                          : "the noise figures were not read: no status reply from address " + a);
        Say("the detector stays in its signal/noise test: end it with 'halvern-cli normal " + a +
            "'");
    }
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
