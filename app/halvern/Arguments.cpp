#include "Arguments.h"

#include <cstdlib>
#include <iostream>

#include "HalvernVersion.h"
#include "platform/GatewayAddress.h"

namespace halvern {

ProgramCommandLine::ProgramCommandLine() {
    cli_.setApplicationDescription(
        "Service and monitoring of open-path gas detectors on an RS-485 bus: find a detector,\n"
        "watch its state, read and write its setup table, give it a new address, align it, run\n"
        "its signal/noise test and log its readings.");
    for (const auto* option : {&help_, &version_, &device_, &networkAllowance_, &demo_, &dataDir_})
        cli_.addOption(*option);
}

std::optional<std::string> ProgramCommandLine::Answer(const QStringList& arguments) {
    cli_.parse(arguments);  // errors are said by Read, once Qt's own options are out
    if (cli_.isSet(help_)) {
        // Without an application object Qt cannot name the program.
        return cli_.helpText().replace("<executable_name>", "halvern").toStdString() +
               R"(
Exit status:
  0      the program was ended from its main window (a confirmed exit or the close box), or
         the port dialog was closed before it; also after --help and --version
  1      a bad command line (an unknown option, one without its value, or a value that is
         no good, such as a network gateway's address without a port): the message says which
  other  Qt could not start, for example without a display to show the windows on
)";
    }
    if (cli_.isSet(version_))
        return std::string("halvern ") + kVersion + "\n";
    return std::nullopt;
}

AppOptions ProgramCommandLine::Read(const QCoreApplication& app) {
    cli_.process(app);
    std::string problem;
    const auto options = Options(&problem);
    if (!options) {
        std::cerr << "halvern: " << problem << "\n";
        std::exit(1);  // a bad command line, as Qt ends it
    }
    return *options;
}

std::optional<AppOptions> ProgramCommandLine::Options(std::string* problem) const {
    AppOptions options;
    options.device = cli_.value(device_).toStdString();
    options.demo = cli_.isSet(demo_);
    options.dataDir = cli_.value(dataDir_).toStdString();
    std::string why;
    if (IsGatewayDevice(options.device) && !ParseGatewayDevice(options.device, &why)) {
        *problem = "--device \"" + options.device + "\": " + why;
        return std::nullopt;
    }
    if (cli_.isSet(networkAllowance_)) {
        bool ok = false;
        const int ms = cli_.value(networkAllowance_).toInt(&ok);
        if (!ok || ms < 0 || ms > kMaxNetworkAllowanceMs) {
            *problem = "--network-allowance wants milliseconds from 0 to " +
                       std::to_string(kMaxNetworkAllowanceMs);
            return std::nullopt;
        }
        options.networkAllowanceMs = ms;
    }
    return options;
}

}  // namespace halvern
