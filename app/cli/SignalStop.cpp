#include "cli/SignalStop.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace halvern::cli {

#ifndef _WIN32

namespace {

volatile sig_atomic_t g_writeFd = -1;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request; nothing more is needed.
    [[maybe_unused]] const auto n = write(g_writeFd, &byte, 1);
    errno = saved;
}

}  // namespace

bool SignalStop::Install(std::string* error) {
    int fds[2];
    if (g_writeFd >= 0 || pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = g_writeFd >= 0 ? "the stop signals are already taken" : std::strerror(errno);
        return false;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    g_writeFd = writeFd_;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    installed_ = sigaction(SIGINT, &sa, nullptr) == 0 && sigaction(SIGTERM, &sa, nullptr) == 0;
    if (!installed_ && error)
        *error = std::strerror(errno);
    return installed_;
}

bool SignalStop::Take() {
    if (readFd_ < 0)
        return false;
    bool any = false;
    char buf[64];
    while (read(readFd_, buf, sizeof buf) > 0)
        any = true;
    return any;
}

SignalStop::~SignalStop() {
    if (readFd_ < 0)
        return;
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    g_writeFd = -1;
    close(readFd_);
    close(writeFd_);
}

#else

// Windows: Ctrl+C keeps its default action.
bool SignalStop::Install(std::string* error) {
    if (error)
        *error = "stop signals are not watched on this system";
    return false;
}
bool SignalStop::Take() {
    return false;
}
SignalStop::~SignalStop() = default;

#endif

}  // namespace halvern::cli
