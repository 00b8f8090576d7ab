#pragma once
// The command line of halvern, its options defined once. --help and --version are answered
// before the application object exists, so they need no display (over SSH, while a package is
// built); the other options are read once QApplication has taken out its own (-platform ...).

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <optional>
#include <string>

#include "App.h"

namespace halvern {

class ProgramCommandLine {
  public:
    ProgramCommandLine();

    // The text to print when the arguments ask for help or the version; the program then ends
    // with success. Arguments it does not know (Qt's own) do not hide these two.
    std::optional<std::string> Answer(const QStringList& arguments);

    // The options, once QApplication has taken out its own; a bad command line ends the
    // program with Qt's message.
    AppOptions Read(const QCoreApplication& app);
    // The options of the arguments parsed last; nothing for a value that is no good, which
    // *problem then names.
    std::optional<AppOptions> Options(std::string* problem) const;

  private:
    QCommandLineParser cli_;
    const QCommandLineOption help_{{"h", "help"}, "Displays this help."};
    const QCommandLineOption version_{{"v", "version"}, "Displays the version."};
    const QCommandLineOption device_{
        "device",
        "Open this serial device instead of the numbered port; a bus behind a network gateway "
        "(a serial device server) is tcp://HOST:PORT.",
        "path"};
    const QCommandLineOption networkAllowance_{
        "network-allowance",
        "Over a network gateway: how much later than on a serial line a reply may come, added "
        "to each reply window (default " +
            QString::number(kDefaultNetworkAllowanceMs) + " ms, 0 to " +
            QString::number(kMaxNetworkAllowanceMs) + ").",
        "ms"};
    const QCommandLineOption demo_{"demo", "Run against simulated detectors (no hardware)."};
    const QCommandLineOption dataDir_{
        "data-dir", "Folder for CommPortNo.txt, CommTune2.txt and the log files.", "path"};
};

}  // namespace halvern
