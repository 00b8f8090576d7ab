#include "history/ServiceEvent.h"

#include "platform/System.h"
#include "state/Par.h"

// Built without the store (the core without Qt), an action is recorded nowhere, as when the
// program runs with no history at all.
#ifndef HALVERN_NO_HISTORY_STORE
#include "history/HistoryStore.h"
#endif

namespace halvern {

std::string OutcomeText(const ServiceEvent& e) {
    if (!e.confirmed)
        return "sent";
    std::string text = *e.confirmed ? "confirmed" : "NOT confirmed";
    if (e.attempts)
        text +=
            " after " + std::to_string(*e.attempts) + (*e.attempts == 1 ? " attempt" : " attempts");
    return text;
}

ServiceEvent DetectorEvent(const Par& par, std::uint8_t address, const char* action) {
    ServiceEvent e;
    // Named by the last reading of that detector, not by what the panel shows: a detector the
    // panel shows as disconnected is still the one the action went to.
    const StatusReading& r = par.Reading;
    if (r.Taken && r.Address == address) {
        e.serial = std::to_string(static_cast<long>(r.SerialNumber));
        e.model = r.ModelName;
    }
    e.address = address;
    e.action = action;
    e.status = par.Main.Status;
    if (!par.Main.SIL2Des.empty())
        e.status += (e.status.empty() ? "" : " ") + par.Main.SIL2Des;
    return e;
}

void RecordEvent(Par& par, ServiceEvent event) {
#ifdef HALVERN_NO_HISTORY_STORE
    (void)par, (void)event;
#else
    if (par.History)
        par.History->Record(std::move(event));
#endif
}

void RecordAction(Par& par, std::uint8_t address, const char* action, std::string before,
                  std::string after, std::optional<bool> confirmed, std::optional<int> attempts) {
    if (!par.History)
        return;
    ServiceEvent e = DetectorEvent(par, address, action);
    e.before = std::move(before);
    e.after = std::move(after);
    e.confirmed = confirmed;
    e.attempts = attempts;
    RecordEvent(par, std::move(e));
}

std::string PcUserName() {
    return UserName();
}

}  // namespace halvern
