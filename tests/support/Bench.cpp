#include "support/Bench.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>
#include <fstream>

namespace halvern::test {

LocalDateTime ClockAt(Micros t) {
    const auto s = static_cast<int>(14 * 3600 + 3 * 60 + 27 + t / 1'000'000);
    return {2026, 12, 5 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60};
}

sim::Bus BusOf(std::initializer_list<DetectorSpec> detectors) {
    sim::Bus bus;
    for (const auto& d : detectors) {
        sim::DetectorConfig c;
        c.Address = d.address;
        c.Family = d.family;
        c.Serial = d.serial;
        bus.Add(c);
        if (d.fault)
            bus.InjectFault(d.address, d.fault);
    }
    return bus;
}

sim::Bus OneDetector(std::uint8_t address, std::uint8_t family, std::uint16_t serial,
                     std::uint8_t variant, SetupTable setup) {
    sim::Bus bus;
    sim::DetectorConfig c;
    c.Address = address;
    c.Family = family;
    c.Variant = variant;
    c.Serial = serial;
    c.Setup = setup;
    bus.Add(c);
    return bus;
}

std::string ScratchFolder(const std::string& kind) {
    static int folders = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("halvern-" + kind + "-" + std::to_string(QCoreApplication::applicationPid())) /
        ((info ? std::string(info->name()) : kind) + std::to_string(++folders));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

Bench::Bench(sim::Bus bus) {
    par.ProgramFolder = ScratchFolder("bench");
    std::string why;
    port.Open("sim", &why);
    simBus = std::make_unique<sim::SimBus>(plat, port, std::move(bus));
    hooks.now = [this] { return clockTime; };
    hooks.openSetup = [this](std::uint8_t address) {
        ++openedSetup;
        setupAddress = address;
        setupReplyFunction = par.Link.RxBuffer[1];
        if (onOpenSetup)
            onOpenSetup();
    };
    hooks.changed = [this] {
        if (onChanged)
            onChanged();
    };
    hooks.openAddress = [this] {
        ++openedAddress;
        if (onOpenAddress)
            onOpenAddress();
    };
    hooks.openMaintenance = [this] { ++openedMaintenance; };
    hooks.exitProgram = [this] { exited = true; };
    comm = std::make_unique<MainComm>(par, link, dialogs, loop, hooks);
}

Bench::~Bench() {
    std::error_code ignored;
    std::filesystem::remove_all(par.ProgramFolder, ignored);
}

int Bench::Lines(const std::string& name) const {
    std::ifstream f(std::filesystem::path(par.ProgramFolder) / name);
    std::string line;
    int n = 0;
    while (std::getline(f, line))
        ++n;
    return n;
}

void Bench::Run(Micros until) {
    plat.Post(until, [this] { loop.Stop(); });
    comm->Activate();
}

void Bench::Continue(Micros until) {
    plat.Post(until, [this] { loop.Stop(); });
    loop.Run();
}

std::vector<SimulatedSerialPort::Written> Bench::Frames(std::size_t from) const {
    const auto& all = port.Frames();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
}

std::vector<SimulatedSerialPort::Written> Bench::FramesOf(int function, int code) const {
    std::vector<SimulatedSerialPort::Written> out;
    for (const auto& f : port.Frames())
        if (f.bytes.size() > 4 && f.bytes[1] == function && (code < 0 || f.bytes[4] == code))
            out.push_back(f);
    return out;
}

std::vector<std::pair<Micros, int>> Bench::StatusQueries() const {
    std::vector<std::pair<Micros, int>> out;
    for (const auto& f : port.Frames())
        if (f.bytes.size() == 9 && f.bytes[1] == 200 && f.bytes[4] == 32)
            out.emplace_back(f.atUs, f.bytes[0]);
    return out;
}

}  // namespace halvern::test
