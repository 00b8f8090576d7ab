// The exports of a polled bus, from a known state: the Prometheus text, the JSON of each
// detector, and promtool's check of the text when it is installed. Expected texts written by
// hand from the readings below.

#include "site/Exports.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace halvern::test {
namespace {

StatusReading Known(std::uint8_t address, const char* model, double serial, const char* code,
                    const char* description) {
    StatusReading r;
    r.Taken = true;
    r.Address = address;
    r.ModelName = model;
    r.SerialNumber = serial;
    r.StatusCode = code;
    r.StatusParts = {std::string(code, 1), std::string(code + 1, 1), std::string(code + 2, 1),
                     std::string(code + 3)};
    if (description)
        r.Description = description;
    r.GainText = "3";
    r.ChannelValues.fill(kNotGiven);
    const std::pair<std::size_t, float> slots[] = {{0, 1.5f},  {1, 2.25f}, {2, 0.5f},  {3, 24.0f},
                                                   {4, -5.0f}, {5, 1.01f}, {6, 0.99f}, {7, 1.0f},
                                                   {8, 1.0f},  {12, 35.0f}};
    for (const auto& [slot, v] : slots)
        r.ChannelValues[slot] = v;
    return r;
}

// A bus of three: one answering, one lost after it had answered, and one answering with a code
// that has no description.
std::vector<PolledDetector> KnownBus() {
    PolledDetector up;
    up.address = 1;
    up.answered = true;
    up.reading = Known(1, "Veridan Xenon 621-1", 4711, "NNN0", "Normal");
    up.polls = 10;
    up.failures = 2;
    up.lastSeenUs = 5'000'000;
    up.lastSeen = {2026, 12, 5, 14, 3, 27};

    PolledDetector lost = up;
    lost.address = 12;
    lost.lost = true;
    lost.reading = Known(12, "Talvek 880", 880, "NNN0", "Normal");
    lost.polls = 7;
    lost.failures = 6;

    PolledDetector odd = up;
    odd.address = 7;
    odd.reading = Known(7, "Veridan LAMP 411", 1207, "ZZZ5", nullptr);
    odd.reading->ChannelValues.fill(kNotGiven);  // a short reply: no values
    odd.polls = 4;
    odd.failures = 0;
    return {up, lost, odd};
}

constexpr const char* kKnownMetrics =
    R"(# HELP halvern_detector_up 1 while the detector answers its status polls, 0 before its first answer and once it is lost (5 failed polls in a row).
# TYPE halvern_detector_up gauge
halvern_detector_up{address="1",serial="4711",model="Veridan Xenon 621-1"} 1
halvern_detector_up{address="12",serial="880",model="Talvek 880"} 0
halvern_detector_up{address="7",serial="1207",model="Veridan LAMP 411"} 1
# HELP halvern_detector_gas_reading The gas reading, in the unit its label names: %LEL.m, or ppm.m (Talvek).
# TYPE halvern_detector_gas_reading gauge
halvern_detector_gas_reading{address="1",serial="4711",model="Veridan Xenon 621-1",unit="%LEL.m"} 35
# HELP halvern_detector_signal_volts Signal 1, reference and signal 2, in volts.
# TYPE halvern_detector_signal_volts gauge
halvern_detector_signal_volts{address="1",serial="4711",model="Veridan Xenon 621-1",signal="signal1"} 1.5
halvern_detector_signal_volts{address="1",serial="4711",model="Veridan Xenon 621-1",signal="reference"} 2.25
halvern_detector_signal_volts{address="1",serial="4711",model="Veridan Xenon 621-1",signal="signal2"} 0.5
# HELP halvern_detector_ratio Ratio 1, ratio 2 and the NQ ratios 1 and 2.
# TYPE halvern_detector_ratio gauge
halvern_detector_ratio{address="1",serial="4711",model="Veridan Xenon 621-1",ratio="ratio1"} 1.01
halvern_detector_ratio{address="1",serial="4711",model="Veridan Xenon 621-1",ratio="ratio2"} 0.99
halvern_detector_ratio{address="1",serial="4711",model="Veridan Xenon 621-1",ratio="nqratio1"} 1
halvern_detector_ratio{address="1",serial="4711",model="Veridan Xenon 621-1",ratio="nqratio2"} 1
# HELP halvern_detector_supply_volts The supply voltage, in volts.
# TYPE halvern_detector_supply_volts gauge
halvern_detector_supply_volts{address="1",serial="4711",model="Veridan Xenon 621-1"} 24
# HELP halvern_detector_temperature_celsius The detector's temperature, in degrees Celsius.
# TYPE halvern_detector_temperature_celsius gauge
halvern_detector_temperature_celsius{address="1",serial="4711",model="Veridan Xenon 621-1"} -5
# HELP halvern_detector_status_info The status code and its meaning (empty for a code without one); always 1.
# TYPE halvern_detector_status_info gauge
halvern_detector_status_info{address="1",serial="4711",model="Veridan Xenon 621-1",code="NNN0",meaning="Normal"} 1
halvern_detector_status_info{address="7",serial="1207",model="Veridan LAMP 411",code="ZZZ5",meaning=""} 1
# HELP halvern_detector_polls_total Status polls sent to the detector.
# TYPE halvern_detector_polls_total counter
halvern_detector_polls_total{address="1",serial="4711",model="Veridan Xenon 621-1"} 10
halvern_detector_polls_total{address="12",serial="880",model="Talvek 880"} 7
halvern_detector_polls_total{address="7",serial="1207",model="Veridan LAMP 411"} 4
# HELP halvern_detector_failed_polls_total Status polls that got no status reply from the detector.
# TYPE halvern_detector_failed_polls_total counter
halvern_detector_failed_polls_total{address="1",serial="4711",model="Veridan Xenon 621-1"} 2
halvern_detector_failed_polls_total{address="12",serial="880",model="Talvek 880"} 6
halvern_detector_failed_polls_total{address="7",serial="1207",model="Veridan LAMP 411"} 0
# HELP halvern_bus_detectors Detectors polled on the bus.
# TYPE halvern_bus_detectors gauge
halvern_bus_detectors 3
# HELP halvern_bus_rounds_total Whole rounds of polls over the detectors.
# TYPE halvern_bus_rounds_total counter
halvern_bus_rounds_total 9
# HELP halvern_bus_round_duration_seconds How long the polls of the last whole round took, in seconds.
# TYPE halvern_bus_round_duration_seconds gauge
halvern_bus_round_duration_seconds 1.2345
# HELP halvern_bus_port_reopenings_total Times the serial port came back and was opened again after its device had gone.
# TYPE halvern_bus_port_reopenings_total counter
halvern_bus_port_reopenings_total 1
)";

