// `ports`: the serial ports present, as the port dialog lists them, without opening any.

#include <gtest/gtest.h>

#include "cli/CliBench.h"

namespace halvern::test {
namespace {

#ifndef _WIN32

class PortList : public ::testing::Test {
  protected:
    PortList() {
        b.ports = {{"/dev/ttyACM10", "Gerät", "Müller GmbH", 0x04d8, 0x000a, ""},
                   {"/dev/rfcomm0", "", "", std::nullopt, std::nullopt, ""},
                   {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", 0x0403, 0x6001, "A10K3X2B"}};
    }
    CliBench b;
};

TEST_F(PortList, ListsNumberDeviceDescriptionAndMakerInColumnsWithoutOpeningAPort) {
    // --device, as an alias would put it, is beside the point and opens nothing.
    const CliRun run = b.Cli({"ports"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "1  /dev/ttyUSB0   FT232R USB UART  FTDI\n"
              "-  /dev/rfcomm0\n"
              "-  /dev/ttyACM10  Gerät            Müller GmbH\n");
    EXPECT_EQ(b.port.LastDevice(), "");
}

TEST_F(PortList, AsJsonWithTheUsbIdentityAndNullForWhatIsNotKnown) {
    const CliRun run = b.Run({"ports", "--json"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(
        run.out,
        R"j({"port":1,"device":"/dev/ttyUSB0","description":"FT232R USB UART","maker":"FTDI","usb_vendor":"0403","usb_product":"6001","serial_number":"A10K3X2B"})j"
        "\n"
        R"j({"port":null,"device":"/dev/rfcomm0","description":null,"maker":null,"usb_vendor":null,"usb_product":null,"serial_number":null})j"
        "\n"
        R"j({"port":null,"device":"/dev/ttyACM10","description":"Gerät","maker":"Müller GmbH","usb_vendor":"04d8","usb_product":"000a","serial_number":null})j"
        "\n");
}

#endif  // _WIN32

TEST(PortListEmpty, IsNoFailureButSaidOnStandardError) {
    CliBench b;
    for (const char* json : {"", "--json"}) {
        std::vector<std::string> args{"ports"};
        if (*json)
            args.push_back(json);
        const CliRun run = b.Run(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "halvern-cli: no serial ports found\n");
    }
}

}  // namespace
}  // namespace halvern::test
