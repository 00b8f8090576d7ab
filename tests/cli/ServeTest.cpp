// halvern-cli serve: its command line, the metrics and JSON texts of a known bus state, and
// what each request gets; the texts are also checked by promtool when it is installed.

#include "cli/Serve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include <unistd.h>

#include "cli/CommandLine.h"

namespace halvern::test {
namespace {

// What serve takes: addresses, a listen address and a log period (the refusals are with the
// other command lines').
TEST(ServeCommandLine, TakesAddressesAListenAddressAndALogPeriod) {
    struct Case {
        std::vector<std::string> args;
        std::vector<int> addresses;
        std::string listen;
        int logPeriodS;
    };
    for (const Case& c :
         {Case{{"serve"}, {}, "", 0}, Case{{"serve", "1", "7", "247"}, {1, 7, 247}, "", 0},
          Case{{"serve", "--listen", "0.0.0.0:9100"}, {}, "0.0.0.0:9100", 0},
          Case{{"serve", "--listen=[::1]:9464", "3"}, {3}, "[::1]:9464", 0},
          Case{{"serve", "--listen", "localhost:8080"}, {}, "localhost:8080", 0},
          Case{{"serve", "--log-period", "10", "1"}, {1}, "", 10}}) {
        const auto parsed = cli::ParseCommandLine(c.args);
        ASSERT_TRUE(parsed.invocation.has_value()) << parsed.error;
        EXPECT_EQ(parsed.invocation->addresses, c.addresses);
        EXPECT_EQ(parsed.invocation->listen, c.listen);
        EXPECT_EQ(parsed.invocation->logPeriodS, c.logPeriodS);
    }
}

TEST(ServeCommandLine, OnlyTheLoopbackNeedsNoWarning) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true}, {"127.4.5.6", true},     {"::1", true}, {"localhost", true},
        {"0.0.0.0", false},  {"192.168.1.20", false}, {"::", false},
    };
    for (const auto& [host, loopback] : cases)
        EXPECT_EQ(cli::IsLoopback(host), loopback) << host;
}

// A bus of three: one answering, one lost after it had answered, one never heard.
std::vector<PolledDetector> KnownBus() {
    constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
    PolledDetector up;
    up.address = 1;
    up.answered = true;
    up.panel.DetNum = "1";
    up.panel.Flash = "Veridan Xenon 621-1";
    up.panel.SeNum = "4711";
    up.panel.Status = "NNN0";
    up.panel.SIL2Des = "Normal";
    up.panel.Gain = "3";
    up.panel.ChVal = {"1.50", "2.25", "0.50", "1.00", "1.00"};
    up.panel.Com = "Good";
    up.panel.Shape1 = Lamp::Green;
    up.values.fill(kNone);
    const std::pair<std::size_t, float> slots[] = {{0, 1.5f},  {1, 2.25f}, {2, 0.5f},  {3, 24.0f},
                                                   {4, -5.0f}, {5, 1.01f}, {6, 0.99f}, {7, 1.0f},
                                                   {8, 1.0f},  {12, 35.0f}};
    for (const auto& [slot, v] : slots)
        up.values[slot] = v;
    up.polls = 10;
    up.failures = 2;
    up.lastSeenUs = 5'000'000;
    up.lastSeen = {2026, 12, 5, 14, 3, 27};

    PolledDetector lost = up;
    lost.address = 12;
    lost.lost = true;
    lost.panel.DetNum = "12";
    lost.panel.Flash = "Talvek 880";
    lost.panel.SeNum = "880";
    lost.polls = 7;
    lost.failures = 6;

    PolledDetector never;
    never.address = 20;
    never.panel.DetNum = "20";
    never.values.fill(kNone);
    never.polls = 3;
    never.failures = 3;
    return {up, lost, never};
}

constexpr const char* kKnownMetrics =
    R"(# HELP halvern_detector_up 1 while the detector answers its status polls, 0 before its first answer and once it is lost (5 failed polls in a row).
