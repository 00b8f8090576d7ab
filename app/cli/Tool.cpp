#include "cli/Tool.h"

#include <QDateTime>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <variant>

#include "HalvernVersion.h"
#include "cli/Output.h"
#include "cli/Serve.h"
#include "cli/SetupFields.h"
#include "config/ConfigExchanges.h"
#include "config/SetupCodec.h"
#include "config/SetupHistory.h"
#include "history/HistoryStore.h"
#include "history/ServiceEvent.h"
#include "link/Layouts.h"
#include "link/LinkFiles.h"
#include "link/Tuning.h"
#include "link/Writes.h"
#include "logging/LoggingControl.h"
#include "maintenance/MaintExchanges.h"
#include "monitor/BusScan.h"
#include "monitor/Decoder.h"
#include "monitor/MainComm.h"
#include "platform/FilePath.h"
#include "platform/WholeFile.h"
#include "ui/Dialogs.h"

namespace halvern::cli {

namespace {

constexpr const char* kProgram = "halvern-cli: ";

std::string Seconds(Micros us) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(us) / 1e6);
    return buf;
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
    ClearLine();
    env_.err << kProgram << Escaped(text, true) << "\n" << std::flush;
}

void Tool::ShowLine(const std::string& line) {
    const std::string text = Escaped(line);
    if (shownLine_ && text == shownText_)
        return;
    shownText_ = text;
    env_.err << '\r' << text;
    if (text.size() < shownLine_)
        env_.err << std::string(shownLine_ - text.size(), ' ');
    env_.err << std::flush;
    shownLine_ = std::max(shownLine_, text.size());
}

void Tool::ClearLine() {
    if (shownLine_)
        env_.err << '\r' << std::string(shownLine_, ' ') << '\r' << std::flush;
    shownLine_ = 0;
}

bool Tool::Print(const std::string& text) {
    if (!outputError_.empty())
        return false;
    env_.out << text << std::flush;
    if (env_.out)
        return true;
    const int why = errno;
    outputError_ = std::string("cannot write to standard output: ") +
                   (why ? std::strerror(why) : "write failed");
    return false;
}

bool Tool::Emit(const std::string& line) {
    return Print(line + "\n");
}

int Tool::Fail(int code, const std::string& why) {
    Say(why);
    error_ = why;
    return code;
}

int Tool::Failed(const std::string& why) {
    return Fail(kExitNoAnswer, Stopped() ? "interrupted" : why);
}

int Tool::WriteFailed(const WriteResult& result, const std::string& why, const std::string& check) {
    if (Stopped() || result.outcome == WriteOutcome::Interrupted)
        return Fail(kExitNoAnswer, "interrupted during the write; " + check);
    writeResult_ = result;
    return Fail(kExitNoAnswer,
                why + "; last attempt: " + WriteOutcomeText(result.outcome) + "; " + check);
}

std::string Tool::Suggest(const std::string& command) const {
    return "'halvern-cli" + sameRun_ + " " + command + "'";
}

int Tool::Main(const std::vector<std::string>& args) {
    const ParsedLine parsed = ParseCommandLine(args);
    int code = kExitDone;
    if (parsed.help) {
        Print(HelpText());
    } else if (parsed.version) {
        Print(std::string("halvern-cli ") + kVersion + "\n");
    } else if (!parsed.invocation) {
        json_ = AsksForJson(args);
        code = Fail(kExitUsage, parsed.error);
        env_.err << kUsageLine << std::flush;
    } else {
        code = Run(*parsed.invocation);
    }
    if (code != kExitDone && json_) {
        JsonObject failure;
        failure.Utf8("error", Escaped(error_.empty() ? "failed" : error_))
            .Number("exit_code", static_cast<long>(code));
        if (writeResult_)
            failure.Text("reason", WriteOutcomeText(writeResult_->outcome))
                .Number("attempts", static_cast<long>(writeResult_->attempts));
        Emit(failure.Str());
    }
    // Output a script never got is no success.
    if (!outputError_.empty()) {
        Say(outputError_);
        return code == kExitDone ? kExitNoAnswer : code;
    }
    return code;
}

