#pragma once
// CommPortNo.txt and CommTune2.txt: one decimal value per line, CR LF, first value read.
// BusDetectors.txt: the addresses of the detectors last found on the bus, one a line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvern {

constexpr const char* kPortFile = "CommPortNo.txt";
constexpr const char* kTuneFile = "CommTune2.txt";
constexpr const char* kKnownDetectorsFile = "BusDetectors.txt";

// The text without the spaces and tabs around it.
std::string_view TrimBlanks(std::string_view s);
// A whole text as a finite decimal number: optional sign, fraction and exponent, blanks around
// it allowed. Anything else (other text, a remnant, "nan", "inf", hexadecimal) is nothing.
std::optional<double> ParseNumber(std::string_view text);
// True when the path names a regular file that can be opened for reading (opened and closed
// again at once). False for a missing file, and for anything else under the name (a FIFO, a
// device, a folder) or a file that cannot be opened: *problem then says so, naming the file.
bool FileExists(const std::string& path, std::string* problem = nullptr);
// The first value of the text: a number delimited by a comma or the end of the line.
// Nothing when it does not read as a number.
std::optional<double> FirstValue(const std::string& text);
std::optional<double> ReadFirstValue(const std::string& path);
// Writes the value as its only line ("<decimal>\r\n"). False when the file cannot be written
// (or is no regular file).
bool WriteValueFile(const std::string& path, long long value);
// `name` in `folder`, joined by "/" on every system (Windows takes it too).
std::string JoinPath(const std::string& folder, const std::string& name);

// The detectors' addresses in the file, in rising order, each once: the lines that hold a whole
// number from 1 to 247; other lines are passed over. None when the file is missing or unreadable.
std::vector<std::uint8_t> ReadAddressFile(const std::string& path);
// Writes the addresses, one a line ("<decimal>\r\n"). False when the file cannot be written.
bool WriteAddressFile(const std::string& path, const std::vector<std::uint8_t>& addresses);
// A detector of the file took another address: the file lists `to` in place of `from`. Nothing
// changes when the file does not list `from`.
void MoveAddressInFile(const std::string& path, std::uint8_t from, std::uint8_t to);

// A setting file's first value at start-up. A missing file is created holding `initial`, which
// is then the value. Nothing when the file does not read as a number, or cannot be read, or
// something else than a file has the name (*problem then says which); the file is left alone.
std::optional<double> LoadSettingValue(const std::string& path, long long initial,
                                       std::string* problem = nullptr);

// The port number at the dialog's load: the file's first value when it is a whole 16-bit
// number (a fraction is rounded, ties to even). A missing file is created holding current.
// A file that does not read as a port number gives current and is left as it is; so does one
// that cannot be read, or something else than a file under the name (*problem says which).
std::int16_t LoadPortNumber(const std::string& path, std::int16_t current = 0,
                            std::string* problem = nullptr);
void SavePortNumber(const std::string& path, std::int16_t port);
// A network gateway chosen in place of a numbered port is kept on the file's second line
// ("tcp://HOST:PORT"), below the number, which readers of the first value alone keep using.
// Empty when the file names none (or cannot be read).
std::string LoadPortGateway(const std::string& path);
// The number and the gateway; an empty gateway, or one that is no good, writes the number alone.
void SavePortChoice(const std::string& path, std::int16_t port, const std::string& gateway);
// What typing into the port field stands for: a number (blanks around it allowed, a fraction
// rounded, ties to even) from 1 to 32767. Nothing otherwise: the field is then set back to "1".
std::optional<std::int16_t> ParseTypedPort(const std::string& text);

}  // namespace halvern
