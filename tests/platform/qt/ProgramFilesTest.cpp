// Where the program keeps its files, and that it opens only regular files there: whatever else
// has the name is refused at once, never waited on (each opening runs in a child process with a
// time bound, so a FIFO that blocked fails its case instead of hanging the run).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ProgramFile.h"
#include "platform/qt/ProgramFolder.h"
#include "support/Guarded.h"

namespace halvern {
namespace {

namespace fs = std::filesystem;

// What has the name "4711.txt" (beside "real.txt" holding "4000\r\n"), and what a read, an
// append and a replace make of it.
TEST(ProgramFile, OnlyRegularFilesAreOpenedAndNothingElseIsWaitedOn) {
    const auto refused = [](const std::string& what) {
        const std::string r = "refused: it is " + what + ", not a regular file";
        return r + "|" + r + "|" + r;
    };
    const std::pair<std::function<void(const fs::path&)>, std::string> cases[] = {
        {[](const fs::path& d) { fs::create_symlink(d / "real.txt", d / "4711.txt"); },
         "read 4000\r\n|now 4000\r\n1\r\n|now 1\r\n"},
        {[](const fs::path&) {}, "missing: No such file or directory|now 1\r\n|now 1\r\n"},
        {[](const fs::path& d) { ::mkfifo((d / "4711.txt").c_str(), 0600); },
         refused("a FIFO (named pipe)")},
        {[](const fs::path& d) { fs::create_directory(d / "4711.txt"); }, refused("a folder")},
        {[](const fs::path& d) { fs::create_symlink("/dev/zero", d / "4711.txt"); },
         refused("a device")},
    };
    for (const auto& [make, expected] : cases) {
        std::string outcomes;
        for (const FileAccess access :
             {FileAccess::Read, FileAccess::Append, FileAccess::Replace}) {
            QTemporaryDir dir;
            const fs::path at = dir.path().toStdString(), name = at / "4711.txt";
            std::ofstream(at / "real.txt", std::ios::binary) << "4000\r\n";
            make(at);
            const auto opened = test::RunGuarded([&]() -> std::string {
                const OpenedFile f = OpenProgramFile(name.string(), access);
                if (!f)
                    return std::string(f.missing ? "missing: " : "refused: ") + f.error;
                if (access == FileAccess::Read)
                    return "read " + f->ReadAll();
                f->Write("1\r\n");
                f->Close();
                std::ifstream in(name, std::ios::binary);
                return "now " + std::string(std::istreambuf_iterator<char>(in), {});
            });
            outcomes += (outcomes.empty() ? "" : "|") + opened.value_or("blocked");
            // Whatever was refused is left as it was.
            EXPECT_TRUE(!opened || !opened->starts_with("refused") || !fs::is_regular_file(name));
        }
        EXPECT_EQ(outcomes, expected);
    }
}

// A build tree or a copy in a folder of one's own keeps its files beside the program; an
// installed copy keeps them per user even when the user may write there (root and /usr/bin).
TEST(ProgramFolder, ChoosesTheFolder) {
    const std::string appData = "/home/tech/.local/share/Halvern";
    const struct {
        const char *override, *executableFolder;
        bool writable;
        std::string expected;
    } cases[] = {
        {"/srv/field", "/usr/bin", true, "/srv/field"},
        {"", "/home/tech/halvern/build", true, "/home/tech/halvern/build"},
        {"", "/home/tech/halvern/build", false, appData},
        {"", "/usr/bin", true, appData},
        {"", "/opt/halvern/bin/", true, appData},
        {"", "/opt/halvern", true, "/opt/halvern"},
        {"", "/opt/halvern/binaries", true, "/opt/halvern/binaries"},
        {"", "/usr/./lib/../bin", true, appData},  // whole names, "." and ".." taken out
        {"", "/usr", true, appData},
        {"", "", true, appData},
    };
    for (const auto& c : cases) {
        bool askedAppData = false;
        FolderProbe probe{[&] { return std::string(c.executableFolder); },
                          [&](const std::string&) { return c.writable; },
                          [&] { return askedAppData = true, appData; }, "/opt/halvern/bin"};
        EXPECT_EQ(ProgramFolder(c.override, probe), c.expected) << c.executableFolder;
        // The data folder is created when asked for, so it is asked for only when needed.
        EXPECT_EQ(askedAppData, c.expected == appData) << c.executableFolder;
    }
}

// The earlier per-user folder (Halvern/Halvern) is kept while it is all there is.
TEST(PerUserFolder, KeepsToTheEarlierFolderWhileItIsAllThereIs) {
    const std::pair<std::vector<const char*>, bool> cases[] = {
        // entries (a folder ends in /)
        {{}, false},                                             // first run
        {{"Halvern/CommPortNo.txt", "Halvern/4711.txt"}, true},  // upgrade
        {{"Halvern/"}, true},                                    // upgrade, nothing written yet
        {{"Halvern/4711.txt", "CommPortNo.txt"}, false},         // both in use
        {{"Halvern"}, false},  // a file named like the earlier folder
    };
    for (const auto& [entries, earlier] : cases) {
        const QTemporaryDir home;
        const fs::path folder = fs::path(home.path().toStdString()) / "Halvern";
        for (const std::string entry : entries) {
            fs::create_directories((folder / entry).parent_path());
            if (!entry.ends_with('/'))
                std::ofstream(folder / entry) << "1\r\n";
        }
        EXPECT_EQ(PerUserFolder(folder.string()), (earlier ? folder / "Halvern" : folder).string());
    }
}

}  // namespace
}  // namespace halvern
