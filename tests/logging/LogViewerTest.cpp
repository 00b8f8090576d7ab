// The viewer's line table, its paging and the serial-number prompt's checks.

#include <gtest/gtest.h>

#include <filesystem>

#include "LogTestSupport.h"
#include "logging/LogViewer.h"

namespace halvern {
namespace {

using testing::TempFolder;

std::string NumberedLines(int count, const char* lineEnd = "\r\n") {
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line " + std::to_string(i) + lineEnd;
    return text;
}

TEST(SplitLogLines, LinesWithoutTheirBreaksAndEmptyEntriesAfterTheEnd) {
    const auto lines = SplitLogLines("first\r\nsecond\r\n\r\nlast without break");
    ASSERT_EQ(lines.size(), 1025u);
    EXPECT_EQ(lines[0], "first");
    EXPECT_EQ(lines[1], "second");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "last without break");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[1024], "");
}

TEST(SplitLogLines, LoneLineFeedOrCarriageReturnAlsoEndsALine) {
    const auto lines = SplitLogLines("a\nb\rc\r\n");
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"a", "b", "c", ""}));
}

TEST(ReadLogLines, LineBreakSplitBetweenTwoReadsIsOneBreak) {
    TempFolder folder;
    // The reads take 64 KiB at a time: the CR is the last byte of the first read.
    folder.Write("4711.txt", std::string(65535, 'x') + "\r\nafter\r\n" + NumberedLines(1100));
    const auto lines = ReadLogLines(folder.File("4711.txt"));
    ASSERT_TRUE(lines);
    EXPECT_EQ((*lines)[0].substr(0, 90), std::string(90, 'x'));
    EXPECT_EQ((*lines)[1], "after");
    EXPECT_EQ((*lines)[1024], "line 1023");
}

TEST(ReadLogLines, MissingOrUnreadableFileIsReported) {
    TempFolder folder;
    std::string error;
    EXPECT_FALSE(ReadLogLines(folder.File("13.txt"), &error));
    EXPECT_NE(error, "");
    std::filesystem::create_directory(folder.Path() / "14.txt");
    EXPECT_FALSE(ReadLogLines(folder.File("14.txt")));
}

std::vector<std::string> Numbers(const LogViewerModel& m) {
    std::vector<std::string> n;
    for (int r = 0; r < kViewerRows; ++r)
        n.push_back(m.Row(r).Number);
    return n;
}

TEST(LogViewerModel, ShortFileShowsEmptyRowsAndStillScrolls) {
    LogViewerModel m(SplitLogLines(NumberedLines(5)));
    EXPECT_EQ(m.TopLine(), 0);
    EXPECT_EQ(Numbers(m), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9",
                                                    "10", "11", "12"}));
    EXPECT_EQ(m.Row(4).Fields[0], "line ");
    EXPECT_EQ(m.Row(5).Fields, LogFields{});

    EXPECT_TRUE(m.PageDown());
    EXPECT_EQ(m.Row(0).Number, "2");
    EXPECT_EQ(m.Row(11).Number, "13");
    EXPECT_EQ(m.Row(3).Fields[0], "line ");
    EXPECT_EQ(m.Row(4).Fields, LogFields{});
}

TEST(LogViewerModel, PageUpStopsAtTheFirstLine) {
    LogViewerModel m(SplitLogLines(NumberedLines(20)));
    EXPECT_FALSE(m.PageUp());
    EXPECT_EQ(m.TopLine(), 0);
    for (int i = 0; i < 3; ++i)
        m.PageDown();
    EXPECT_EQ(m.Entry(m.TopLine()), "line 4");
    for (const char* expected : {"line 3", "line 2", "line 1"}) {
        EXPECT_TRUE(m.PageUp());
        EXPECT_EQ(m.Entry(m.TopLine()), expected);
        EXPECT_EQ(m.Row(0).Number, std::to_string(m.TopLine() + 1));
    }
    EXPECT_FALSE(m.PageUp());
}

TEST(LogViewerModel, PageDownStopsWhenTheBottomRowShowsTheLastEntry) {
    LogViewerModel m(SplitLogLines(NumberedLines(1030)));
    int moves = 0;
    while (m.PageDown())
        ++moves;
    EXPECT_EQ(moves, 1013);
    EXPECT_EQ(m.TopLine(), 1013);
    EXPECT_EQ(m.Row(11).Number, "1025");
    EXPECT_EQ(m.Row(11).Fields[0], "line ");
    EXPECT_EQ(m.Entry(1024), "line 1025");
    EXPECT_TRUE(m.PageUp());
    EXPECT_EQ(m.Row(11).Number, "1024");
}

struct EntryCase {
    const char* entry;
    bool number;
};

class SerialEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(SerialEntry, OnlyNumbersPassAndNoneLeavesTheFolder) {
    const EntryCase c = GetParam();
    EXPECT_EQ(IsNumberEntry(c.entry), c.number) << "'" << c.entry << "'";
    const auto path = LogPathForEntry("/logs", c.entry);
    ASSERT_EQ(path.has_value(), c.number);
    if (path) {
        const std::filesystem::path p(*path);
        EXPECT_EQ(p.parent_path(), "/logs") << *path;
        EXPECT_EQ(p.extension(), ".txt");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SerialEntry,
    ::testing::Values(EntryCase{"4711", true}, EntryCase{" 4711", true}, EntryCase{"4711 ", true},
                      EntryCase{"12", true}, EntryCase{"-5", true}, EntryCase{"+5", true},
                      EntryCase{"1e3", true}, EntryCase{"2.5E-1", true}, EntryCase{".5", true},
                      EntryCase{"5.", true}, EntryCase{"47a1", false}, EntryCase{"", false},
                      EntryCase{"   ", false}, EntryCase{".", false}, EntryCase{"-", false},
                      EntryCase{"1e", false}, EntryCase{"1 2", false}, EntryCase{"../4711", false},
                      EntryCase{"4711/..", false}, EntryCase{"..\\4711", false},
                      EntryCase{"/etc/passwd", false}, EntryCase{"C:4711", false},
                      EntryCase{"&H12", false}));

TEST(CheckSerialEntry, InvalidMissingOrOpen) {
    TempFolder folder;
    const std::string dir = folder.Path().string();
    folder.Write("4711.txt", "NNN0    05/12/26  14:03:27\r\n");
    folder.Write("12.txt", "DDD     05/12/26  9:5:3\r\n");

    EXPECT_EQ(CheckSerialEntry(dir, "47a1").outcome, SerialEntryOutcome::Invalid);
    EXPECT_EQ(CheckSerialEntry(dir, "").outcome, SerialEntryOutcome::Invalid);
    EXPECT_EQ(CheckSerialEntry(dir, "4712").outcome, SerialEntryOutcome::MissingFile);
    for (const char* entry : {"4711", " 4711"}) {
        const SerialEntryCheck c = CheckSerialEntry(dir, entry);
        EXPECT_EQ(c.outcome, SerialEntryOutcome::Open) << entry;
        EXPECT_EQ(c.path, folder.File("4711.txt"));
    }
    EXPECT_EQ(CheckSerialEntry(dir, "12 ").path, folder.File("12.txt"));
    EXPECT_EQ(ViewerTitle(" 4711"), "Log file viewer of detector serial No  4711");
}

}  // namespace
}  // namespace halvern
