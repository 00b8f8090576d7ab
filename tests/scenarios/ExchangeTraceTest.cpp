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

// One line per event, in the order it happened: the time in microseconds, then "TX" and the
// frame written, "RX" and the bytes the program read off the port, or "RTS 1" / "RTS 0".
// Writes and RTS changes come from the port's own records (a frame goes out after the RTS
// change of its microsecond); each read is placed after the writes and changes made before it.
class Trace {
  public:
    explicit Trace(Bench& b) : b_(b) {
        b.port.onRead = [this](const std::vector<std::uint8_t>& bytes) {
            if (bytes.empty())
                return;
            Flush();
            out_ << b_.plat.NowUs() << " RX " << HexText(bytes, bytes.size()) << '\n';
        };
    }
    std::string Text() {
        Flush();
        return out_.str();
    }

  private:
    // The writes and RTS changes recorded since the last look, in their order.
    void Flush() {
        const auto& frames = b_.port.Frames();
        const auto& rts = b_.port.RtsChanges();
        while (f_ < frames.size() || r_ < rts.size()) {
            if (r_ < rts.size() && (f_ >= frames.size() || rts[r_].atUs <= frames[f_].atUs)) {
                out_ << rts[r_].atUs << (rts[r_].on ? " RTS 1\n" : " RTS 0\n");
                ++r_;
            } else {
                out_ << frames[f_].atUs << " TX "
                     << HexText(frames[f_].bytes, frames[f_].bytes.size()) << '\n';
                ++f_;
            }
        }
    }
    Bench& b_;
    std::ostringstream out_;
    std::size_t f_ = 0, r_ = 0;
};

TEST(ExchangeTrace, AServiceVisitSendsAndWaitsExactlyAsRecorded) {
    Bench b(BusOf({{1, 24, 4711}, {9, 36, 815}}));
    Trace trace(b);

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
    const std::string now = trace.Text();
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
