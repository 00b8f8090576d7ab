#pragma once
// A file the programs write whole (a report, a CSV export, saved traffic, a printed PDF, an
// image): written to a temporary file beside it and renamed into its place only once every
// byte is on the disk. A write that fails (a full disk, a folder that cannot be written)
// leaves the file that was there as it was and no temporary behind, and says why in a
// technician's words: "Cannot write /home/tech/4711.pdf: the disk is full".

#include <memory>
#include <string>
#include <string_view>

#include "platform/ProgramFile.h"

namespace halvern {

// "the disk is full" for ENOSPC and the like; the system's own text for the rest.
std::string FileErrorText(int error);

class WholeFile {
  public:
    explicit WholeFile(std::string path);
    // Removes the temporary file unless Commit() renamed it into place.
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Creates the temporary file. With `directFallback`, a file that exists in a folder where
    // no other file can be made is written in place instead (not safe against a full disk,
    // but the technician may overwrite it).
    bool Open(bool directFallback = false);
    // Puts every byte on the disk and the file into its place; false with Error() when any
    // write failed, and then the old file stands.
    bool Commit();
    // Appends `bytes`; false (and Error()) when they could not all be written.
    bool Write(std::string_view bytes);
    // Drops what was written; the old file stands.
    void Cancel();
    // "Cannot write PATH: reason"; empty while nothing failed.
    const std::string& Error() const { return error_; }
    // The reason alone: "the disk is full".
    const std::string& Reason() const { return reason_; }
    const std::string& Path() const { return path_; }

  private:
    bool Settle();
    void Fail(int error);
    void Fail(const std::string& why);

    std::string path_;    // as given, for the messages
    std::string target_;  // where the file goes: a link's target rather than the link
    std::string temp_;    // empty when writing in place
    int fd_ = -1;         // Unix
    std::unique_ptr<ProgramFile> file_;  // elsewhere
    bool failed_ = false;
    std::string error_, reason_;
};

// Writes `bytes` as the whole file at `path`; false with `error` ("Cannot write ...: ...").
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace halvern
