#include "support/UiTest.h"

#include <QCoreApplication>

namespace halvern::test {

// Registered once for every test program that links the support (Qt's statics go last).
[[maybe_unused]] auto* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

std::string ScratchFolder(const std::string& kind) {
    static int folders = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("halvern-" + kind + "-" + std::to_string(QCoreApplication::applicationPid())) /
        ((info ? std::string(info->name()) : kind) + std::to_string(++folders));
    std::filesystem::remove_all(folder), std::filesystem::create_directories(folder);
    return folder.string();
}

}  // namespace halvern::test
