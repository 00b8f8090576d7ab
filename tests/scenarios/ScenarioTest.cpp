// The program under fault on virtual time: noise, late and cut replies, collisions, floods,
// detectors that move, an adapter pulled out, a log folder or a disk that fails, and a day of
// it all at random. Each case says what the panel shows and which lines land in which files.
// The lines are predicted by the recording rules from what the program read in each poll,
// apart from the writer, and every line must be one the record formatting writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "logging/LogViewer.h"
#include "logging/LoggingControl.h"
#include "monitor/Decoder.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr Micros kSecond = 1'000'000;

// The PC clock: 14:03:27 on 5 December 2026 when virtual time starts, then running with it.
LocalDateTime ClockAt(Micros t) {
    const int s = static_cast<int>(14 * 3600 + 3 * 60 + 27 + t / kSecond);
    return {2026, 12, 5 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60};
}

std::string Stamp(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.day, t.month, t.year % 100,
                  t.hour, t.minute, t.second);
    return text;
}

// "status date time" of a record line (CR LF taken off); empty unless the record formatting,
// given the values the line shows, writes exactly this line and the viewer cuts its date back.
std::string KeyOf(const std::string& line) {
    std::istringstream in(line);
    std::string status, date, time, again;
    LocalDateTime t;
    in >> status >> date >> time;
    if (std::sscanf(date.c_str(), "%2d/%2d/%2d", &t.day, &t.month, &t.year) != 3 ||
        std::sscanf(time.c_str(), "%2d:%2d:%2d", &t.hour, &t.minute, &t.second) != 3)
        return {};
    t.year += 2000;
    if (status == "DDD") {
        again = DisconnectionRecordLine(status, t);
    } else if (status.size() >= 4) {
        Par p;
        p.StatusParts = {status.substr(0, 1), status.substr(1, 1), status.substr(2, 1),
                         status.substr(3)};
        in >> p.ChannelValues[4] >> p.GainText;
        for (int slot : {0, 1, 2, 5, 6, 7, 8, 12})
            in >> p.ChannelValues[slot];
        again = CycleRecordLine(p, t);
    }
    if (again != line + "\r\n" || CutLogLine(line)[2] != " " + date)
        return {};
    return status + " " + Stamp(t);
}

// The recording rules, applied to what the program read in each poll and to the ticks: the
// lines (status or "DDD", date and time) that must land in each file, in order.
struct Rules {
    std::function<LocalDateTime()> now;
    std::function<bool(const std::string& file)> writable = [](const std::string&) { return true; };
    std::map<std::string, std::deque<std::string>> lines;
    std::uint8_t current = 1;  // the address the last status query went to
    long long polls = 0, failed = 0, cycle = 0, disconnection = 0;

    void Poll(const std::optional<Bytes>& read) {
        ++polls;
        const Bytes b = read.value_or(Bytes{});
        // What the link takes: at most 257 bytes, a command or plain function, a sound CRC.
        if (b.size() < 2 || b.size() > kRxBufferSize || (b[1] != FunctionCommand && b[1] >= 128) ||
            !ReplyCrcIsValid(b, static_cast<int>(b.size())))
            return Silence();
        if (b.size() < 30 || !PassesAcceptanceTest(b))
            return;  // taken, but no whole status reply: "Good", nothing decoded
        answered_ = true;
        reply_ = b[0];
        fails_[current] = 0;
        status_.clear();
        for (const auto& part : StatusPartsOf(b))
            status_ += part;
        file_ = LogFileName(b[7] * 256 + b[8]);
        nq_ = b[21] != 0 && b[22] != 0;
        if (b[9] != last9_[reply_]) {
            last9_[reply_] = b[9];
            due_[reply_] = true;
        }
        if (const int c = b[10] | 0x20; c >= 'a' && c <= 'z')
            WriteCycle();
    }
    void Tick() {
        if (!answered_)
            return;  // no detector has given anything to record yet
        due_[reply_] = true;
        WriteCycle();
    }

