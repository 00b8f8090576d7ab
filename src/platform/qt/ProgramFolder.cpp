#include "platform/qt/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <filesystem>

#include "platform/FilePath.h"

namespace halvern {

void NameProgram() {
    // No organisation name: Qt would put it in between (Halvern/Halvern).
    QCoreApplication::setApplicationName("Halvern");
}

bool FolderIsWritable(const std::string& folder) {
    QTemporaryFile trial(QString::fromStdString(folder) + "/.halvern-write-test-XXXXXX");
    return trial.open();  // removed again when trial goes out of scope
}

std::string ProgramFolder(const std::string& override) {
    FolderProbe probe;
    probe.executableFolder = [] { return QCoreApplication::applicationDirPath().toStdString(); };
    probe.writable = FolderIsWritable;
#ifdef HALVERN_INSTALL_BINDIR
    probe.installedBinFolder = HALVERN_INSTALL_BINDIR;
#endif
    probe.appDataFolder = [] {
        const std::string dir = PerUserFolder(
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString());
        QDir().mkpath(QString::fromStdString(dir));
        return dir;
    };
    return ProgramFolder(override, probe);
}

std::string DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return (!documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath())
        .toStdString();
}

}  // namespace halvern
