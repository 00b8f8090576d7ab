#pragma once
// The program's own files (CommPortNo.txt, CommTune2.txt, the log files and whatever the log
// viewer, the plot and the CSV export read) are opened here, and only when they are regular
// files. A FIFO under such a name would block the opening until some other program opened its
// other end, and with it the polling of every detector; a device such as /dev/zero (or NUL and
// COM1 on Windows) would be read for ever; a folder is no file at all. A link to a regular file
// is followed. The files are bytes: nothing is translated (a CR LF stays two bytes).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace halvern {

enum class FileAccess {
    Read,
    Append,   // written at the end, created when missing; unbuffered, so that a failed write
              // is known at once
    Replace,  // emptied first, created when missing
};

// An open file, closed when it goes. Every call says whether it worked; Error() says why the
// last one that failed did not, in the system's words.
class ProgramFile {
  public:
    explicit ProgramFile(int handle) : handle_(handle) {}
    ~ProgramFile();
    ProgramFile(const ProgramFile&) = delete;
    ProgramFile& operator=(const ProgramFile&) = delete;

    // Up to `max` bytes from where the file stands; 0 at its end, -1 on failure.
    std::int64_t Read(char* data, std::int64_t max);
    // The rest of the file; what was read before a failure.
    std::string ReadAll();
    // Writes all of `bytes`; the count written (less on failure, see Error()).
    std::int64_t Write(std::string_view bytes);
    std::int64_t Size();  // -1 on failure
    bool Seek(std::int64_t at);
    bool Resize(std::int64_t size);
    // Closes the file now; false when the closing failed (for a write, the data may be lost).
    bool Close();
    const std::string& Error() const { return error_; }

  private:
    bool Failed();  // keeps the system's reason; false

    int handle_ = -1;
    std::string error_;
};

struct OpenedFile {
    std::unique_ptr<ProgramFile> file;  // open; null when the file was not opened
    bool missing = false;               // there is no such file (for reading: nothing to open)
    bool notRegular = false;            // something else than a regular file has the name
    std::string error;                  // why it was not opened, in a technician's words

    explicit operator bool() const { return file != nullptr; }
    ProgramFile* operator->() const { return file.get(); }
};

// Opens the file at `path` (UTF-8) for the given access, never waiting for anything: what is
// there under the name is looked at first, and the opening itself cannot block.
OpenedFile OpenProgramFile(const std::string& path, FileAccess access);
// "it is a FIFO (named pipe), not a regular file" when something else than a regular file has
// the name (a link is followed); empty for a regular file or none at all. Looks without opening.
std::string NotRegularFile(const std::string& path);
// "Cannot read /data/4711.txt: it is a FIFO (named pipe), not a regular file"
std::string CannotRead(const std::string& path, const OpenedFile& refused);

}  // namespace halvern
