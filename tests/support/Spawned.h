#pragma once
// A real program started for an end-to-end test, its standard output and error read through
// pipes. Every read is a poll() with a bound, so a broken program fails the test instead of
// hanging it; a program a check gave up on is killed with its Spawned. Unix only.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace halvern::test {

struct Spawned {
    // argv[0] is the program's path; its standard input is `input` (a file) when given.
    explicit Spawned(const std::vector<std::string>& argv, const std::string& input = "") {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        if ((pid = ::fork()) == 0) {
            if (!input.empty())
                ::dup2(::open(input.c_str(), O_RDONLY), 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        fds = {out[0], err[0]};
    }
    ~Spawned() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

    // Reads both outputs until done() or both have ended; false when nothing came for 10 s.
    template <typename Done>
    bool Read(Done done) {
        std::vector<pollfd> p;
        while (!done()) {
            p.clear();
            for (int fd : fds)
                if (fd >= 0)
                    p.push_back({fd, POLLIN, 0});
            if (p.empty())
                return true;
            if (::poll(p.data(), p.size(), 10'000) <= 0)
                return false;
            for (const auto& q : p) {
                if (!q.revents)
                    continue;
                char chunk[512];
                const ssize_t n = ::read(q.fd, chunk, sizeof chunk);
                const int i = q.fd == fds[0] ? 0 : 1;
                if (n <= 0) {
                    ::close(fds[i]);
                    fds[i] = -1;
                } else {
                    (i ? err : out).append(chunk, static_cast<std::size_t>(n));
                }
            }
        }
        return true;
    }
    // Reads to the end of both outputs and returns the exit code (-1: no clean exit).
    int Finish() {
        if (!Read([] { return false; }))
            return -1;
        int status = 0;
        ::waitpid(std::exchange(pid, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid = -1;
    std::array<int, 2> fds{-1, -1};
    std::string out, err;
};

}  // namespace halvern::test
