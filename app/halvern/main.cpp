// halvern: the service and monitoring program.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <clocale>
#include <memory>

#include "App.h"
#include "logging/LogRecords.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/qt/PortDevice.h"
#include "platform/qt/ProgramFolder.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtSerialPort.h"
#include "sim/SimBus.h"
#include "ui/QtDialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Halvern");
    QApplication::setOrganizationName("Halvern");
    // Numbers in files and on screen always use a decimal point, whatever the PC's language.
    std::setlocale(LC_NUMERIC, "C");

    QCommandLineParser cli;
    cli.setApplicationDescription("Service and monitoring of open-path gas detectors.");
    cli.addHelpOption();
    const QCommandLineOption deviceOpt(
        "device", "Open this serial device instead of the numbered port.", "path");
    const QCommandLineOption demoOpt("demo", "Run against simulated detectors (no hardware).");
    const QCommandLineOption dataOpt(
        "data-dir", "Folder for CommPortNo.txt, CommTune2.txt and the log files.", "path");
    cli.addOption(deviceOpt);
    cli.addOption(demoOpt);
    cli.addOption(dataOpt);
    cli.process(app);

    halvern::AppOptions options;
    options.device = cli.value(deviceOpt).toStdString();
    options.demo = cli.isSet(demoOpt);
    options.dataDir = cli.value(dataOpt).toStdString();

    halvern::QtPlatform platform;
    std::unique_ptr<halvern::SerialPort> port;
    std::unique_ptr<halvern::sim::SimBus> demoBus;
    if (options.demo) {
        auto simPort = std::make_unique<halvern::SimulatedSerialPort>(platform);
        simPort->SetRecording(false);
        demoBus = std::make_unique<halvern::sim::SimBus>(platform, *simPort);
        port = std::move(simPort);
    } else {
        port = std::make_unique<halvern::QtSerialPort>(platform);
    }
    halvern::QtDialogs dialogs;
    halvern::Par par;
    par.ProgramFolder = halvern::ProgramFolder(options.dataDir);
    QDir().mkpath(QString::fromStdString(par.ProgramFolder));  // a new --data-dir is made

    halvern::App halvernApp(
        halvern::AppServices{platform, *port, dialogs,
                             [](int n) { return halvern::DeviceForPort(n); },
                             [] { return halvern::CurrentLocalDateTime(); },
                             [] { QApplication::exit(0); }, halvern::SystemSerialPorts},
        par, options);
    halvernApp.Start();
    return QApplication::exec();
}
