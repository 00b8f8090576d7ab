// halvern: the service and monitoring program.

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <clocale>
#include <iostream>
#include <memory>

#include "App.h"
#include "Arguments.h"
#include "logging/LogRecords.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/qt/PortDevice.h"
#include "platform/qt/ProgramFolder.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/SystemPort.h"
#include "sim/SimBus.h"
#include "ui/QtDialogs.h"

int main(int argc, char** argv) {
    halvern::ProgramCommandLine cli;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto answer = cli.Answer(arguments)) {
        std::cout << *answer << std::flush;
        return 0;
    }

    QApplication app(argc, argv);
    halvern::NameProgram();
    // The desktop entry and the icon that the package installs.
    QApplication::setDesktopFileName("halvern");
    QApplication::setWindowIcon(QIcon(":/halvern.png"));
    // Numbers in files and on screen always use a decimal point, whatever the PC's language.
    std::setlocale(LC_NUMERIC, "C");

    const halvern::AppOptions options = cli.Read(app);

    halvern::QtPlatform platform;
    std::unique_ptr<halvern::SerialPort> port;
    std::unique_ptr<halvern::sim::SimBus> demoBus;
    if (options.demo) {
        auto simPort = std::make_unique<halvern::SimulatedSerialPort>(platform);
        simPort->SetRecording(false);
        demoBus = std::make_unique<halvern::sim::SimBus>(platform, *simPort);
        port = std::move(simPort);
    } else {
        port = std::make_unique<halvern::SystemPort>(platform);
    }
    halvern::QtDialogs dialogs;
    halvern::Par par;
    par.ProgramFolder = halvern::ProgramFolder(options.dataDir);
    QDir().mkpath(QString::fromStdString(par.ProgramFolder));  // a new --data-dir is made
    par.DocumentsFolder = halvern::DocumentsFolder();

    halvern::App halvernApp(
        halvern::AppServices{platform, *port, dialogs,
                             [](int n) { return halvern::DeviceForPort(n); },
                             [] { return halvern::CurrentLocalDateTime(); },
                             [] { QApplication::exit(0); }, halvern::SystemSerialPorts},
        par, options);
    halvernApp.Start();
    return QApplication::exec();
}
