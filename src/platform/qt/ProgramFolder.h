#pragma once
// Where CommPortNo.txt, CommTune2.txt and the log files live: a folder given on the command
// line; else the executable's folder when the program may write there; else the per-user
// application data folder (created when missing).

#include <functional>
#include <string>

namespace halvern {

struct FolderProbe {
    std::function<std::string()> executableFolder;
    std::function<bool(const std::string&)> writable;
    std::function<std::string()> appDataFolder;  // asked only when it is needed
};

std::string ProgramFolder(const std::string& override, const FolderProbe& probe);
// The real probe: QCoreApplication::applicationDirPath and QStandardPaths::AppDataLocation.
std::string ProgramFolder(const std::string& override);

// True when a file can be created in the folder (a trial file, removed again). Permission
// bits alone do not tell: ACLs, read-only mounts and protected install folders differ.
bool FolderIsWritable(const std::string& folder);

}  // namespace halvern
