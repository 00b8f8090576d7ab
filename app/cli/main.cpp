// halvern-cli: the detector service from a terminal. The commands are in the halvern_cli
// library; here are only the real platform, the serial port and the stop signals.

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QSocketNotifier>
#include <clocale>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/SignalStop.h"
#include "cli/Tool.h"
#include "logging/LogRecords.h"
#include "platform/qt/PortDevice.h"
#include "platform/qt/ProgramFolder.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtSerialPort.h"

namespace {

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    QCoreApplication app(argc, argv);
    halvern::NameProgram();  // the same per-user folder as the program's
    std::setlocale(LC_NUMERIC, "C");

    halvern::QtPlatform platform;
    halvern::QtSerialPort port(platform);
    halvern::cli::Tool tool(halvern::cli::Environment{
        platform, port, std::cout, std::cerr, [](int n) { return halvern::DeviceForPort(n); },
        [](const std::string& dataDir) { return halvern::ProgramFolder(dataDir); },
        [] { return halvern::CurrentLocalDateTime(); }, StandardErrorIsTerminal(),
        halvern::SystemSerialPorts});

    // A signal wakes the event loop through the pipe; the command stops at its next wait.
    halvern::cli::SignalStop stopSignals;
    std::unique_ptr<QSocketNotifier> notifier;
    if (stopSignals.Install(nullptr)) {
        notifier = std::make_unique<QSocketNotifier>(stopSignals.Fd(), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
            if (stopSignals.Take())
                tool.RequestStop();
        });
    }
    return tool.Main(args);
}
