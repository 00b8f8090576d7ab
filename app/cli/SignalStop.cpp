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
volatile sig_atomic_t g_stopSignal = 0;  // the first stop signal that came; 0: none yet

// The signal's own action: the process ends as a shell expects of that signal (once the
// handler returns, since the signal is held while it runs).
void EndBy(int sig) {
    signal(sig, SIG_DFL);
    raise(sig);
}

extern "C" void OnStopSignal(int sig) {
    // Asked before, and the loop has not taken it: the command is held somewhere; end now.
    if (g_stopSignal != 0)
        return EndBy(sig);
    g_stopSignal = sig;
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request; nothing more is needed.
    [[maybe_unused]] const auto n = write(g_writeFd, &byte, 1);
    // Unless the event loop takes the request within the grace time, the command is held
    // where the loop does not run (a call that goes on after the interruption); it then ends
    // all the same.
    alarm(SignalStop::kGraceSeconds);
    errno = saved;
}

extern "C" void OnGraceOver(int) {
    EndBy(g_stopSignal != 0 ? static_cast<int>(g_stopSignal) : SIGTERM);
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
    g_stopSignal = 0;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaddset(&sa.sa_mask, SIGINT);
    sigaddset(&sa.sa_mask, SIGTERM);
    sigaddset(&sa.sa_mask, SIGHUP);
    sigaddset(&sa.sa_mask, SIGALRM);
    // No SA_RESTART: a system call the command is blocked in returns at the signal, so the
    // command sees the request at once instead of waiting on (for a FIFO's other end, say).
    sa.sa_flags = 0;
    struct sigaction grace = sa;
    grace.sa_handler = OnGraceOver;
    // SIGHUP too: a closed terminal or SSH session ends a watch or a log as cleanly as Ctrl+C.
    installed_ = sigaction(SIGINT, &sa, nullptr) == 0 && sigaction(SIGTERM, &sa, nullptr) == 0 &&
                 sigaction(SIGHUP, &sa, nullptr) == 0 && sigaction(SIGALRM, &grace, nullptr) == 0;
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
    if (any) {
        // The loop runs and has the request: the command ends at its next wait. A signal
        // from now on is a new request.
        alarm(0);
        g_stopSignal = 0;
    }
    return any;
}

SignalStop::~SignalStop() {
    if (readFd_ < 0)
        return;
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    alarm(0);
    signal(SIGALRM, SIG_DFL);
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
