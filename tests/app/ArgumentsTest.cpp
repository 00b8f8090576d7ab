// halvern's command line: --help and --version are answered before there is a display, whatever
// else stands beside them; anything else leaves the start-up to go on.

#include <gtest/gtest.h>

#include "Arguments.h"
#include "HalvernVersion.h"

namespace halvern::test {
namespace {

std::optional<std::string> Answer(QStringList arguments) {
    ProgramCommandLine cli;
    arguments.prepend("/usr/bin/halvern");
    return cli.Answer(arguments);
}

TEST(ProgramCommandLine, VersionAndHelpAreAnsweredWhereverTheyStand) {
    const std::string version = std::string("halvern ") + kVersion + "\n";
    EXPECT_EQ(Answer({"--version"}), version);
    EXPECT_EQ(Answer({"-v"}), version);
    EXPECT_EQ(Answer({"--device", "/dev/ttyUSB0", "--version"}), version);
    // Qt's own options are taken out only later by QApplication.
    EXPECT_EQ(Answer({"-platform", "offscreen", "--version"}), version);

    const auto help = Answer({"--demo", "--help"});
    ASSERT_TRUE(help);
    EXPECT_EQ(help->rfind("Usage: halvern [options]\n", 0), 0u) << *help;
    for (const char* option : {"--device <path>", "--demo", "--data-dir <path>", "--version"})
        EXPECT_NE(help->find(option), std::string::npos) << option;
}

TEST(ProgramCommandLine, OtherLinesGoOnToTheWindows) {
    EXPECT_EQ(Answer({}), std::nullopt);
    EXPECT_EQ(Answer({"--demo", "--data-dir", "/tmp/x"}), std::nullopt);
    EXPECT_EQ(Answer({"--data-dir", "--version"}), std::nullopt);  // a folder of that name
}

}  // namespace
}  // namespace halvern::test
