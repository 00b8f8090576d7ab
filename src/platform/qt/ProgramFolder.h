#pragma once
// Where CommPortNo.txt, CommTune2.txt and the log files live: a folder given on the command
// line; else the executable's folder when the program may write there and is not installed in
// a system folder; else the per-user application data folder (created when missing).

#include <functional>
#include <string>

namespace halvern {

struct FolderProbe {
    std::function<std::string()> executableFolder;
    std::function<bool(const std::string&)> writable;
    std::function<std::string()> appDataFolder;  // asked only when it is needed
    std::string installedBinFolder;  // where installing puts the programs (e.g. /usr/bin)
};

std::string ProgramFolder(const std::string& override, const FolderProbe& probe);

// True when the executable's folder belongs to an installed copy: it lies under /usr, or it is
// the bin folder of the prefix the program was built for. root may write there, but the
// package manager owns it, and every user of the machine needs files of their own.
bool IsSystemInstall(const std::string& executableFolder, const std::string& installedBinFolder);
// The real probe: QCoreApplication::applicationDirPath and QStandardPaths::AppDataLocation.
std::string ProgramFolder(const std::string& override);

// The user's documents folder (QStandardPaths::DocumentsLocation); the home folder when that
// does not exist.
std::string DocumentsFolder();

// Gives Qt the program's name, which names the per-user folder: ~/.local/share/Halvern
// (Windows: %APPDATA%\Halvern). halvern and halvern-cli both call it, so they share the folder.
void NameProgram();

// The per-user folder to use, given the one the system names for the program
// (~/.local/share/Halvern). Earlier versions kept their files one level deeper, in its
// subfolder "Halvern"; while the folder holds nothing but that subfolder, the subfolder is
// used, so that an upgrade goes on with its port, tuning, settings and logs.
std::string PerUserFolder(const std::string& folder);

// True when a file can be created in the folder (a trial file, removed again). Permission
// bits alone do not tell: ACLs, read-only mounts and protected install folders differ.
bool FolderIsWritable(const std::string& folder);

}  // namespace halvern