  private:
    void Silence() {
        ++failed;
        if (++fails_[current] > 4095)
            fails_[current] = 0;
        if (fails_[current] < 5)
            return;
        // Without real values from a detector there is nothing to mark, now or later.
        mark_[current] = nq_;
        if (nq_)
            WriteMark();
    }
    void WriteCycle() {
        if (!due_[reply_])
            return;
        if (mark_[current])
            return WriteMark();  // the pending disconnection goes first
        if (Append(file_, status_, cycle))
            due_[reply_] = false;
    }
    void WriteMark() {
        if (Append(DisconnectionFileName(current), "DDD", disconnection))
            mark_[current] = false;
    }
    bool Append(const std::string& file, const std::string& status, long long& count) {
        if (!writable(file))
            return false;
        lines[file].push_back(status + " " + Stamp(now()));
        ++count;
        return true;
    }

    std::array<int, 256> fails_{};
    std::array<std::uint8_t, 256> last9_{};
    std::array<bool, 256> due_{}, mark_{};
    std::uint8_t reply_ = 0;
    bool answered_ = false, nq_ = false;
    std::string status_, file_;
};

// The monitoring program logging at a period of one second, its Timer2 on virtual time as the
// application runs it, with the rules following every poll.
struct Rig {
    explicit Rig(sim::Bus bus = OneDetector(1)) : b(std::move(bus)) {
        rules.now = [this] { return b.clockTime; };
        b.clockTime = ClockAt(0);
        b.simBus->onTraffic = [this](Micros, bool fromHost, const Bytes& f) {
            if (fromHost && f.size() == 9 && f[1] == FunctionCommand && f[4] == kCodeStatus) {
                rules.current = f[0];
                if (onQuery)
                    onQuery();  // before the detectors answer it
            }
        };
        b.port.onRead = [this](const Bytes& bytes) { read = bytes; };
        b.onChanged = [this] {  // the end of a poll, unless an operator command shows something
            if (!commanding)
                rules.Poll(std::exchange(read, std::nullopt));
        };
        LogMenuCommand(b.par, [] { return std::string("1"); });
        timer2->SetInterval(kLogTickMs);
        timer2->onTick = [this] {
            b.clockTime = ClockAt(b.plat.NowUs());
            LogTick(b.par, b.clockTime);
            rules.Tick();
        };
        timer2->SetEnabled(true);
        // The real port reopens a device that has come back, once a second; the simulated one
        // leaves that to its owner.
        reopen->onTick = [this] {
            if (!b.port.IsOpen() && !b.port.Unplugged())
                b.port.Open("sim", nullptr);
        };
        reopen->SetEnabled(true);
    }
    void Operator(const std::function<void()>& act) {
        commanding = true;
        act();
        commanding = false;
        read.reset();
    }
    void At(Micros t, std::function<void()> fn) { b.At(t, std::move(fn)); }
    void Watch(Micros t) {
        At(t, [this, t] { shown[t] = Shown(); });
    }
    // Com | Status | DetNum | lamp.
    std::string Shown() const {
        const auto& m = b.par.Main;
        const char* lamps[] = {"none", "green", "red"};
        return m.Com + "|" + m.Status + "|" + m.DetNum + "|" + lamps[static_cast<int>(m.Shape1)];
    }
    // Matches what the files gained since the last look, line by line, with what the rules
    // called for; returns the lines found by file.
    std::map<std::string, int> Settle() {
        std::set<std::string> files;
        for (const auto& [file, _] : rules.lines)
            files.insert(file);
        for (const auto& e : fs::directory_iterator(b.par.ProgramFolder))
            files.insert(e.path().filename().string());
        std::map<std::string, int> found;
        for (const auto& file : files) {
            std::ifstream in(fs::path(b.par.ProgramFolder) / file, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(seen_[file]));
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            seen_[file] += text.size();
            std::vector<std::string> got;
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t end = text.find("\r\n", at);
                // A last line without its CR LF keeps a "\n", which no record line has.
                got.push_back(end == std::string::npos ? text.substr(at) + "\n"
                                                       : text.substr(at, end - at));
                at = end == std::string::npos ? text.size() : end + 2;
                (got.back().starts_with("DDD") ? foundDisconnection : foundCycle) += 1;
            }
            auto& want = rules.lines[file];
            std::size_t n = 0;
            while (n < got.size() && n < want.size() && KeyOf(got[n]) == want[n])
                ++n;
            if (n < got.size() || n < want.size())
                ADD_FAILURE() << file << " line " << n + 1 << ": \""
                              << (n < got.size() ? got[n].substr(0, 100) : "(none)")
                              << "\", expected \"" << (n < want.size() ? want[n] : "(none)")
                              << "\"";
            found[file] = static_cast<int>(got.size());
            want.clear();
        }
        return found;
    }

    Bench b;
    Rules rules;
    std::unique_ptr<Timer> timer2 = b.plat.NewTimer(), reopen = b.plat.NewTimer();
    std::function<void()> onQuery;
    std::optional<Bytes> read;
    bool commanding = false;
    std::map<Micros, std::string> shown;
    long long foundCycle = 0, foundDisconnection = 0;
    std::map<std::string, std::uintmax_t> seen_;
};

