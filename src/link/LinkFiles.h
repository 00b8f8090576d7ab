#pragma once
// CommPortNo.txt and CommTune2.txt: one decimal value per line, CR LF, first value read.

#include <optional>
#include <string>

namespace halvern {

constexpr const char* kPortFile = "CommPortNo.txt";
constexpr const char* kTuneFile = "CommTune2.txt";

// True when the file can be opened for reading (opened and closed again at once).
bool FileExists(const std::string& path);
// The first value of the text: a number delimited by a comma or the end of the line.
// Nothing when it does not read as a number.
std::optional<double> FirstValue(const std::string& text);
std::optional<double> ReadFirstValue(const std::string& path);
// Writes the value as its only line ("<decimal>\r\n"). False when the file cannot be written.
bool WriteValueFile(const std::string& path, long long value);
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace halvern
