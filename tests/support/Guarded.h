#pragma once
// Code that would block for ever when broken (opening a FIFO, reading a device, a signal that
// does not end a wait) runs in a child process with a time bound, so that a regression fails
// its test instead of hanging the suite. Unix only.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

namespace halvern::test {

class GuardedChild {
  public:
    // Runs body(fd) in a child process that ends with body's result as its exit code; what
    // the body writes to fd is the child's output.
    explicit GuardedChild(const std::function<int(int fd)>& body) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            ::_exit(body(fds[1]));  // no exit handlers: they belong to the test run
        }
        ::close(fds[1]);
        fd_ = pid > 0 ? fds[0] : (::close(fds[0]), -1);
    }
    ~GuardedChild() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (fd_ >= 0)
            ::close(fd_);
    }
    GuardedChild(const GuardedChild&) = delete;
    GuardedChild& operator=(const GuardedChild&) = delete;

    // Reads the child's output until it holds `text`; false when it did not come in time.
    bool WaitFor(const std::string& text, int timeoutMs = 5000) {
        const auto holds = [&] { return out.find(text) != std::string::npos; };
        return Read(holds, timeoutMs) && holds();
    }
    // Waits until the child sleeps in the kernel, as in a blocked system call (Linux); false
    // when it did not in time.
    bool WaitUntilAsleep(int timeoutMs = 5000) const {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
        while (std::chrono::steady_clock::now() < until) {
            std::ifstream in(stat);
            const std::string line{std::istreambuf_iterator<char>(in), {}};
            const auto state = line.rfind(") ");  // the name, in brackets, may hold anything
            if (state != std::string::npos && line.compare(state + 2, 1, "S") == 0)
                return true;
            ::sched_yield();
        }
        return false;
    }
    // The child's wait status once it has ended; nothing when it did not end in time (it is
    // killed then).
    std::optional<int> End(int timeoutMs = 5000) {
        if (pid <= 0 || !Read([] { return false; }, timeoutMs))
            return std::nullopt;
        int status = 0;
        ::waitpid(std::exchange(pid, -1), &status, 0);
        return status;
    }

    pid_t pid = -1;
    std::string out;

  private:
    // Until done() or the end of the output (the child has ended); false when neither came
    // in time.
    template <typename Done>
    bool Read(Done done, int timeoutMs) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done() && fd_ >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char chunk[512];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) {
                ::close(fd_);
                fd_ = -1;
            } else {
                out.append(chunk, static_cast<std::size_t>(n));
            }
        }
        return true;
    }

    int fd_ = -1;
};

// What body() returned, from a child process; nothing when it was not done within timeoutMs
// (the child is then killed).
inline std::optional<std::string> RunGuarded(const std::function<std::string()>& body,
                                             int timeoutMs = 5000) {
    GuardedChild child([&](int fd) {
        const std::string out = body();
        for (std::size_t at = 0; at < out.size();) {
            const ssize_t n = ::write(fd, out.data() + at, out.size() - at);
            if (n <= 0)
                return 2;
            at += static_cast<std::size_t>(n);
        }
        return 0;
    });
    const std::optional<int> status = child.End(timeoutMs);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
        return std::nullopt;
    return child.out;
}

}  // namespace halvern::test
