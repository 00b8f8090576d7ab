// Where the program keeps its files, and that it opens only regular files there: whatever else
// has the name is refused at once, never waited on (each opening runs in a child process with a
// time bound, so a FIFO that blocked fails its case instead of hanging the run).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/ProgramFile.h"
#include "support/Guarded.h"

namespace halvern {
namespace {

namespace fs = std::filesystem;

// What has the name "4711.txt" (beside "real.txt" holding "4000\r\n"), and what a read, an
// append and a replace make of it.
TEST(ProgramFile, OnlyRegularFilesAreOpenedAndNothingElseIsWaitedOn) {
    const auto refused = [](const std::string& what) {
        const std::string r = "refused: it is " + what + ", not a regular file";
        return r + "|" + r + "|" + r;
    };
    const std::pair<std::function<void(const fs::path&)>, std::string> cases[] = {
        {[](const fs::path& d) { fs::create_symlink(d / "real.txt", d / "4711.txt"); },
         "read 4000\r\n|now 4000\r\n1\r\n|now 1\r\n"},
        {[](const fs::path&) {}, "missing: No such file or directory|now 1\r\n|now 1\r\n"},
        {[](const fs::path& d) { ::mkfifo((d / "4711.txt").c_str(), 0600); },
         refused("a FIFO (named pipe)")},
        {[](const fs::path& d) { fs::create_directory(d / "4711.txt"); }, refused("a folder")},
        {[](const fs::path& d) { fs::create_symlink("/dev/zero", d / "4711.txt"); },
         refused("a device")},
    };
    for (const auto& [make, expected] : cases) {
        std::string outcomes;
        for (const FileAccess access :
             {FileAccess::Read, FileAccess::Append, FileAccess::Replace}) {
            QTemporaryDir dir;
            const fs::path at = dir.path().toStdString(), name = at / "4711.txt";
            std::ofstream(at / "real.txt", std::ios::binary) << "4000\r\n";
            make(at);
            const auto opened = test::RunGuarded([&]() -> std::string {
                const OpenedFile f = OpenProgramFile(name.string(), access);
                if (!f)
                    return std::string(f.missing ? "missing: " : "refused: ") + f.error;
                if (access == FileAccess::Read)
                    return "read " + f->ReadAll();
                f->Write("1\r\n");
                f->Close();
                std::ifstream in(name, std::ios::binary);
                return "now " + std::string(std::istreambuf_iterator<char>(in), {});
            });
            outcomes += (outcomes.empty() ? "" : "|") + opened.value_or("blocked");
            // Whatever was refused is left as it was.
            EXPECT_TRUE(!opened || !opened->starts_with("refused") || !fs::is_regular_file(name));
        }
        EXPECT_EQ(outcomes, expected);
    }
}

}  // namespace
}  // namespace halvern
