// What each command prints for one detector of each family of the default bus (the Xenon at 1,
// the LAMP 411 at 7, the Talvek at 12), as text and JSON; the ports present; and what a command
// says when the detector does not answer, or answers amiss.

#include <gtest/gtest.h>

#include "cli/CliBench.h"
#include "link/Requests.h"

namespace halvern::test {
namespace {

struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string says = "";          // a part of standard error
    std::vector<PortInfo> ports{};  // the serial ports present
};

// The default bus, and detectors that answer amiss: at 13 with a bad CRC, at 17 with an
// exception, at 30 as address 31, at 40 not at all (but see below).
sim::Bus FaultyBus() {
    sim::Bus bus = sim::DefaultBus();
    // clang-format off
    for (const auto& [address, fault] : {std::pair<std::uint8_t, const char*>{13, "bad CRC"}, {17, "exception"}, {30, "wrong address"}, {40, "silent"}})
        bus.Add({address, 24, 0, address, {}, "", "", 0}), bus.InjectFault(address, fault);
    // clang-format on
    return bus;
}

const std::string kFrom31 = "address 30 was asked, but address 31 answered, with ";
std::string Said(const std::string& error) {
    return "halvern-cli: " + error + "\n";
}

using Args = std::vector<std::string>;

#ifndef _WIN32
const std::vector<PortInfo> kPorts = {
    {"/dev/ttyACM10", "Gerät", "Müller GmbH", 0x04d8, 0x000a, ""},
    {"/dev/rfcomm0", "", "", std::nullopt, std::nullopt, ""},
    {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", 0x0403, 0x6001, "A10K3X2B"}};
#endif

// clang-format off
const Case kCases[] = {
    {Args{"status", "1"}, 0, "Address      1\nModel        Veridan Xenon 621-2\nSerial No.   4711\nStatus       NNN0 Normal\nGain         3\nSignal 1     3.30\nReference    3.13\n"
     "Signal 2     3.09\nRatio 1      1.00\nRatio 2      1.04\nNQratio1     0.99\nNQratio2     0.96\nGas reading  2\nLink         Good\n"},
    {Args{"status", "1", "--json"}, 0, R"j({"address":1,"model":"Veridan Xenon 621-2","serial":4711,"status":"NNN0","description":"Normal","gain":3,"signal1":3.30,"reference":3.13,"signal2":3.09,"ratio1":1.00,"ratio2":1.04,"nqratio1":0.99,"nqratio2":0.96,"gas":2,"link":"Good"})j" "\n"},
    {Args{"--json", "status", "7"}, 0, R"j({"address":7,"model":"Veridan LAMP 411","serial":1207,"status":"NNN0","description":"Normal","gain":3,"signal1":3.73,"reference":3.50,"signal2":3.52,"ratio1":0.97,"ratio2":1.02,"nqratio1":0.98,"nqratio2":0.98,"gas":0,"link":"Good"})j" "\n"},
    {Args{"version", "1", "--secondary", "--json"}, 0, R"j({"address":1,"which":"secondary","version":"DSP 1.07 F24"})j" "\n"},
    {Args{"setup", "1"}, 0, "Gas Type                2\nFull Scale Sensitivity  200\nBG Zero Calibration     ENABLE\nAccessory  Relay        ALARM\nAlarm Latch             YES\nHeater Mode             ON\nHeater ON at(C)         10\n"},
    // A confirmed write says so, then shows the table as written; a field by its JSON key.
    {Args{"setup", "1", "alarm_latch=no"}, 0, "address 1: setup table written: confirmed\n"
     "Gas Type                2\nFull Scale Sensitivity  200\nBG Zero Calibration     ENABLE\nAccessory  Relay        ALARM\nAlarm Latch             NO\nHeater Mode             ON\nHeater ON at(C)         10\n"},
    // The same keys for every model: null for a field the model's screen does not show.
    {Args{"setup", "1", "--json"}, 0, R"j({"address":1,"model":"Veridan Xenon 621-2","serial":4711,"fields":{"gas_type":"2","range":null,"full_scale_sensitivity":"200","bg_zero_calibration":"ENABLE","accessory_relay":"ALARM","alarm_latch":"YES","mode_4_20ma":null,"beam_block_during_alarm_indication":null,"heater_mode":"ON","heater_on_at_c":"10"},"confirmed":null})j" "\n"},
    {Args{"setup", "12", "Heater Mode=off", "--json"}, 0, R"j({"address":12,"model":"Talvek 880","serial":880,"fields":{"gas_type":null,"range":"Medium Long","full_scale_sensitivity":null,"bg_zero_calibration":null,"accessory_relay":null,"alarm_latch":null,"mode_4_20ma":null,"beam_block_during_alarm_indication":null,"heater_mode":"OFF","heater_on_at_c":"5"},"confirmed":true})j" "\n"},
    {Args{"align", "1"}, 0, "address 1: align command sent\n"},
    {Args{"address", "7", "9", "--json"}, 0, R"j({"address":7,"new_address":9,"confirmed":true})j" "\n"},
    {Args{"scan", "12", "12"}, 0, " 12  Talvek 880                880  NNN0 Normal\n"},
    {Args{"scan", "2", "5"}, 1, "", "halvern-cli: 0 addresses of 2-5 answered ("},
    // The noise figures of the status reply after the test is confirmed, and how to end it.
    {Args{"sn-test", "1"}, 0, "address 1: signal/noise test started\nSig1/Noise   184\nSig2/Noise   170\nRef/Noise    185\n",
     "halvern-cli: the detector stays in its signal/noise test: end it with 'halvern-cli --device /home/tech/sim normal 1'\n"},
    // The command that ends it is suggested on the port and folder of this one, as a shell reads them.
    {Args{"--data-dir", "/srv/halvern logs", "sn-test", "12"}, 0, "address 12: signal/noise test started\nSig1/Noise   176\nSig2/Noise   173\nRef/Noise    189\n",
     "'halvern-cli --device /home/tech/sim --data-dir \"/srv/halvern logs\" normal 12'"},
    {Args{"sn-test", "12", "--json"}, 0, R"j({"address":12,"mode":"sn-test","confirmed":true,"sig1_noise":176,"sig2_noise":173,"ref_noise":189})j" "\n"},
    {Args{"normal", "12"}, 0, "address 12: normal mode\n"},
    // No mode command for the LAMP 411 and 412; with --json a failure is an object on standard output too.
    {Args{"normal", "7", "--json"}, 2, R"j({"error":"the normal-mode command is not for the Veridan LAMP 411","exit_code":2})j" "\n", "not for the Veridan LAMP 411"},
    // Only the address asked and the kind asked for are taken; the rest is said as what it
    // is. Nothing but the one question is sent: no write, no align for the wrong detector.
    {Args{"status", "3"}, 1, "", Said("no answer from address 3")},
    {Args{"status", "13"}, 1, "", Said("no valid answer from address 13: 34 bytes came that are not a whole reply")},
    {Args{"status", "17"}, 1, "", Said("address 17 answered with an exception (code 4), not a status reply")},
    {Args{"version", "30", "--secondary"}, 1, "", Said(kFrom31 + "a version reply")},
    {Args{"setup", "30", "Accessory Relay=alarm"}, 1, "", Said(kFrom31 + "a status reply")},
    {Args{"version", "40"}, 1, "", Said("address 40 answered with a status reply, not a version reply")},
    // The ports present, as the port dialog lists them: numbered as the program numbers them,
    // in columns, with the USB identity in JSON. --device, as an alias would put it, is beside
    // the point and opens nothing. None is no failure.
#ifndef _WIN32
    {Args{"ports"}, 0, "1  /dev/ttyUSB0   FT232R USB UART  FTDI\n-  /dev/rfcomm0\n-  /dev/ttyACM10  Gerät            Müller GmbH\n", "", kPorts},
    {Args{"ports", "--json"}, 0,
     R"j({"port":1,"device":"/dev/ttyUSB0","description":"FT232R USB UART","maker":"FTDI","usb_vendor":"0403","usb_product":"6001","serial_number":"A10K3X2B"})j" "\n"
     R"j({"port":null,"device":"/dev/rfcomm0","description":null,"maker":null,"usb_vendor":null,"usb_product":null,"serial_number":null})j" "\n"
     R"j({"port":null,"device":"/dev/ttyACM10","description":"Gerät","maker":"Müller GmbH","usb_vendor":"04d8","usb_product":"000a","serial_number":null})j" "\n", "", kPorts},
#endif
    {Args{"ports"}, 0, "", "halvern-cli: no serial ports found\n"},
};
// clang-format on

class Output : public ::testing::TestWithParam<Case> {};

TEST_P(Output, IsWhatTheTechnicianReads) {
    SCOPED_TRACE(testing::PrintToString(GetParam().args));
    CliBench b(FaultyBus());
    b.ports = GetParam().ports;
    if (GetParam().args.size() > 1 && GetParam().args[1] == "40") {  // its status reply, at 20 ms
        b.beforeRun = [&](cli::Tool&) {
            b.plat.Post(b.plat.NowUs() + 20'000, [&] {
                b.port.SendToHost(b.bus().Find(40)->StatusReply(0), b.plat.NowUs());
            });
        };
    }
    const CliRun run = b.Cli(GetParam().args);
    EXPECT_EQ(std::tie(run.code, run.out), std::tie(GetParam().code, GetParam().out)) << run.err;
    EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
    // Failed or refused after the first question: nothing else sent.
    if (run.code != 0 && GetParam().args[0] != "scan") {
        EXPECT_EQ(std::pair(b.Written().size(), b.Written(0, FunctionCommand).size()),
                  std::pair(std::size_t{1}, std::size_t{1}));
    }
    if (GetParam().args[0] == "ports") {
        EXPECT_EQ(b.port.LastDevice() + run.err, GetParam().says);  // no port opened
    }
}

INSTANTIATE_TEST_SUITE_P(EachFamily, Output, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace halvern::test
