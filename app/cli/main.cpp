// halvern-cli: the detector service from a terminal. The commands are in the halvern_cli
// library; here are only the real platform, the port (serial or network gateway) and the stop
// signals.

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Output.h"
#include "cli/SignalStop.h"
#include "cli/Tool.h"
#include "logging/LogRecords.h"
#include "platform/qt/PortDevice.h"
#include "platform/qt/ProgramFolder.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/SystemPort.h"

namespace {

#ifndef _WIN32
// A closed standard descriptor would be taken by the next file opened, and the serial port
// or a log file would get what was meant for the terminal: each is held by /dev/null.
// True when standard output was closed.
bool HoldStandardDescriptors() {
    bool outputClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (held >= 0 && held != fd) {
            dup2(held, fd);
            close(held);
        }
        outputClosed = outputClosed || fd == 1;
    }
    return outputClosed;
}
#endif

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

std::string CurrentFolder() {
    std::error_code ec;
    const auto folder = std::filesystem::current_path(ec);
    return ec ? std::string() : folder.string();
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    // Standard output that was closed (">&-"): every write fails as it would on the closed
    // descriptor, so the command ends as a failure instead of seeming done.
    halvern::cli::FailingOutput closedOutput(EBADF);
    if (HoldStandardDescriptors())
        std::cout.rdbuf(&closedOutput);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The service report lays out text, which needs a GUI application's fonts; it is drawn
    // into a file, on no screen, so no display is needed.
    const bool report = std::find(args.begin(), args.end(), "report") != args.end();
    if (report)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        report ? std::make_unique<QGuiApplication>(argc, argv)
               : std::make_unique<QCoreApplication>(argc, argv);
    halvern::NameProgram();  // the same per-user folder as the program's
    std::setlocale(LC_NUMERIC, "C");

    halvern::QtPlatform platform;
    halvern::SystemPort port(platform);
    halvern::cli::Tool tool(halvern::cli::Environment{
        platform, port, std::cout, std::cerr, [](int n) { return halvern::DeviceForPort(n); },
        [](const std::string& dataDir) { return halvern::ProgramFolder(dataDir); },
        [] { return halvern::CurrentLocalDateTime(); }, StandardErrorIsTerminal(),
        halvern::SystemSerialPorts, CurrentFolder()});

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
