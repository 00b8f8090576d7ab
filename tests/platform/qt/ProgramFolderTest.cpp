#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/qt/ProgramFolder.h"

namespace halvern {
namespace {

struct FolderCase {
    std::string name;
    std::string override;
    bool exeWritable;
    std::string expected;
    bool asksAppData;
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

class ProgramFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(ProgramFolderTest, ChoosesOverrideThenWritableExecutableFolderThenAppData) {
    const auto& c = GetParam();
    bool askedAppData = false;
    FolderProbe probe;
    probe.executableFolder = [] { return std::string("/opt/halvern"); };
    probe.writable = [&](const std::string& dir) { return dir == "/opt/halvern" && c.exeWritable; };
    probe.appDataFolder = [&] {
        askedAppData = true;
        return std::string("/home/tech/.local/share/Halvern");
    };
    EXPECT_EQ(ProgramFolder(c.override, probe), c.expected);
    EXPECT_EQ(askedAppData, c.asksAppData);  // the data folder is not created needlessly
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramFolderTest,
    ::testing::Values(FolderCase{"OverrideOverReadOnly", "/srv/field", false, "/srv/field", false},
                      FolderCase{"OverrideOverWritable", "/srv/field", true, "/srv/field", false},
                      FolderCase{"WritableExecutableFolder", "", true, "/opt/halvern", false},
                      FolderCase{"ReadOnlyExecutableFolder", "", false,
                                 "/home/tech/.local/share/Halvern", true}),
    [](const auto& info) { return info.param.name; });

TEST(FolderIsWritable, CreatesAndRemovesATrialFile) {
    const auto dir = std::filesystem::temp_directory_path() / "halvern-folder-test";
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(FolderIsWritable(dir.string()));  // missing
    std::filesystem::create_directory(dir);
    EXPECT_TRUE(FolderIsWritable(dir.string()));
    EXPECT_TRUE(std::filesystem::is_empty(dir));  // the trial file is gone again
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace halvern