constexpr const char* kGood = "Good|NNN0|1|green";
constexpr const char* kLost = "Bad|DDD|1|red";

std::string NameOf(const char* fault) {
    std::string name = fault ? fault : "burst";
    std::erase(name, ' ');
    return name;
}

// A fault that spoils every reply for five seconds: the lost detector after five failed polls,
// one DDD line per failed poll from the fifth, the cycle record of every tick still written
// with the last values, and "Good" once the replies are sound again.
class SpoiltReplies : public ::testing::TestWithParam<const char*> {};

TEST_P(SpoiltReplies, ShowTheLostDetectorLogADddLinePerFailedPollFromTheFifthThenGoodAgain) {
    Rig r;
    r.At(2 * kSecond, [&] { r.b.bus().InjectFault(1, GetParam()); });
    r.At(7 * kSecond, [&] { r.b.bus().ClearFaults(1); });
    r.Watch(6'500'000);
    r.b.Run(16'500'000);  // the answers a flood queued on the line take seven seconds to pass
    EXPECT_EQ(r.shown[6'500'000], kLost);
    EXPECT_EQ(r.Shown(), kGood);
    const auto found = r.Settle();
    EXPECT_EQ(found.at("1.txt"), r.rules.failed - 1 - 4);  // less the start-up collision
    EXPECT_EQ(found.at("4711.txt"), 1 + 16);               // the first reply's, then each tick's
}

INSTANTIATE_TEST_SUITE_P(Scenario, SpoiltReplies,
                         ::testing::Values("silent", "noise", "late", "truncated", "bad CRC",
                                           "flood"),
                         [](const auto& info) { return NameOf(info.param); });

