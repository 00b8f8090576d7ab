#pragma once
// A whole monitoring program on virtual time: shared state, link, simulated bus of detectors,
// polling loop and main-window logic, without windows. Operator actions are scheduled at
// virtual times; Run() polls until the given time and returns.

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "link/Link.h"
#include "monitor/MainComm.h"
#include "monitor/PollLoop.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"
#include "sim/Bus.h"
#include "sim/SimBus.h"
#include "state/Par.h"
#include "ui/ScriptedDialogs.h"

namespace halvern::test {

// A fresh, empty folder for the running test, removed by the caller: under the system's
// temporary folder, named after this process and the test, so that suites running at the
// same time (another build, another checkout) never share one.
std::string ScratchFolder(const std::string& kind);

// The PC clock: 14:03:27 on 5 December 2026 when virtual time starts, then running with it.
LocalDateTime ClockAt(Micros t);

// A bus of detectors given as {address, family, serial, fault name or nullptr}.
struct DetectorSpec {
    std::uint8_t address, family;
    std::uint16_t serial;
    const char* fault = nullptr;
};
sim::Bus BusOf(std::initializer_list<DetectorSpec> detectors);

// A bus with one detector.
sim::Bus OneDetector(std::uint8_t address, std::uint8_t family = 24, std::uint16_t serial = 4711,
                     std::uint8_t variant = 1, SetupTable setup = {});

// The simulated port, with a look at every read the program makes (what it took off the line).
class TappedPort : public SimulatedSerialPort {
  public:
    using SimulatedSerialPort::SimulatedSerialPort;
    std::vector<std::uint8_t> ReadAll() override {
        auto bytes = SimulatedSerialPort::ReadAll();
        if (onRead)
            onRead(bytes);
        return bytes;
    }
    std::function<void(const std::vector<std::uint8_t>&)> onRead;
};

struct Bench {
    // The program folder is a fresh scratch folder, removed with the bench.
    explicit Bench(sim::Bus bus = sim::DefaultBus());
    ~Bench();
    // Lines of a file in the program folder (0 when it is missing).
    int Lines(const std::string& name) const;

    VirtualPlatform plat;
    TappedPort port{plat};
    Par par;
    Link link{plat, port, par.Link};
    ScriptedDialogs dialogs;
    PollLoop loop;
    MainCommHooks hooks;
    std::unique_ptr<MainComm> comm;
    std::unique_ptr<sim::SimBus> simBus;
    LocalDateTime clockTime = ClockAt(0);
    bool exited = false;
    std::function<void()> onChanged;  // after every change the window would show
    // The main window's logic asks for a child window (after the counters below are counted).
    std::function<void()> onOpenSetup, onOpenAddress;
    int setupReplyFunction = -1;    // RxBuffer[1] when the setup screen was opened
    std::uint8_t setupAddress = 0;  // the address whose setup table opened the screen
    int openedSetup = 0, openedAddress = 0, openedMaintenance = 0;

    sim::Bus& bus() { return simBus->GetBus(); }
    void At(Micros t, std::function<void()> fn) { plat.Post(t, std::move(fn)); }
    // Activates the main window and polls until `until`.
    void Run(Micros until);
    // Goes on polling (no new activation) until `until`.
    void Continue(Micros until);
    // Frames the program wrote, with their times, from index `from` on.
    std::vector<SimulatedSerialPort::Written> Frames(std::size_t from = 0) const;
    // Frames written of one function (and, for function 200, one command code when given).
    std::vector<SimulatedSerialPort::Written> FramesOf(int function, int code = -1) const;
    // Status queries (function 200, code 32) written, with the address each went to.
    std::vector<std::pair<Micros, int>> StatusQueries() const;
};

}  // namespace halvern::test
