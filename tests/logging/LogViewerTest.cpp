// The viewer's line table, its paging and the serial-number entry's checks.

#include <gtest/gtest.h>

#include <filesystem>

#include "LogTestSupport.h"
#include "logging/LogViewer.h"

namespace halvern {
namespace {

std::string NumberedLines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    return text;
}

class ReadLogLines : public test::UiTest {};

// The reads take 1 MiB at a time: the first CR is the last byte of the first read.
TEST_F(ReadLogLines, AnyLineBreakEndsALineEvenSplitBetweenTwoReadsAndEveryLineIsCounted) {
    Write("4711.txt", std::string((1 << 20) - 1, 'x') + "\r\nafter\r\n\r\na\nb\r" +
                          NumberedLines(1100) + "no break");
    const auto first = halvern::ReadLogLines(PathOf("4711.txt"));
    ASSERT_TRUE(first);
    ASSERT_EQ(first->Lines.size(), 1025u);
    EXPECT_EQ(std::vector<std::string>(first->Lines.begin() + 1, first->Lines.begin() + 6),
              (std::vector<std::string>{"after", "", "a", "b", "line 1"}));
    EXPECT_EQ(first->Lines[1024], "line 1020");
    EXPECT_EQ(first->First, 0);
    EXPECT_EQ(first->Total, 1106);
    const auto last = halvern::ReadLogLines(PathOf("4711.txt"), LogStretch::Last);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->First, 81);
    EXPECT_EQ(last->Total, 1106);
    EXPECT_EQ(last->Lines[0], "line 77");  // line 82 of the file
    EXPECT_EQ(last->Lines[1023], "line 1100");
    EXPECT_EQ(last->Lines[1024], "no break");
    EXPECT_EQ(SplitLogLines("last without break")[0], "last without break");
}

// A log longer than the table says which lines it holds; a log it holds whole says nothing,
// and End leaves its first line at the top.
TEST(LogViewerModel, PagingStopsAtTheFirstLineAndWhenTheBottomRowShowsEntry1024) {
    LogViewerModel two({SplitLogLines("NNN1\r\nNNN2\r\n"), 0, 2});
    two.ShowLast({SplitLogLines("NNN1\r\nNNN2\r\n"), 0, 2});
    EXPECT_EQ(std::make_tuple(two.Extent(), two.TopLine(), two.Row(1).Fields[0]),
              std::make_tuple(std::string(), 0, std::string("NNN2")));
    LogViewerModel m({SplitLogLines(NumberedLines(1030)), 0, 1030});
    EXPECT_EQ(m.Extent(), "lines 1-1025 of 1030");
    EXPECT_FALSE(m.PageUp());
    int moves = 0;
    while (m.PageDown())
        ++moves;
    EXPECT_EQ(moves, 1013);
    EXPECT_EQ(m.Row(11).Number, "1025");
    EXPECT_EQ(m.Row(11).Fields[0], "line ");
    EXPECT_TRUE(m.PageUp());
    EXPECT_EQ(m.Row(11).Number, "1024");
}

// Only a number names a log file, so no entry can reach outside the program folder.
TEST(LogPathForEntry, OnlyNumbersAndNoneLeavesTheFolder) {
    for (const char* entry : {"-5", "1e3", "2.5E-1", ".5", "5."}) {
        const auto path = LogPathForEntry("/logs", entry);
        ASSERT_TRUE(path) << entry;
        EXPECT_EQ(std::filesystem::path(*path).parent_path(), "/logs") << *path;
    }
    EXPECT_EQ(LogPathForEntry("/logs", " 4711 ").value_or(""), "/logs/4711.txt");
    for (const char* entry :
         {"", ".", "-", "1e", "1 2", "4711/..", "..\\4711", "/etc/passwd", "C:4711", "&H12"})
        EXPECT_FALSE(LogPathForEntry("/logs", entry)) << entry;
}

}  // namespace
}  // namespace halvern
