#pragma once
// SIGINT, SIGTERM and SIGHUP as a request to stop. The handler only writes a byte into a pipe; the
// event loop watches the pipe's other end and ends the command at its next wait. So no file is
// written from the handler, and a log record being written is finished before the tool stops.
// A blocked system call returns at the signal. Should the loop still not take the request
// within kGraceSeconds, or another signal come before it does, the process ends as by the
// signal's own action: a command ends at once wherever it waits.

#include <string>

namespace halvern::cli {

class SignalStop {
  public:
    static constexpr unsigned kGraceSeconds = 2;

    SignalStop() = default;
    ~SignalStop();  // the signals' default actions come back
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // One at a time in a process. False (and why) when the pipe or the handlers cannot be set.
    bool Install(std::string* error);
    // Readable once a signal has come; -1 before Install.
    int Fd() const { return readFd_; }
    // Empties the pipe; true when a signal had come (the grace time then ends).
    bool Take();

  private:
    int readFd_ = -1;
    int writeFd_ = -1;
    bool installed_ = false;
};

}  // namespace halvern::cli
