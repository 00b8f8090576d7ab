// The program's files on every system: bytes kept as they are (CR LF, a Ctrl-Z), appended and
// replaced, a folder under the name refused; where the program folder is, and the per-user
// folder of earlier versions.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/FilePath.h"
#include "platform/FolderChoice.h"
#include "platform/ProgramFile.h"

namespace halvern {
namespace {

namespace fs = std::filesystem;

// A fresh folder (under a UTF-8 name) for one case, removed with it.
struct Scratch {
    Scratch() {
        static int made = 0;
        path = Utf8Path(::testing::TempDir() + "halvern-files-\xC3\xB6-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                        std::to_string(++made));
        fs::remove_all(path), fs::create_directories(path);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

std::string Content(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A C runtime that opened the files as text would add a CR before each LF, drop the CR when
// reading and stop at the Ctrl-Z; nothing of the kind may happen to a log or a setting file.
TEST(ProgramFile, KeepsTheBytesAsTheyAreAndRefusesAFolder) {
    const std::string held =
        "12\r\n\x1A"
        "34\r\n";
    const struct {
        FileAccess access;
        std::string expected;  // what the opening read, or the file after "5\r\n" was written
    } cases[] = {
        {FileAccess::Read, held},
        {FileAccess::Append, held + "5\r\n"},
        {FileAccess::Replace, "5\r\n"},
    };
    for (const auto& c : cases) {
        const Scratch dir;
        const fs::path file = dir.path / "4711.txt";
        std::ofstream(file, std::ios::binary) << held;
        if (const OpenedFile f = OpenProgramFile(Utf8Text(file), c.access); !f) {
            ADD_FAILURE() << f.error;
        } else if (c.access == FileAccess::Read) {
            EXPECT_EQ(f->ReadAll(), c.expected);
        } else {
            EXPECT_EQ(f->Write("5\r\n"), 3);
            EXPECT_TRUE(f->Close());
            EXPECT_EQ(Content(file), c.expected);
        }  // closed here: Windows removes no file that is open
        fs::remove(file), fs::create_directory(file);
        const OpenedFile folder = OpenProgramFile(Utf8Text(file), c.access);
        EXPECT_TRUE(!folder && folder.notRegular && !folder.missing);
        EXPECT_EQ(folder.error, "it is a folder, not a regular file");
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
        const Scratch home;
        const fs::path folder = home.path / "Halvern";
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
