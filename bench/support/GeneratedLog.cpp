#include "GeneratedLog.h"

#include <cmath>
#include <fstream>

#include "logging/LogReader.h"
#include "logging/LogRecords.h"
#include "state/Par.h"

namespace halvern::bench {

std::int64_t WriteGeneratedLog(const std::string& path, double bytes) {
    StatusReading reading;
    reading.StatusCode = "NNN0";
    reading.GainText = "3";
    std::ofstream out(path, std::ios::binary);
    std::string block;
    std::int64_t written = 0, lines = 0;
    std::int64_t t = SecondsOf({2026, 1, 1, 0, 0, 0});
    while (static_cast<double>(written) < bytes) {
        const LocalDateTime now = FromSeconds(t);
        std::string line;
        if (lines % 21600 >= 21540) {
            line = DisconnectionRecordLine("DDD", now);
        } else if (lines % 100000 == 99999) {
            line = "NNN0    " + std::to_string(now.day) + "/0\r\n";
        } else {
            const double phase = static_cast<double>(lines) / 3600.0;
            auto& ch = reading.ChannelValues;
            ch[0] = static_cast<float>(3.3 + 0.4 * std::sin(phase));
            ch[1] = static_cast<float>(3.1 + 0.1 * std::cos(phase * 3));
            ch[2] = static_cast<float>(3.2 + 0.3 * std::sin(phase * 0.5));
            ch[4] = static_cast<float>(std::lround(20 + 8 * std::sin(phase / 24)));
            ch[5] = ch[0] / ch[1];
            ch[6] = ch[2] / ch[1];
            ch[7] = 0.97f;
            ch[8] = 0.98f;
            ch[12] = lines % 50000 == 0 ? 80.0f : static_cast<float>(lines % 7);
            line = CycleRecordLine(reading, now);
        }
        block += line;
        written += static_cast<std::int64_t>(line.size());
        ++lines;
        ++t;
        if (block.size() >= (1u << 20)) {
            out << block;
            block.clear();
        }
    }
    out << block;
    return lines;
}

}  // namespace halvern::bench
