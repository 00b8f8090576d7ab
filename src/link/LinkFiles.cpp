#include "link/LinkFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

#include "platform/FilePath.h"
#include "platform/GatewayAddress.h"
#include "platform/ProgramFile.h"

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

bool FileExists(const std::string& path, std::string* problem) {
    const OpenedFile f = OpenProgramFile(path, FileAccess::Read);
    if (!f && !f.missing && problem)
        *problem = CannotRead(path, f);
    return static_cast<bool>(f);
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
    const OpenedFile f = OpenProgramFile(path, FileAccess::Read);
    if (!f)
        return std::nullopt;
    return FirstValue(f->ReadAll());
}

namespace {

bool WriteText(const std::string& path, const std::string& text) {
    const OpenedFile f = OpenProgramFile(path, FileAccess::Replace);
    if (!f)
        return false;
    const bool written = f->Write(text) == static_cast<std::int64_t>(text.size());
    return f->Close() && written;
}

}  // namespace

bool WriteValueFile(const std::string& path, long long value) {
    return WriteText(path, std::to_string(value) + "\r\n");
}

std::vector<std::uint8_t> ReadAddressFile(const std::string& path) {
    const OpenedFile f = OpenProgramFile(path, FileAccess::Read);
    if (!f)
        return {};
    std::array<bool, 256> listed{};
    const std::string text = f->ReadAll();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t next = std::min(text.find('\n', at), text.size());
        std::string_view line(text.data() + at, next - at);
        at = next + 1;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.remove_suffix(1);
        int address = 0;
        const char* end = line.data() + line.size();
        const auto [ptr, ec] = std::from_chars(line.data(), end, address);
        if (ec == std::errc() && ptr == end && address >= 1 && address <= 247)
            listed[static_cast<std::size_t>(address)] = true;
    }
    std::vector<std::uint8_t> addresses;
    for (std::size_t a = 1; a < listed.size(); ++a)
        if (listed[a])
            addresses.push_back(static_cast<std::uint8_t>(a));
    return addresses;
}

bool WriteAddressFile(const std::string& path, const std::vector<std::uint8_t>& addresses) {
    std::string text;
    for (const auto a : addresses)
        text += std::to_string(a) + "\r\n";
    return WriteText(path, text);
}

void MoveAddressInFile(const std::string& path, std::uint8_t from, std::uint8_t to) {
    std::vector<std::uint8_t> addresses = ReadAddressFile(path);
    const auto at = std::find(addresses.begin(), addresses.end(), from);
    if (at == addresses.end() || from == to)
        return;
    *at = to;
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    WriteAddressFile(path, addresses);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    // '/' serves on both systems, and the path reads the same on both; a separator already
    // at the folder's end is not doubled.
    const char last = folder.back();
    const bool ends = last == '/' || last == std::filesystem::path::preferred_separator;
    return folder + (ends ? "" : "/") + name;
}

std::optional<double> LoadSettingValue(const std::string& path, long long initial,
                                       std::string* problem) {
    std::string why;
    if (FileExists(path, &why))
        return ReadFirstValue(path);
    // Only a missing file is made: whatever else has the name stays as it is.
    if (!why.empty()) {
        if (problem)
            *problem = why;
        return std::nullopt;
    }
    WriteValueFile(path, initial);
    return initial;
}

std::int16_t LoadPortNumber(const std::string& path, std::int16_t current, std::string* problem) {
    const auto value = LoadSettingValue(path, current, problem);
    if (!value)
        return current;
    return ToInt16(*value).value_or(current);
}

void SavePortNumber(const std::string& path, std::int16_t port) {
    WriteValueFile(path, port);
}

std::string LoadPortGateway(const std::string& path) {
    const OpenedFile f = OpenProgramFile(path, FileAccess::Read);
    if (!f)
        return {};
    const std::string text = f->ReadAll();
    const std::size_t begin = text.find('\n');
    if (begin == std::string::npos)
        return {};
    std::string second = text.substr(begin + 1, text.find('\n', begin + 1) - begin - 1);
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!second.empty() && blank(static_cast<unsigned char>(second.back())))
        second.pop_back();
    second.erase(second.begin(), std::find_if_not(second.begin(), second.end(), blank));
    return IsGatewayDevice(second) ? second : std::string();
}

void SavePortChoice(const std::string& path, std::int16_t port, const std::string& gateway) {
    // An address still being typed, or one that cannot be, is not kept to be opened later.
    if (!ParseGatewayDevice(gateway, nullptr))
        return SavePortNumber(path, port);
    WriteText(path, std::to_string(port) + "\r\n" + gateway + "\r\n");
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
