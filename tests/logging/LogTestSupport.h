#pragma once
// Temporary program folders and a detector's decoded values for the logging tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <stdlib.h>

#include "logging/LogRecords.h"
#include "state/Par.h"

namespace halvern::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "halvern-log-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

    // The file's bytes; empty when it does not exist.
    std::string Read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }

  private:
    std::filesystem::path path_;
};

// 14:03:27 on 5 December 2026.
inline LocalDateTime At(int hour, int minute, int second) {
    return {2026, 12, 5, hour, minute, second};
}

// Detector 4711 at address 12 after a decoded "NNN0" reply with non-zero NQ ratios.
inline void SetDecodedValues(Par& par) {
    par.StatusParts = {"N", "N", "N", "0"};
    par.StatusCode = "NNN0";
    par.SerialNumber = 4711;
    par.GainText = "3";
    par.ChannelValues[0] = 4.12f;
    par.ChannelValues[1] = 3.98f;
    par.ChannelValues[2] = 4.05f;
    par.ChannelValues[4] = 23;
    par.ChannelValues[5] = 1.03f;
    par.ChannelValues[6] = 0.98f;
    par.ChannelValues[7] = 0.47f;
    par.ChannelValues[8] = 2.55f;
    par.ChannelValues[12] = 0;
    par.Link.ReplyAddress = 12;
    par.CurrentAddress = 12;
}

inline int CountLines(const std::string& text) {
    int n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++n;
    }
    return n;
}

}  // namespace halvern::testing
