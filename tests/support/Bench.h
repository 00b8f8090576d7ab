#pragma once
// A whole monitoring program on virtual time: shared state, link, simulated bus of detectors,
// polling loop and main-window logic, without windows. Operator actions are scheduled at
// virtual times; Run() polls until the given time and returns.

#include <filesystem>
#include <fstream>

#include "monitor/MainComm.h"
#include "platform/virtual/VirtualPlatform.h"
#include "sim/SimBus.h"
#include "ui/ScriptedDialogs.h"

namespace halvern::test {

// A fresh, empty folder for the running test, removed by the caller: under the system's
// temporary folder, named after this process and the test, so that suites running at the
// same time (another build, another checkout) never share one.
std::string ScratchFolder(const std::string& kind);  // UiTest.cpp

// The PC clock: 14:03:27 on 5 December 2026 when virtual time starts, then running with it.
inline LocalDateTime ClockAt(Micros t) {
    const auto s = static_cast<int>(14 * 3600 + 3 * 60 + 27 + t / 1'000'000);
    return {2026, 12, 5 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60};
}

// A bus of detectors given as {address, family, serial, fault name or nullptr}.
struct DetectorSpec {
    std::uint8_t address, family;
    std::uint16_t serial;
    const char* fault = nullptr;
};
inline sim::Bus BusOf(std::initializer_list<DetectorSpec> detectors) {
    sim::Bus bus;
    for (const auto& d : detectors)
        if (bus.Add({d.address, d.family, 0, d.serial, {}, "", "", 0}); d.fault)
            bus.InjectFault(d.address, d.fault);
    return bus;
}

// A bus with one detector.
inline sim::Bus OneDetector(std::uint8_t address, std::uint8_t family = 24,
                            std::uint16_t serial = 4711, std::uint8_t variant = 1,
                            SetupTable setup = {}) {
    sim::Bus bus;
    bus.Add({address, family, variant, serial, setup, "", "", 0});
    return bus;
}

// The simulated port, with a look at every read the program makes (what it took off the line).
struct TappedPort : SimulatedSerialPort {
    using SimulatedSerialPort::SimulatedSerialPort;
    std::vector<std::uint8_t> ReadAll() override {
        auto bytes = SimulatedSerialPort::ReadAll();
        onRead ? onRead(bytes) : void();
        return bytes;
    }
    std::function<void(const std::vector<std::uint8_t>&)> onRead;
};

struct Bench {
    // The program folder is a fresh scratch folder, removed with the bench.
    explicit Bench(sim::Bus bus = sim::DefaultBus()) {
        par.ProgramFolder = ScratchFolder("bench");
        port.Open("sim", nullptr);
        simBus = std::make_unique<sim::SimBus>(plat, port, std::move(bus));
        hooks.now = [this] { return clockTime; };
        hooks.openSetup = [this](std::uint8_t address) {
            ++openedSetup, setupAddress = address, setupReplyFunction = par.Link.RxBuffer[1];
            onOpenSetup ? onOpenSetup() : void();
        };
        hooks.changed = [this] { onChanged ? onChanged() : void(); };
        hooks.openAddress = [this] { ++openedAddress, onOpenAddress ? onOpenAddress() : void(); };
        hooks.openMaintenance = [this] { ++openedMaintenance; };
        hooks.exitProgram = [this] { exited = true; };
        comm = std::make_unique<MainComm>(par, link, dialogs, loop, hooks);
    }
    ~Bench() {
        std::error_code e;
        std::filesystem::remove_all(par.ProgramFolder, e);
    }
    // Lines of a file in the program folder (0 when it is missing).
    int Lines(const std::string& name) const {
        std::ifstream f(std::filesystem::path(par.ProgramFolder) / name);
        int n = 0;
        for (std::string line; std::getline(f, line);)
            ++n;
        return n;
    }

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
    // After every change the window would show; when the main window's logic asks for a child
    // window (after the counters below are counted).
    std::function<void()> onChanged, onOpenSetup, onOpenAddress;
    std::uint8_t setupAddress = 0;  // the address whose setup table opened the screen
    // RxBuffer[1] when the setup screen was opened; the child windows asked for.
    int setupReplyFunction = -1, openedSetup = 0, openedAddress = 0, openedMaintenance = 0;

    sim::Bus& bus() { return simBus->GetBus(); }
    void At(Micros t, std::function<void()> fn) { plat.Post(t, std::move(fn)); }
    // Activates the main window and polls until `until`.
    void Run(Micros until) {
        plat.Post(until, [this] { loop.Stop(); }), comm->Activate();
    }
    // Goes on polling (no new activation) until `until`.
    void Continue(Micros until) {
        plat.Post(until, [this] { loop.Stop(); }), loop.Run();
    }
    // Frames the program wrote, with their times, from index `from` on.
    std::vector<SimulatedSerialPort::Written> Frames(std::size_t from = 0) const {
        const auto& all = port.Frames();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
    }
    // Frames written of one function (and, for function 200, one command code when given).
    std::vector<SimulatedSerialPort::Written> FramesOf(int function, int code = -1) const {
        std::vector<SimulatedSerialPort::Written> out;
        for (const auto& f : port.Frames())
            if (f.bytes.size() > 4 && f.bytes[1] == function && (code < 0 || f.bytes[4] == code))
                out.push_back(f);
        return out;
    }
    // Status queries (function 200, code 32) written, with the address each went to.
    std::vector<std::pair<Micros, int>> StatusQueries() const {
        std::vector<std::pair<Micros, int>> out;
        for (const auto& f : FramesOf(200, 32))
            if (f.bytes.size() == 9)
                out.emplace_back(f.atUs, f.bytes[0]);
        return out;
    }
};

}  // namespace halvern::test
