#include "history/ServiceEvent.h"

#include <QtGlobal>

#include "history/HistoryStore.h"
#include "state/Par.h"

namespace halvern {

std::string OutcomeText(const ServiceEvent& e) {
    if (!e.confirmed)
        return "sent";
    return *e.confirmed ? "confirmed" : "NOT confirmed";
}

ServiceEvent DetectorEvent(const Par& par, std::uint8_t address, const char* action) {
    ServiceEvent e;
    e.serial = par.Main.SeNum;
    e.model = par.Main.Flash;
    e.address = address;
    e.action = action;
    e.status = par.Main.Status;
    if (!par.Main.SIL2Des.empty())
        e.status += (e.status.empty() ? "" : " ") + par.Main.SIL2Des;
    return e;
}

void RecordEvent(Par& par, ServiceEvent event) {
    if (par.History)
        par.History->Record(std::move(event));
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
    par.History->Record(std::move(e));
}

std::string PcUserName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");  // Windows
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME");
    return user.toStdString();
}

}  // namespace halvern
