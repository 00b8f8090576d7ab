#include "platform/qt/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace halvern {

std::string ProgramFolder(const std::string& override, const FolderProbe& probe) {
    if (!override.empty())
        return override;
    const std::string exe = probe.executableFolder();
    if (!exe.empty() && probe.writable(exe))
        return exe;
    return probe.appDataFolder();
}

bool FolderIsWritable(const std::string& folder) {
    QTemporaryFile trial(QString::fromStdString(folder) + "/.halvern-write-test-XXXXXX");
    return trial.open();  // removed again when trial goes out of scope
}

std::string ProgramFolder(const std::string& override) {
    FolderProbe probe;
    probe.executableFolder = [] { return QCoreApplication::applicationDirPath().toStdString(); };
    probe.writable = FolderIsWritable;
    probe.appDataFolder = [] {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(dir);
        return dir.toStdString();
    };
    return ProgramFolder(override, probe);
}

}  // namespace halvern
