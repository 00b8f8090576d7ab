#pragma once
// Code that would block for ever when broken (opening a FIFO, reading a device, a signal that
// does not end a wait) runs in a child process with a time bound, so that a regression fails
// its test instead of hanging the suite. Unix only.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>

namespace halvern::test {

inline std::chrono::steady_clock::time_point Deadline(int ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

// Reads the descriptors into their texts until done() or all have ended (each is closed then
// and set to -1); false when nothing came in time: within timeoutMs in all, or of silence
// when `idle`.
bool ReadOutputs(std::array<int, 2>& fds, std::array<std::string*, 2> texts, auto done,
                 int timeoutMs, bool idle = false) {
    for (auto until = Deadline(timeoutMs); !done() && (fds[0] >= 0 || fds[1] >= 0);) {
        const auto left = (until - std::chrono::steady_clock::now()) / std::chrono::milliseconds(1);
        std::array<pollfd, 2> p{pollfd{fds[0], POLLIN, 0}, pollfd{fds[1], POLLIN, 0}};
        if (left <= 0 || ::poll(p.data(), p.size(), static_cast<int>(left)) <= 0)
            return false;  // a negative descriptor is skipped by poll()
        for (std::size_t i = 0; i < 2; ++i) {
            char chunk[512];
            const ssize_t n = p[i].revents ? ::read(fds[i], chunk, sizeof chunk) : 1;
            if (n <= 0)
                ::close(std::exchange(fds[i], -1));
            else if (p[i].revents)
                texts[i]->append(chunk, static_cast<std::size_t>(n));
        }
        until = idle ? Deadline(timeoutMs) : until;
    }
    return true;
}

struct GuardedChild {
    // Runs body(fd) in a child process that ends with body's result as its exit code; what
    // the body writes to fd is the child's output.
    explicit GuardedChild(const std::function<int(int fd)>& body) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        if ((pid = ::fork()) == 0)
            ::_exit(body(fds[1]));  // no exit handlers: they belong to the test run
        ::close(fds[1]);
        fds_[0] = pid > 0 ? fds[0] : (::close(fds[0]), -1);
    }
    ~GuardedChild() {
        if (pid > 0)
            ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
        ::close(fds_[0]);  // -1 when it was closed: a harmless refusal
    }

    // Reads the child's output until it holds `text`; false when it did not come in time.
    bool WaitFor(const std::string& text, int timeoutMs = 5000) {
        const auto holds = [&] { return out.find(text) != std::string::npos; };
        return ReadOutputs(fds_, {&out, nullptr}, holds, timeoutMs) && holds();
    }
    // Waits until the child sleeps in the kernel, as in a blocked system call (Linux); false
    // when it did not in time.
    bool WaitUntilAsleep(int timeoutMs = 5000) const {
        for (auto until = Deadline(timeoutMs); std::chrono::steady_clock::now() < until;) {
            std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
            const std::string line{std::istreambuf_iterator<char>(in), {}};
            const auto state = line.rfind(") ");  // the name, in brackets, may hold anything
            if (state != std::string::npos && line.compare(state + 2, 1, "S") == 0)
                return true;
            ::poll(nullptr, 0, 1);
        }
        return false;
    }
    // The child's wait status once it has ended; nothing when it did not end in time (it is
    // killed then).
    std::optional<int> End(int timeoutMs = 5000) {
        int status = 0;
        if (pid <= 0 || !ReadOutputs(
                            fds_, {&out, nullptr}, [] { return false; }, timeoutMs))
            return std::nullopt;
        ::waitpid(std::exchange(pid, -1), &status, 0);
        return status;
    }

    pid_t pid = -1;
    std::string out;
    std::array<int, 2> fds_{-1, -1};
};

// What body() returned, from a child process; nothing when it was not done within timeoutMs
// (the child is then killed). A blocking pipe takes the whole text in one write.
inline std::optional<std::string> RunGuarded(const std::function<std::string()>& body,
                                             int timeoutMs = 5000) {
    GuardedChild child([&](int fd) {
        const std::string out = body();
        return ::write(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 2;
    });
    const std::optional<int> status = child.End(timeoutMs);
    const bool done = status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    return done ? std::optional(child.out) : std::nullopt;
}

}  // namespace halvern::test
