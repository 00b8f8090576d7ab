#include "cli/History.h"

#include <QDateTime>

#include "HalvernVersion.h"
#include "cli/Tool.h"
#include "history/ReportPdf.h"
#include "history/ServiceReport.h"
#include "link/LinkFiles.h"

namespace halvern::cli {

namespace {

std::string Indented(const std::string& caption, const std::string& text) {
    std::string out = "    " + caption;
    for (const char c : text)
        out += c == '\n' ? std::string("\n    ") + std::string(caption.size(), ' ')
                         : std::string(1, c);
    return out + "\n";
}

}  // namespace

HistoryStore CliHistoryStore(const std::string& folder) {
    return HistoryStore(JoinPath(folder, kHistoryFile), CliHistoryWriter(), {},
                        kHistoryCliBusyTimeoutMs);
}

HistoryWriter CliHistoryWriter() {
    return {"halvern-cli", kVersion, PcUserName()};
}

std::string HistoryText(const ServiceEvent& e) {
    const std::string outcome = OutcomeText(e);
    std::string text = e.local + "  " + e.serial + "  " + e.model + "  " +
                       std::to_string(e.address) + "  " + e.action + "  " + outcome + "  " +
                       e.user + "\n";
    if (!e.before.empty())
        text += Indented("before: ", e.before);
    if (!e.after.empty())
        text += Indented("after:  ", e.after);
    return text;
}

JsonObject HistoryJson(const ServiceEvent& e) {
    JsonObject j;
    j.Number("id", static_cast<long>(e.id))
        .Utf8("utc", e.utc)
        .Utf8("local", e.local)
        .Utf8("serial", e.serial)
        .Utf8("model", e.model)
        .Number("address", static_cast<long>(e.address))
        .Utf8("action", e.action)
        .Utf8("before", e.before)
        .Utf8("after", e.after)
        .Utf8("raw_before", e.rawBefore)
        .Utf8("raw_after", e.rawAfter);
    if (e.confirmed)
        j.Bool("confirmed", *e.confirmed);
    else
        j.Number("confirmed", "");
    j.Number("attempts", e.attempts ? std::to_string(*e.attempts) : std::string())
        .Utf8("status", e.status)
        .Utf8("program", e.program)
        .Utf8("version", e.version)
        .Utf8("user", e.user);
    return j;
}

int Tool::History(const Invocation& inv, const std::string& folder) {
    HistoryStore store = CliHistoryStore(folder);
    HistoryQuery query;
    query.serial = inv.serial;
    query.sinceLocal = inv.since;
    // Each event printed as it is read: years of them take no memory.
    const bool read = store.ForEach(query, [&](ServiceEvent&& e) {
        return json_ ? Emit(HistoryJson(e).Str()) : Print(HistoryText(e));
    });
    if (!read)
        return Failed("cannot read the service history " + store.Path() + ": " + store.ReadError());
    return kExitDone;
}

int Tool::Report(const Invocation& inv, const std::string& folder) {
    HistoryStore store = CliHistoryStore(folder);
    const ReportData report = ReportFromStore(store, inv.serial, inv.days,
                                              QDateTime::currentDateTimeUtc(), CliHistoryWriter());
    if (!store.ReadError().empty())
        return Failed("cannot read the service history " + store.Path() + ": " + store.ReadError());
    if (report.statusWhen.empty())
        Say("the service history holds no event of serial number " + inv.serial);
    std::string why;
    const std::string path = DevicePath(inv.output, env_.currentFolder);
    if (!WriteReportPdf(ReportHtml(report), path, inv.letter ? ReportPage::Letter : ReportPage::A4,
                        why))
        return Failed(why);
    if (json_)
        Emit(JsonObject()
                 .Utf8("serial", inv.serial)
                 .Utf8("file", path)
                 .Number("events", static_cast<long>(report.events.size()))
                 .Str());
    else
        Emit("service report of " + inv.serial + " written to " + path);
    return kExitDone;
}

}  // namespace halvern::cli
