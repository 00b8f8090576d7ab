#include "ui/PortFile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>

namespace halvern {

namespace {

constexpr const char* kPortFileName = "CommPortNo.txt";

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string PortFilePath(const std::string& folder) {
    if (folder.empty())
        return kPortFileName;
    const char tail = folder.back();
    return folder + (tail == '/' || tail == '\\' ? "" : "/") + kPortFileName;
}

}  // namespace

std::int16_t PortFromFileText(std::string_view text) {
    const auto end = text.find_first_of(",\r\n");
    const auto field = Trim(text.substr(0, end));
    double value = 0;
    const auto* first = field.data();
    const auto* last = field.data() + field.size();
    if (!field.empty() && *first == '+')
        ++first;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (field.empty() || ec != std::errc() || ptr != last || !std::isfinite(value))
        return 0;
    const double rounded = std::nearbyint(value);  // half to even, as an Integer read does
    if (rounded < 0 || rounded > 32767)
        return 0;
    return static_cast<std::int16_t>(rounded);
}

std::optional<std::int16_t> PortFromTyped(std::string_view text) {
    const auto digits = Trim(text);
    if (digits.empty() || digits.size() > 5)
        return std::nullopt;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size())
        return std::nullopt;
    if (digits.front() < '0' || digits.front() > '9')
        return std::nullopt;  // no sign
    if (value < 1 || value > 32767)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

std::int16_t LoadPortFile(const std::string& folder, std::int16_t current) {
    std::ifstream in(PortFilePath(folder), std::ios::binary);
    if (!in) {
        SavePortFile(folder, current);
        return current;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return PortFromFileText(text);
}

bool SavePortFile(const std::string& folder, std::int16_t port) {
    std::ofstream out(PortFilePath(folder), std::ios::binary | std::ios::trunc);
    out << port << "\r\n";
    out.close();
    return !out.fail();
}

}  // namespace halvern
