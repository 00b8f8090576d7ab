#include "history/ServiceEvent.h"

#include <QString>
#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <pwd.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <lmcons.h>
#include <windows.h>
#endif

#include "history/HistoryStore.h"
#include "state/Par.h"

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
    if (!user.isEmpty())
        return user.toStdString();
        // A service, a scheduled job or a bare container may set none of them: the account's name.
#if defined(Q_OS_UNIX)
    if (const passwd* account = getpwuid(geteuid()); account && account->pw_name)
        return account->pw_name;
#elif defined(Q_OS_WIN)
    wchar_t name[UNLEN + 1];
    DWORD size = UNLEN + 1;
    if (GetUserNameW(name, &size) && size > 0)
        return QString::fromWCharArray(name, static_cast<qsizetype>(size - 1)).toStdString();
#endif
    return {};
}

}  // namespace halvern
