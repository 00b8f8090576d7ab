#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "link/LinkFiles.h"
#include "link/Tuning.h"

namespace halvern {
namespace {

namespace fs = std::filesystem;

// A fresh program folder per test.
class FolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        folder_ = fs::path(::testing::TempDir()) / ("halvern_link_" + name);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string PathOf(const char* name) const { return JoinPath(folder_.string(), name); }
    static void Put(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Get(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }

    fs::path folder_;
};

TEST(FirstValue, ReadsTheFirstFieldOfTheFirstLine) {
    const std::vector<std::pair<std::string, std::optional<double>>> cases = {
        {"5\r\n", 5},
        {"6000", 6000},
        {"7,3\r\n", 7},
        {"  12 \r\n9\r\n", 12},
        {"4500.5\n", 4500.5},
        {"+5\r\n", 5},
        {"-2\r\n", -2},
        {"\xEF\xBB\xBF"
         "8\r\n",
         8},
        {"", std::nullopt},
        {"\r\n5\r\n", std::nullopt},
        {"abc\r\n", std::nullopt},
        {"5abc\r\n", std::nullopt},
        {"nan\r\n", std::nullopt},
        {"inf\r\n", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(FirstValue(text), expected) << text;
}

TEST_F(FolderTest, ValueFileHoldsOneDecimalLineWithCrLf) {
    const std::string path = PathOf(kTuneFile);
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(ReadFirstValue(path));
    ASSERT_TRUE(WriteValueFile(path, 6000));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(Get(path), "6000\r\n");
    ASSERT_TRUE(WriteValueFile(path, -3));  // rewriting replaces the whole content
    EXPECT_EQ(Get(path), "-3\r\n");
    EXPECT_EQ(ReadFirstValue(path), -3);
    EXPECT_FALSE(WriteValueFile(PathOf("no-such-folder/x.txt"), 1));
}

struct FileCase {
    std::optional<std::string> content;  // nothing: the file is missing
    double expected;
    std::string contentAfter;
};

TEST_F(FolderTest, TurnaroundDelayAtStartUp) {
    const std::vector<FileCase> cases = {
        {std::nullopt, 4000, "4000\r\n"},  // created holding the default
        {"6000\r\n", 6000, "6000\r\n"},
        {"4500.5,1\r\n", 4500.5, "4500.5,1\r\n"},
        {"0\r\n", 0, "0\r\n"},
        // Garbage gives the default, and the file is not silently rewritten.
        {"abc\r\n", 4000, "abc\r\n"},
        {"", 4000, ""},
        {"-5\r\n", 4000, "-5\r\n"},
        {"3000000000\r\n", 4000, "3000000000\r\n"},
    };
    const std::string path = PathOf(kTuneFile);
    for (const auto& c : cases) {
        fs::remove(path);
        if (c.content)
            Put(path, *c.content);
        EXPECT_EQ(LoadTurnaroundDelay(path), c.expected) << c.content.value_or("<missing>");
        EXPECT_EQ(Get(path), c.contentAfter);
    }
}

TEST_F(FolderTest, PortNumberAtTheDialogsLoad) {
    const std::vector<FileCase> cases = {
        {std::nullopt, 0, "0\r\n"},  // first use: created holding the current port, 0
        {"5\r\n", 5, "5\r\n"},      {" 7 ,3\r\n", 7, " 7 ,3\r\n"}, {"2.5\r\n", 2, "2.5\r\n"},
        {"abc\r\n", 0, "abc\r\n"},  {"70000\r\n", 0, "70000\r\n"},
    };
    const std::string path = PathOf(kPortFile);
    for (const auto& c : cases) {
        fs::remove(path);
        if (c.content)
            Put(path, *c.content);
        EXPECT_EQ(LoadPortNumber(path), c.expected) << c.content.value_or("<missing>");
        EXPECT_EQ(Get(path), c.contentAfter);
    }
    SavePortNumber(path, 3);
    EXPECT_EQ(Get(path), "3\r\n");
    EXPECT_EQ(LoadPortNumber(path), 3);
}

TEST(ParseTypedPort, AcceptsOnlyPortsFrom1To32767) {
    const std::vector<std::pair<std::string, std::optional<std::int16_t>>> cases = {
        {"1", 1},      {"16", 16},    {" 5 ", 5},    {"32767", 32767}, {"abc", {}}, {"", {}},
        {"70000", {}}, {"65535", {}}, {"32768", {}}, {"0", {}},        {"-3", {}},  {"3,4", {}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseTypedPort(text), expected) << text;
}

TEST_F(FolderTest, TuningFromTheDefaultGivesUpAfterThe23rdFailureWithoutSaving) {
    const std::string path = PathOf(kTuneFile);
    Put(path, "4000\r\n");
    TuneState t;
    double delay = 4000;
    StartTuning(t);
    std::vector<double> seen;
    for (int i = 0; i < 23; ++i) {
        EXPECT_TRUE(t.TuneActive) << "before failure " << i + 1;
        TuneAfterFailedPoll(t, delay);
        seen.push_back(delay);
    }
    std::vector<double> expected;
    for (double d = 5000; d <= 25000; d += 1000)
        expected.push_back(d);
    expected.push_back(4000);
    expected.push_back(5000);
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(t.TuneActive);

    TuneAfterFailedPoll(t, delay);  // idle: nothing moves
    TuneAfterGoodReply(t, true, delay, path);
    EXPECT_EQ(delay, 5000);
    EXPECT_EQ(Get(path), "4000\r\n");
}

TEST_F(FolderTest, TuningSavesAtTheFirstValidStatusReplyOnly) {
    const std::string path = PathOf(kTuneFile);
    Put(path, "4000\r\n");
    TuneState t;
    double delay = 4000;

    StartTuning(t);
    TuneAfterFailedPoll(t, delay);
    TuneAfterGoodReply(t, false, delay, path);  // accepted but not a status reply: ends unsaved
    EXPECT_FALSE(t.TuneActive);
    EXPECT_EQ(Get(path), "4000\r\n");

    delay = 4000;
    StartTuning(t);
    TuneAfterFailedPoll(t, delay);
    TuneAfterFailedPoll(t, delay);
    TuneAfterGoodReply(t, true, delay, path);  // the third poll answered
    EXPECT_FALSE(t.TuneActive);
    EXPECT_EQ(Get(path), "6000\r\n");
    EXPECT_EQ(LoadTurnaroundDelay(path), 6000);
}

TEST(Tuning, PressingF12AgainRestartsTheCountButKeepsTheDelay) {
    TuneState t;
    double delay = 4000;
    StartTuning(t);
    for (int i = 0; i < 10; ++i)
        TuneAfterFailedPoll(t, delay);
    StartTuning(t);
    EXPECT_EQ(delay, 14000);
    for (int i = 0; i < 22; ++i)
        TuneAfterFailedPoll(t, delay);
    EXPECT_TRUE(t.TuneActive);
    TuneAfterFailedPoll(t, delay);
    EXPECT_FALSE(t.TuneActive);
}

}  // namespace
}  // namespace halvern
