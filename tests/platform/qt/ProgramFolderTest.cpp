#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/qt/ProgramFolder.h"

namespace halvern {
namespace {

struct FolderCase {
    const char* override;
    const char* executableFolder;
    bool writable;
    const char* expected;  // kAppData for the per-user folder
};
constexpr const char* kAppData = "/home/tech/.local/share/Halvern";

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << (*c.override ? c.override : "no --data-dir") << ", program in " << c.executableFolder
        << (c.writable ? " (writable)" : " (read-only)");
}

class ProgramFolderRule : public ::testing::TestWithParam<FolderCase> {};

// A build tree or a copy in a folder of one's own keeps its files beside the program; an
// installed copy keeps them per user even when the user may write there (root and /usr/bin).
TEST_P(ProgramFolderRule, ChoosesTheFolder) {
    const FolderCase& c = GetParam();
    bool askedAppData = false;
    FolderProbe probe{[&] { return std::string(c.executableFolder); },
                      [&](const std::string&) { return c.writable; },
                      [&] { return askedAppData = true, std::string(kAppData); },
                      "/opt/halvern/bin"};
    EXPECT_EQ(ProgramFolder(c.override, probe), c.expected);
    // The data folder is created when asked for, so it is asked for only when needed.
    EXPECT_EQ(askedAppData, std::string(c.expected) == kAppData);
}

INSTANTIATE_TEST_SUITE_P(
    , ProgramFolderRule,
    ::testing::Values(FolderCase{"/srv/field", "/usr/bin", true, "/srv/field"},
                      FolderCase{"", "/home/tech/halvern/build", true, "/home/tech/halvern/build"},
                      FolderCase{"", "/home/tech/halvern/build", false, kAppData},
                      FolderCase{"", "/usr/bin", true, kAppData},
                      FolderCase{"", "/usr/local/bin", true, kAppData},
                      FolderCase{"", "/opt/halvern/bin", true, kAppData},
                      FolderCase{"", "/opt/halvern/bin/", true, kAppData},
                      FolderCase{"", "/opt/halvern", true, "/opt/halvern"},
                      FolderCase{"", "/usrdata/halvern", true, "/usrdata/halvern"},
                      FolderCase{"", "/work/usr/bin", true, "/work/usr/bin"},
                      FolderCase{"", "/", true, "/"},
                      FolderCase{"", "/opt/halvern/binaries", true, "/opt/halvern/binaries"},
                      // Whole folder names, after "." and ".." are taken out.
                      FolderCase{"", "/usr/./lib/../bin", true, kAppData},
                      FolderCase{"", "/opt/halvern/sbin/../bin", true, kAppData},
                      FolderCase{"", "/usr", true, kAppData}, FolderCase{"", "", true, kAppData}));

struct PerUserCase {
    const char* situation;
    std::vector<const char*> entries;  // in ~/.local/share/Halvern; a folder ends in "/"
    bool earlierFolder;                // expected: ~/.local/share/Halvern/Halvern
};

void PrintTo(const PerUserCase& c, std::ostream* os) {
    *os << c.situation;
}

class PerUserFolderChoice : public ::testing::TestWithParam<PerUserCase> {};

TEST_P(PerUserFolderChoice, KeepsToTheEarlierFolderWhileItIsAllThereIs) {
    namespace fs = std::filesystem;
    const PerUserCase& c = GetParam();
    const QTemporaryDir home;
    const fs::path folder = fs::path(home.path().toStdString()) / "Halvern";
    for (const std::string entry : c.entries) {
        fs::create_directories((folder / entry).parent_path());
        if (!entry.ends_with('/'))
            std::ofstream(folder / entry) << "1\r\n";
    }
    const fs::path expected = c.earlierFolder ? folder / "Halvern" : folder;
    EXPECT_EQ(PerUserFolder(folder.string()), expected.string()) << c.situation;
}

INSTANTIATE_TEST_SUITE_P(
    , PerUserFolderChoice,
    ::testing::Values(PerUserCase{"first run", {}, false},
                      PerUserCase{"new folder, empty", {"./"}, false},
                      PerUserCase{"new folder in use", {"CommPortNo.txt", "4711.txt"}, false},
                      PerUserCase{"upgrade", {"Halvern/CommPortNo.txt", "Halvern/4711.txt"}, true},
                      PerUserCase{"upgrade, nothing written yet", {"Halvern/"}, true},
                      PerUserCase{"both in use", {"Halvern/4711.txt", "CommPortNo.txt"}, false},
                      PerUserCase{
                          "both, the new one with a folder", {"Halvern/4711.txt", "old/"}, false},
                      PerUserCase{"a file named like the earlier folder", {"Halvern"}, false}));

// The folder Qt names for the program is the program's name under the data folder, once.
TEST(NameProgram, NamesThePerUserFolderOnce) {
#ifdef _WIN32
    GTEST_SKIP() << "the data folders of Windows differ (Roaming, Local)";
#endif
    NameProgram();
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString(),
              (data + "/Halvern").toStdString());
}

TEST(FolderIsWritable, CreatesAndRemovesATrialFile) {
    const auto dir = std::filesystem::path(::testing::TempDir()) / "halvern-folder-test";
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(FolderIsWritable(dir.string()));  // missing
    std::filesystem::create_directory(dir);
    EXPECT_TRUE(FolderIsWritable(dir.string()));
    EXPECT_TRUE(std::filesystem::is_empty(dir));  // the trial file is gone again
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace halvern
