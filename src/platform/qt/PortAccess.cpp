#include "platform/qt/PortAccess.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <climits>
#include <vector>

#include "platform/ProgramFile.h"

#if defined(__unix__)
#define HALVERN_UNIX_GROUPS 1
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace halvern {

std::string OpenFailureReason(OpenRefusal refusal, const std::string& systemReason,
                              const DeviceAccess& a) {
    switch (refusal) {
        case OpenRefusal::InUse:
            return "the port is in use by another program (" + systemReason + ")";
        case OpenRefusal::Other:
            return systemReason;
        case OpenRefusal::NoPermission:
            break;
    }
    const std::string you = a.user.empty() ? "you" : "you (" + a.user + ")";
    // Joining root's group, or a group that may not use the device, would not help.
    if (a.group.empty() || a.group == "root" || !a.groupMayUse) {
        if (a.owner.empty() || a.owner == a.user)
            return systemReason;
        return systemReason + ". Only its owner (" + a.owner +
               ") may use it: ask the PC's administrator for access.";
    }
    const std::string group = "\"" + a.group + "\"";
    switch (a.membership) {
        case GroupMembership::Now:
            return systemReason;
        case GroupMembership::FromNextLogin:
            return systemReason + ". The group " + group + " may use it and " + you +
                   " joined it, but that counts only from the next login: log out and in.";
        case GroupMembership::None:
            break;
    }
    return systemReason + ". The group " + group + " may use it and " + you +
           " are not in it: add yourself with: sudo usermod -aG " + a.group +
           " $USER, then log out and in.";
}

DeviceAccess DeviceAccessOf([[maybe_unused]] const std::string& device) {
    DeviceAccess a;
#ifdef HALVERN_UNIX_GROUPS
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return a;
    if (const passwd* owner = ::getpwuid(st.st_uid))
        a.owner = owner->pw_name;
    if (const group* g = ::getgrgid(st.st_gid))
        a.group = g->gr_name;
    a.groupMayUse = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);

    const passwd* me = ::getpwuid(::geteuid());
    if (!me)
        return a;
    a.user = me->pw_name;
    // The session's groups are fixed at login; the group database says what the next one gets.
    std::vector<gid_t> now(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    now.resize(static_cast<std::size_t>(
        std::max(::getgroups(static_cast<int>(now.size()), now.data()), 0)));
    if (::getegid() == st.st_gid || std::find(now.begin(), now.end(), st.st_gid) != now.end()) {
        a.membership = GroupMembership::Now;
        return a;
    }
    int count = 64;
    std::vector<gid_t> listed(static_cast<std::size_t>(count));
    if (::getgrouplist(me->pw_name, me->pw_gid, listed.data(), &count) < 0) {
        listed.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(me->pw_name, me->pw_gid, listed.data(), &count) < 0)
            count = 0;
    }
    listed.resize(static_cast<std::size_t>(count));
    if (std::find(listed.begin(), listed.end(), st.st_gid) != listed.end())
        a.membership = GroupMembership::FromNextLogin;
#endif
    return a;
}

const std::vector<std::string>& PortLockFolders() {
    static const std::vector<std::string> folders{
        "/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
        "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};
    return folders;
}

std::string PortLockName(const std::string& device) {
    std::string name = device.starts_with("/dev/") ? device.substr(5) : device;
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

namespace {

// False only when the system says there is no such process.
bool ProcessRuns([[maybe_unused]] long long pid) {
#ifdef HALVERN_UNIX_GROUPS
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
#else
    return true;
#endif
}

QByteArray ThisHost() {
    char name[256] = {};
#ifdef HALVERN_UNIX_GROUPS
    ::gethostname(name, sizeof name - 1);
#endif
    return name;
}

}  // namespace

std::optional<StaleLock> StalePortLock(const std::string& device,
                                       const std::vector<std::string>& folders) {
    const std::string name = PortLockName(device);
    for (const std::string& folder : folders) {
        const std::string file = folder + "/" + name;
        const OpenedFile lock = OpenProgramFile(file, FileAccess::Read);
        if (lock.missing)
            continue;
        if (!lock)
            return std::nullopt;
        // Qt writes the process, the program and the host on three lines; other programs
        // write the process alone, as ten characters padded with spaces.
        char head[512];
        const std::int64_t n = lock->Read(head, sizeof head);
        const QList<QByteArray> lines =
            QByteArray(head, static_cast<qsizetype>(std::max<std::int64_t>(n, 0))).split('\n');
        bool ok = false;
        const long long pid = lines.value(0).trimmed().toLongLong(&ok);
        if (!ok || pid <= 0 || pid > INT_MAX)
            return std::nullopt;
        const QByteArray host = lines.value(2).trimmed();
        if ((!host.isEmpty() && host != ThisHost()) || ProcessRuns(pid))
            return std::nullopt;
        return StaleLock{file, pid};
    }
    return std::nullopt;
}

std::string StaleLockReason(const StaleLock& lock) {
    return "the port is blocked by the lock file " + lock.file + ", left by a program (process " +
           std::to_string(lock.pid) + ") that no longer runs; remove that file (sudo rm " +
           lock.file + ") and try again";
}

}  // namespace halvern
