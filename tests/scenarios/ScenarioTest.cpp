// The program under fault on virtual time: noise, late and cut replies, short "V" replies,
// collisions, floods, detectors that move or read an NQ ratio of 0, an adapter pulled out, a
// log folder or a disk that fails, and a day of it all at random. Each case says what the
// panel shows and which lines land in which files. The lines are predicted by a model of the
// recording rules from what the program read in each poll, apart from the writer, and every
// line must be one the record format gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "logging/LogViewer.h"
#include "logging/LoggingControl.h"
#include "monitor/Decoder.h"
#include "platform/FilePath.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr Micros kSecond = 1'000'000;

std::string Stamp(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.day, t.month, t.year % 100,
                  t.hour, t.minute, t.second);
    return text;
}

// A line as the rules name it: "status date time shape", where the shape has a "v" for each
// value field that holds a value and a "_" for one left blank (temperature, gain, Signal 1,
// Reference, Signal 2, Ratio 1, Ratio 2, NQ ratios 1 and 2, gas reading); "DDD date time" of a
// disconnection record, whose time is unpadded. The line is cut as the viewer cuts it (the
// columns of each field are the record writer's own test); empty when it has no CR LF.
std::string KeyOf(const std::string& line) {
    const LogFields f = CutLogLine(line);
    int h = 0, m = 0, s = 0;
    if (line.ends_with('\n') || std::sscanf(f[1].c_str(), "%d:%d:%d", &h, &m, &s) != 3)
        return {};
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", h, m, s);
    std::string key = f[0] + " " + f[2] + " " + time + (f[0] == "DDD" ? "" : " ");
    for (std::size_t i = 3; i < f.size() && f[0] != "DDD"; ++i)
        key += f[i].empty() ? '_' : 'v';
    return key;
}

// The recording rules, applied to what the program read in each poll and to the ticks: the
// lines (status or "DDD", date and time, and which values the line holds) that must land in
// each file, in order. Written from the description of the link, the status reply and the log
// records, not from the program's own code.
struct Rules {
    std::function<LocalDateTime()> now;
    std::function<bool(const std::string& file)> writable = [](const std::string&) { return true; };
    std::map<std::string, std::deque<std::string>> lines;
    std::uint8_t current = 1;  // the address the last status query went to
    long long failed = 0;      // polls without a reply the link takes

    void Poll(const std::optional<Bytes>& read) {
        const Bytes b = read.value_or(Bytes{});
        // What the link takes: at most 257 bytes, a command or plain function, a sound CRC.
        if (b.size() < 2 || b.size() > kRxBufferSize || (b[1] != FunctionCommand && b[1] >= 128) ||
            !ReplyCrcIsValid(b, static_cast<int>(b.size())))
            return Silence();
        linkReply_ = b[0];
        // A status reply: a listed family and either the marker of a complete reply or "V" at
        // index 10, each from the reply's own bytes before its CRC.
        const auto has = [n = b.size() - 2](std::size_t i) { return i < n; };
        static const std::set<int> kFamilies{24, 25, 32, 33, 34, 35, 36, 37, 38, 48, 49};
        if (!has(6) || !kFamilies.contains(b[6]) ||
            !((b.size() >= 30 && b[4] == 42) || (has(10) && b[10] == 'V')))
            return;  // taken, but no status reply: "Good", nothing decoded
        fails_[current] = 0;
        givenUp_[current] = givenUp_[linkReply_] = false;
        status_ = std::string(1, b[9] == '2'   ? 'O'
                                 : b[9] == '3' ? 'R'
                                               : char(b[9])) +
                  char(b[10]) + (has(11) ? std::string(1, char(b[11])) : "") +
                  (has(12) ? std::to_string(b[12]) : "");
        wholeStatus_ = has(12);
        file_ = std::to_string(b[7] * 256 + b[8]) + ".txt";
        // Temperature, gain, Signal 1, Reference, Signal 2, Ratio 1, Ratio 2, NQ ratios, gas.
        shape_.clear();
        for (std::size_t i : {18, 13, 14, 15, 16, 19, 20, 21, 22, 27})
            shape_ += has(i) ? 'v' : '_';
        // An NQ ratio the reply did not carry is not 0.
        nqZero_ = (has(21) && b[21] == 0) || (has(22) && b[22] == 0);
        due_[linkReply_] |= std::exchange(last9_[linkReply_], b[9]) != b[9];
        if (const int c = b[10] | 0x20; c >= 'a' && c <= 'z')
            WriteCycle();
    }
    void Tick() {
        due_[linkReply_] = true;
        WriteCycle();
    }

