#include "platform/FolderChoice.h"

#include <filesystem>
#include <system_error>

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

}  // namespace halvern
