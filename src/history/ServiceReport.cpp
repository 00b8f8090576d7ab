#include "history/ServiceReport.h"

#include <QStringList>
#include <algorithm>
#include <utility>

namespace halvern {

namespace {

QString Html(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped().replace('\n', "<br>");
}

QString Or(const std::string& text, const char* otherwise = "not known") {
    return text.empty() ? QString("<i>%1</i>").arg(otherwise) : Html(text);
}

QString Row(const char* caption, const QString& value) {
    return QString("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(caption, value);
}

// "primary: 1.23" -> "1.23" for the kind asked.
std::string VersionOf(const ServiceEvent& e, const std::string& kind) {
    const std::string prefix = kind + ": ";
    return e.after.rfind(prefix, 0) == 0 ? e.after.substr(prefix.size()) : std::string();
}

// The lines of a text, for comparing a setup table before and after.
QStringList Lines(const std::string& text) {
    return QString::fromStdString(text).split('\n');
}

// An event's texts in the list: of a setup write only the fields it changed; a table on one
// line ("Gas Type: 2; Alarm Latch: NO"), so that the list stays short.
std::pair<QString, QString> ListedTexts(const ServiceEvent& e) {
    QStringList before = Lines(e.before), after = Lines(e.after);
    // A table loaded from a file names the file in a line after it.
    if (e.action == kActionSetupWrite && before.size() <= after.size()) {
        QStringList b, a;
        for (qsizetype i = 0; i < before.size(); ++i)
            if (before[i] != after[i]) {
                b << before[i];
                a << after[i];
            }
        a << after.mid(before.size());
        if (b.isEmpty())
            b << "(unchanged)";
        before = b;
        after = a.isEmpty() ? b : a;
    }
    const auto join = [](const QStringList& l) { return l.join("; ").toHtmlEscaped(); };
    return {join(before), join(after)};
}

// The start of the period of `days` days before `now`, as the history stamps its events.
std::string PeriodStart(const QDateTime& now, int days) {
    return now.toUTC().addDays(-days).toString("yyyy-MM-ddTHH:mm:ssZ").toStdString();
}

}  // namespace

ReportData ReportFromStore(HistoryStore& store, const std::string& serial, int days,
                           const QDateTime& now, const HistoryWriter& by) {
    const ReportEvents found = store.ForReport(serial, PeriodStart(now, days), kReportMostEvents);
    ReportData r = ReportFromHistory(serial, found.events, days, now, by);
    // The events of the period that were not read are counted all the same.
    r.olderEvents = std::max(0, found.inPeriod - static_cast<int>(r.events.size()));
    return r;
}

ReportData ReportFromHistory(const std::string& serial, const std::vector<ServiceEvent>& history,
                             int days, const QDateTime& now, const HistoryWriter& by) {
    ReportData r;
    r.serial = serial;
    r.days = days;
    r.by = by;
    r.made = now.toLocalTime().toString("yyyy-MM-dd HH:mm").toStdString();
    const std::string since = PeriodStart(now, days);
    for (const ServiceEvent& e : history) {
        if (e.serial != serial)
            continue;
        if (r.model.empty())
            r.model = e.model;
        if (r.address.empty()) {
            // A confirmed change moved the detector: it answers at the new address now.
            const bool moved =
                e.action == kActionAddress && e.confirmed.value_or(false) && !e.after.empty();
            r.address = moved ? e.after : std::to_string(e.address);
        }
        if (r.statusWhen.empty()) {
            r.status = e.status;
            r.statusWhen = e.local;
        }
        const bool ok = e.confirmed.value_or(true);
        if (e.action == kActionVersion && ok) {
            if (r.primaryVersion.empty())
                r.primaryVersion = VersionOf(e, "primary");
            if (r.secondaryVersion.empty())
                r.secondaryVersion = VersionOf(e, "secondary");
        }
        if ((e.action == kActionSetupRead || e.action == kActionSetupWrite) && ok &&
            r.setupWhen.empty() && !e.after.empty()) {
            r.setup = e.after;
            r.setupWhen = e.local;
        }
        if (e.action == kActionSnTest && ok && r.noiseWhen.empty()) {
            r.noise = e.after;
            r.noiseWhen = e.local;
        }
        if (e.utc >= since) {
            if (static_cast<int>(r.events.size()) < kReportMostEvents)
                r.events.push_back(e);
            else
                ++r.olderEvents;
        }
    }
    return r;
}

QString ReportHtml(const ReportData& r) {
    QString h = "<html><body style=\"font-family: sans-serif; font-size: 9pt;\">";
    h += QString("<h2>Service report of detector %1</h2>").arg(Html(r.serial));
    h += "<table cellspacing=\"0\" cellpadding=\"2\">";
    h += Row("Model", Or(r.model));
    h += Row("Serial No.", Or(r.serial));
    h += Row("Address", Or(r.address));
    h += Row("Primary version", Or(r.primaryVersion, "not read"));
    h += Row("Secondary version", Or(r.secondaryVersion, "not read"));
    h += Row("Status",
             r.status.empty() ? Or(r.status) : Html(r.status) + " (" + Html(r.statusWhen) + ")");
    h += "</table>";
    h += "<h3>Setup table</h3>";
    h += r.setup.empty() ? QString("<p><i>never read</i></p>")
                         : QString("<p>%1<br><small>read or written %2</small></p>")
                               .arg(Html(r.setup), Html(r.setupWhen));
    h += "<h3>Last S/N test</h3>";
    h += r.noise.empty()
             ? QString("<p><i>no confirmed S/N test</i></p>")
             : QString("<p>%1<br><small>%2</small></p>").arg(Html(r.noise), Html(r.noiseWhen));
    h += QString("<h3>History of the last %1 days</h3>").arg(r.days);
    if (r.events.empty()) {
        h += "<p><i>no events</i></p>";
    } else {
        h += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">"
             "<tr><th>Time</th><th>Action</th><th>Before</th><th>After</th><th>Outcome</th>"
             "<th>User</th></tr>";
        for (const ServiceEvent& e : r.events) {
            const auto texts = ListedTexts(e);
            const QString outcome = QString::fromStdString(OutcomeText(e));
            h += QString(
                     "<tr><td style=\"white-space: nowrap\">%1</td><td>%2</td><td>%3</td>"
                     "<td>%4</td><td style=\"white-space: nowrap\">%5</td><td>%6</td></tr>")
                     .arg(Html(e.local), Html(e.action), texts.first, texts.second,
                          outcome.toHtmlEscaped(), Html(e.user));
        }
        h += "</table>";
        if (r.olderEvents > 0)
            h += QString("<p><small>and %1 older events of the period, not listed</small></p>")
                     .arg(r.olderEvents);
    }
    h += QString("<p><small>Made %1 by %2 with %3 %4</small></p>")
             .arg(Html(r.made), Or(r.by.user), Html(r.by.program), Html(r.by.version));
    h += "</body></html>";
    return h;
}

}  // namespace halvern
