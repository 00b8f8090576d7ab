#include "cli/Output.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "monitor/Decoder.h"
#include "state/Formats.h"

namespace halvern::cli {

namespace {

constexpr std::array<const char*, 7> kValueLabels = {"Signal 1", "Reference", "Signal 2", "Ratio 1",
                                                     "Ratio 2",  "NQratio1",  "NQratio2"};
constexpr std::array<const char*, 7> kValueTags = {"S1", "Ref", "S2", "R1", "R2", "NQ1", "NQ2"};

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

// Parts joined by two spaces (or `gap`), empty ones left out.
std::string Joined(const std::vector<std::string>& parts, const char* gap = "  ") {
    std::string line;
    for (const auto& p : parts) {
        if (p.empty())
            continue;
        if (!line.empty())
            line += gap;
        line += p;
    }
    return line;
}

// A system's UTF-8 text for a terminal: control bytes as '?', the rest kept.
std::string CleanUtf8(std::string_view text) {
    std::string clean(text);
    for (char& ch : clean) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            ch = '?';
    }
    return clean;
}

// The width a UTF-8 text takes on a terminal, one column a character.
std::size_t Columns(std::string_view utf8) {
    std::size_t n = 0;
    for (const char ch : utf8)
        n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return n;
}

std::string StatusWithDescription(const Reading& r) {
    return r.description.empty() ? r.status : r.status + " " + r.description;
}

}  // namespace

std::string Escaped(std::string_view text, bool keepNewlines) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    // The length of the UTF-8 sequence at i, 0 when there is none (or it is a C1 control).
    const auto sequence = [&](std::size_t i) -> std::size_t {
        const unsigned char c = byte(i);
        const std::size_t n = c > 0xF4 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (n == 0 || i + n > text.size())
            return 0;
        for (std::size_t k = 1; k < n; ++k)
            if ((byte(i + k) & 0xC0) != 0x80)
                return 0;
        if (c == 0xC2 && byte(i + 1) < 0xA0)
            return 0;
        return n;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = byte(i);
        if (c >= 0x20 && c < 0x7F) {
            out += text[i++];
            continue;
        }
        if (c >= 0x80) {
            if (const std::size_t n = sequence(i)) {
                out += text.substr(i, n);
                i += n;
                continue;
            }
        }
        if (c == '\n' && keepNewlines)
            out += '\n';
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
        ++i;
    }
    return out;
}

int FailingOutput::overflow(int) {
    errno = error_;
    return traits_type::eof();
}

std::streamsize FailingOutput::xsputn(const char*, std::streamsize) {
    errno = error_;
    return 0;
}

std::string StatusText(const Reading& r) {
    std::vector<std::pair<std::string, std::string>> rows = {{"Address", r.address},
                                                             {"Model", r.model},
                                                             {"Serial No.", r.serial},
                                                             {"Status", StatusWithDescription(r)},
                                                             {"Gain", r.gain}};
    for (std::size_t i = 0; i < r.values.size(); ++i)
        rows.emplace_back(kValueLabels[i], r.values[i]);
    rows.emplace_back("Gas reading", r.gas);
    rows.emplace_back("Link", r.link);
    std::string text;
    for (const auto& [label, value] : rows)
        text += Padded(label, 13) + Printable(value) + "\n";
    return text;
}

std::string WatchText(const LocalDateTime& t, const Reading& r, int missed) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < r.values.size(); ++i)
        if (!r.values[i].empty())
            values.push_back(kValueTags[i] + (" " + r.values[i]));
    return Printable(Joined({LongTimeText(t), r.address, r.model, r.serial,
                             StatusWithDescription(r), r.gain.empty() ? "" : "gain " + r.gain,
                             Joined(values, " "), r.gas.empty() ? "" : "gas " + r.gas, r.link,
                             missed > 0 ? "missed " + std::to_string(missed) : ""}));
}

JsonObject WatchJson(const LocalDateTime& t, const Reading& r, int missed) {
    JsonObject j;
    j.Text("time", DateTimeText(t));
    AddReading(j, r);
    return j.Number("missed", static_cast<long>(missed));
}

std::string ScanText(const ScanHit& hit) {
    // Hits are printed as they come, so the widths are those of every possible value: three
    // digits of address, the longest model name, five digits of serial number.
    static const std::size_t modelWidth = [] {
        std::size_t w = 0;
        for (int code = 0; code < 4 * 256; ++code)  // variant byte * 256 + family byte
            w = std::max(w, ModelName(code).size());
        return w;
    }();
    std::string address = std::to_string(hit.address);
    address.insert(0, 3 - std::min<std::size_t>(3, address.size()), ' ');
    if (!hit.valid)
        return address + "  answered, reply not valid";
    std::string serial = std::to_string(hit.serial);
    serial.insert(0, 5 - std::min<std::size_t>(5, serial.size()), ' ');
    return Printable(address + "  " + Padded(hit.model, modelWidth) + "  " + serial + "  " +
                     (hit.description.empty() ? hit.status : hit.status + " " + hit.description));
}

JsonObject ScanJson(const ScanHit& hit) {
    JsonObject j;
    j.Number("address", static_cast<long>(hit.address)).Bool("valid", hit.valid);
    if (hit.valid)
        j.Text("model", hit.model)
            .Number("serial", hit.serial)
            .Text("status", hit.status)
            .Text("description", hit.description);
    return j;
}

std::string NoiseText(const MaintPanel& m) {
    std::string text;
    for (const auto& [label, value] :
         {std::pair{"Sig1/Noise", &m.S1N}, {"Sig2/Noise", &m.S2N}, {"Ref/Noise", &m.R2N}})
        text += Padded(label, 13) + Printable(*value) + "\n";
    return text;
}

std::string SetupText(const LabelledTexts& fields) {
    std::size_t width = 0;
    for (const auto& f : fields)
        width = std::max(width, f.first.size());
    std::string text;
    for (const auto& [label, value] : fields)
        text += Padded(label, width + 2) + (value.empty() ? "(empty)" : Printable(value)) + "\n";
    return text;
}

std::string PortsText(const std::vector<PortRow>& rows) {
    std::vector<std::array<std::string, 4>> cells;
    std::array<std::size_t, 4> width{};
    for (const PortRow& row : rows) {
        cells.push_back({NumberText(row), CleanUtf8(row.port.device),
                         CleanUtf8(row.port.description), CleanUtf8(row.port.manufacturer)});
        for (std::size_t c = 0; c < width.size(); ++c)
            width[c] = std::max(width[c], Columns(cells.back()[c]));
    }
    std::string text;
    for (const auto& line : cells) {
        std::string out;
        for (std::size_t c = 0; c < line.size(); ++c) {
            if (c)
                out += "  ";
            out += line[c];
            out.append(width[c] - Columns(line[c]), ' ');
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        text += out + "\n";
    }
    return text;
}

JsonObject PortJson(const PortRow& row) {
    const auto hex = [](const std::optional<std::uint16_t>& id) {
        char buf[8] = "";
        if (id)
            std::snprintf(buf, sizeof buf, "%04x", *id);
        return std::string(buf);
    };
    JsonObject j;
    j.Number("port", row.number ? std::to_string(*row.number) : std::string())
        .Utf8("device", row.port.device)
        .Utf8("description", row.port.description)
        .Utf8("maker", row.port.manufacturer)
        .Utf8("usb_vendor", hex(row.port.vendorId))
        .Utf8("usb_product", hex(row.port.productId))
        .Utf8("serial_number", row.port.serialNumber);
    return j;
}

}  // namespace halvern::cli