  private:
    void Silence() {
        ++failed;
        fails_[current] = (fails_[current] + 1) % 4096;
        mark_[current] |= fails_[current] >= 5;
        givenUp_[current] |= fails_[current] >= 5;
        if (fails_[current] >= 5 && !nqZero_)
            WriteMark();  // with an NQ ratio of 0 the mark waits for the cycle writer
    }
    // The one place where a due cycle record is written, or not. A record needs a whole status
    // code: none before the first status reply, nor from one too short to reach the status
    // number. It stays due.
    void WriteCycle() {
        if (!due_[linkReply_] || !wholeStatus_)
            return;
        if (mark_[current])
            return WriteMark();  // the pending disconnection goes first
        // The last values of a detector given up (from the fifth failed poll to its next status
        // reply) are no measurement: no record of them.
        if (givenUp_[linkReply_] || givenUp_[current])
            return;
        due_[linkReply_] = !Append(file_, status_ + " " + Stamp(now()) + " " + shape_);
    }
    void WriteMark() {
        mark_[current] = !Append(std::to_string(current) + ".txt", "DDD " + Stamp(now()));
    }
    bool Append(const std::string& file, const std::string& key) {
        const bool ok = writable(file);
        if (ok)
            lines[file].push_back(key);
        return ok;
    }

    std::array<int, 256> fails_{};
    std::array<std::uint8_t, 256> last9_{};
    std::array<bool, 256> due_{}, mark_{}, givenUp_{};
    std::uint8_t linkReply_ = 0;
    bool wholeStatus_ = false;
    bool nqZero_ = true;  // the values before any reply are all 0
    std::string status_, file_, shape_;
};

