// The whole traffic of a service visit on virtual time, byte for byte and microsecond for
// microsecond: polling, setup writes, the address check and change, the S/N test and the return
// to normal mode, with answers, broken answers, wrong echoes and silence. It is compared with a
// recording kept beside this test, so that a change to how the exchanges are written cannot
// change what goes on the wire or when. Set HALVERN_RECORD_TRACE=1 to record it again after a
// change that is meant to alter the traffic.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "config/ConfigExchanges.h"
#include "maintenance/MaintExchanges.h"
#include "support/Bench.h"
#include "traffic/TrafficDescriber.h"

namespace halvern::test {
namespace {

TEST(ExchangeTrace, AServiceVisitSendsAndWaitsExactlyAsRecorded) {
    Bench b(BusOf({{1, 24, 4711}, {9, 36, 815}}));
    // One line per event, in the order it happened: the time in microseconds, then "TX" and the
    // frame written, "RX" and the bytes the program read off the port, or "RTS 1" / "RTS 0".
    // Writes and RTS changes come from the port's own records (a frame goes out after the RTS
    // change of its microsecond); each read is placed after the writes and changes made before it.
    std::ostringstream trace;
    std::size_t f = 0, r = 0;
    const auto flush = [&] {
        const auto& frames = b.port.Frames();
        const auto& rts = b.port.RtsChanges();
        while (f < frames.size() || r < rts.size()) {
            if (r < rts.size() && (f >= frames.size() || rts[r].atUs <= frames[f].atUs)) {
                trace << rts[r].atUs << (rts[r].on ? " RTS 1\n" : " RTS 0\n");
                ++r;
            } else {
                trace << frames[f].atUs << " TX "
                      << HexText(frames[f].bytes, frames[f].bytes.size()) << '\n';
                ++f;
            }
        }
    };
    b.port.onRead = [&](const std::vector<std::uint8_t>& bytes) {
        if (!bytes.empty()) {
            flush();
            trace << b.plat.NowUs() << " RX " << HexText(bytes, bytes.size()) << '\n';
        }
    };

    b.Run(5'000'000);  // polling address 1

    EXPECT_TRUE(WriteSetupTable(b.link, 1, {0x24, 0x05, 2, 10}).Confirmed());
    b.bus().InjectFault(1, "bad CRC");
    EXPECT_FALSE(WriteSetupTable(b.link, 1, {0x40, 0, 0, 0}).Confirmed());
    b.bus().ClearFaults(1);
    b.bus().InjectFault(1, "wrong echo register");
    EXPECT_FALSE(WriteSetupTable(b.link, 1, {0x40, 0, 0, 0}).Confirmed());
    b.bus().ClearFaults(1);

    EXPECT_TRUE(DetectorAt(b.link, 9).has_value());
    EXPECT_FALSE(DetectorAt(b.link, 7).has_value());
    b.bus().InjectFault(1, "wrong echo value");
    EXPECT_FALSE(WriteNewAddress(b.link, 1, 7).Confirmed());
    b.bus().ClearFaults(1);
    EXPECT_TRUE(WriteNewAddress(b.link, 1, 7).Confirmed());

    bool snTestMode = false;
    int sent = 0;
    EXPECT_TRUE(WriteDetectorMode(b.link, 7, true, snTestMode, {}, [&] { ++sent; }).Confirmed());
    EXPECT_TRUE(PollMaintenance(b.link, b.par, 7));
    b.bus().InjectFault(7, "ignore writes");
    EXPECT_FALSE(WriteDetectorMode(b.link, 7, false, snTestMode).Confirmed());
    b.bus().ClearFaults(7);
    EXPECT_TRUE(WriteDetectorMode(b.link, 7, false, snTestMode).Confirmed());
    EXPECT_EQ(sent, 1);
    EXPECT_FALSE(snTestMode);

    const std::string recorded = std::string(HALVERN_TRACE_DIR) + "/service-visit.trace";
    flush();
    const std::string now = trace.str();
    if (std::getenv("HALVERN_RECORD_TRACE")) {
        std::ofstream(recorded, std::ios::binary) << now;
        GTEST_SKIP() << "recorded " << recorded;
    }
    std::ifstream in(recorded, std::ios::binary);
    ASSERT_TRUE(in) << recorded;
    const std::string expected{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(now, expected);
}

}  // namespace
}  // namespace halvern::test
