#pragma once
// What a plant's monitoring and halvern-cli's JSON read of detectors: their values as the
// program's windows name them, as JSON objects, the Prometheus text exposition of a polled
// bus, and what serve's endpoint answers to a request. Pure functions of the detectors'
// readings; no socket, no port.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "logging/LogRecords.h"
#include "site/BusPoller.h"
#include "state/Par.h"
#include "state/StatusReading.h"

namespace halvern {

// Bytes from a detector as terminal text: Latin-1 to UTF-8, control bytes as '?'.
std::string Printable(std::string_view bytes);

// "2026-12-05 14:03:27", as the JSON output gives a time.
std::string DateTimeText(const LocalDateTime& t);

// One JSON object, keys in the order they are added.
class JsonObject {
  public:
    // An empty value is null unless emptyIsText. The value is a detector's bytes (Latin-1).
    JsonObject& Text(std::string_view key, std::string_view value, bool emptyIsText = false);
    // A text that is UTF-8 already, as the system's names are; empty is null.
    JsonObject& Utf8(std::string_view key, std::string_view value);
    // `number` is the decimal text of a JSON number ("3.36", "-4"); empty is null.
    JsonObject& Number(std::string_view key, std::string_view number);
    JsonObject& Number(std::string_view key, long value);
    JsonObject& Bool(std::string_view key, bool value);
    JsonObject& Object(std::string_view key, const JsonObject& inner);
    std::string Str() const { return "{" + body_ + "}"; }

  private:
    void Key(std::string_view key);
    std::string body_;
};

// A detector's values as the program's windows name them (the ratios and the gas reading too,
// which only the log records carry). An empty text is not given (null in JSON).
struct Reading {
    std::string address, model, serial, status, description, gain;
    // Signal 1, Reference, Signal 2, Ratio 1, Ratio 2, NQratio1, NQratio2.
    std::array<std::string, 7> values;
    std::string gas;
    std::string link;  // "Good", "Bad"
};
// The detector at `address` by its last reading (none: never heard). A lost detector keeps its
// model and serial number; its status is "DDD" and its values are not given.
Reading ReadingOf(std::uint8_t address, const StatusReading* last, bool lost, std::string link);
// The served detector of the main cycle: its last reading, lost once the cycle gave it up.
Reading ReadingOf(const Par& par);
// The keys of status --json: address, model, serial, status, description, gain, the seven
// values, gas, link.
JsonObject ReadingJson(const Reading& r);
// The same keys added to an object.
void AddReading(JsonObject& j, const Reading& r);

// The Prometheus text exposition of a polled bus: a detector's readings only while it stands
// (answered and not lost), its status with the meaning its own code has (empty for none).
std::string MetricsText(const std::vector<PolledDetector>& detectors, const BusFigures& bus);
// A JSON array: per detector the keys of status --json, and lost, last_seen, polls, failures.
std::string DetectorsJson(const std::vector<PolledDetector>& detectors);

// What the endpoint answers to a request, before any socket is involved.
struct HttpAnswer {
    int status = 200;
    std::string contentType;
    std::string body;  // for HEAD, the body a GET would get: its length is given, not its bytes
    bool head = false;
};
// `state`: the poller, or nothing while the start-up scan runs.
HttpAnswer Answer(std::string_view method, std::string_view path, const BusPoller* state);

}  // namespace halvern
