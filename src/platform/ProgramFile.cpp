#include "platform/ProgramFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include "platform/FilePath.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace halvern {

namespace {

// The C runtimes differ in names and in the width of their counts; the rest of this file
// uses these.
#ifdef _WIN32
using FileStat = struct _stat64;
int StatOf(int fd, FileStat& st) {
    return ::_fstat64(fd, &st);
}
std::int64_t ReadSome(int fd, char* data, std::int64_t max) {
    return ::_read(fd, data, static_cast<unsigned>(std::min<std::int64_t>(max, 1 << 30)));
}
std::int64_t WriteSome(int fd, const char* data, std::int64_t size) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::int64_t>(size, 1 << 30)));
}
bool SeekTo(int fd, std::int64_t at) {
    return ::_lseeki64(fd, at, SEEK_SET) == at;
}
bool Truncate(int fd, std::int64_t size) {
    return ::_chsize_s(fd, size) == 0;
}
int CloseHandle(int fd) {
    return ::_close(fd);
}
bool IsRegular(const FileStat& st) {
    return (st.st_mode & _S_IFMT) == _S_IFREG;
}
const char* KindOf(const FileStat& st) {
    return (st.st_mode & _S_IFMT) == _S_IFDIR ? "a folder" : "a device";
}
#else
using FileStat = struct stat;
int StatOf(int fd, FileStat& st) {
    return ::fstat(fd, &st);
}
std::int64_t ReadSome(int fd, char* data, std::int64_t max) {
    return ::read(fd, data, static_cast<std::size_t>(max));
}
std::int64_t WriteSome(int fd, const char* data, std::int64_t size) {
    return ::write(fd, data, static_cast<std::size_t>(size));
}
bool SeekTo(int fd, std::int64_t at) {
    return ::lseek(fd, static_cast<off_t>(at), SEEK_SET) == static_cast<off_t>(at);
}
bool Truncate(int fd, std::int64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}
int CloseHandle(int fd) {
    return ::close(fd);
}
bool IsRegular(const FileStat& st) {
    return S_ISREG(st.st_mode);
}
const char* KindOf(const FileStat& st) {
    if (S_ISFIFO(st.st_mode))
        return "a FIFO (named pipe)";
    if (S_ISDIR(st.st_mode))
        return "a folder";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "a device";
    if (S_ISSOCK(st.st_mode))
        return "a socket";
    return "something else";
}
#endif

OpenedFile Refused(std::string why, bool missing = false) {
    OpenedFile r;
    r.missing = missing;
    r.error = std::move(why);
    return r;
}

OpenedFile NotRegular(const char* what) {
    OpenedFile r = Refused(std::string("it is ") + what + ", not a regular file");
    r.notRegular = true;
    return r;
}

// Looks at what has the name before anything opens it: opening a device may already do
// something (a tape rewinds, a modem line drops), and a FIFO's opening is what would wait.
// Nothing when the opening may go ahead.
std::optional<OpenedFile> LookFirst(const std::filesystem::path& name, FileAccess access) {
#ifdef _WIN32
    struct _stat64 st {};
    const int found = ::_wstat64(name.c_str(), &st);
#else
    struct stat st {};
    const int found = ::stat(name.c_str(), &st);
#endif
    if (found == 0)
        return IsRegular(st) ? std::nullopt : std::optional(NotRegular(KindOf(st)));
    if (const int e = errno; e != ENOENT || access == FileAccess::Read)
        return Refused(std::strerror(e), e == ENOENT);
    return std::nullopt;
}

// The opening itself. Unix: O_NONBLOCK, so that a FIFO taking the file's place after the look
// still opens at once. Neither truncates: that waits until the file is known to be regular.
int OpenHandle(const std::filesystem::path& name, FileAccess access) {
#ifdef _WIN32
    // Binary: the runtime would otherwise turn LF into CR LF and stop reading at a Ctrl-Z.
    // Shared, so that the viewer reads a log while the polling appends to it.
    int flags = _O_BINARY | _O_NOINHERIT;
    flags |= access == FileAccess::Read     ? _O_RDONLY
             : access == FileAccess::Append ? _O_WRONLY | _O_APPEND | _O_CREAT
                                            : _O_WRONLY | _O_CREAT;
    int fd = -1;
    return ::_wsopen_s(&fd, name.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE) == 0 ? fd : -1;
#else
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    flags |= access == FileAccess::Read     ? O_RDONLY
             : access == FileAccess::Append ? O_WRONLY | O_APPEND | O_CREAT
                                            : O_WRONLY | O_CREAT;
    int fd = -1;
    do {
        fd = ::open(name.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        const int now = ::fcntl(fd, F_GETFL);
        if (now < 0 || ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK) != 0) {
            const int e = errno;
            ::close(fd);
            errno = e;
            return -1;
        }
    }
    return fd;
#endif
}

}  // namespace

ProgramFile::~ProgramFile() {
    Close();
}

bool ProgramFile::Failed() {
    error_ = std::strerror(errno);
    return false;
}

std::int64_t ProgramFile::Read(char* data, std::int64_t max) {
    std::int64_t n = -1;
    do {
        n = ReadSome(handle_, data, max);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? (Failed(), -1) : n;
}

std::string ProgramFile::ReadAll() {
    std::string text;
    char chunk[1 << 14];
    for (std::int64_t n; (n = Read(chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<std::size_t>(n));
    return text;
}

std::int64_t ProgramFile::Write(std::string_view bytes) {
    std::int64_t done = 0;
    while (done < static_cast<std::int64_t>(bytes.size())) {
        const std::int64_t n =
            WriteSome(handle_, bytes.data() + done, static_cast<std::int64_t>(bytes.size()) - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            Failed();
            break;
        }
        done += n;
    }
    return done;
}

std::int64_t ProgramFile::Size() {
    FileStat st{};
    return StatOf(handle_, st) == 0 ? static_cast<std::int64_t>(st.st_size) : (Failed(), -1);
}

bool ProgramFile::Seek(std::int64_t at) {
    return SeekTo(handle_, at) || Failed();
}

bool ProgramFile::Resize(std::int64_t size) {
    return Truncate(handle_, size) || Failed();
}

bool ProgramFile::Close() {
    return handle_ < 0 || CloseHandle(std::exchange(handle_, -1)) == 0 || Failed();
}

OpenedFile OpenProgramFile(const std::string& path, FileAccess access) {
    const std::filesystem::path name = Utf8Path(path);
    if (std::optional<OpenedFile> refused = LookFirst(name, access))
        return std::move(*refused);
    const int fd = OpenHandle(name, access);
    if (fd < 0) {
        const int e = errno;
        return Refused(std::strerror(e), e == ENOENT);
    }
    // What was opened is what counts: the name may have changed hands since the look.
    auto file = std::make_unique<ProgramFile>(fd);
    FileStat st{};
    if (StatOf(fd, st) != 0)
        return Refused(std::strerror(errno));
    if (!IsRegular(st))
        return NotRegular(KindOf(st));
    if (access == FileAccess::Replace && !file->Resize(0))
        return Refused(file->Error());
    OpenedFile r;
    r.file = std::move(file);
    return r;
}

std::string NotRegularFile(const std::string& path) {
    const std::optional<OpenedFile> look = LookFirst(Utf8Path(path), FileAccess::Replace);
    return look && look->notRegular ? look->error : std::string();
}

std::string CannotRead(const std::string& path, const OpenedFile& refused) {
    return "Cannot read " + path + ": " + refused.error;
}

}  // namespace halvern