// One spoilt reply, or three bytes of noise after a reply: a poll or two lost (a late tail
// spoils the next poll too), the panel stays "Good" and no DDD line is written.
class OneSpoiltReply : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(OneSpoiltReply, CostsItsPollsOnlyThePanelStaysGoodAndNoDddLineIsWritten) {
    const auto [fault, lost] = GetParam();
    Rig r;
    int queries = 0;
    long long failedBefore = 0;
    r.onQuery = [&] {
        if (r.b.plat.NowUs() < 2 * kSecond || ++queries > 2)
            return;
        if (queries == 2)
            return r.b.bus().ClearFaults(1);
        failedBefore = r.rules.failed;
        if (fault)
            r.b.bus().InjectFault(1, fault);
        else  // after this query's reply, before the next query
            r.b.port.SendToHost({0xFF, 0x00, 0x55}, r.b.plat.NowUs() + 100'000);
    };
    r.b.Run(5'500'000);
    EXPECT_EQ(r.rules.failed - failedBefore, lost);
    EXPECT_EQ(r.Shown(), kGood);
    const auto found = r.Settle();
    EXPECT_EQ(found.count("1.txt"), 0u);
    EXPECT_EQ(found.at("4711.txt"), 1 + 5);
}

INSTANTIATE_TEST_SUITE_P(Scenario, OneSpoiltReply,
                         ::testing::Values(std::pair{nullptr, 1}, std::pair{"noise", 1},
                                           std::pair{"late", 2}, std::pair{"truncated", 1},
                                           std::pair{"bad CRC", 1}, std::pair{"flood", 3},
                                           std::pair{"split delivery", 0}),
                         [](const auto& info) { return NameOf(info.param.first); });

TEST(Scenario, SearchAmongThreeDetectorsCollidesShowsTheLostDetectorAndLogsDddInto0Txt) {
    Rig r(sim::DefaultBus());
    r.At(kSecond, [&] { r.Operator([&] { r.b.comm->cmdMaster(); }); });
    r.Watch(3 * kSecond);
    r.At(4 * kSecond, [&] { r.Operator([&] { r.b.comm->cmdMaster(); }); });  // search off
    r.b.Run(6'500'000);
    EXPECT_EQ(r.shown[3 * kSecond], kLost);
    EXPECT_EQ(r.Shown(), kGood);  // polling the address shown when the search ended
    const auto found = r.Settle();
    EXPECT_GT(found.at("0.txt"), 5);
    EXPECT_EQ(found.count("1.txt"), 0u);
}

// Served at 253, outside the Modbus range, until another master moves it to 9: lost at 253,
// found again at 9 by a search, its records in one file throughout.
TEST(Scenario, ADetectorAt253MovedByAnotherMasterIsLostThereAndFoundAgainBySearch) {
    Rig r(OneDetector(253, 24, 2530));
    r.Operator([&] { r.b.comm->cmdMaster(); });
    r.At(2 * kSecond, [&] { r.Operator([&] { r.b.comm->cmdMaster(); }); });
    r.Watch(3 * kSecond);
    r.At(4 * kSecond, [&] {
        ASSERT_TRUE(r.b.bus().Find(253)->Handle(NewAddressFrame(253, 9), r.b.plat.NowUs()));
    });
    r.Watch(7'500'000);
    r.At(8 * kSecond, [&] { r.Operator([&] { r.b.comm->cmdMaster(); }); });
    r.At(9 * kSecond, [&] { r.Operator([&] { r.b.comm->cmdMaster(); }); });
    r.b.Run(11'500'000);
    EXPECT_EQ(r.shown[3 * kSecond], "Good|NNN0|253|green");
    EXPECT_EQ(r.shown[7'500'000], "Bad|DDD|253|red");
    EXPECT_EQ(r.Shown(), "Good|NNN0|9|green");
    const auto found = r.Settle();
    EXPECT_GT(found.at("253.txt"), 0);
    EXPECT_EQ(found.at("2530.txt"), 1 + 11 + 1);  // a first reply at 253, each tick, one at 9
}

// A reply the link takes but that holds no status, like a 5-byte exception, is no reading. At
// address 133 the exception's CRC puts 42, the status marker, at index 4, and the rest of the
// status check then reads what an earlier reply, even one that failed its CRC, left behind.
TEST(Scenario, AnExceptionReplyAfterACorruptOneShowsAndLogsNothingOfTheCorruptReply) {
    Rig r(OneDetector(133));
    r.b.par.Main.DetNum = "133";
    auto& bus = r.b.bus();
    r.At(2 * kSecond, [&] {
        bus.Find(133)->SetStatus("FFF", 3);
        bus.InjectFault(133, "bad CRC");
    });
    r.At(2'200'000, [&] {
        bus.ClearFaults(133);
        bus.InjectFault(133, "exception");
    });
    r.b.Run(4'500'000);
    EXPECT_EQ(r.Shown(), "Good|NNN0|133|green");  // the last reply that passed its CRC
    r.Settle();                                   // no "FFF3" line in 4711.txt
}

TEST(Scenario, LoggingWhileNoDetectorHasEverAnsweredShowsTheLostDetectorAndWritesNoRecord) {
    Rig r(sim::Bus{});
    r.b.Run(10'500'000);
    EXPECT_EQ(r.Shown(), kLost);
    EXPECT_TRUE(r.Settle().empty());
}

TEST(Scenario, AnUnpluggedAdapterShowsTheLostDetectorAndPollingResumesOnceTheDeviceOpens) {
    Rig r;
    r.At(2 * kSecond, [&] { r.b.port.Unplug(); });
    r.At(6'500'000, [&] {
        r.b.port.Replug();
        r.b.port.FailNextOpen("Device or resource busy");  // the first reopen, at 7 s, fails
    });
    r.Watch(7'900'000);
    r.b.Run(10'500'000);
    EXPECT_EQ(r.shown[7'900'000], kLost);
    EXPECT_EQ(r.Shown(), kGood);
    const auto found = r.Settle();
    EXPECT_EQ(found.at("1.txt"), r.rules.failed - 1 - 4);
    EXPECT_EQ(found.at("4711.txt"), 1 + 10);
}

// The log folder replaced by a plain file or gone, or the disk full (the serial number's file
// then leads to /dev/full), from 2.5 s to 8 s, while the detector is silent from 3 s to 7 s.
enum class Outage { FolderIsAFile, FolderGone, DiskFull };
class LogOutage : public ::testing::TestWithParam<Outage> {};

TEST_P(LogOutage, TheDueRecordsLandOnceWhenWritingWorksAgainAndTheWarningNamesTheFileMeanwhile) {
    const Outage outage = GetParam();
    if (outage == Outage::DiskFull && !fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    Rig r;
    const fs::path folder = r.b.par.ProgramFolder, log = folder / "4711.txt";
    const fs::path aside =
        outage == Outage::DiskFull ? folder / "kept" : fs::path(folder.string() + "~");
    bool broken = false;
    r.rules.writable = [&](const std::string& file) {
        return !broken || (outage == Outage::DiskFull && file != "4711.txt");
    };
    r.At(2'500'000, [&] {
        broken = true;
        fs::rename(outage == Outage::DiskFull ? log : folder, aside);
        if (outage == Outage::DiskFull)
            fs::create_symlink("/dev/full", log);
        if (outage == Outage::FolderIsAFile)
            std::ofstream(folder) << "not a folder";
    });
    r.At(3 * kSecond, [&] { r.b.bus().InjectFault(1, "silent"); });
    r.At(7 * kSecond, [&] { r.b.bus().ClearFaults(1); });
    std::string warning;
    r.At(7'900'000, [&] { warning = LogWarning(r.b.par); });
    r.At(8 * kSecond, [&] {
        broken = false;
        fs::remove(outage == Outage::DiskFull ? log : folder);
        fs::rename(aside, outage == Outage::DiskFull ? log : folder);
    });
    r.b.Run(10'500'000);
    EXPECT_NE(warning.find(log.string()), std::string::npos) << warning;
    EXPECT_EQ(LogWarning(r.b.par), "");
    EXPECT_EQ(r.Shown(), kGood);
    const auto found = r.Settle();
    // Ticks 1 and 2, the one record due through the outage, ticks 9 and 10.
    EXPECT_EQ(found.at("4711.txt"), 1 + 2 + 1 + 2);
    // Without a folder the disconnection stays marked, and lands first once it is back.
    EXPECT_EQ(found.at("1.txt") == 1, outage != Outage::DiskFull);
}

std::string OutageName(const ::testing::TestParamInfo<Outage>& info) {
    return std::array{"FolderIsAFile", "FolderGone", "DiskFull"}[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Scenario, LogOutage,
                         ::testing::Values(Outage::FolderIsAFile, Outage::FolderGone,
                                           Outage::DiskFull),
                         OutageName);

// Resident set size at its peak so far, in kB.
long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::atol(line.c_str() + 6);
    return 0;
}

// A day of polling (HALVERN_SOAK_HOURS to choose; one hour under the sanitizers, which make it
// twenty times slower) with logging every second, while faults come and go at random from a
// fixed seed: every line as the rules call for, memory flat.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSoakHours = 1;
#else
constexpr int kSoakHours = 24;
#endif

TEST(Soak, HoursOfRandomFaultsLoseNoRecordDoubleNoneAndKeepMemoryFlat) {
    const char* env = std::getenv("HALVERN_SOAK_HOURS");
    const int hours = env ? std::max(1, std::atoi(env)) : kSoakHours;
    Rig r;
    r.b.port.SetRecording(false);  // the test's own record of every frame would grow
    std::mt19937 random(20261205);
    const auto between = [&](double lo, double hi) {
        return static_cast<Micros>(std::uniform_real_distribution<>(lo, hi)(random) * kSecond);
    };
    // Not "wrong address": it hands the polling to an address where nobody answers.
    const char* faults[] = {"silent", "late",  "bad CRC",   "split delivery", "truncated",
                            "flood",  "noise", "exception", "ignore writes"};
    const std::pair<const char*, int> statuses[] = {{"NNN", 0}, {"WWN", 7}, {"S1U", 9}, {"ONN", 0}};
    std::map<std::string, int> injected;
    Micros pluggedAt = 0;
    std::function<void()> next = [&] {
        const Micros now = r.b.plat.NowUs();
        auto& bus = r.b.bus();
        if (const auto choice = random() % 4; choice == 0) {
            const char* f = faults[random() % std::size(faults)];
            bus.InjectFault(1, f);
            ++injected[f];
            r.At(now + between(0.2, 30), [&bus, f] { bus.ClearFault(1, f); });
        } else if (choice == 1) {
            const auto& [chars, number] = statuses[random() % std::size(statuses)];
            bus.Find(1)->SetStatus(chars, static_cast<std::uint8_t>(number));
            ++injected["status change"];
        } else if (choice == 2) {
            // Now and then the laptop stays unplugged long enough (4096 polls) for the count of
            // failed polls to start again.
            const bool brief = random() % 100;
            r.b.port.Unplug();
            ++injected[brief ? "unplug" : "unplug for 45 to 60 min"];
            const Micros back = now + (brief ? between(1, 40) : between(2700, 3600));
            pluggedAt = std::max(pluggedAt, back);
            r.At(back, [&] {
                if (r.b.plat.NowUs() < pluggedAt)
                    return;  // a longer outage is still on
                r.b.port.Replug();
                if (random() % 2 == 0) {
                    r.b.port.FailNextOpen("Device or resource busy");
                    ++injected["open fails"];
                }
            });
        } else {
            bus.ClearFaults(1);
        }
        r.At(now + between(5, 60), next);
    };
    r.At(between(5, 60), next);
    long firstHourKb = 0, lastHourKb = 0;
    for (int h = 1; h <= hours; ++h) {
        h == 1 ? r.b.Run(h * 3600 * kSecond) : r.b.Continue(h * 3600 * kSecond);
        r.Settle();
        (h == 1 ? firstHourKb : lastHourKb) = PeakRssKb();
    }
    EXPECT_EQ(r.foundCycle, r.rules.cycle);
    EXPECT_EQ(r.foundDisconnection, r.rules.disconnection);
    EXPECT_GT(r.rules.disconnection, 0);
#if !defined(__SANITIZE_ADDRESS__)  // which keeps freed memory aside on purpose
    EXPECT_LT(hours > 1 ? lastHourKb - firstHourKb : 0, 4096);
#endif
    std::ostringstream faultsText;
    for (const auto& [name, n] : injected)
        faultsText << " " << name << "=" << n;
    std::printf(
        "soak: %d h, %lld polls (%lld failed), injected:%s; cycle records expected %lld "
        "found %lld, disconnection records expected %lld found %lld; peak RSS %ld kB "
        "after the first hour, %ld kB after the last\n",
        hours, r.rules.polls, r.rules.failed, faultsText.str().c_str(), r.rules.cycle, r.foundCycle,
        r.rules.disconnection, r.foundDisconnection, firstHourKb,
        hours > 1 ? lastHourKb : firstHourKb);
}

}  // namespace
}  // namespace halvern::test
