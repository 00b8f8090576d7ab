#include "platform/System.h"

#include <cstdlib>

#ifdef _WIN32
#include <lmcons.h>
#include <process.h>
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace halvern {

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    ::localtime_s(&local, &now);
#else
    ::localtime_r(&now, &local);
#endif
    return local;
}

long long ProcessId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

#ifdef _WIN32

namespace {

std::string Utf8Of(const wchar_t* text, int length) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::string UserName() {
    // The narrow environment is in the ANSI code page: "Jörg" would not come back as UTF-8.
    for (const wchar_t* variable : {L"USER", L"USERNAME", L"LOGNAME"})
        if (const wchar_t* value = ::_wgetenv(variable); value && *value)
            return Utf8Of(value, -1).c_str();
    wchar_t name[UNLEN + 1];
    DWORD size = UNLEN + 1;
    if (::GetUserNameW(name, &size) && size > 0)
        return Utf8Of(name, static_cast<int>(size - 1));
    return {};
}

#else

std::string UserName() {
    for (const char* variable : {"USER", "USERNAME", "LOGNAME"})
        if (const char* value = std::getenv(variable); value && *value)
            return value;
    // A service, a scheduled job or a bare container may set none of them: the account's name.
    if (const passwd* account = ::getpwuid(::geteuid()); account && account->pw_name)
        return account->pw_name;
    return {};
}

#endif

}  // namespace halvern