// The monitoring program logging at a period of one second, its Timer2 on virtual time as the
// application runs it, with the rules following every poll.
struct Rig {
    explicit Rig(sim::Bus bus = OneDetector(1)) : b(std::move(bus)) {
        rules.now = [this] { return b.clockTime; };
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
    // Com | Status | its description | DetNum | lamp.
    std::string Shown() const {
        const auto& m = b.par.Main;
        return m.Com + "|" + m.Status + "|" + m.SIL2Des + "|" + m.DetNum + "|" +
               std::array{"none", "green", "red"}[static_cast<int>(m.Shape1)];
    }
    // Matches the files, line by line, with what the rules called for; returns the lines found
    // by file.
    std::map<std::string, int> Settle() {
        for (const auto& e : fs::directory_iterator(b.par.ProgramFolder))
            rules.lines[e.path().filename().string()];  // a file the rules did not call for too
        std::map<std::string, int> found;
        for (const auto& [file, want] : rules.lines) {
            std::ifstream in(fs::path(b.par.ProgramFolder) / file, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            std::vector<std::string> got;
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t end = text.find("\r\n", at);
                // A last line without its CR LF keeps a "\n", which no record line has.
                got.push_back(end == std::string::npos ? text.substr(at) + "\n"
                                                       : text.substr(at, end - at));
                at = end == std::string::npos ? text.size() : end + 2;
            }
            std::size_t n = 0;
            while (n < got.size() && n < want.size() && KeyOf(got[n]) == want[n])
                ++n;
            if (n < got.size() || n < want.size())
                ADD_FAILURE() << file << " line " << n + 1 << ": \""
                              << (n < got.size() ? got[n] : "") << "\", expected \""
                              << (n < want.size() ? want[n] : "") << "\"";
            found[file] = static_cast<int>(got.size());
        }
        return found;
    }

    Bench b;
    Rules rules;
    std::unique_ptr<Timer> timer2 = b.plat.NewTimer(), reopen = b.plat.NewTimer();
    std::function<void()> onQuery;
    std::optional<Bytes> read;
    bool commanding = false;
};

constexpr const char* kGood = "Good|NNN0|Normal|1|green";
constexpr const char* kLost = "Bad|DDD|Disconnection|1|red";

// What the panel shows at the watched times (the last at the end of the run), and how many lines
// each file named holds in the end (0: no such file); every line as the rules call for.
constexpr int kFromTheFifth = -1;  // one per failed poll from the fifth, less the start-up's
struct Story {
    std::string name;
    std::function<void(Rig&)> act;
    Micros until;
    std::map<Micros, std::string> shown;
    std::map<std::string, int> lines;
    long long failed = -1;  // failed polls in all, when counted
    std::function<sim::Bus()> bus = [] { return OneDetector(1); };
};

// The operator's acts at the given times, and a fault on address 1 from `from` to `to`.
using Act = std::function<void(Rig&)>;
Act Acts(std::vector<std::pair<Micros, Act>> acts) {
    return [acts](Rig& r) {
        for (const auto& [at, act] : acts)
            r.At(at, [&r, act] { act(r); });
    };
}
Act During(const char* fault, Micros from, Micros to) {
    return Acts({{from, [fault](Rig& r) { r.b.bus().InjectFault(1, fault); }},
                 {to, [](Rig& r) { r.b.bus().ClearFaults(1); }}});
}
void Master(Rig& r) {
    r.Operator([&] { r.b.comm->cmdMaster(); });
}

// The log folder replaced by a plain file or gone, or the disk full (the serial number's file
// then leads to /dev/full), from 2.5 s to 8 s, while the detector is silent from 3 s to 7 s;
// the warning names the file meanwhile.
enum class Outage { FolderIsAFile, FolderGone, DiskFull };
Act LogOutage(Outage outage) {
    return [outage](Rig& r) {
        const fs::path folder = r.b.par.ProgramFolder, log = folder / "4711.txt";
        const fs::path aside =
            outage == Outage::DiskFull ? folder / "kept" : fs::path(folder.string() + "~");
        const fs::path gone = outage == Outage::DiskFull ? log : folder;
        const auto broken = std::make_shared<bool>(false);
        r.rules.writable = [=](const std::string& file) {
            return !*broken || (outage == Outage::DiskFull && file != "4711.txt");
        };
        r.At(2'500'000, [=] {
            *broken = true;
            fs::rename(gone, aside);
            if (outage == Outage::DiskFull)
                fs::create_symlink("/dev/full", log);
            if (outage == Outage::FolderIsAFile)
                std::ofstream(folder) << "not a folder";
        });
        During("silent", 3 * kSecond, 7 * kSecond)(r);
        r.At(7'900'000, [&r, log] {
            EXPECT_NE(LogWarning(r.b.par).find(NativePath(log.string())), std::string::npos);
        });
        r.At(10'400'000, [&r] { EXPECT_EQ(LogWarning(r.b.par), ""); });
        r.At(8 * kSecond, [=] {
            *broken = false;
            fs::remove(gone);
            fs::rename(aside, gone);
        });
    };
}

// clang-format off
std::vector<Story> Stories() {
    std::vector<Story> stories;
    // A fault that spoils every reply for five seconds: the lost detector after five failed
    // polls, one DDD line per failed poll from the fifth, and "Good" once the replies are sound
    // again. Its own file gets the first reply's record and each tick's until it is given up;
    // none while it is given up (the tick's record stays due, and the first status reply after
    // writes it with its own values); each tick's again from then on. Failed polls of a broken
    // reply take 0.17 s, silent ones 0.61 s; the answers a flood queued on the line take seven
    // seconds to pass.
    for (const auto& [fault, records] : {std::pair<const char*, int>{"silent", 1 + 5 + 1 + 9}, {"noise", 1 + 2 + 1 + 9}, {"late", 1 + 3 + 1 + 9},
                                         {"truncated", 1 + 2 + 1 + 9}, {"bad CRC", 1 + 2 + 1 + 9}, {"flood", 1 + 2 + 1 + 3}})
        stories.push_back({fault, During(fault, 2 * kSecond, 7 * kSecond), 16'500'000, {{6'500'000, kLost}, {16'500'000, kGood}},
                           {{"1.txt", kFromTheFifth}, {"4711.txt", records}}});
    // A detector whose NQ ratio (either) reads 0, silent from 3 s to 9 s: lost at the fifth
    // failed poll (6.14 s), and from then its address's file gets a DDD line at each tick (7, 8
    // and 9 s) and at the first reply after (the mark of the poll that failed at 9.14 s), in
    // place of a record of its last values in its own file: the first reply's, ticks 1 to 6,
    // the record left due by tick 9 at the second reply, ticks 10 and 11.
    for (const char* nq : {"nq1", "nq2"})
        stories.push_back({std::string("ZeroNqRatio_") + nq,
                           [nq](Rig& r) { ASSERT_TRUE(r.b.bus().Find(1)->HoldReading(nq, 0)); During("silent", 3 * kSecond, 9 * kSecond)(r); },
                           11'500'000, {{6'000'000, kGood}, {6'200'000, kLost}, {11'500'000, kGood}}, {{"1.txt", 3 + 1}, {"4711.txt", 1 + 6 + 1 + 2}}});
    // One spoilt reply at the first query after 2 s, or three bytes of noise after its reply: a
    // poll or two lost (a late tail spoils the next poll too), besides the start-up collision;
    // the panel stays "Good", no DDD line, the first reply's record and each tick's.
    for (const auto& [fault, lost] : {std::pair<const char*, int>{nullptr, 1}, {"late", 2}, {"truncated", 1}, {"flood", 3}, {"split delivery", 0}})
        stories.push_back({std::string("One") + (fault ? fault : "burst"), [fault](Rig& r) {
            r.onQuery = [&r, fault, queries = 0]() mutable {
                if (r.b.plat.NowUs() < 2 * kSecond || ++queries > 2)
                    return;
                if (queries == 2)
                    r.b.bus().ClearFaults(1);
                else if (fault)
                    r.b.bus().InjectFault(1, fault);
                else  // after this query's reply, before the next query
                    r.b.port.SendToHost({0xFF, 0x00, 0x55}, r.b.plat.NowUs() + 100'000);
            };
        }, 5'500'000, {{5'500'000, kGood}}, {{"1.txt", 0}, {"4711.txt", 1 + 5}}, 1 + lost});
    // A detector that sends its supply fault as short "V" replies, without the length marker:
    // 13 bytes (not even the status number), then 15 (the status code), 22 (through Ratio 1),
    // 29 (all but the gas reading's high byte), then complete "NNN0" replies again. Each is
    // decoded from its own bytes: the panel shows the fault, no poll fails but the start-up
    // collision, and the records hold the values the replies carried and blanks for the rest:
    // none (15 bytes), through Ratio 1 (22), all but the gas reading (29); a 13-byte reply,
    // without a whole status code, makes none.
    const auto shape = [](std::size_t length) {
        return [length](Rig& r) {
            r.b.bus().Find(1)->SetStatus(length == 34 ? "NNN" : "VVV", length == 34 ? 0 : 81);
            r.b.bus().Find(1)->SetStatusReplyShape(length, length == 34);
        };
    };
    const auto shapes = [](Rig& r) {
        std::vector<std::string> seen;
        for (const std::string& key : r.rules.lines["4711.txt"])
            if (const auto s = key.substr(key.rfind(' ') + 1); key.starts_with("VV") && (seen.empty() || seen.back() != s))
                seen.push_back(s);
        EXPECT_EQ(seen, (std::vector<std::string>{"__________", "vvvvvv____", "vvvvvvvvv_"}));
    };
    const std::string supply = "Good|VVV81|Wrong 5 volt|1|green";
    stories.push_back({"ShortVReplies", Acts({{2 * kSecond, shape(13)}, {3 * kSecond, shape(15)}, {4 * kSecond, shape(22)}, {5 * kSecond, shape(29)}, {6 * kSecond, shape(34)}, {7'400'000, shapes}}),
                       7'500'000, {{2'900'000, "Good|VV||1|green"}, {3'900'000, supply}, {4'900'000, supply}, {5'900'000, supply}, {6'900'000, kGood}, {7'500'000, kGood}}, {{"1.txt", 0}}, 1});
    // The adapter pulled out at 2 s and back at 6.5 s, its first reopen (at 7 s) failing: the
    // first reply's record, ticks 1 to 4, none while given up (from the fifth failed poll, near
    // 5 s, to the first reply after the reopen at 8 s), the record left due then, ticks 9, 10.
    stories.push_back({"Unplugged", Acts({{2 * kSecond, [](Rig& r) { r.b.port.Unplug(); }},
                                          {6'500'000, [](Rig& r) { r.b.port.Replug(); r.b.port.FailNextOpen("Device or resource busy"); }}}),
                       10'500'000, {{7'900'000, kLost}, {10'500'000, kGood}}, {{"1.txt", kFromTheFifth}, {"4711.txt", 1 + 4 + 1 + 2}}});
    // Served at 253, outside the Modbus range, until another master moves it to 9 at 4 s: six
    // silent polls of 0.6 s at 253 from 4.15 s until the search at 8 s, found again at 9 by
    // the search, its records in one file throughout: a first reply at 253, each tick but the
    // one at 8 s (given up at 253 from 7.2 s until the search's first reply), one at 9.
    const auto moveTo9 = [](Rig& r) { ASSERT_TRUE(r.b.bus().Find(253)->Handle(NewAddressFrame(253, 9), r.b.plat.NowUs())); };
    stories.push_back({"MovedFrom253", [=](Rig& r) { Master(r); Acts({{2 * kSecond, Master}, {4 * kSecond, moveTo9}, {8 * kSecond, Master}, {9 * kSecond, Master}})(r); },
                       11'500'000, {{3 * kSecond, "Good|NNN0|Normal|253|green"}, {7'500'000, "Bad|DDD|Disconnection|253|red"}, {11'500'000, "Good|NNN0|Normal|9|green"}},
                       {{"253.txt", 6 - 4}, {"2530.txt", 1 + 10 + 1}}, -1, [] { return OneDetector(253, 24, 2530); }});
    // A reply the link takes but that holds no status, like a 5-byte exception, is no reading.
    // At address 133 the exception's CRC puts 42, the status marker, at index 4, and the rest of
    // the status check then reads what an earlier reply, even one that failed its CRC, left
    // behind: no "FFF3" line; the records of the ticks keep the last values.
    stories.push_back({"ExceptionAfterCorruptReply", [](Rig& r) {
        r.b.par.Main.DetNum = "133";
        sim::Bus& bus = r.b.bus();
        r.At(2 * kSecond, [&bus] { bus.Find(133)->SetStatus("FFF", 3); bus.InjectFault(133, "bad CRC"); });
        r.At(2'200'000, [&bus] { bus.ClearFaults(133); bus.InjectFault(133, "exception"); });
    }, 4'500'000, {{4'500'000, "Good|NNN0|Normal|133|green"}}, {{"4711.txt", 1 + 4}, {"133.txt", 0}}, -1, [] { return OneDetector(133); }});
    // Logging while no detector has ever answered: lost, and no record anywhere.
    stories.push_back({"NoDetectorEverAnswered", [](Rig&) {}, 10'500'000, {{10'500'000, kLost}}, {{"0.txt", 0}, {"1.txt", 0}}, -1, [] { return sim::Bus{}; }});
    // The records due through a log outage land once writing works again, and the warning is
    // gone: the first reply's, ticks 1 and 2, the one record due through it, ticks 9 and 10.
    // Without a folder the disconnection stays marked, and lands first once it is back; with
    // the disk full it lands as ever.
    for (const auto& [name, outage] : {std::pair{"FolderIsAFile", Outage::FolderIsAFile}, std::pair{"FolderGone", Outage::FolderGone}, std::pair{"DiskFull", Outage::DiskFull}})
        stories.push_back({name, LogOutage(outage), 10'500'000, {{10'500'000, kGood}}, {{"4711.txt", 1 + 2 + 1 + 2}, {"1.txt", outage == Outage::DiskFull ? kFromTheFifth : 1}}});
    return stories;
}
// clang-format on

class Scenario : public ::testing::TestWithParam<Story> {};

TEST_P(Scenario, ShowsAndLogsWhatTheRulesCallFor) {
    const Story& s = GetParam();
    if (s.name == "DiskFull" && !fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    Rig r(s.bus());
    s.act(r);
    for (const auto& [at, shown] : s.shown)
        if (at < s.until)
            r.At(at, [&r, shown] { EXPECT_EQ(r.Shown(), shown) << r.b.plat.NowUs(); });
    r.b.Run(s.until);
    EXPECT_EQ(r.Shown(), s.shown.rbegin()->second);  // the last also at the end of the run
    const auto found = r.Settle();
    for (const auto& [file, n] : s.lines)
        EXPECT_EQ(found.contains(file) ? found.at(file) : 0,
                  n == kFromTheFifth ? r.rules.failed - 1 - 4 : n)
            << file;
    if (s.failed >= 0) {
        EXPECT_EQ(r.rules.failed, s.failed);
    }
}

INSTANTIATE_TEST_SUITE_P(Stories, Scenario, ::testing::ValuesIn(Stories()), [](const auto& info) {
    std::string name = info.param.name;
    std::erase_if(name,
                  [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '_'; });
    return name;
});

// A day of polling (HALVERN_SOAK_HOURS to choose; one hour under the sanitizers, which make it
// twenty times slower) with logging every second, while faults come and go at random from a
// fixed seed: every line as the rules call for, memory flat.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSoakHours = 1;
#else
constexpr int kSoakHours = 24;
#endif

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::atol(line.c_str() + 6);
    return 0;
}

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
    const std::pair<const char*, int> statuses[] = {
        {"NNN", 0}, {"WWN", 7}, {"S1U", 9}, {"ONN", 0}, {"VVV", 81}};
    Micros pluggedAt = 0;
    std::function<void()> next = [&] {
        const Micros now = r.b.plat.NowUs();
        auto& bus = r.b.bus();
        if (const auto choice = random() % 4; choice == 0) {
            const char* f = faults[random() % std::size(faults)];
            bus.InjectFault(1, f);
            r.At(now + between(0.2, 30), [&bus, f] { bus.ClearFault(1, f); });
        } else if (choice == 1) {
            // A status change, now and then a short reply or an NQ ratio of 0.
            sim::Detector& d = *bus.Find(1);
            const auto& [chars, number] = statuses[random() % std::size(statuses)];
            d.SetStatus(chars, static_cast<std::uint8_t>(number));
            const std::size_t length = random() % 3 ? 34 : 13 + random() % 22;
            d.SetStatusReplyShape(length, length == 34);
            d.HoldReading("nq1", random() % 4 == 0 ? std::optional<int>(0) : std::nullopt);
        } else if (choice == 2) {
            // Now and then unplugged long enough (4096 polls) for the failed polls' count to
            // start again; a replugged port may be busy at first.
            const bool brief = random() % 100;
            r.b.port.Unplug();
            const Micros back = now + (brief ? between(1, 40) : between(2700, 3600));
            pluggedAt = std::max(pluggedAt, back);
            r.At(back, [&] {
                if (r.b.plat.NowUs() < pluggedAt)
                    return;  // a longer outage is still on
                r.b.port.Replug();
                if (random() % 2 == 0)
                    r.b.port.FailNextOpen("Device or resource busy");
            });
        } else {
            bus.ClearFaults(1);
        }
        r.At(now + between(5, 60), next);
    };
    r.At(between(5, 60), next);
    long firstHourKb = 0, lastHourKb = 0;
    std::map<std::string, int> found;
    for (int h = 1; h <= hours; ++h) {
        h == 1 ? r.b.Run(h * 3600 * kSecond) : r.b.Continue(h * 3600 * kSecond);
        for (const auto& [file, n] : r.Settle())
            found[file] += n;
        // The hour's lines are checked: the files and the rules' lines start again, so that
        // only the program's own memory can grow.
        r.rules.lines.clear();
        for (const auto& e : fs::directory_iterator(r.b.par.ProgramFolder))
            if (e.path().extension() == ".txt" && e.path().stem() != "CommTune2")
                fs::remove(e.path());
        (h == 1 ? firstHourKb : lastHourKb) = PeakRssKb();
    }
    EXPECT_GT(found["1.txt"], 0);
#if !defined(__SANITIZE_ADDRESS__)  // which keeps freed memory aside on purpose
    EXPECT_LT(hours > 1 ? lastHourKb - firstHourKb : 0, 4096);
#endif
    std::printf(
        "soak: %d h, %lld failed polls; %d cycle and %d disconnection records; peak RSS "
        "%ld kB after the first hour, %ld kB after the last\n",
        hours, r.rules.failed, found["4711.txt"], found["1.txt"], firstHourKb,
        hours > 1 ? lastHourKb : firstHourKb);
}

}  // namespace
}  // namespace halvern::test
