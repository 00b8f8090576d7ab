// The bounded record behind the traffic window, and the tap in the link on virtual time.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QString>

#include "link/Requests.h"
#include "support/Bench.h"
#include "traffic/TrafficLog.h"

namespace halvern::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void TakeN(TrafficLog& log, int n, Micros from) {
    for (int i = 0; i < n; ++i)
        log.Take(from + i, TrafficDirection::Sent,
                 CommandFrame(static_cast<std::uint8_t>(i % 247 + 1), kCodeStatus));
}

// The last ten thousand entries are kept, shown or waiting while paused, and the dropped ones
// counted; a long run of bytes is kept in part with its length.
TEST(TrafficLog, KeepsTheLastTenThousandEntriesAndCountsTheDroppedOnes) {
    TrafficLog log;
    const auto show = [&] {
        log.DropOldestShown(log.OverflowOnShow());
        log.ShowWaiting();
        return std::make_tuple(log.Shown().Size(), log.Shown()[0].us, log.Dropped());
    };
    TakeN(log, 10'000, 0);
    EXPECT_EQ(show(), std::make_tuple(std::size_t{10'000}, Micros{0}, std::size_t{0}));
    TakeN(log, 25, 10'000);
    EXPECT_EQ(log.OverflowOnShow(), 25u);
    EXPECT_EQ(show(), std::make_tuple(std::size_t{10'000}, Micros{25}, std::size_t{25}));
    EXPECT_EQ(log.Shown()[9'999].us, 10'024);
    TakeN(log, 10'003, 20'000);
    EXPECT_EQ(std::make_tuple(log.Waiting(), log.Dropped()),
              std::make_tuple(std::size_t{10'000}, std::size_t{28}));
    EXPECT_EQ(show(), std::make_tuple(std::size_t{10'000}, Micros{20'003}, std::size_t{10'028}));
    log.Clear();
    EXPECT_EQ(log.Shown().Size() + log.Dropped(), 0u);
    log.Take(0, TrafficDirection::Received, Bytes(3000, 0xAA));
    log.ShowWaiting();
    EXPECT_EQ(std::make_tuple(log.Shown()[0].bytes.size(), log.Shown()[0].count),
              std::make_tuple(kTrafficBytesKept, std::size_t{3000}));
}

TEST(TrafficLog, SavedLineHoldsTimeMsDirectionBytesVerdictAndMeaning) {
    TrafficClock clock;
    clock.wallMsAtAnchor = QDateTime(QDate(2026, 12, 5), QTime(14, 3, 27, 500)).toMSecsSinceEpoch();
    clock.usAtAnchor = 2'000'000;
    clock.startUs = 1'000'000;
    const Bytes query = CommandFrame(1, kCodeStatus);
    const TrafficEntry e{2'512'700, TrafficDirection::Sent, query, query.size(),
                         DescribeRequest(query)};
    EXPECT_EQ(
        TrafficLine(e, clock),
        "2026-12-05 14:03:28.012\t1512\tTX\t01 C8 04 00 20 5A 3E 50 F2\tok\tstatus query to 1");
}

struct Tapped {
    Micros us;
    TrafficDirection dir;
    Bytes bytes;
    bool operator==(const Tapped&) const = default;
};

struct Polled {
    std::vector<SimulatedSerialPort::Written> frames;
    std::vector<Tapped> tapped;
    std::vector<Bytes> reads;
};

// Two seconds of polling, with a listener or none; on a bus with noise and a second detector
// and a version command at 1 s, or on the default bus.
Polled Poll(bool listen, bool rich) {
    Polled run;
    Bench bench(rich ? BusOf({{1, 24, 4711, "noise"}, {7, 36, 1207}}) : sim::DefaultBus());
    if (listen)
        bench.link.SetTrafficTap(
            [&](Micros us, TrafficDirection dir, std::span<const std::uint8_t> b) {
                run.tapped.push_back({us, dir, Bytes(b.begin(), b.end())});
            });
    bench.port.onRead = [&](const Bytes& b) {
        if (!b.empty())
            run.reads.push_back(b);
    };
    if (rich)
        bench.At(1'000'000, [&] { bench.comm->cmdVer(); });
    bench.Run(rich ? 4'000'000 : 2'000'000);
    run.frames = bench.Frames();
    return run;
}

// The tap sees exactly the frames written, at their times, and what the link took in, and
// listening changes neither the frames nor their times. On the default bus, after the
// activation's extra query, each poll cycle is a query and its 34-byte reply, taken 150 ms
// after its first byte came.
TEST(TrafficTap, SeesExactlyTheFramesAndWhatTheLinkTookInAndChangesNothing) {
    const Polled heard = Poll(true, true), quiet = Poll(false, true);
    ASSERT_EQ(heard.frames.size(), quiet.frames.size());
    std::vector<Tapped> sent, expectedSent;
    std::vector<Bytes> received;
    for (std::size_t i = 0; i < heard.frames.size(); ++i) {
        const auto& [at, bytes] = std::tie(heard.frames[i].atUs, heard.frames[i].bytes);
        EXPECT_EQ(std::tie(at, bytes), std::tie(quiet.frames[i].atUs, quiet.frames[i].bytes));
        expectedSent.push_back({at, TrafficDirection::Sent, bytes});
    }
    for (const auto& t : heard.tapped)
        (t.dir == TrafficDirection::Sent ? (void)sent.push_back(t) : received.push_back(t.bytes));
    EXPECT_EQ(sent, expectedSent);
    EXPECT_EQ(received, heard.reads);

    const std::vector<Tapped> tapped = Poll(true, false).tapped;
    std::size_t first = 0;
    while (first < tapped.size() && tapped[first].dir != TrafficDirection::Received)
        ++first;
    ASSERT_LT(first + 5, tapped.size());
    for (std::size_t i = first + 2; i + 1 < tapped.size(); i += 2) {
        ASSERT_EQ(std::make_pair(tapped[i - 1].dir, tapped[i].dir),
                  std::make_pair(TrafficDirection::Sent, TrafficDirection::Received))
            << i;
        EXPECT_EQ(std::make_pair(tapped[i].bytes.size(), tapped[i].us - tapped[i - 1].us),
                  std::make_pair(std::size_t{34},
                                 WireTimeUs(9) + sim::kDefaultLatencyUs + ByteTimeUs() + 150'000));
    }
}

}  // namespace
}  // namespace halvern::test
