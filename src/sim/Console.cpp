#include "sim/Console.h"

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
        for (std::size_t i = 0; i < bus.Size(); ++i) {
            const auto regs = bus.At(i).Registers();
            std::string s = std::to_string(bus.At(i).Address());
            for (auto v : regs)
                s += " " + std::to_string(v);
            r.output += s + "\n";
        }
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
    } else if (cmd == "latency" && (w.size() == 2 || w.size() == 3)) {
        const auto ms = Number(w.back(), 0, kMaxLatencyMs);
        if (!ms)
            return fail("usage: latency [ADDR] MS (0.." + std::to_string(kMaxLatencyMs) + ")");
        if (w.size() == 2) {
            bus.SetLatencyUs(*ms * 1000);
        } else {
            const auto a = address();
            if (!a)
                return fail("no detector at that address");
            bus.SetDetectorLatencyUs(*a, *ms * 1000);
        }
    } else if (cmd == "babble") {
        const auto bytes = w.size() == 3 ? Number(w[1], 1, kMaxBabbleBurst) : std::nullopt;
        const auto ms = w.size() == 3 ? Number(w[2], 1, kMaxLatencyMs) : std::nullopt;
        if (w.size() == 2 && w[1] == "on")
            bus.SetBabbleContinuous();
        else if (w.size() == 2 && w[1] == "off")
            bus.SetBabble(0, 0);
        else if (bytes && ms)
            bus.SetBabble(static_cast<std::size_t>(*bytes), *ms * 1000);
        else
            return fail("usage: babble on|off|BYTES MS (1.." + std::to_string(kMaxBabbleBurst) +
                        " bytes every 1.." + std::to_string(kMaxLatencyMs) + " ms)");
    } else if (cmd == "fault" && w.size() >= 3) {
        const auto a = address();
        if (!a)
            return fail("no detector at that address");
        if (!bus.InjectFault(*a, Join(w, 2)))
            return fail("unknown fault");
    } else if (cmd == "clear" && w.size() >= 2) {
        const auto a = address();
        if (!a)
            return fail("no detector at that address");
        if (w.size() == 2)
            bus.ClearFaults(*a);
        else if (!bus.ClearFault(*a, Join(w, 2)))
            return fail("unknown fault");
    } else {
        return fail("unknown command");
    }
    return r;
}

}  // namespace halvern::sim