constexpr BusFigures kKnownFigures{9, 1'234'500, 1};

TEST(Metrics, GiveTheBusStateInThePrometheusTextFormat) {
    EXPECT_EQ(MetricsText(KnownBus(), kKnownFigures), kKnownMetrics);
    auto bus = KnownBus();
    bus[1].lost = false;  // the Talvek answers: its gas reading is in ppm.m
    EXPECT_NE(
        MetricsText(bus, kKnownFigures)
            .find(R"(gas_reading{address="12",serial="880",model="Talvek 880",unit="ppm.m"} 35)"),
        std::string::npos);
}

// The quote and backslash escaped, the control byte shown as '?': one line per sample, and
// JSON that reads back.
TEST(Exports, EscapeWhatADetectorSends) {
    auto bus = KnownBus();
    bus[0].reading->StatusCode = "N\"\\\n";
    const std::string text = MetricsText(bus, kKnownFigures);
    EXPECT_NE(text.find(R"(code="N\"\\?",meaning="Normal"} 1)"), std::string::npos) << text;
    const std::string json = DetectorsJson(bus);
    EXPECT_NE(json.find(R"("status":"N\"\\?",)"), std::string::npos) << json;
}

TEST(Metrics, PassPromtoolsCheck) {
    if (std::system("command -v promtool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool is not installed";
    const auto file = std::filesystem::temp_directory_path() /
                      ("halvern-metrics-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file) << kKnownMetrics;
    FILE* check = popen(("promtool check metrics < " + file.string() + " 2>&1").c_str(), "r");
    ASSERT_NE(check, nullptr);
    std::string said;
    char line[512];
    while (std::fgets(line, sizeof line, check))
        said += line;
    const int status = pclose(check);
    std::filesystem::remove(file);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said, "");  // no lint remark either
}

TEST(DetectorsJson, GivesEachDetectorWithTheStatusKeysAndNullForWhatIsNotKnown) {
    const std::string json = DetectorsJson(KnownBus());
    const std::string nothing =
        R"("gain":null,"signal1":null,"reference":null,"signal2":null,"ratio1":null,)"
        R"("ratio2":null,"nqratio1":null,"nqratio2":null,"gas":null,)";
    const std::string expected =
        "[" +
        std::string(
            R"({"address":1,"model":"Veridan Xenon 621-1","serial":4711,"status":"NNN0",)"
            R"("description":"Normal","gain":3,"signal1":1.50,"reference":2.25,"signal2":0.50,)"
            R"("ratio1":1.01,"ratio2":0.99,"nqratio1":1.00,"nqratio2":1.00,"gas":35,)"
            R"("link":"Good","lost":false,"last_seen":"2026-12-05 14:03:27","polls":10,)"
            R"("failures":2},)") +
        // Lost: named, its status the disconnection, its readings not known (never zeros).
        R"({"address":12,"model":"Talvek 880","serial":880,"status":"DDD",)"
        R"("description":"Disconnection",)" +
        nothing +
        R"("link":"Bad","lost":true,"last_seen":"2026-12-05 14:03:27","polls":7,"failures":6},)"
        R"({"address":7,"model":"Veridan LAMP 411","serial":1207,"status":"ZZZ5",)"
        R"("description":null,"gain":3,"signal1":null,"reference":null,"signal2":null,)"
        R"("ratio1":null,"ratio2":null,"nqratio1":null,"nqratio2":null,"gas":null,)"
        R"("link":"Good","lost":false,"last_seen":"2026-12-05 14:03:27","polls":4,"failures":0}])"
        "\n";
    EXPECT_EQ(json, expected);
}

}  // namespace
}  // namespace halvern::test
