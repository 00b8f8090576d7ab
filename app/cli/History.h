#pragma once
// The history and report commands of halvern-cli (their Tool members are in History.cpp):
// the events of the service history as text or JSON lines, and a detector's service report.

#include <string>

#include "cli/Output.h"
#include "history/ServiceEvent.h"

namespace halvern::cli {

// "2026-12-07 05:09:02  4711  Veridan 620  7  setup write  confirmed (3)  tech" and, indented,
// the texts before and after.
std::string HistoryText(const ServiceEvent& e);
JsonObject HistoryJson(const ServiceEvent& e);

}  // namespace halvern::cli
