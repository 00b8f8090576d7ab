#pragma once
// Where CommPortNo.txt, CommTune2.txt and the log files live: a folder given on the command
// line; else the executable's folder when the program may write there and is not installed in
// a system folder; else the per-user application data folder (created when missing). The
// choice itself, from what a probe tells of the machine.

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
// The per-user folder to use, given the one the system names for the program
// (~/.local/share/Halvern). Earlier versions kept their files one level deeper, in its
// subfolder "Halvern"; while the folder holds nothing but that subfolder, the subfolder is
// used, so that an upgrade goes on with its port, tuning, settings and logs.
std::string PerUserFolder(const std::string& folder);

}  // namespace halvern
