#include "platform/qt/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <filesystem>

#include "platform/FilePath.h"

namespace halvern {

std::string ProgramFolder(const std::string& override, const FolderProbe& probe) {
    if (!override.empty())
        return override;
    const std::string exe = probe.executableFolder();
    if (!exe.empty() && !IsSystemInstall(exe, probe.installedBinFolder) && probe.writable(exe))
        return exe;
    return probe.appDataFolder();
}

namespace {

// The folder without "." and ".." steps or a trailing separator, so that "/usr/bin/" and
// "/usr/./bin" compare equal to "/usr/bin".
std::filesystem::path Tidy(const std::string& folder) {
    auto p = std::filesystem::path(folder).lexically_normal();
    if (!p.has_filename() && p.has_relative_path())
        p = p.parent_path();
    return p;
}

bool Within(const std::filesystem::path& folder, const std::filesystem::path& root) {
    auto f = folder.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++f)
        if (f == folder.end() || *f != *r)
            return false;
    return true;
}

}  // namespace

bool IsSystemInstall(const std::string& executableFolder, const std::string& installedBinFolder) {
    if (executableFolder.empty())
        return false;
    const auto exe = Tidy(executableFolder);
    if (Within(exe, "/usr"))
        return true;
    return !installedBinFolder.empty() && exe == Tidy(installedBinFolder);
}

void NameProgram() {
    // No organisation name: Qt would put it in between (Halvern/Halvern).
    QCoreApplication::setApplicationName("Halvern");
}

std::string PerUserFolder(const std::string& folder) {
    // Earlier versions also named an organisation "Halvern", which Qt put in between.
    constexpr const char* kEarlierSubfolder = "Halvern";
    const auto path = Utf8Path(folder);
    const auto earlier = path / kEarlierSubfolder;
    std::error_code error;
    if (!std::filesystem::is_directory(earlier, error))
        return folder;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().filename() != kEarlierSubfolder)
            return folder;
    }
    return error ? folder : Utf8Text(earlier);
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
