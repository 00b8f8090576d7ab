#include "platform/ProgramFile.h"

#include "platform/FilePath.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#else
#include <QFileInfo>
#endif

namespace halvern {

namespace {

QIODevice::OpenMode ModeOf(FileAccess access) {
    switch (access) {
        case FileAccess::Read:
            return QIODevice::ReadOnly;
        case FileAccess::Append:
            return QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
        case FileAccess::Replace:
            break;
    }
    return QIODevice::WriteOnly | QIODevice::Truncate;
}

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

#ifdef Q_OS_UNIX

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "something else";
}

int OpenFlags(FileAccess access) {
    // O_NONBLOCK: should a FIFO take the file's place after the look, opening it still returns
    // at once. O_TRUNC waits until the opened file is known to be a regular one.
    const int always = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    switch (access) {
        case FileAccess::Read:
            return always | O_RDONLY;
        case FileAccess::Append:
            return always | O_WRONLY | O_APPEND | O_CREAT;
        case FileAccess::Replace:
            break;
    }
    return always | O_WRONLY | O_CREAT;
}

#endif

}  // namespace

OpenedFile OpenProgramFile(const std::string& path, FileAccess access) {
#ifdef Q_OS_UNIX
    const std::string native = Utf8Path(path).native();
    // Look before opening: opening a device may already do something (a tape rewinds, a modem
    // line drops), and a FIFO's opening is what would wait.
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return NotRegular(KindOf(st.st_mode));
    } else if (const int e = errno; e != ENOENT || access == FileAccess::Read) {
        return Refused(std::strerror(e), e == ENOENT);
    }
    int fd = -1;
    do {
        fd = ::open(native.c_str(), OpenFlags(access), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int e = errno;
        return Refused(std::strerror(e), e == ENOENT);
    }
    // What was opened is what counts: the name may have changed hands since the look.
    if (::fstat(fd, &st) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        return Refused(why);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return NotRegular(KindOf(st.st_mode));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (access == FileAccess::Replace && ::ftruncate(fd, 0) != 0)) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        return Refused(why);
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, ModeOf(access) & ~QIODevice::Truncate, QFileDevice::AutoCloseHandle)) {
        const std::string why = file->errorString().toStdString();
        ::close(fd);
        return Refused(why);
    }
#else
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (info.exists() && !info.isFile())
        return NotRegular(info.isDir() ? "a folder" : "a device");
    if (!info.exists() && access == FileAccess::Read)
        return Refused("No such file or directory", true);
    auto file = std::make_unique<QFile>(name);
    if (!file->open(ModeOf(access)))
        return Refused(file->errorString().toStdString());
#endif
    OpenedFile r;
    r.file = std::move(file);
    return r;
}

std::string NotRegularFile(const std::string& path) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(Utf8Path(path).native().c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return NotRegular(KindOf(st.st_mode)).error;
#else
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists() || info.isFile())
        return {};
    return NotRegular(info.isDir() ? "a folder" : "a device").error;
#endif
}

std::string CannotRead(const std::string& path, const OpenedFile& refused) {
    return "Cannot read " + path + ": " + refused.error;
}

}  // namespace halvern
