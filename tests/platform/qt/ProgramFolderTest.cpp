#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/qt/ProgramFolder.h"

namespace halvern {
namespace {

TEST(ProgramFolder, ChoosesOverrideThenWritableExecutableFolderThenAppData) {
    const std::string appData = "/home/tech/.local/share/Halvern";
    for (const auto& [override, exeWritable, expected] :
         std::vector<std::tuple<std::string, bool, std::string>>{{"/srv/field", true, "/srv/field"},
                                                                 {"", true, "/opt/halvern"},
                                                                 {"", false, appData}}) {
        bool askedAppData = false;
        const FolderProbe probe{
            [] { return std::string("/opt/halvern"); },
            [&](const std::string& dir) { return dir == "/opt/halvern" && exeWritable; },
            [&] { return askedAppData = true, appData; }};
        EXPECT_EQ(ProgramFolder(override, probe), expected);
        // The data folder is created when asked for, so it is asked for only when needed.
        EXPECT_EQ(askedAppData, expected == appData);
    }
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
