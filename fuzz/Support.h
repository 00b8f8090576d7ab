#pragma once
// What the fuzz targets share: a check that ends the run like a sanitizer report does (so
// libFuzzer keeps the input), and a scratch folder of this process for the files a target
// must write.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)

namespace halvern::fuzz {

// An empty folder under the temporary folder, one per process (parallel jobs do not share
// it), removed when the process ends normally.
class Scratch {
  public:
    explicit Scratch(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("halvern-fuzz-" + name + "-" + std::to_string(::getpid()))) {
        Empty();
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Removes everything the last input left (the folder itself stays: cheaper).
    void Empty() {
        std::filesystem::create_directories(path_);
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            std::filesystem::remove_all(entry.path());
    }

  private:
    std::filesystem::path path_;
};

}  // namespace halvern::fuzz
