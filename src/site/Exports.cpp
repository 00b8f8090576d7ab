#include "site/Exports.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "monitor/Decoder.h"
#include "state/Formats.h"

namespace halvern {

namespace {

constexpr std::array<const char*, 7> kValueKeys = {"signal1", "reference", "signal2", "ratio1",
                                                   "ratio2",  "nqratio1",  "nqratio2"};

std::string Quoted(std::string_view text) {
    std::string q = "\"";
    for (const char c : Printable(text)) {
        if (c == '"' || c == '\\')
            q += '\\';
        q += c;
    }
    return q + '"';
}

// A label value: the detector's bytes as UTF-8 text, with \, " and newline escaped.
std::string LabelValue(std::string_view raw) {
    std::string v;
    for (const char c : Printable(raw)) {
        if (c == '\\' || c == '"')
            v += '\\';
        v += c;
    }
    return v;
}

std::string Number(double value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value));
    return std::string(buf, r.ptr);
}

// Metric families, each with its help, type and samples, in the order first named.
class Exposition {
  public:
    void Sample(const std::string& name, const char* type, const char* help,
                const std::string& labels, const std::string& value) {
        for (auto& f : families_)
            if (f.name == name) {
                f.samples += Line(name, labels, value);
                return;
            }
        families_.push_back({name, type, help, Line(name, labels, value)});
    }
    std::string Str() const {
        std::string text;
        for (const auto& f : families_)
            text += "# HELP " + f.name + " " + f.help + "\n# TYPE " + f.name + " " + f.type + "\n" +
                    f.samples;
        return text;
    }

  private:
    static std::string Line(const std::string& name, const std::string& labels,
                            const std::string& value) {
        return name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
    }
    struct Family {
        std::string name;
        const char* type;
        const char* help;
        std::string samples;
    };
    std::vector<Family> families_;
};

constexpr std::array<std::pair<std::size_t, const char*>, 3> kSignals{
    {{0, "signal1"}, {1, "reference"}, {2, "signal2"}}};
constexpr std::array<std::pair<std::size_t, const char*>, 4> kRatios{
    {{5, "ratio1"}, {6, "ratio2"}, {7, "nqratio1"}, {8, "nqratio2"}}};
constexpr std::size_t kVoltageSlot = 3, kTemperatureSlot = 4, kGasSlot = 12;

}  // namespace

std::string DateTimeText(const LocalDateTime& t) {
    return IsoDateText(t) + " " + LongTimeText(t);
}

std::string Printable(std::string_view bytes) {
    std::string text;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            text += '?';
        } else if (c < 0x80) {
            text += ch;
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

void JsonObject::Key(std::string_view key) {
    if (!body_.empty())
        body_ += ',';
    body_ += Quoted(key) + ':';
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view value, bool emptyIsText) {
    Key(key);
    body_ += value.empty() && !emptyIsText ? "null" : Quoted(value);
    return *this;
}

JsonObject& JsonObject::Utf8(std::string_view key, std::string_view value) {
    Key(key);
    if (value.empty()) {
        body_ += "null";
        return *this;
    }
    // Control bytes escaped as JSON has them, so a text of several lines reads back whole.
    body_ += '"';
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            body_ += '\\';
            body_ += c;
        } else if (c == '\n') {
            body_ += "\\n";
        } else if (c == '\r') {
            body_ += "\\r";
        } else if (c == '\t') {
            body_ += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04x", u);
            body_ += hex;
        } else {
            body_ += c;
        }
    }
    body_ += '"';
    return *this;
}

JsonObject& JsonObject::Number(std::string_view key, std::string_view number) {
    Key(key);
    body_ += number.empty() ? "null" : std::string(number);
    return *this;
}

