#include "link/LinkFiles.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/FilePath.h"

namespace halvern {

std::string_view TrimBlanks(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::optional<double> ParseNumber(std::string_view field) {
    field = TrimBlanks(field);
    if (!field.empty() && field.front() == '+')
        field.remove_prefix(1);
    if (field.empty() || field.front() == '+')
        return std::nullopt;
    double value = 0;
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

namespace {

// Nearest whole number, ties to even, when it fits a signed 16-bit number.
std::optional<std::int16_t> ToInt16(double value) {
    const double whole = std::nearbyint(value);
    if (whole < -32768 || whole > 32767)
        return std::nullopt;
    return static_cast<std::int16_t>(whole);
}

}  // namespace

bool FileExists(const std::string& path) {
    std::ifstream f(Utf8Path(path), std::ios::binary);
    return f.is_open();
}

std::optional<double> FirstValue(const std::string& text) {
    std::string_view s = text;
    if (s.starts_with("\xEF\xBB\xBF"))
        s.remove_prefix(3);  // editors on Windows may add one
    s = s.substr(0, s.find_first_of("\r\n"));
    s = s.substr(0, s.find(','));
    return ParseNumber(s);
}

std::optional<double> ReadFirstValue(const std::string& path) {
    std::ifstream f(Utf8Path(path), std::ios::binary);
    if (!f.is_open())
        return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    return FirstValue(text);
}

bool WriteValueFile(const std::string& path, long long value) {
    std::ofstream f(Utf8Path(path), std::ios::binary | std::ios::trunc);
    if (!f.is_open())
        return false;
    f << value << "\r\n";
    f.close();
    return !f.fail();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return Utf8Text(Utf8Path(folder) / Utf8Path(name));
}

std::int16_t LoadPortNumber(const std::string& path, std::int16_t current) {
    if (!FileExists(path)) {
        WriteValueFile(path, current);
        return current;
    }
    const auto value = ReadFirstValue(path);
    if (!value)
        return current;
    return ToInt16(*value).value_or(current);
}

void SavePortNumber(const std::string& path, std::int16_t port) {
    WriteValueFile(path, port);
}

std::optional<std::int16_t> ParseTypedPort(const std::string& text) {
    const auto value = ParseNumber(text);
    if (!value)
        return std::nullopt;
    const auto port = ToInt16(*value);
    if (!port || *port < 1)
        return std::nullopt;
    return port;
}

}  // namespace halvern
