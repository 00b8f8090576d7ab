#include "sim/Console.h"

#include <array>
#include <charconv>
#include <sstream>
#include <vector>

namespace halvern::sim {

namespace {

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// A whole decimal number from lo to hi, or nothing.
std::optional<long long> Number(const std::string& s, long long lo, long long hi) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi)
        return std::nullopt;
    return v;
}

std::string Join(const std::vector<std::string>& w, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < w.size(); ++i)
        out += (i > from ? " " : "") + w[i];
    return out;
}

// The reply shapes of one detector: "reply ADDR LENGTH [marker|nomarker]" (or "reply ADDR
// full"), "statusbytes ADDR B9 B10 B11 B12", "reading ADDR NAME VALUE|drift". The usage text
// when the words do not fit, else nullptr.
const char* ShapeCommand(Detector& d, const std::vector<std::string>& w) {
    const std::string& cmd = w[0];
    if (cmd == "reply") {
        constexpr const char* kUsage =
            "usage: reply ADDR LENGTH [marker|nomarker] (9 to 34 bytes) or reply ADDR full";
        if (w.size() < 3 || w.size() > 4)
            return kUsage;
        const auto length = w[2] == "full" ? std::optional<long long>(kStatusReplyLength)
                                           : Number(w[2], kShortestStatusReply, kStatusReplyLength);
        if (!length || (w.size() == 4 && w[3] != "marker" && w[3] != "nomarker"))
            return kUsage;
        // A complete reply carries the marker, a short one not, unless told otherwise.
        const bool marker = w.size() == 4 ? w[3] == "marker"
                                          : *length == static_cast<long long>(kStatusReplyLength);
        d.SetStatusReplyShape(static_cast<std::size_t>(*length), marker);
    } else if (cmd == "statusbytes") {
        std::array<std::uint8_t, 4> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto b = w.size() == 6 ? Number(w[2 + i], 0, 255) : std::nullopt;
            if (!b)
                return "usage: statusbytes ADDR B9 B10 B11 B12 (bytes 0 to 255)";
            bytes[i] = static_cast<std::uint8_t>(*b);
        }
        d.SetStatusBytes(bytes);
    } else {
        const auto value =
            w.size() == 4 && w[3] != "drift" ? Number(w[3], -128, 65535) : std::nullopt;
        if (w.size() != 4 || ((w[3] != "drift" && !value) || !d.HoldReading(w[2], value)))
            return "usage: reading ADDR NAME VALUE|drift (NAME: signal1, reference, signal2, "
                   "voltage, temperature, ratio1, ratio2, nq1, nq2, s1n, s2n, rn, gas)";
    }
    return nullptr;
}

// "setup ADDR MEASURE OUTPUT HEATER TEMP"; false when a value is no byte.
bool SetSetup(Detector& d, const std::vector<std::string>& w) {
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto v = Number(w[i + 2], 0, 255);
        if (!v)
            return false;
        bytes[i] = static_cast<std::uint8_t>(*v);
    }
    d.SetSetup({bytes[0], bytes[1], bytes[2], bytes[3]});
    return true;
}

// Registers 0 to 4 of each detector, a line each.
std::string Dump(const Bus& bus) {
    std::string out;
    for (std::size_t i = 0; i < bus.Size(); ++i) {
        std::string s = std::to_string(bus.At(i).Address());
        for (auto v : bus.At(i).Registers())
            s += " " + std::to_string(v);
        out += s + "\n";
    }
    return out;
}

// "babble on", "babble off" or "babble BYTES MS"; false when the words are none of them.
bool Babble(Bus& bus, const std::vector<std::string>& w) {
    const auto bytes = w.size() == 3 ? Number(w[1], 1, kMaxBabbleBurst) : std::nullopt;
    const auto ms = w.size() == 3 ? Number(w[2], 1, kMaxLatencyMs) : std::nullopt;
    if (w.size() == 2 && w[1] == "on")
        bus.SetBabbleContinuous();
    else if (w.size() == 2 && w[1] == "off")
        bus.SetBabble(0, 0);
    else if (bytes && ms)
        bus.SetBabble(static_cast<std::size_t>(*bytes), *ms * 1000);
    else
        return false;
    return true;
}

}  // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            s.push_back(' ');
        s.push_back(kHex[bytes[i] >> 4]);
        s.push_back(kHex[bytes[i] & 0xF]);
    }
    return s;
}

