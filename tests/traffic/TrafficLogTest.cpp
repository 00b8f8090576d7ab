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

void TakeN(TrafficLog& log, int n, Micros from = 0) {
    for (int i = 0; i < n; ++i) {
        const Bytes frame = CommandFrame(static_cast<std::uint8_t>(i % 247 + 1), kCodeStatus);
        log.Take(from + i, TrafficDirection::Sent, frame);
    }
}

TEST(TrafficLog, KeepsTheLastTenThousandEntriesAndCountsTheDroppedOnes) {
    TrafficLog log;
    TakeN(log, 10'000);
    log.ShowWaiting();
    EXPECT_EQ(log.Shown().Size(), 10'000u);
    EXPECT_EQ(log.Dropped(), 0u);

    TakeN(log, 25, 10'000);
    EXPECT_EQ(log.OverflowOnShow(), 25u);
    log.DropOldestShown(log.OverflowOnShow());
    log.ShowWaiting();
    EXPECT_EQ(log.Shown().Size(), 10'000u);
    EXPECT_EQ(log.Dropped(), 25u);
    EXPECT_EQ(log.Shown()[0].us, 25);
    EXPECT_EQ(log.Shown()[9'999].us, 10'024);

    // Paused for long: the waiting ring is bounded too, its oldest go and are counted.
    TakeN(log, 10'003, 20'000);
    EXPECT_EQ(log.Waiting(), 10'000u);
    EXPECT_EQ(log.Dropped(), 28u);
    log.DropOldestShown(log.OverflowOnShow());
    log.ShowWaiting();
    EXPECT_EQ(log.Shown().Size(), 10'000u);
    EXPECT_EQ(log.Shown()[0].us, 20'003);
    EXPECT_EQ(log.Dropped(), 10'028u);

    log.Clear();
    EXPECT_EQ(log.Shown().Size(), 0u);
    EXPECT_EQ(log.Dropped(), 0u);
}

TEST(TrafficLog, ALongRunOfBytesIsKeptInPartWithItsLength) {
    TrafficLog log;
    log.Take(0, TrafficDirection::Received, Bytes(3000, 0xAA));
    log.ShowWaiting();
    EXPECT_EQ(log.Shown()[0].bytes.size(), kTrafficBytesKept);
    EXPECT_EQ(log.Shown()[0].count, 3000u);
    EXPECT_EQ(log.Shown()[0].meaning.text, "too long, 3000 bytes");
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

// --- the tap on the link ----------------------------------------------------------------

struct Tapped {
    Micros us;
    TrafficDirection dir;
    Bytes bytes;
};

TEST(TrafficTap, SeesExactlyTheFramesOfAPollCycleAndWhatTheLinkTookIn) {
    Bench bench;
    std::vector<Tapped> tapped;
    bench.link.SetTrafficTap([&](Micros us, TrafficDirection dir, std::span<const std::uint8_t> b) {
        tapped.push_back({us, dir, Bytes(b.begin(), b.end())});
    });
    std::vector<Bytes> reads;
    bench.port.onRead = [&](const Bytes& b) {
        if (!b.empty())
            reads.push_back(b);
    };
    bench.Run(2'000'000);

    const auto frames = bench.Frames();
    ASSERT_GE(frames.size(), 3u);
    std::vector<Tapped> sent, received;
    for (const auto& t : tapped)
        (t.dir == TrafficDirection::Sent ? sent : received).push_back(t);
    ASSERT_EQ(sent.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(sent[i].bytes, frames[i].bytes);
        EXPECT_EQ(sent[i].us, frames[i].atUs);
    }
    ASSERT_EQ(received.size(), reads.size());
    for (std::size_t i = 0; i < reads.size(); ++i)
        EXPECT_EQ(received[i].bytes, reads[i]);
    // After the activation's extra query, each poll cycle is a query and its reply, taken
    // 150 ms after its first byte came.
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

TEST(TrafficTap, ListeningChangesNeitherTheFramesNorTheirTimes) {
    const auto run = [](bool listen) {
        Bench bench(BusOf({{1, 24, 4711, "noise"}, {7, 36, 1207}}));
        int seen = 0;
        if (listen)
            bench.link.SetTrafficTap(
                [&](Micros, TrafficDirection, std::span<const std::uint8_t>) { ++seen; });
        bench.At(1'000'000, [&] { bench.comm->cmdVer(); });
        bench.Run(4'000'000);
        if (listen) {
            EXPECT_GT(seen, 6);
        }
        return bench.Frames();
    };
    const auto quiet = run(false);
    const auto heard = run(true);
    ASSERT_EQ(quiet.size(), heard.size());
    for (std::size_t i = 0; i < quiet.size(); ++i) {
        EXPECT_EQ(quiet[i].atUs, heard[i].atUs);
        EXPECT_EQ(quiet[i].bytes, heard[i].bytes);
    }
}

}  // namespace
}  // namespace halvern::test
