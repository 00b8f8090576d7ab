// The trends of the maintenance poll: ten minutes of the virtual clock, gaps for failed polls,
// a bounded store, and the store fed by the maintenance poll against simulated detectors.

#include "maintenance/TrendStore.h"

#include <gtest/gtest.h>

#include <cmath>

#include "maintenance/MaintBench.h"
#include "platform/virtual/VirtualPlatform.h"

namespace halvern::test {
namespace {

std::array<float, kTrends> Values(float v) {
    return {v, v + 1, v + 2, v + 3, v + 4, v + 5};
}

// Adds one sample every `stepUs` from the clock's time until `untilUs`, valued by its second.
void Feed(VirtualPlatform& plat, TrendStore& store, Micros stepUs, Micros untilUs) {
    for (;;) {
        store.Add(Values(static_cast<float>(plat.NowUs() / 1'000'000)));
        if (plat.NowUs() + stepUs > untilUs)
            return;
        plat.RunFor(stepUs);
    }
}

TEST(TrendStore, KeepsTheLastTenMinutesOfTheClockAndMovesWithItWithoutNewSamples) {
    VirtualPlatform plat;
    TrendStore store(plat);
    Feed(plat, store, 1'000'000, 15 * 60'000'000LL);  // 15 minutes, a sample a second
    ASSERT_EQ(store.Size(), 601u);                    // 5:00 to 15:00, both ends in
    EXPECT_EQ(store.begin()->values[0], 300.0f);
    const auto points = store.Points(Trend::Reference);
    EXPECT_DOUBLE_EQ(points.front().x(), -600.0);
    EXPECT_DOUBLE_EQ(points.front().y(), 301.0);
    EXPECT_DOUBLE_EQ(points.back().x(), 0.0);
    EXPECT_DOUBLE_EQ(points.back().y(), 901.0);

    plat.RunFor(4 * 60'000'000LL);  // no polls for four minutes: their samples age all the same
    EXPECT_EQ(store.Size(), 361u);
    EXPECT_EQ(store.Age(), 600'000'000);
    EXPECT_DOUBLE_EQ(store.Points(Trend::Gas).back().x(), -240.0);
    EXPECT_EQ(store.Range({Trend::Signal1})->first, 540.0f);
    plat.RunFor(10 * 60'000'000LL);
    EXPECT_EQ(store.Size(), 0u);
    EXPECT_FALSE(store.Range({Trend::Signal1}));
}

TEST(TrendStore, AFailedPollBreaksTheLinesOnceAndIsNeitherZeroNorPartOfTheRange) {
    VirtualPlatform plat;
    TrendStore store(plat);
    store.AddGap();  // nothing before it: no line to break
    plat.RunFor(200'000);
    store.Add(Values(3));
    for (int i = 0; i < 4; ++i) {
        plat.RunFor(600'000);
        store.AddGap();
    }
    plat.RunFor(200'000);
    store.Add(Values(5));
    const auto points = store.Points(Trend::Signal1);
    ASSERT_EQ(points.size(), 3);
    EXPECT_EQ(points[0].y(), 3.0);
    EXPECT_TRUE(std::isnan(points[1].y()));
    EXPECT_DOUBLE_EQ(points[1].x(), -2.0);  // where the first failure was
    EXPECT_EQ(points[2].y(), 5.0);
    store.Add(Values(std::nanf("")));  // figures a short reply did not carry: not in the range
    const auto range = store.Range({Trend::Signal1, Trend::Gas});
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 3.0f);
    EXPECT_EQ(range->second, 10.0f);
}

TEST(TrendStore, MemoryIsBoundedWhateverThePollRate) {
    VirtualPlatform plat;
    // The line's fastest polls (well under one each 150 ms) fill ten minutes within the
    // default bound.
    TrendStore store(plat);
    Feed(plat, store, 150'000, 20 * 60'000'000LL);
    EXPECT_EQ(store.Size(), 4001u);
    // Faster than any bus could deliver: the newest samples stay, no more than the bound.
    TrendStore small(plat, 100);
    for (int i = 0; i < 1000; ++i) {
        small.Add(Values(static_cast<float>(i)));
        plat.RunFor(1000);
    }
    EXPECT_EQ(small.Size(), 100u);
    EXPECT_EQ(small.begin()->values[0], 900.0f);
    // Gaps count too, but only one at a time.
    for (int i = 0; i < 1000; ++i) {
        small.AddGap();
        plat.RunFor(1000);
    }
    EXPECT_EQ(small.Size(), 100u);
}

TEST(TrendStore, AnotherDetectorsValuesStartTheTrendsAfresh) {
    VirtualPlatform plat;
    TrendStore store(plat);
    Par par;
    par.Maint.Serial = 4711;
    par.Maint.Values[0] = 3.3f;
    par.Maint.Values[12] = 7;
    store.AddPoll(par, true);
    plat.RunFor(200'000);
    store.AddPoll(par, false);
    EXPECT_EQ(store.Size(), 2u);
    par.Maint.Serial = 880;
    store.AddPoll(par, true);
    ASSERT_EQ(store.Size(), 1u);
    EXPECT_EQ(store.Serial(), 880.0);
    EXPECT_EQ(store.begin()->values[static_cast<int>(Trend::Gas)], 7.0f);
}

TEST(TrendStore, TheAxesFollowTheSamples) {
    // The time axis grows with the samples to ten minutes.
    const std::pair<Micros, TrendTimeAxis> times[] = {{0, {60, 7}},
                                                      {60'000'000, {60, 7}},
                                                      {60'000'001, {120, 7}},
                                                      {150'000'000, {180, 7}},
                                                      {240'000'000, {300, 6}},
                                                      {301'000'000, {600, 11}},
                                                      {600'000'000, {600, 11}}};
    for (const auto& [age, axis] : times)
        EXPECT_EQ(TrendTimeAxisFor(age), axis) << age;
    // A value axis shows the values with a margin and at least the smallest span.
    const struct {
        const char* name;
        std::optional<std::pair<float, float>> values;
        double minSpan;
        std::pair<double, double> axis;
    } values[] = {{"no value yet", std::nullopt, 0.2, {0, 0.2}},
                  {"steady line centred in the smallest span", {{3, 3}}, 0.2, {2.9, 3.1}},
                  {"zeros stay above zero", {{0, 0}}, 0.2, {0, 0.2}},
                  {"near zero shifted up", {{0.05f, 0.1f}}, 0.2, {0, 0.2}},
                  {"a wide swing gets a tenth either side", {{1, 3}}, 0.2, {0.8, 3.2}},
                  {"negative values keep their margin", {{-5, 5}}, 1, {-6, 6}}};
    for (const auto& c : values) {
        const auto [from, to] = TrendAxisRange(c.values, c.minSpan);
        EXPECT_NEAR(from, c.axis.first, 1e-6) << c.name;
        EXPECT_NEAR(to, c.axis.second, 1e-6) << c.name;
    }
}

// The maintenance poll against the simulated bus, feeding the store as the program does.
TEST(TrendStore, FedByEachMaintenancePollWithAGapWhileTheDetectorIsSilent) {
    Maintenance m;
    Bench& b = m.b;
    TrendStore store(b.plat);
    int decoded = 0, failed = 0;
    Micros firstFailure = 0;
    std::vector<float> shownSignal1;  // what the window showed, poll by poll
    m.maint.onPolled = [&](bool ok) {
        store.AddPoll(b.par, ok);
        (ok ? decoded : failed) += 1;
        if (!ok && decoded > 0 && !firstFailure)
            firstFailure = b.plat.NowUs();
        if (ok)
            shownSignal1.push_back(std::stof(b.par.Maint.Sig1));
    };
    b.At(20'000'000, [&] { b.bus().InjectFault(1, "silent"); });
    b.At(25'000'000, [&] { b.bus().ClearFaults(1); });
    b.Run(40'000'000);

    std::size_t maintQueries = 0;
    for (const auto& [at, address] : b.StatusQueries())
        maintQueries += at > 1'500'000 && address == 1;
    EXPECT_EQ(static_cast<std::size_t>(decoded + failed), maintQueries);  // one call a poll
    EXPECT_GE(failed, 5);
    EXPECT_EQ(store.Serial(), 4711.0);

    const auto points = store.Points(Trend::Signal1);
    ASSERT_EQ(points.size(), decoded + 1);  // the silence is one gap
    int gaps = 0;
    std::size_t value = 0;
    for (const QPointF& p : points) {
        if (std::isnan(p.y())) {
            ++gaps;
            EXPECT_DOUBLE_EQ(p.x(), static_cast<double>(firstFailure - store.Now()) / 1e6);
            continue;
        }
        EXPECT_NEAR(p.y(), shownSignal1[value++], 0.005);
    }
    EXPECT_EQ(gaps, 1);
}

}  // namespace
}  // namespace halvern::test