# TYPE halvern_detector_up gauge
halvern_detector_up{address="1",serial="4711",model="Veridan Xenon 621-1"} 1
halvern_detector_up{address="12",serial="880",model="Talvek 880"} 0
halvern_detector_up{address="20",serial="",model=""} 0
# HELP halvern_detector_gas_reading The gas reading, in the detector's unit (LEL.m or ppm.m by model).
# TYPE halvern_detector_gas_reading gauge
halvern_detector_gas_reading{address="1",serial="4711",model="Veridan Xenon 621-1"} 35
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
# HELP halvern_detector_polls_total Status polls sent to the detector.
# TYPE halvern_detector_polls_total counter
halvern_detector_polls_total{address="1",serial="4711",model="Veridan Xenon 621-1"} 10
halvern_detector_polls_total{address="12",serial="880",model="Talvek 880"} 7
halvern_detector_polls_total{address="20",serial="",model=""} 3
# HELP halvern_detector_failed_polls_total Status polls that got no status reply from the detector.
# TYPE halvern_detector_failed_polls_total counter
halvern_detector_failed_polls_total{address="1",serial="4711",model="Veridan Xenon 621-1"} 2
halvern_detector_failed_polls_total{address="12",serial="880",model="Talvek 880"} 6
halvern_detector_failed_polls_total{address="20",serial="",model=""} 3
# HELP halvern_bus_detectors Detectors polled on the bus.
# TYPE halvern_bus_detectors gauge
halvern_bus_detectors 3
# HELP halvern_bus_rounds_total Whole rounds of polls over the detectors.
# TYPE halvern_bus_rounds_total counter
halvern_bus_rounds_total 9
# HELP halvern_bus_round_duration_seconds How long the last whole round took, in seconds.
# TYPE halvern_bus_round_duration_seconds gauge
halvern_bus_round_duration_seconds 1.2345
# HELP halvern_bus_port_reopenings_total Times the serial port came back and was opened again after its device had gone.
# TYPE halvern_bus_port_reopenings_total counter
halvern_bus_port_reopenings_total 1
)";

constexpr BusFigures kKnownFigures{9, 1'234'500, 1};

// The text, and promtool's check of it when promtool is installed.
TEST(ServeMetrics, GiveTheBusStateInThePrometheusTextFormat) {
    EXPECT_EQ(cli::MetricsText(KnownBus(), kKnownFigures), kKnownMetrics);
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

TEST(ServeMetrics, EscapeWhatADetectorSendsInALabel) {
    auto bus = KnownBus();
    bus[0].panel.Status = "N\"\\\n";
    const std::string text = cli::MetricsText(bus, kKnownFigures);
    // The quote and backslash escaped, the control byte shown as '?': one line per sample.
    EXPECT_NE(text.find(R"(code="N\"\\?",meaning="Normal"} 1)"), std::string::npos) << text;
}

TEST(ServeJson, GivesEachDetectorWithTheStatusKeys) {
    const std::string json = cli::DetectorsJson(KnownBus());
    EXPECT_EQ(json.front(), '[');
    const char* expected[] = {
        R"({"address":1,"model":"Veridan Xenon 621-1","serial":4711,"status":"NNN0","description":"Normal","gain":3,"signal1":1.50,)",
        R"("gas":35,"link":"Good","lost":false,"last_seen":"2026-12-05 14:03:27","polls":10,"failures":2})",
        // Lost: as the main window shows a lost detector, still named.
        R"({"address":12,"model":"Talvek 880","serial":880,"status":"DDD","description":"Disconnection",)",
        R"("gas":0,"link":"Bad","lost":true,)",
        R"({"address":20,"model":null,"serial":null,"status":null,)",
        R"("lost":false,"last_seen":null,"polls":3,"failures":3}])",
    };
    for (const char* part : expected)
        EXPECT_NE(json.find(part), std::string::npos) << part << "\nin " << json;
}

struct RequestCase {
    const char* method;
    const char* path;
    int status;
    const char* contentType;  // its start
    bool head;
};

TEST(ServeRequests, ReadOnlyEndpointsAnswerGetAndHeadOnly) {
    const RequestCase cases[] = {
        {"GET", "/metrics", 200, "text/plain; version=0.0.4", false},
        {"HEAD", "/metrics", 200, "text/plain; version=0.0.4", true},
        {"GET", "/api/detectors", 200, "application/json", false},
        {"GET", "/healthz", 200, "text/plain", false},
        {"POST", "/metrics", 405, "text/plain", false},
        {"PUT", "/api/detectors", 405, "text/plain", false},
        {"DELETE", "/healthz", 405, "text/plain", false},
        {"GET", "/", 404, "text/plain", false},
        {"HEAD", "/nothing", 404, "text/plain", true},
        {"GET", "/metrics/", 404, "text/plain", false},
        {"POST", "/write", 404, "text/plain", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const auto a = cli::Answer(c.method, c.path, nullptr);
        EXPECT_EQ(a.status, c.status);
        EXPECT_EQ(a.contentType.rfind(c.contentType, 0), 0u) << a.contentType;
        EXPECT_EQ(a.head, c.head);
        EXPECT_FALSE(a.body.empty());
    }
}

}  // namespace
}  // namespace halvern::test