int Tool::Run(const Invocation& inv) {
    json_ = inv.json;
    if (inv.command == Command::Ports)
        return Ports();  // opens no port: any --device or --port is beside the point
    if (inv.command == Command::Setup) {
        const std::string why = CheckForEveryModel(inv.assignments);
        if (!why.empty())
            return Refused(why);
        // A file that cannot be loaded is refused before anything is sent.
        if (const std::string refused = ReadLoadFile(inv.loadFile); !refused.empty())
            return Refused(refused);
    }
    const std::string folder = env_.programFolder(inv.dataDir);
    if (inv.command == Command::History)
        return History(inv, folder);  // the history opens no port
    if (inv.command == Command::Report)
        return Report(inv, folder);
    std::string device = DevicePath(inv.device, env_.currentFolder);
    if (!device.empty())
        sameRun_ = " --device " + ShellWord(device);
    else if (inv.port)
        sameRun_ = " --port " + std::to_string(*inv.port);
    if (!inv.dataDir.empty())
        sameRun_ += " --data-dir " + ShellWord(inv.dataDir);
    if (device.empty()) {
        int number = inv.port.value_or(0);
        const std::string portFile = JoinPath(folder, kPortFile);
        std::string problem;
        if (!inv.port && FileExists(portFile, &problem)) {
            number = LoadPortNumber(portFile);
            device = LoadPortGateway(portFile);  // the program's network gateway, if chosen
        }
        if (!problem.empty())
            Say(problem);
        if (number < 1 && device.empty())
            return Refused("no port chosen: give --device PATH or --port N");
        if (device.empty())
            device = env_.deviceForPort(number);
    }
    std::string why;
    if (!env_.port.Open(device, &why))
        return Fail(kExitPort, why.find(device) != std::string::npos
                                   ? why
                                   : "cannot open " + device + ": " + why);
    // What the port reports (RTS refused, device gone) is said at once, so that it stands
    // before the results it may explain: a pseudo-terminal or an adapter that switches
    // direction by itself refuses RTS and works all the same.
    env_.port.onNotice = [this](const std::string& notice) { Say(notice); };

    par_ = std::make_unique<Par>();
    par_->ProgramFolder = folder;
    Link link(env_.platform, env_.port, par_->Link);
    if (inv.networkAllowanceMs)
        link.NetworkAllowanceUs = MsToUs(*inv.networkAllowanceMs);
    const std::string tuneFile = JoinPath(folder, kTuneFile);
    std::string problem;
    if (FileExists(tuneFile, &problem))
        link.TurnaroundDelay = LoadTurnaroundDelay(tuneFile);
    if (!problem.empty())
        Say(problem + "; the turnaround delay stays " +
            std::to_string(static_cast<long long>(link.TurnaroundDelay)) + " us");
    link_ = &link;
    HistoryStore history = CliHistoryStore(folder);
    par_->History = &history;
    const int code = Dispatch(inv);
    // An event that could not be written is said, never lost without a word.
    if (!history.Flush()) {
        const std::size_t n = history.Pending();
        Say("the service history " + history.Path() + " could not be written (" +
            history.WriteError() + "): " + std::to_string(n) + (n == 1 ? " event" : " events") +
            " of this command not recorded");
    }
    par_->History = nullptr;
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
            return Watch(a, inv.intervalS);
        case Command::Scan:
            return Scan(inv);
        case Command::Version:
            return Version(a, inv.secondary);
        case Command::Setup:
            return Setup(a, inv);
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
        case Command::Serve:
            return cli::Serve(
                inv, {env_.platform, env_.port, *link_, env_.now, par_->ProgramFolder, stopCheck_,
                      [this](const std::string& s) { Say(s); },
                      [this](int code, const std::string& why) { return Fail(code, why); }});
        case Command::History:
        case Command::Report:
            break;  // run without the port
    }
    return kExitUsage;
}

