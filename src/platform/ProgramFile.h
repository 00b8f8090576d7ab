#pragma once
// The program's own files (CommPortNo.txt, CommTune2.txt, the log files and whatever the log
// viewer, the plot and the CSV export read) are opened here, and only when they are regular
// files. A FIFO under such a name would block the opening until some other program opened its
// other end, and with it the polling of every detector; a device such as /dev/zero would be
// read for ever; a folder is no file at all. A link to a regular file is followed.

#include <QFile>

#include <memory>
#include <string>

namespace halvern {

enum class FileAccess {
    Read,
    Append,   // written at the end, created when missing; unbuffered, so that a failed write
              // is known at once
    Replace,  // emptied first, created when missing
};

struct OpenedFile {
    std::unique_ptr<QFile> file;  // open; null when the file was not opened
    bool missing = false;         // there is no such file (for reading: nothing to open)
    bool notRegular = false;      // something else than a regular file has the name
    std::string error;            // why it was not opened, in a technician's words

    explicit operator bool() const { return file != nullptr; }
    QFile* operator->() const { return file.get(); }
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