std::string TraceLine(std::int64_t ms, bool fromHost, std::span<const std::uint8_t> bytes) {
    return std::to_string(ms) + (fromHost ? " > " : " < ") + HexBytes(bytes);
}

CommandResult RunCommand(Bus& bus, std::string_view line) {
    CommandResult r;
    const auto w = Words(line);
    if (w.empty())
        return r;
    const std::string& cmd = w[0];
    const auto address = [&]() -> std::optional<std::uint8_t> {
        if (w.size() < 2)
            return std::nullopt;
        const auto a = Number(w[1], 1, 247);
        if (!a || !bus.Find(static_cast<std::uint8_t>(*a)))
            return std::nullopt;
        return static_cast<std::uint8_t>(*a);
    };
    const auto fail = [&](const std::string& why) {
        r.error = why + ": " + std::string(line) + "\n";
        return r;
    };

    if (cmd == "quit" && w.size() == 1) {
        r.quit = true;
    } else if (cmd == "dump" && w.size() == 1) {
        r.output = Dump(bus);
    } else if ((cmd == "mute" || cmd == "unmute") && w.size() == 2) {
        const auto a = address();
        if (!a)
            return fail("no detector at that address");
        if (cmd == "mute")
            bus.InjectFault(*a, "silent");
        else
            bus.ClearFault(*a, "silent");
    } else if (cmd == "status" && w.size() == 4) {
        const auto a = address();
        const auto n = Number(w[3], 0, 255);
        if (!a)
            return fail("no detector at that address");
        if (!n || w[2].size() != 3)
            return fail("usage: status ADDR CCC N (three characters, 0..255)");
        bus.Find(*a)->SetStatus(w[2], static_cast<std::uint8_t>(*n));
    } else if (cmd == "setup" && w.size() == 6) {
        const auto a = address();
        if (!a)
            return fail("no detector at that address");
        if (!SetSetup(*bus.Find(*a), w))
            return fail("usage: setup ADDR MEASURE OUTPUT HEATER TEMP (0..255 each)");
    } else if (cmd == "latency" && (w.size() == 2 || w.size() == 3)) {
        const auto ms = Number(w.back(), 0, kMaxLatencyMs);
        if (!ms)
            return fail("usage: latency [ADDR] MS (0.." + std::to_string(kMaxLatencyMs) + ")");
        const auto a = w.size() == 3 ? address() : std::nullopt;
        if (w.size() == 3 && !a)
            return fail("no detector at that address");
        if (a)
            bus.SetDetectorLatencyUs(*a, *ms * 1000);
        else
            bus.SetLatencyUs(*ms * 1000);
    } else if (cmd == "babble") {
        if (!Babble(bus, w))
            return fail("usage: babble on|off|BYTES MS (1.." + std::to_string(kMaxBabbleBurst) +
                        " bytes every 1.." + std::to_string(kMaxLatencyMs) + " ms)");
    } else if ((cmd == "fault" && w.size() >= 3) || (cmd == "clear" && w.size() >= 2)) {
        const auto a = address();
        if (!a)
            return fail("no detector at that address");
        if (cmd == "clear" && w.size() == 2)
            bus.ClearFaults(*a);
        else if (!(cmd == "fault" ? bus.InjectFault(*a, Join(w, 2))
                                  : bus.ClearFault(*a, Join(w, 2))))
            return fail("unknown fault");
    } else if (cmd == "reply" || cmd == "statusbytes" || cmd == "reading") {
        const auto a = address();
        if (!a)
            return fail("no detector at that address");
        if (const char* usage = ShapeCommand(*bus.Find(*a), w))
            return fail(usage);
    } else {
        return fail("unknown command");
    }
    return r;
}

}  // namespace halvern::sim
