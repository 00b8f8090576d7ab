#pragma once
// Where the program's save and print-to-file dialogs start: files the technician keeps or
// sends on belong in the user's documents folder, named for the detector.

#include <string>

namespace halvern {

// `name` in `folder`; only the name when no folder is known (the dialog's own folder).
std::string SuggestedPath(const std::string& folder, const std::string& name);
// The service report of detector `serial` made on a local date: "4711-report-2026-12-07.pdf".
std::string ReportFileName(const std::string& serial, int year, int month, int day);
// The setup table of detector `serial` saved on a local date: "4711-setup-2026-12-07.json".
std::string SetupFileName(const std::string& serial, int year, int month, int day);
// A file made from the log of `entry` (the viewer's prompt as typed, " 4711 "): "4711.csv".
std::string LogExportName(const std::string& entry, const std::string& extension);

}  // namespace halvern
