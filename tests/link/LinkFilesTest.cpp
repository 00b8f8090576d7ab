#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/LinkFiles.h"
#include "link/Tuning.h"
#include "platform/FilePath.h"

namespace halvern {
namespace {

TEST(ParseTypedPort, AcceptsOnlyPortsFrom1To32767) {
    const std::vector<std::pair<std::string, std::optional<std::int16_t>>> cases = {
        {"1", 1},      {" 5 ", 5},    {"32767", 32767}, {"abc", {}}, {"", {}},
        {"65535", {}}, {"32768", {}}, {"0", {}},        {"-3", {}},  {"3,4", {}}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseTypedPort(text), expected) << text;
}

using Cases = std::vector<std::pair<std::string, double>>;

// A value file of its own per test (tests may run in parallel processes), in a folder named
// with letters beyond ASCII as under such a user's name: every name is UTF-8 text and reaches
// the system as such.
class ValueFile : public ::testing::Test {
  protected:
    ValueFile() {
        std::filesystem::remove_all(Utf8Path(folder_));
        std::filesystem::create_directory(Utf8Path(folder_));
    }
    ~ValueFile() override { std::filesystem::remove_all(Utf8Path(folder_)); }
    std::string Content() const {
        std::ifstream f(Utf8Path(path_), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    // A missing file is created holding the default. A file that holds each case's text is
    // read, and left as it is even when it does not read as a value.
    template <class Load>
    void ExpectLoads(Load load, double byDefault, const std::string& created, const Cases& cases) {
        EXPECT_EQ(load(path_), byDefault);
        EXPECT_EQ(Content(), created);
        for (const auto& [text, expected] : cases) {
            std::ofstream(Utf8Path(path_), std::ios::binary | std::ios::trunc) << text;
            EXPECT_EQ(load(path_), expected) << text;
            EXPECT_EQ(Content(), text);
        }
    }
    const std::string folder_ = ::testing::TempDir() + "halvern-J\xC3\xBCrgen-\xC3\xB6-" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string path_ = JoinPath(folder_, kPortFile);
};

TEST_F(ValueFile, TurnaroundDelayAtStartUpIsTheFirstValueOrTheDefault) {
    // "\357\273\277" is the byte order mark some editors put first.
    const Cases cases = {
        {"6000", 6000},           {"4500.5\n", 4500.5}, {"0\r\n", 0},     {"  12 \r\n9\r\n", 12},
        {"\357\273\2778\r\n", 8}, {"abc\r\n", 4000},    {"", 4000},       {"\r\n5\r\n", 4000},
        {"5abc\r\n", 4000},       {"nan\r\n", 4000},    {"-5\r\n", 4000}, {"3000000000\r\n", 4000}};
    ExpectLoads([](const std::string& path) { return LoadTurnaroundDelay(path); }, 4000, "4000\r\n",
                cases);
}

TEST_F(ValueFile, PortNumberIsLoadedAsAWhole16BitNumberAndSavedAsOneLine) {
    EXPECT_TRUE(Utf8Path("\xC3\xB6").u8string() == u8"\u00F6");
    EXPECT_EQ(Utf8Text(Utf8Path(folder_)), folder_);
    EXPECT_EQ(path_, folder_ + "/" + kPortFile);
    EXPECT_FALSE(FileExists(path_));
    EXPECT_EQ(LoadPortNumber(path_, 4), 4);  // created
    EXPECT_TRUE(std::filesystem::exists(Utf8Path(folder_) / "CommPortNo.txt"));
    EXPECT_TRUE(FileExists(path_));
    std::filesystem::remove(Utf8Path(path_));
    const Cases cases = {
        {"5\r\n", 5}, {" 7 ,3\r\n", 7}, {"2.5\r\n", 2}, {"abc\r\n", 0}, {"70000\r\n", 0}};
    ExpectLoads([](const std::string& path) { return LoadPortNumber(path); }, 0, "0\r\n", cases);
    SavePortNumber(path_, 3);  // replaces the longer content
    EXPECT_EQ(Content(), "3\r\n");
    EXPECT_EQ(LoadPortNumber(path_), 3);
}

TEST_F(ValueFile, TuningStepsWrapsGivesUpAfter23FailuresAndSavesOnlyAtAValidStatusReply) {
    TuneState t;
    double delay = 4000;
    StartTuning(t);
    for (int i = 0; i < 3; ++i)
        TuneAfterFailedPoll(t, delay);
    StartTuning(t);  // pressed again: the count restarts from the delay reached
    std::vector<double> seen;
    for (int i = 0; i < 23; ++i)  // an early give-up would show as a step that did not move
        TuneAfterFailedPoll(t, delay), seen.push_back(delay);
    EXPECT_EQ(seen, (std::vector<double>{8000,  9000,  10000, 11000, 12000, 13000, 14000, 15000,
                                         16000, 17000, 18000, 19000, 20000, 21000, 22000, 23000,
                                         24000, 25000, 4000,  5000,  6000,  7000,  8000}));
    EXPECT_FALSE(t.TuneActive);
    TuneAfterFailedPoll(t, delay);  // idle: nothing moves, nothing is saved
    TuneAfterGoodReply(t, true, delay, path_);
    EXPECT_EQ(delay, 8000);
    StartTuning(t);
    TuneAfterFailedPoll(t, delay);
    TuneAfterGoodReply(t, false, delay, path_);  // accepted but not a status reply: ends unsaved
    EXPECT_FALSE(t.TuneActive);
    EXPECT_EQ(Content(), "");
    StartTuning(t);
    TuneAfterFailedPoll(t, delay);
    TuneAfterGoodReply(t, true, delay, path_);
    EXPECT_FALSE(t.TuneActive);
    EXPECT_EQ(Content(), "10000\r\n");
}

}  // namespace
}  // namespace halvern
