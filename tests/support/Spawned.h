#pragma once
// A real program started for an end-to-end test, its standard output and error read through
// pipes. Every read is a poll() with a bound, so a broken program fails the test instead of
// hanging it; a program a check gave up on is killed with its Spawned. Unix only.

#include <vector>

#include "support/Guarded.h"

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
            ::dup2(out[1], 1), ::dup2(err[1], 2);
            std::vector<char*> args(argv.size() + 1);  // ends in a null pointer
            for (std::size_t i = 0; i < argv.size(); ++i)
                args[i] = const_cast<char*>(argv[i].c_str());
            ::execv(args[0], args.data()), ::_exit(127);
        }
        ::close(out[1]), ::close(err[1]), fds = {out[0], err[0]};
    }
    ~Spawned() {
        if (pid > 0)
            ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
        ::close(fds[0]), ::close(fds[1]);  // -1 when it was closed: a harmless refusal
    }

    // Reads both outputs until done() or both have ended; false when nothing came for 10 s.
    bool Read(auto done) { return ReadOutputs(fds, {&out, &err}, done, 10'000, true); }
    // Reads to the end of both outputs and returns the exit code (-1: no clean exit).
    int Finish() {
        int status = 0;
        if (!Read([] { return false; }))
            return -1;
        ::waitpid(std::exchange(pid, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid = -1;
    std::array<int, 2> fds{-1, -1};
    std::string out, err;
};

}  // namespace halvern::test
