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
#include "site/Exports.h"
#include "state/Par.h"

namespace halvern::cli {

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

// The readings' texts and JSON, shared with serve's exports.
using ::halvern::AddReading;
using ::halvern::DateTimeText;
using ::halvern::JsonObject;
using ::halvern::Printable;
using ::halvern::Reading;
using ::halvern::ReadingJson;
using ::halvern::ReadingOf;

std::string StatusText(const Reading& r);  // one "Label  value" line per value
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
