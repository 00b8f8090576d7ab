#pragma once
// What halvern-cli prints: the detector's values as the program's windows show them, as
// aligned text or as one JSON object per line.

#include <array>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "logging/LogRecords.h"
#include "monitor/BusScan.h"
#include "platform/qt/PortList.h"
#include "state/Par.h"

namespace halvern::cli {

// Bytes from a detector as terminal text: Latin-1 to UTF-8, control bytes as '?'.
std::string Printable(std::string_view bytes);

// A text typed or named by the user (an argument, a path) for a message: control bytes
// (C0, DEL, C1) and bytes that are not UTF-8 as escapes ("\n", "\x1b"), so that a message
// cannot move the cursor or hide what it quotes. The rest, UTF-8 included, is kept.
std::string Escaped(std::string_view text, bool keepNewlines = false);

// An output that fails every write with `error` (an errno): standard output once closed.
class FailingOutput : public std::streambuf {
  public:
    explicit FailingOutput(int error) : error_(error) {}

  protected:
    int overflow(int) override;
    std::streamsize xsputn(const char*, std::streamsize) override;

  private:
    int error_;
};

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

// The served detector as the main window shows it after a poll (the ratios and the gas
// reading too, which only the log records carry).
struct Reading {
    std::string address, model, serial, status, description, gain;
    // Signal 1, Reference, Signal 2, Ratio 1, Ratio 2, NQratio1, NQratio2.
    std::array<std::string, 7> values;
    std::string gas;
    std::string link;  // "Good", "Bad"
};
Reading ReadingOf(const Par& par);
// The same of a panel and its decoded slots (a detector of the bus poller).
Reading ReadingOf(const Panel& m, const std::array<float, kChannelSlots>& ch);

// "2026-12-05 14:03:27", as the JSON output gives a time.
std::string DateTimeText(const LocalDateTime& t);

std::string StatusText(const Reading& r);  // one "Label  value" line per value
JsonObject ReadingJson(const Reading& r);
// "14:03:27  7  Veridan LAMP 411  1207  NNN0 Normal  gain 3  S1 3.36 ... gas 0  Good"
std::string WatchText(const LocalDateTime& t, const Reading& r, int missed);
JsonObject WatchJson(const LocalDateTime& t, const Reading& r, int missed);

// A hit in aligned columns: the address, the model, the serial number, the status.
std::string ScanText(const ScanHit& hit);
JsonObject ScanJson(const ScanHit& hit);

// The serial ports present, a line each in aligned columns: the port number ("-" when no
// number reaches the device), the device, the description and the maker.
std::string PortsText(const std::vector<PortRow>& rows);
JsonObject PortJson(const PortRow& row);

// The three noise figures of the S/N test as the maintenance window shows them, a
// "Label  value" line each.
std::string NoiseText(const MaintPanel& m);

// Setup fields as (screen label, text), in the order of the screen.
using LabelledTexts =
    std::vector<std::pair<std::string, std::string>>;  // as halvern::LabelledTexts
std::string SetupText(const LabelledTexts& fields);

}  // namespace halvern::cli
