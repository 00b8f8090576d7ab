#include "state/SaveNames.h"

#include <cstdio>

namespace halvern {

std::string SuggestedPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

namespace {

std::string DateText(int year, int month, int day) {
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
    return date;
}

}  // namespace

std::string ReportFileName(const std::string& serial, int year, int month, int day) {
    return serial + "-report-" + DateText(year, month, day) + ".pdf";
}

std::string SetupFileName(const std::string& serial, int year, int month, int day) {
    return serial + "-setup-" + DateText(year, month, day) + ".json";
}

std::string LogExportName(const std::string& entry, const std::string& extension) {
    const auto first = entry.find_first_not_of(" \t");
    const std::string trimmed =
        first == std::string::npos ? std::string()
                                   : entry.substr(first, entry.find_last_not_of(" \t") - first + 1);
    return trimmed + extension;
}

}  // namespace halvern
