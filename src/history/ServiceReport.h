#pragma once
// The service report of one detector, made from its history: model, serial number, address,
// versions, the setup table, the last S/N figures, the status, its recent events, and who made
// the report when with which program. A document in HTML for Qt's text document; ReportPdf
// lays it out on pages.

#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "history/HistoryStore.h"

namespace halvern {

constexpr int kReportDefaultDays = 90;
// The events listed at most: the report stays readable on one or two pages.
constexpr int kReportMostEvents = 30;

struct ReportData {
    std::string serial, model, address;
    std::string primaryVersion, secondaryVersion;
    std::string setup;  // the setup table last read or confirmed, one field a line
    std::string setupWhen;
    std::string noise;  // the last confirmed S/N test's figures
    std::string noiseWhen;
    std::string status;  // the status at the newest event
    std::string statusWhen;
    std::vector<ServiceEvent> events;  // of the period, newest first, at most kReportMostEvents
    int olderEvents = 0;               // of the period, not listed
    int days = kReportDefaultDays;
    std::string made;  // local date and time of the report
    HistoryWriter by;
};

// `history`: every event of the detector, newest first. The figures come from the newest
// events that hold them, whatever their age; the list from the last `days` days before `now`.
ReportData ReportFromHistory(const std::string& serial, const std::vector<ServiceEvent>& history,
                             int days, const QDateTime& now, const HistoryWriter& by);
// The same from the store, which is asked only for the events the report prints or takes a
// figure from; empty with the store's ReadError() set when the history cannot be read.
ReportData ReportFromStore(HistoryStore& store, const std::string& serial, int days,
                           const QDateTime& now, const HistoryWriter& by);
QString ReportHtml(const ReportData& report);

}  // namespace halvern
