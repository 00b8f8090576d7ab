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
    TakeN(log, 10'000, 0);
    log.ShowWaiting();
    EXPECT_EQ(log.Shown().Size(), 10'000u);
    EXPECT_EQ(log.Dropped(), 0u);
    TakeN(log, 25, 10'000);
    EXPECT_EQ(log.OverflowOnShow(), 25u);
    log.DropOldestShown(log.OverflowOnShow());
    log.ShowWaiting();
    EXPECT_EQ(log.Dropped(), 25u);
    EXPECT_EQ(std::make_tuple(log.Shown().Size(), log.Shown()[0].us, log.Shown()[9'999].us),
              std::make_tuple(std::size_t{10'000}, Micros{25}, Micros{10'024}));

    TakeN(log, 10'003, 20'000);
    EXPECT_EQ(log.Waiting(), 10'000u);
    EXPECT_EQ(log.Dropped(), 28u);
    log.DropOldestShown(log.OverflowOnShow());
    log.ShowWaiting();
    EXPECT_EQ(log.Shown()[0].us, 20'003);
    EXPECT_EQ(log.Dropped(), 10'028u);

    log.Clear();
    EXPECT_EQ(log.Shown().Size() + log.Dropped(), 0u);
    log.Take(0, TrafficDirection::Received, Bytes(3000, 0xAA));
    log.ShowWaiting();
    EXPECT_EQ(log.Shown()[0].bytes.size(), kTrafficBytesKept);
    EXPECT_EQ(log.Shown()[0].count, 3000u);
}

TEST(TrafficLog, SavedLineHoldsTimeMsDirectionBytesVerdictAndMeaning) {
    TrafficClock clock;
    clock.wallMsAtAnchor = QDateTime(QDate(2026, 12, 5), QTime(14, 3, 27, 500)).toMSecsSinceEpoch();
    clock.usAtAnchor = 2'000'000;
    clock.startUs = 1'000'000;
    TrafficEntry e;
    e.us = 2'512'700;
    e.direction = TrafficDirection::Sent;
    e.bytes = CommandFrame(1, kCodeStatus);
    e.count = e.bytes.size();
    e.meaning = DescribeRequest(e.bytes);
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
// listening changes neither the frames nor their times.
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
        if (t.dir == TrafficDirection::Sent)
            sent.push_back(t);
        else
            received.push_back(t.bytes);
    EXPECT_EQ(sent, expectedSent);
    EXPECT_EQ(received, heard.reads);
}

// After the activation's extra query, each poll cycle is a query and its 34-byte reply,
// taken 150 ms after its first byte came.
TEST(TrafficTap, SeesEachPollAsAQueryAndItsReply) {
    const std::vector<Tapped> tapped = Poll(true, false).tapped;
    std::size_t first = 0;
    while (first < tapped.size() && tapped[first].dir != TrafficDirection::Received)
        ++first;
    ASSERT_LT(first + 5, tapped.size());
    for (std::size_t i = first + 2; i + 1 < tapped.size(); i += 2) {
        ASSERT_EQ(tapped[i - 1].dir, TrafficDirection::Sent) << i;
        ASSERT_EQ(tapped[i].dir, TrafficDirection::Received) << i;
        EXPECT_EQ(tapped[i].bytes.size(), 34u);
        EXPECT_EQ(tapped[i].us - tapped[i - 1].us,
                  WireTimeUs(9) + sim::kDefaultLatencyUs + ByteTimeUs() + 150'000);
    }
}

}  // namespace
}  // namespace halvern::test