std::optional<int> Tool::Reach(std::uint8_t address) {
    const StatusPoll poll = PollStatus(*link_, address, stopCheck_);
    // Only the detector asked may be checked, written or shown.
    const std::string wrong =
        NotTheAnswer(poll.reception, address, poll.reply == PollReply::Status, "a status reply");
    if (!wrong.empty())
        return Failed(wrong);
    TakeReading(*par_, *poll.reading);
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
        Print(StatusText(r));
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

int Tool::Watch(std::uint8_t address, int intervalS) {
    // With an interval, the first poll of each interval from the first line on gives its line.
    std::optional<Micros> due;
    PollUntilStopped(address, [&] {
        if (intervalS > 0) {
            const Micros now = env_.platform.NowUs();
            if (due && now < *due)
                return;
            const Micros step = static_cast<Micros>(intervalS) * 1'000'000;
            due = due ? *due + step : now + step;
            while (*due <= now)
                *due += step;
        }
        const Par& par = *par_;
        const int missed = static_cast<int>(par.FailCount[par.CurrentAddress]);
        const LocalDateTime t = env_.now();
        if (!Emit(json_ ? WatchJson(t, ReadingOf(par), missed).Str()
                        : WatchText(t, ReadingOf(par), missed)))
            RequestStop();
    });
    return kExitDone;
}

int Tool::Log(std::uint8_t address, int period) {
    Par& par = *par_;
    // A folder that is not there is not made: records that cannot be written are said, and a
    // log that wrote none ends as a failure.
    const auto started = LogMenuCommand(par, [&] { return std::to_string(period); });
    if (started.outcome != LogCommandOutcome::Started)
        return Refused(started.message.empty() ? "logging did not start" : started.message);

    std::string warning, lastProblem;
    const auto reportTrouble = [&] {
        const std::string now = LogWarning(par);
        if (!now.empty())
            lastProblem = now;
        if (now == warning)
            return;
        warning = now;
        Say(now.empty() ? "the log files can be written again" : now);
    };
    const std::string a = std::to_string(address);
    bool answered = false;
    std::string lastReading = "none";
    const auto afterPoll = [&] {
        reportTrouble();
        if (par.Main.Com == "Good") {
            answered = true;
            const Reading r = ReadingOf(par);
            lastReading = LongTimeText(env_.now()) + " " + r.status + " gas " + r.gas;
        }
        if (!env_.progress)
            return;
        const auto missed = static_cast<long>(par.FailCount[par.CurrentAddress]);
        const auto written = par.LogRecordsWritten;
        ShowLine("log " + a + ": " + std::to_string(written) +
                 (written == 1 ? " record" : " records") + " written, " + "last reading " +
                 lastReading + ", " + std::to_string(par.LogWriteFailures) + " write failures" +
                 (missed ? ", missed " + std::to_string(missed) : ""));
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
    Say("logging address " + a + " every " + std::to_string(period) + " s into " +
        par.ProgramFolder + "; Ctrl+C or SIGTERM ends it");
    tick->SetEnabled(true);
    PollUntilStopped(address, afterPoll);
    tick->SetEnabled(false);
    LogMenuCommand(par, {});  // logging off, as the program's menu command leaves it
    const auto written = par.LogRecordsWritten;
    Say("logging ended: " + std::to_string(written) + (written == 1 ? " record" : " records") +
        " written");
    if (written == 0 && par.LogWriteFailures > 0)
        return Fail(kExitNoAnswer, "no record could be written: " + lastProblem);
    if (!answered)
        return Fail(kExitNoAnswer, "address " + a + " never answered: no reading was logged");
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
        Print(PortsText(rows));
    return kExitDone;
}

int Tool::Scan(const Invocation& inv) {
    BusScan scan(*link_, inv.from, inv.to, inv.timeoutMs);
    const Micros start = env_.platform.NowUs();
    bool printed = true;
    while (!scan.Done() && !Stopped() && printed) {
        const std::size_t before = scan.Hits().size();
        scan.Step(stopCheck_);
        // A step may list several: addresses asked again for what its wait saw.
        for (std::size_t i = before; i < scan.Hits().size() && printed; ++i) {
            ClearLine();
            const ScanHit& hit = scan.Hits()[i];
            printed = Emit(json_ ? ScanJson(hit).Str() : ScanText(hit));
        }
        if (env_.progress && !scan.Done())
            ShowLine("scan " + std::to_string(inv.from) + "-" + std::to_string(inv.to) +
                     ": address " + std::to_string(scan.NextAddress() - 1) + ", " +
                     Seconds(scan.TimeLeftUs()) + " left");
    }
    ClearLine();
    if (!printed)
        return kExitNoAnswer;  // said as the output's failure
    if (Stopped())
        return Failed("");
    if (scan.Noisy())
        return Failed(scan.NoiseText());
    const std::size_t n = scan.Hits().size();
    const std::string summary = std::to_string(n) + (n == 1 ? " address" : " addresses") + " of " +
                                std::to_string(inv.from) + "-" + std::to_string(inv.to) +
                                " answered (" + Seconds(env_.platform.NowUs() - start) + ")";
    if (n == 0)
        return Fail(kExitNoAnswer, summary);
    Say(summary);
    return kExitDone;
}

int Tool::Version(std::uint8_t address, bool secondary) {
    const VersionRead read = ReadVersion(*link_, address, !secondary, stopCheck_);
    RecordVersion(*par_, address, !secondary, read);
    if (!read.version)
        return Failed(read.refusal);
    const std::string& version = *read.version;
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

int Tool::Setup(std::uint8_t address, const Invocation& inv) {
    if (const auto failed = Reach(address))
        return *failed;
    const SetupModel model{par_->Reading.ModelName, par_->Reading.ModelCode};
    const std::string serial = std::to_string(static_cast<long>(par_->Reading.SerialNumber));
    const std::string a = std::to_string(address);
    // Another model's table is refused before its own is asked for.
    if (loaded_)
        if (const std::string why = SetupModelMismatch(*loaded_, model, address); !why.empty())
            return Refused(inv.loadFile + ": " + why);
    link_->DiscardInput();
    if (!ReadSetupReply(*link_, address, stopCheck_)) {
        RecordAction(*par_, address, kActionSetupRead, "", "", false);
        return Failed("address " + a + " did not send its setup table");
    }
    const auto& b = link_->Buffers();
    const auto reply = std::span(b.RxBuffer).first(static_cast<std::size_t>(b.RxCount));
    const SetupTable read = SetupTableFromReply(reply);
    if (loaded_)
        return LoadSetup(address, model, read, inv);
    SetupTexts texts = ShownSetupTexts(read, model);
    const bool write = !inv.assignments.empty();
    if (write) {
        auto applied = ApplyAssignments(texts, model, inv.assignments);
        if (const auto* why = std::get_if<std::string>(&applied))
            return Refused(*why);
        const auto& edit = std::get<SetupEdit>(applied);
        texts = edit.texts;
        // Fields not named are written back as read, values without a text of their own too.
        const auto burn = SetupTableToBurn(read, texts, edit.named, model);
        if (const auto* refused = std::get_if<SetupRefusal>(&burn))
            return Refused(SetupRefusalMessage(*refused, texts, SetupLayoutFor(model)));
        const WriteResult written =
            WriteSetupTable(*link_, address, std::get<SetupTable>(burn), stopCheck_);
        RecordSetup(*par_, address, model, read, std::get<SetupTable>(burn), written.Confirmed(),
                    written.attempts);
        if (!written.Confirmed())
            return WriteFailed(written,
                               "the detector at address " + a +
                                   " did not confirm the setup table after " +
                                   std::to_string(written.attempts) + " attempts",
                               "the setup table may not have been written: check it with " +
                                   Suggest("setup " + a));
    }
    if (!write)
        RecordSetup(*par_, address, model, std::nullopt, read, true);
    if (!inv.saveFile.empty())
        if (const std::string why = SaveSetup(address, model, reply, inv.saveFile); !why.empty())
            return Fail(kExitNoAnswer, why);
    const LabelledTexts fields = LabelledSetup(texts, model);
    if (json_) {
        JsonObject j;
        j.Number("address", static_cast<long>(address))
            .Text("model", model.name)
            .Number("serial", serial)
            .Object("fields", SetupFieldsJson(fields));
        if (write)
            j.Bool("confirmed", true);
        else
            j.Number("confirmed", "");
        if (!inv.saveFile.empty())
            j.Utf8("file", inv.saveFile);
        Emit(j.Str());
    } else {
        if (write)
            Emit("address " + a + ": setup table written: confirmed");
        if (!inv.saveFile.empty())
            Emit("address " + a + ": setup table saved to " + Escaped(inv.saveFile));
        Print(SetupText(fields));
    }
    return kExitDone;
}

std::string Tool::ReadLoadFile(const std::string& path) {
    if (path.empty())
        return {};
    std::string bytes;
    if (std::string why = ReadSetupFileBytes(path, bytes); !why.empty())
        return why;
    auto parsed = ParseSetupFile(bytes);
    if (const auto* reason = std::get_if<std::string>(&parsed))
        return path + ": " + *reason;
    loaded_ = std::get<SetupFile>(std::move(parsed));
    return {};
}

std::string Tool::SaveSetup(std::uint8_t address, const SetupModel& model,
                            std::span<const std::uint8_t> reply, const std::string& path) {
    const StatusReading& r = par_->Reading;
    const SetupFile file{
        .program = "halvern-cli",
        .programVersion = kVersion,
        .savedUtc = QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddTHH:mm:ssZ").toStdString(),
        .address = address,
        .modelCode = static_cast<std::uint16_t>(r.Variant << 8 | (r.ModelCode & 0xFF)),
        .model = model.name,
        .serial = static_cast<long>(r.SerialNumber),
        .registers = SetupRegistersFromReply(reply)};
    std::string why;
    WriteWholeFile(path, SetupFileJson(file), why);
    return why;
}

int Tool::LoadSetup(std::uint8_t address, const SetupModel& model, const SetupTable& read,
                    const Invocation& inv) {
    const std::string a = std::to_string(address);
    const SetupTable wanted = SetupTableOf(*loaded_);
    const auto differences = SetupDifferences(read, wanted, model);
    const bool write = !differences.empty() && !inv.dryRun;
    std::optional<WriteResult> written;
    if (write) {
        // The file's settings as if typed into the setup screen: the screen's own Burn.
        const SetupTexts texts = LoadedSetupTexts(read, wanted, model);
        const auto burn =
            SetupTableToBurn(read, texts, ChangedSetupFields(read, texts, model), model);
        if (const auto* refused = std::get_if<SetupRefusal>(&burn))
            return Refused(SetupRefusalMessage(*refused, texts, SetupLayoutFor(model)));
        written = WriteSetupTable(*link_, address, std::get<SetupTable>(burn), stopCheck_);
        RecordSetup(*par_, address, model, read, std::get<SetupTable>(burn), written->Confirmed(),
                    written->attempts,
                    SetupFileSource(DevicePath(inv.loadFile, env_.currentFolder), *loaded_));
    } else {
        RecordSetup(*par_, address, model, std::nullopt, read, true);
    }
    const std::string outcome = differences.empty() ? "nothing to change"
                                : !write            ? "dry run, nothing written"
                                                    : "setup table written: confirmed";
    if (json_) {
        JsonObject changes;
        for (const SetupDifference& d : differences)
            changes.Object(JsonKeyOf(d.caption), JsonObject()
                                                     .Text("label", d.caption)
                                                     .Text("detector", d.detector, true)
                                                     .Text("file", d.file, true));
        if (!written || written->Confirmed())
            Emit(JsonObject()
                     .Number("address", static_cast<long>(address))
                     .Text("model", model.name)
                     .Number("serial", static_cast<long>(par_->Reading.SerialNumber))
                     .Utf8("file", inv.loadFile)
                     .Object("differences", changes)
                     .Bool("written", write)
                     .Str());
    } else {
        LabelledTexts lines;
        for (const SetupDifference& d : differences)
            lines.emplace_back(d.caption, d.detector + " -> " + d.file);
        Print(SetupText(lines));
        if (!written || written->Confirmed())
            Emit("address " + a + ": " + outcome);
    }
    if (written && !written->Confirmed())
        return WriteFailed(
            *written,
            "the detector at address " + a + " did not confirm the setup table after " +
                std::to_string(written->attempts) + " attempts",
            "the setup table may not have been written: check it with " + Suggest("setup " + a));
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
    const WriteResult written = WriteNewAddress(*link_, address, newAddress, stopCheck_);
    RecordAction(*par_, address, kActionAddress, a, n, written.Confirmed(), written.attempts);
    if (written.Confirmed())
        MoveAddressInFile(JoinPath(par_->ProgramFolder, kKnownDetectorsFile), address, newAddress);
    if (!written.Confirmed())
        return WriteFailed(written,
                           "the detector at address " + a + " did not confirm its new address " +
                               n + " after " + std::to_string(written.attempts) + " attempts",
                           "it may still have address " + a + " or have taken address " + n +
                               ": check with " + Suggest("status " + n));
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
    if (par_->Reading.ModelCode == kLamp411 || par_->Reading.ModelCode == kLamp412)
        return Refused(std::string(snTest ? "the signal/noise test" : "the normal-mode command") +
                       " is not for the " + par_->Reading.ModelName);
    const WriteResult written =
        WriteDetectorMode(*link_, address, snTest, par_->SnTestMode, stopCheck_);
    if (!written.Confirmed())
        RecordAction(*par_, address, snTest ? kActionSnTest : kActionNormal, "",
                     snTest ? "S/N test mode" : "normal mode", false, written.attempts);
    if (!written.Confirmed())
        return WriteFailed(written,
                           std::string(snTest ? kSnTestFailText : kNormalModeFailText) +
                               " (address " + a + " did not confirm after " +
                               std::to_string(written.attempts) + " attempts)",
                           snTest ? "the detector may be in its signal/noise test all the same: "
                                    "end it with " +
                                        Suggest("normal " + a)
                                  : "the detector may have changed its mode");
    // The noise figures as the maintenance window shows them in the test: its next poll.
    bool noiseRead = false;
    if (snTest) {
        par_->SnTestMode = true;
        link_->DiscardInput();
        noiseRead = PollMaintenance(*link_, *par_, address, stopCheck_);
    }
    const MaintPanel& m = par_->Maint;
    RecordAction(*par_, address, snTest ? kActionSnTest : kActionNormal, "",
                 !snTest     ? "normal mode"
                 : noiseRead ? NoiseSummary(m)
                             : "S/N test mode",
                 true, written.attempts);
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
            Print(NoiseText(m));
    }
    if (snTest) {
        if (!noiseRead)
            Say(Stopped() ? "interrupted before the noise figures were read"
                          : "the noise figures were not read: no status reply from address " + a);
        Say("the detector stays in its signal/noise test: end it with " + Suggest("normal " + a));
    }
    return kExitDone;
}

int Tool::Align(std::uint8_t address) {
    if (const auto failed = Reach(address))
        return *failed;
    link_->Align(address, stopCheck_);
    RecordAction(*par_, address, kActionAlign, "", "align command sent", std::nullopt);
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