JsonObject& JsonObject::Number(std::string_view key, long value) {
    return Number(key, std::to_string(value));
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Object(std::string_view key, const JsonObject& inner) {
    Key(key);
    body_ += inner.Str();
    return *this;
}

Reading ReadingOf(std::uint8_t address, const StatusReading* last, bool lost, std::string link) {
    Reading r;
    r.address = std::to_string(address);
    r.link = std::move(link);
    if (last) {
        r.model = last->ModelName;
        r.serial = std::to_string(static_cast<long>(last->SerialNumber));
    }
    if (lost) {
        // Its last values are no measurement of now: not given, never zeros.
        r.status = "DDD";
        r.description = StatusDescription("DDD");
        return r;
    }
    if (!last)
        return r;
    r.status = last->StatusCode;
    r.description = last->Description.value_or(std::string());
    r.gain = last->GainText;
    const auto& ch = last->ChannelValues;
    constexpr std::array<int, 7> kSlots{kSlotSignal1, kSlotReference, kSlotSignal2, kSlotRatio1,
                                        kSlotRatio2,  kSlotNqRatio1,  kSlotNqRatio2};
    for (std::size_t i = 0; i < kSlots.size(); ++i)
        r.values[i] = Format2(ch[kSlots[i]]);
    // A gas reading the reply did not carry is not given.
    r.gas = std::isnan(ch[kSlotGas]) ? std::string() : std::to_string(std::lround(ch[kSlotGas]));
    return r;
}

Reading ReadingOf(const Par& par) {
    const StatusReading& last = par.Reading;
    const std::uint8_t address = last.Taken ? last.Address : par.CurrentAddress;
    return ReadingOf(address, last.Taken ? &last : nullptr, par.GivenUp[par.CurrentAddress],
                     par.Main.Com);
}

void AddReading(JsonObject& j, const Reading& r) {
    j.Number("address", r.address)
        .Text("model", r.model)
        .Number("serial", r.serial)
        .Text("status", r.status)
        .Text("description", r.description)
        .Number("gain", r.gain);
    for (std::size_t i = 0; i < r.values.size(); ++i)
        j.Number(kValueKeys[i], r.values[i]);
    j.Number("gas", r.gas).Text("link", r.link);
}

JsonObject ReadingJson(const Reading& r) {
    JsonObject j;
    AddReading(j, r);
    return j;
}

namespace {

// The labels that name a detector: its address, and the serial number and model of its last
// reading (empty before it has answered).
std::string DetectorLabels(const PolledDetector& d) {
    const StatusReading* last = d.reading ? &*d.reading : nullptr;
    return "address=\"" + std::to_string(d.address) + "\",serial=\"" +
           (last ? std::to_string(static_cast<long>(last->SerialNumber)) : std::string()) +
           "\",model=\"" + LabelValue(last ? last->ModelName : std::string()) + "\"";
}

void ReadingSamples(Exposition& e, const std::string& id, const StatusReading& r) {
    const auto& value = r.ChannelValues;
    // The unit differs by model, so an alert's threshold is set per unit, not per model.
    if (!std::isnan(value[kGasSlot]))
        e.Sample("halvern_detector_gas_reading", "gauge",
                 "The gas reading, in the unit its label names: %LEL.m, or ppm.m (Talvek).",
                 id + ",unit=\"" + (IsTalvekName(r.ModelName) ? "ppm.m" : "%LEL.m") + "\"",
                 Number(value[kGasSlot]));
    for (const auto& [slot, name] : kSignals)
        if (!std::isnan(value[slot]))
            e.Sample("halvern_detector_signal_volts", "gauge",
                     "Signal 1, reference and signal 2, in volts.", id + ",signal=\"" + name + "\"",
                     Number(value[slot]));
    for (const auto& [slot, name] : kRatios)
        if (!std::isnan(value[slot]))
            e.Sample("halvern_detector_ratio", "gauge",
                     "Ratio 1, ratio 2 and the NQ ratios 1 and 2.", id + ",ratio=\"" + name + "\"",
                     Number(value[slot]));
    if (!std::isnan(value[kVoltageSlot]))
        e.Sample("halvern_detector_supply_volts", "gauge", "The supply voltage, in volts.", id,
                 Number(value[kVoltageSlot]));
    if (!std::isnan(value[kTemperatureSlot]))
        e.Sample("halvern_detector_temperature_celsius", "gauge",
                 "The detector's temperature, in degrees Celsius.", id,
                 Number(value[kTemperatureSlot]));
    e.Sample("halvern_detector_status_info", "gauge",
             "The status code and its meaning (empty for a code without one); always 1.",
             id + ",code=\"" + LabelValue(r.StatusCode) + "\",meaning=\"" +
                 LabelValue(r.Description.value_or(std::string())) + "\"",
             "1");
}

// How far the search of the addresses not polled is.
void SearchSamples(Exposition& e, const BusFigures& bus) {
    e.Sample("halvern_bus_search_next_address", "gauge",
             "The next address the search of the addresses not polled will ask (1 to 247).", "",
             std::to_string(bus.searchNext));
    e.Sample("halvern_bus_search_addresses", "gauge",
             "The addresses the search goes over, polled or not.", "",
             std::to_string(bus.searchTotal));
    e.Sample("halvern_bus_search_passes_total", "counter",
             "Whole passes of the search over the addresses not polled.", "",
             std::to_string(bus.searchPasses));
    e.Sample("halvern_bus_search_queries_total", "counter",
             "Status queries the search sent to addresses not polled.", "",
             std::to_string(bus.searchAsked));
    e.Sample("halvern_bus_search_duration_seconds", "gauge",
             "How long the search's queries between the last two rounds took, in seconds.", "",
             Number(static_cast<double>(bus.lastSearchUs) / 1e6));
}

}  // namespace

std::string MetricsText(const std::vector<PolledDetector>& detectors, const BusFigures& bus) {
    Exposition e;
    for (const auto& d : detectors) {
        const std::string id = DetectorLabels(d);
        const StatusReading* now = d.Current();
        e.Sample("halvern_detector_up", "gauge",
                 "1 while the detector answers its status polls, 0 before its first answer and "
                 "once it is lost (5 failed polls in a row).",
                 id, now ? "1" : "0");
        if (now)  // no stale readings of a detector that does not answer
            ReadingSamples(e, id, *now);
    }
    for (const auto& d : detectors) {
        const std::string id = DetectorLabels(d);
        e.Sample("halvern_detector_polls_total", "counter", "Status polls sent to the detector.",
                 id, std::to_string(d.polls));
        e.Sample("halvern_detector_failed_polls_total", "counter",
                 "Status polls that got no status reply from the detector.", id,
                 std::to_string(d.failures));
    }
    e.Sample("halvern_bus_detectors", "gauge", "Detectors polled on the bus.", "",
             std::to_string(detectors.size()));
    e.Sample("halvern_bus_rounds_total", "counter", "Whole rounds of polls over the detectors.", "",
             std::to_string(bus.rounds));
    e.Sample("halvern_bus_round_duration_seconds", "gauge",
             "How long the polls of the last whole round took, in seconds.", "",
             Number(static_cast<double>(bus.lastRoundUs) / 1e6));
    e.Sample("halvern_bus_port_reopenings_total", "counter",
             "Times the serial port came back and was opened again after its device had gone.", "",
             std::to_string(bus.reopenings));
    if (bus.searching)
        SearchSamples(e, bus);
    return e.Str();
}

std::string DetectorsJson(const std::vector<PolledDetector>& detectors) {
    std::string text = "[";
    for (const auto& d : detectors) {
        const std::string link = d.lost ? "Bad" : d.answered ? "Good" : "";
        JsonObject j =
            ReadingJson(ReadingOf(d.address, d.reading ? &*d.reading : nullptr, d.lost, link));
        j.Bool("lost", d.lost)
            .Text("last_seen", d.lastSeenUs < 0 ? std::string() : DateTimeText(d.lastSeen))
            .Number("polls", static_cast<long>(d.polls))
            .Number("failures", static_cast<long>(d.failures));
        text += (text.size() > 1 ? "," : "") + j.Str();
    }
    return text + "]\n";
}

HttpAnswer Answer(std::string_view method, std::string_view path, const BusPoller* state) {
    HttpAnswer a;
    a.head = method == "HEAD";  // whatever the answer, without its body
    const bool known = path == "/metrics" || path == "/api/detectors" || path == "/healthz";
    if (!known) {
        a.status = 404;
        a.contentType = "text/plain; charset=utf-8";
        a.body = "not found: the endpoints are /metrics, /api/detectors and /healthz\n";
        return a;
    }
    if (method != "GET" && method != "HEAD") {
        a.status = 405;
        a.contentType = "text/plain; charset=utf-8";
        a.body = "read-only: GET or HEAD\n";
        return a;
    }
    if (path == "/healthz") {
        a.contentType = "text/plain; charset=utf-8";
        a.body = state ? "ok\n" : "ok: scanning the bus\n";
        return a;
    }
    static const std::vector<PolledDetector> kNone;
    const auto& detectors = state ? state->Detectors() : kNone;
    if (path == "/metrics") {
        a.contentType = "text/plain; version=0.0.4; charset=utf-8";
        a.body = MetricsText(detectors, state ? state->Bus() : BusFigures{});
    } else {
        a.contentType = "application/json";
        a.body = DetectorsJson(detectors);
    }
    return a;
}

}  // namespace halvern
