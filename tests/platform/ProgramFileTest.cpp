// The program's files are opened only when they are regular files; whatever else has the name
// is refused at once, never waited on. Each opening runs in a child process with a time
// bound: a FIFO that blocked would fail its case, not hang the run.

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

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What has the name "4711.txt" in the folder (a file "real.txt" holding "4000\r\n" lies
// beside it), and what each kind of opening makes of it.
struct NameCase {
    const char* name;
    std::function<void(const fs::path& folder)> make;
    std::string read, append, replace;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kFifo = "refused: it is a FIFO (named pipe), not a regular file";
const std::string kFolder = "refused: it is a folder, not a regular file";
const std::string kDevice = "refused: it is a device, not a regular file";

const NameCase kNames[] = {
    {"a regular file",
     [](const fs::path& d) { std::ofstream(d / "4711.txt", std::ios::binary) << "4000\r\n"; },
     "read 4000\r\n", "now 4000\r\n1\r\n", "now 1\r\n"},
    {"nothing", [](const fs::path&) {}, "missing: No such file or directory", "now 1\r\n",
     "now 1\r\n"},
    {"a link to a regular file",
     [](const fs::path& d) { fs::create_symlink(d / "real.txt", d / "4711.txt"); }, "read 4000\r\n",
     "now 4000\r\n1\r\n", "now 1\r\n"},
    {"a FIFO", [](const fs::path& d) { ::mkfifo((d / "4711.txt").c_str(), 0600); }, kFifo, kFifo,
     kFifo},
    {"a folder", [](const fs::path& d) { fs::create_directory(d / "4711.txt"); }, kFolder, kFolder,
     kFolder},
    {"a link to /dev/zero",
     [](const fs::path& d) { fs::create_symlink("/dev/zero", d / "4711.txt"); }, kDevice, kDevice,
     kDevice},
};

class ProgramFileNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProgramFileNames, OnlyRegularFilesAreOpenedAndNothingElseIsWaitedOn) {
    const NameCase& c = GetParam();
    for (const FileAccess access : {FileAccess::Read, FileAccess::Append, FileAccess::Replace}) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const fs::path folder = dir.path().toStdString(), file = folder / "4711.txt";
        std::ofstream(folder / "real.txt", std::ios::binary) << "4000\r\n";
        c.make(folder);
        const auto opened = test::RunGuarded([&]() -> std::string {
            const OpenedFile f = OpenProgramFile(file.string(), access);
            if (!f)
                return std::string(f.missing ? "missing: " : "refused: ") + f.error;
            if (access == FileAccess::Read)
                return "read " + f->readAll().toStdString();
            f->write("1\r\n");
            f->close();
            return "now " + Content(file);
        });
        const std::string& expected = access == FileAccess::Read     ? c.read
                                      : access == FileAccess::Append ? c.append
                                                                     : c.replace;
        EXPECT_EQ(opened.value_or("blocked"), expected) << static_cast<int>(access);
        // Whatever was refused is left as it was.
        if (expected.starts_with("refused")) {
            EXPECT_FALSE(fs::is_regular_file(file));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WhatHasTheName, ProgramFileNames, ::testing::ValuesIn(kNames));

}  // namespace
}  // namespace halvern
