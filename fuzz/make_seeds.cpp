// Writes the seed corpora of the fuzz targets: replies and requests as the simulated detectors
// and the program's request builders make them, files as the program and a technician's
// editor leave them, console lines as an operator types them. Deterministic: running it again
// writes the same files.
//
//   make-seeds DIR    writes DIR/<target>/<seed>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "PollRecords.h"
#include "link/Frame.h"
#include "link/Requests.h"
#include "logging/LogRecords.h"
#include "monitor/Decoder.h"
#include "sim/Bus.h"
#include "state/Par.h"

using namespace halvern;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::filesystem::path gRoot;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const auto folder = gRoot / target;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Write(const std::string& target, const std::string& name, const std::string& text) {
    Write(target, name, Bytes(text.begin(), text.end()));
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Everything the bus sends in answer to a frame, as one run of bytes.
Bytes Answer(sim::Bus& bus, const Bytes& frame, Micros at) {
    Bytes out;
    for (const auto& t : bus.Respond(frame, at, 0))
        out.insert(out.end(), t.bytes.begin(), t.bytes.end());
    return out;
}

sim::Bus OneDetector(std::uint8_t address, std::uint8_t family, std::uint8_t variant) {
    sim::Bus bus;
    sim::DetectorConfig c;
    c.Address = address;
    c.Family = family;
    c.Variant = variant;
    c.Serial = static_cast<std::uint16_t>(family * 100 + variant);
    c.Setup = {0x24, 0x05, 2, 10};
    bus.Add(c);
    return bus;
}

void BusReplySeeds() {
    const auto seed = [](const std::string& name, const Bytes& reply, std::uint8_t timing = 128) {
        Write("bus_reply", name, Bytes{0, timing} + reply);
    };
    for (int family = 0; family < 256; ++family) {
        if (!IsAcceptedFamily(static_cast<std::uint8_t>(family)))
            continue;
        auto bus = OneDetector(3, static_cast<std::uint8_t>(family), 1);
        seed("status-family-" + std::to_string(family),
             Answer(bus, CommandFrame(3, kCodeStatus), 0));
    }
    auto bus = sim::DefaultBus();
    seed("status-after-latency", Answer(bus, CommandFrame(1, kCodeStatus), 0), 2);
    seed("setup-read-xenon", Answer(bus, ReadSetupFrame(1), 0));
    seed("setup-read-lamp", Answer(bus, ReadSetupFrame(7), 0));
    seed("setup-read-talvek", Answer(bus, ReadSetupFrame(12), 0));
    seed("version-primary", Answer(bus, CommandFrame(1, kCodePrimaryVersion), 0));
    seed("version-secondary", Answer(bus, CommandFrame(12, kCodeSecondaryVersion), 0));
    seed("echo-setup-write", Answer(bus, WriteSetupFrame(1, {0x04, 0x01, 1, 5}), 0));
    seed("echo-sn-test", Answer(bus, SnTestFrame(1), 0));
    seed("echo-normal-mode", Answer(bus, NormalModeFrame(1), 0));
    seed("echo-new-address", Answer(bus, NewAddressFrame(12, 9), 0));
    seed("collision", Answer(bus, CommandFrame(0, kCodeStatus), 0));
    for (const char* fault :
         {"bad CRC", "wrong address", "exception", "truncated", "flood", "noise"}) {
        auto faulty = sim::DefaultBus();
        faulty.InjectFault(1, fault);
        std::string name = fault;
        std::replace(name.begin(), name.end(), ' ', '-');
        seed("fault-" + name, Answer(faulty, CommandFrame(1, kCodeStatus), 0));
    }
    // The frame check left to the target: the status reply without its CRC.
    auto status = Answer(bus, CommandFrame(1, kCodeStatus), 0);
    status.resize(status.size() - 2);
    Write("bus_reply", "status-crc-by-target", Bytes{1, 128} + status);
}

// A scripted conversation for the poll target, the replies made by the demonstration bus.
class Script {
  public:
    explicit Script(std::uint8_t logPeriod) : bytes_{logPeriod} {}
    // The bus's answer to the frame, as the next record.
    Script& Reply(const Bytes& frame) {
        now_ += 300'000;
        Bytes answer = Answer(bus, frame, now_);
        if (answer.size() > 255)
            answer.resize(255);
        bytes_.push_back(fuzz::Header(fuzz::kReply, 1));
        bytes_.push_back(static_cast<std::uint8_t>(answer.size()));
        bytes_.insert(bytes_.end(), answer.begin(), answer.end());
        return *this;
    }
    Script& Status(std::uint8_t address, int times = 1) {
        for (int i = 0; i < times; ++i)
            Reply(CommandFrame(address, kCodeStatus));
        return *this;
    }
    Script& Silence(int times) {
        bytes_.insert(bytes_.end(), static_cast<std::size_t>(times),
                      fuzz::Header(fuzz::kSilence, 0));
        return *this;
    }
    Script& Key(fuzz::Action a) {
        bytes_.push_back(fuzz::Header(fuzz::kKey, 10));
        bytes_.push_back(a);
        return *this;
    }
    Script& NewAddressKey(std::uint8_t address) {
        Key(fuzz::kBurnAddress);
        bytes_.push_back(address);
        return *this;
    }
    void Save(const std::string& name) { Write("poll_cycle", name, bytes_); }

    sim::Bus bus = sim::DefaultBus();

  private:
    Bytes bytes_;
    Micros now_ = 0;
};

void PollSeeds() {
    using namespace fuzz;
    Script(1).Status(1, 12).Save("logging-every-second");
    Script(1).Status(1, 5).Silence(7).Status(1, 3).Save("disconnection");
    Script(0)
        .Status(1)
        .Key(kSetup)
        .Status(1)
        .Reply(ReadSetupFrame(1))
        .Status(1, 2)
        .Key(kBurnSetup)
        .Status(1)
        .Reply(WriteSetupFrame(1, {0x24, 0x05, 2, 10}))
        .Status(1, 2)
        .Save("setup-read-and-burn");
    Script(0)
        .Status(1)
        .Key(kNewAddress)
        .Status(1)
        .NewAddressKey(9)
        .Status(1)
        .Reply(NewAddressFrame(1, 9))
        .Status(9, 3)
        .Save("new-address");
    Script(2)
        .Status(12)
        .Key(kMaint)
        .Status(12, 3)
        .Key(kCheck)
        .Status(12)
        .Reply(SnTestFrame(12))
        .Status(12, 3)
        .Key(kNormal)
        .Status(12)
        .Reply(NormalModeFrame(12))
        .Key(kMaintAlign)
        .Status(12)
        .Reply(CommandFrame(12, kCodeAlign))
        .Status(12, 2)
        .Key(kClose)
        .Status(12, 3)
        .Save("maintenance");
    Script(0)
        .Status(1)
        .Key(kVersion)
        .Status(1)
        .Reply(CommandFrame(1, kCodePrimaryVersion))
        .Status(1, 2)
        .Key(kVersion2)
        .Status(1)
        .Reply(CommandFrame(1, kCodeSecondaryVersion))
        .Status(1, 2)
        .Save("versions");
    Script(0).Key(kMaster).Status(0, 3).Key(kUp).Status(2).Key(kDown).Status(1, 2).Save(
        "search-and-step");
    Script(0).Key(kTune).Silence(3).Status(1, 2).Key(kAlign).Status(1, 3).Save("tuning-and-align");
    Script faults(1);
    faults.Status(1, 2);
    for (const char* fault : {"bad CRC", "exception", "truncated", "flood", "noise", "late"}) {
        faults.bus.InjectFault(1, fault);
        faults.Status(1);
        faults.bus.ClearFaults(1);
    }
    faults.Status(1).Save("faulty-replies");
}

void LinkFileSeeds() {
    const std::pair<const char*, std::string> seeds[] = {
        {"port", "4\r\n"},
        {"tune", "4000\r\n"},
        {"fraction", "3.5\r\n"},
        {"exponent", "1e3\r\n"},
        {"negative", "-5\r\n"},
        {"blanks-and-comma", " \t12 ,x\r\n7\r\n"},
        {"bom",
         "\xEF\xBB\xBF"
         "6\r\n"},
        {"beyond-int16", "65536\r\n"},
        {"beyond-int32", "2147483648\r\n"},
        {"huge", "1e400\r\n"},
        {"nan", "nan\r\n"},
        {"hex", "0x10\r\n"},
        {"text", "COM3\r\n"},
        {"empty", ""},
    };
    for (const auto& [name, text] : seeds)
        Write("link_files", name, text);
}

void LogViewerSeeds() {
    const LocalDateTime t{2026, 12, 5, 14, 3, 27};
    std::string records;
    auto bus = sim::DefaultBus();
    for (int i = 0; i < 24; ++i) {
        const Bytes reply = Answer(bus, CommandFrame(i % 2 ? 1 : 12, kCodeStatus), i * 1'000'000);
        records += CycleRecordLine(ReadStatus(reply).value_or(StatusReading{}), t);
        if (i == 10)
            records += DisconnectionRecordLine("DDD", t);
    }
    const auto seed = [](const std::string& name, std::uint8_t control, std::uint8_t pgUp,
                         const std::string& text) {
        Write("log_viewer", name,
              std::string{static_cast<char>(control), static_cast<char>(pgUp)} + text);
    };
    seed("records", 1, 3, records);
    std::string lf = records;
    std::erase(lf, '\r');
    seed("records-lf", 0, 0, lf);
    seed("records-cr", 0, 0, std::string(lf).replace(lf.find('\n'), 1, "\r"));
    seed("no-final-line-break", 0, 0, records.substr(0, records.size() - 2));
    std::string many;
    for (int i = 0; i < 1030; ++i)
        many += std::to_string(i % 10) + "\r\n";
    seed("past-the-last-line", 0x7F, 0, many);
    seed("line-end-across-reads", 0x80, 0, "\r\n" + records.substr(0, 200));
    seed("empty", 0, 0, "");
}

// Conversations as the traffic window sees them: each entry a header (its kind in bits 0-1:
// sent, taken in, discarded, taken in after a flood; its length in bits 2-7) and its bytes.
class TrafficSeed {
  public:
    TrafficSeed& Entry(int kind, Bytes bytes) {
        if (bytes.size() > 63)
            bytes.resize(63);
        bytes_.push_back(static_cast<std::uint8_t>(bytes.size() << 2 | kind));
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // The request, and the bus's answer to it taken in.
    TrafficSeed& Exchange(sim::Bus& bus, const Bytes& request, int kind = 1) {
        return Entry(0, request).Entry(kind, Answer(bus, request, 0));
    }
    void Save(const std::string& name) { Write("traffic_describer", name, bytes_); }

  private:
    Bytes bytes_;
};

void TrafficSeeds() {
    auto bus = sim::DefaultBus();
    TrafficSeed()
        .Exchange(bus, CommandFrame(1, kCodeStatus))
        .Exchange(bus, CommandFrame(0, kCodeStatus))
        .Exchange(bus, CommandFrame(1, kCodePrimaryVersion))
        .Exchange(bus, CommandFrame(12, kCodeSecondaryVersion))
        .Exchange(bus, CommandFrame(7, kCodeAlign))
        .Save("requests-and-replies");
    TrafficSeed()
        .Exchange(bus, ReadSetupFrame(1))
        .Exchange(bus, WriteSetupFrame(1, {0x24, 0x05, 2, 10}))
        .Exchange(bus, NewAddressFrame(12, 9))
        .Exchange(bus, SnTestFrame(1))
        .Exchange(bus, NormalModeFrame(1))
        .Save("setup-and-writes");
    for (const char* fault :
         {"bad CRC", "wrong address", "exception", "truncated", "flood", "noise", "late"}) {
        auto faulty = sim::DefaultBus();
        faulty.InjectFault(1, fault);
        std::string name = fault;
        std::replace(name.begin(), name.end(), ' ', '-');
        const bool flood = name == "flood";
        TrafficSeed()
            .Exchange(faulty, CommandFrame(1, kCodeStatus), flood ? 3 : 1)
            .Exchange(faulty, CommandFrame(1, kCodeStatus), 2)
            .Save("fault-" + name);
    }
    TrafficSeed().Entry(0, {0x01}).Entry(1, {0x01, 0xC8, 0x00}).Entry(0, {}).Save("short-frames");
}

void SimFrameSeeds() {
    const Bytes requests = CommandFrame(1, kCodeStatus) + CommandFrame(7, kCodePrimaryVersion) +
                           CommandFrame(12, kCodeSecondaryVersion) + ReadSetupFrame(1) +
                           WriteSetupFrame(7, {0x04, 0x01, 0, 0}) + NewAddressFrame(12, 9) +
                           SnTestFrame(1) + NormalModeFrame(1) + CommandFrame(0, kCodeStatus);
    constexpr std::uint8_t kNone = 0xFF;
    Write("sim_frames", "requests", Bytes{kNone, kNone, kNone, 255} + requests);
    Write("sim_frames", "requests-byte-by-byte", Bytes{kNone, kNone, kNone, 0} + requests);
    const Bytes garbage{0xFF, 0x01, 0x10, 0x00, 0xC8};
    Write("sim_frames", "requests-in-garbage",
          Bytes{kNone, kNone, kNone, 6} + garbage + CommandFrame(1, kCodeStatus) + garbage +
              WriteSetupFrame(1, {0x24, 0x05, 2, 10}));
    for (std::uint8_t f = 0; f < sim::kFaultCount; ++f)
        Write("sim_frames", "fault-" + std::to_string(f), Bytes{f, f, f, 255} + requests);
}

void SimConsoleSeeds() {
    const std::pair<const char*, std::string> seeds[] = {
        {"mute-unmute", "mute 1\nunmute 1\ndump\n"},
        {"status", "status 1 AAN 7\nstatus 12 XXX 0\nstatus 7 WWN 300\n"},
        {"faults", "fault 7 bad CRC\nfault 1 split delivery\nclear 7 bad-crc\nclear 1\n"},
        {"mistakes", "mute\nmute 300\nfault 1 nothing\nbogus\n\n  \ndump 1\n"},
        {"quit", "dump\nquit\nmute 1\n"},
    };
    for (const auto& [name, text] : seeds)
        Write("sim_console", name, text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-seeds DIR\n";
        return 2;
    }
    gRoot = argv[1];
    BusReplySeeds();
    PollSeeds();
    LinkFileSeeds();
    LogViewerSeeds();
    TrafficSeeds();
    SimFrameSeeds();
    SimConsoleSeeds();
    return 0;
}
