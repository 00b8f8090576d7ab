#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "platform/qt/ProgramFolder.h"

namespace halvern {
namespace {

struct FolderCase {
    const char* override;
    const char* executableFolder;
    bool writable;
    const char* expected;  // kAppData for the per-user folder
};
constexpr const char* kAppData = "/home/tech/.local/share/Halvern/Halvern";

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
                      FolderCase{"", "", true, kAppData}));

TEST(IsSystemInstall, ComparesWholeFolderNamesAfterTidying) {
    EXPECT_TRUE(IsSystemInstall("/usr", ""));
    EXPECT_TRUE(IsSystemInstall("/usr/./lib/../bin", ""));
    EXPECT_TRUE(IsSystemInstall("/opt/halvern/sbin/../bin", "/opt/halvern/bin"));
    EXPECT_FALSE(IsSystemInstall("/opt/halvern/bin", ""));
    EXPECT_FALSE(IsSystemInstall("/opt/halvern/binaries", "/opt/halvern/bin"));
    EXPECT_FALSE(IsSystemInstall("/", "/usr/local/bin"));
    EXPECT_FALSE(IsSystemInstall("/work/usr/bin", "/usr/local/bin"));
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
