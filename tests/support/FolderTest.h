#pragma once
// A test with a fresh scratch folder that stands for the program folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/Bench.h"

namespace halvern::test {

class FolderTest : public ::testing::Test {
  protected:
    void SetUp() override { folder_ = ScratchFolder("ui-tests"); }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Folder() const { return folder_.string(); }
    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
    std::string Read(const std::string& name) const {
        std::ifstream in(folder_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }

    std::filesystem::path folder_;
};

}  // namespace halvern::test
