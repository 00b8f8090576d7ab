#include <gtest/gtest.h>

#include "platform/System.h"
#include "support/Bench.h"

namespace halvern::test {

std::string ScratchFolder(const std::string& kind) {
    static int folders = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::temp_directory_path() /
                        ("halvern-" + kind + "-" + std::to_string(ProcessId())) /
                        ((info ? std::string(info->name()) : kind) + std::to_string(++folders));
    std::filesystem::remove_all(folder), std::filesystem::create_directories(folder);
    return folder.string();
}

}  // namespace halvern::test
