// A file written whole takes its place only once every byte is on the disk: a write that fails
// leaves the file that was there as it was, nothing beside it, and says why.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "platform/WholeFile.h"

namespace halvern {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The disk takes no more than `bytes` of any one file while it lives: writes past them fail,
// as on a disk that is full (the system says "file too large").
struct SmallDisk {
    explicit SmallDisk(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        old = signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~SmallDisk() {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, old);
    }
    rlimit saved{};
    sighandler_t old;
};

TEST(WholeFile, AFailedWriteLeavesTheOldFileAsItWasAndNothingBesideIt) {
    const fs::path folder =
        fs::temp_directory_path() / ("halvern-wholefile-" + std::to_string(getpid()));
    const std::string big(20000, 'n');
    const struct {
        const char* name;
        const char* old;  // the file there before; nullptr: none
        bool fifo, link, small;
        const char* reason;  // empty: written
    } cases[] = {
        {"replaced", "old report", false, false, false, ""},
        {"through a link", "old report", false, true, false, ""},
        {"cut short", "old report", false, false, true, "the file is too large for the disk"},
        {"new, cut short", nullptr, false, false, true, "the file is too large for the disk"},
        {"a FIFO", nullptr, true, false, false, "it is a FIFO (named pipe), not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        const fs::path file = folder / "report.pdf", named = c.link ? folder / "link.pdf" : file;
        if (c.old) {
            std::ofstream(file) << c.old;
            fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        }
        if (c.fifo) {
            ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
        }
        if (c.link)
            fs::create_symlink(file, named);
        std::string error;
        bool ok = false;
        {
            std::optional<SmallDisk> disk;
            if (c.small)
                disk.emplace(4096);
            ok = WriteWholeFile(named.string(), big, error);
        }
        EXPECT_EQ(ok, !*c.reason);
        EXPECT_EQ(error, *c.reason ? "Cannot write " + named.string() + ": " + c.reason : "");
        std::set<std::string> names, expected;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        if (c.old || c.fifo)
            expected.insert("report.pdf");
        if (c.link)
            expected.insert("link.pdf");
        EXPECT_EQ(names, expected);
        EXPECT_TRUE(!c.link || fs::is_symlink(named));
        if (c.old) {
            EXPECT_EQ(Read(file), *c.reason ? c.old : big);
        }
        if (c.old && !*c.reason) {  // as the technician had set it
            EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
        }
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace halvern
