#include "platform/WholeFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/FilePath.h"
#include "platform/ProgramFile.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#endif

namespace halvern {

std::string FileErrorText(int error) {
    switch (error) {
        case ENOSPC:
            return "the disk is full";
#ifdef EDQUOT
        case EDQUOT:
            return "the disk quota is used up";
#endif
        case EFBIG:
            return "the file is too large for the disk";
        case EROFS:
            return "the disk is read-only";
        case EACCES:
        case EPERM:
            return "permission denied";
        case ENOENT:
            return "the folder does not exist";
        case EIO:
            return "the disk could not be written (input/output error)";
        default:
            break;
    }
    return std::strerror(error);
}

WholeFile::WholeFile(std::string path) : path_(std::move(path)), target_(path_) {}

WholeFile::~WholeFile() {
    Cancel();
}

void WholeFile::Fail(int error) {
    Fail(FileErrorText(error));
}

void WholeFile::Fail(const std::string& why) {
    if (!failed_) {
        reason_ = why;
        error_ = "Cannot write " + path_ + ": " + why;
    }
    failed_ = true;
    setErrorString(QString::fromStdString(error_));
}

#ifdef Q_OS_UNIX

namespace {

int Close(int fd) {
    // A close that fails after the writes (a network disk's late refusal) counts as a failure.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

}  // namespace

bool WholeFile::Open(bool directFallback) {
    if (const std::string why = NotRegularFile(path_); !why.empty()) {
        Fail(why);
        return false;
    }
    // A link stays a link: the file it names is the one replaced.
    std::error_code ec;
    const std::filesystem::path given = Utf8Path(path_);
    if (std::filesystem::is_symlink(given, ec))
        target_ = Utf8Text(std::filesystem::weakly_canonical(given, ec));
    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    // Hidden beside the file, on its disk, so that the rename is one step.
    const std::filesystem::path target = Utf8Path(target_);
    std::string name =
        (target.parent_path() / ("." + target.filename().native() + ".XXXXXX")).native();
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ >= 0) {
        temp_ = name;
        // As the file was, or as a new file would be.
        mode_t mode = exists ? old.st_mode & 07777 : 0;
        if (!exists) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::fchmod(fd_, mode);
    } else if (const int e = errno; directFallback && exists && (e == EACCES || e == EROFS)) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0)
            Fail(errno);
    } else {
        Fail(e);
    }
    if (fd_ < 0)
        return false;
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 WholeFile::writeData(const char* data, qint64 size) {
    if (failed_ || fd_ < 0)
        return -1;
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, static_cast<std::size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            return -1;
        }
        done += n;
    }
    return done;
}

bool WholeFile::Commit() {
    if (fd_ < 0)
        return false;
    QIODevice::close();
    if (!failed_ && ::fsync(fd_) != 0)
        Fail(errno);
    if (const int e = Close(fd_); e != 0)
        Fail(e);
    fd_ = -1;
    if (!failed_ && !temp_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0)
        Fail(errno);
    if (failed_) {
        Cancel();
        return false;
    }
    temp_.clear();
    return true;
}

void WholeFile::Cancel() {
    if (isOpen())
        QIODevice::close();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

#else

// Elsewhere the temporary file is Qt's, and the reasons are the ones Qt gives.
bool WholeFile::Open(bool directFallback) {
    if (const std::string why = NotRegularFile(path_); !why.empty()) {
        Fail(why);
        return false;
    }
    const QString target = QString::fromStdString(target_);
    for (int n = 0; n < 100 && !file_; ++n) {
        auto f = std::make_unique<QFile>(target + QStringLiteral(".tmp%1").arg(n));
        if (f->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            temp_ = f->fileName().toStdString();
            file_ = std::move(f);
        } else if (f->error() != QFileDevice::OpenError || !f->exists()) {
            if (!directFallback || !QFile::exists(target))
                return Fail(f->errorString().toStdString()), false;
            f = std::make_unique<QFile>(target);
            if (!f->open(QIODevice::WriteOnly | QIODevice::Truncate))
                return Fail(f->errorString().toStdString()), false;
            file_ = std::move(f);
        }
    }
    return file_ && QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 WholeFile::writeData(const char* data, qint64 size) {
    if (failed_ || !file_)
        return -1;
    if (file_->write(data, size) != size || !file_->flush()) {
        Fail(file_->errorString().toStdString());
        return -1;
    }
    return size;
}

bool WholeFile::Commit() {
    if (!file_)
        return false;
    QIODevice::close();
    file_->close();
    if (!failed_ && file_->error() != QFileDevice::NoError)
        Fail(file_->errorString().toStdString());
    file_.reset();
    std::error_code ec;
    if (!failed_ && !temp_.empty())
        std::filesystem::rename(Utf8Path(temp_), Utf8Path(target_), ec);
    if (ec)
        Fail(ec.message());
    if (failed_) {
        Cancel();
        return false;
    }
    temp_.clear();
    return true;
}

void WholeFile::Cancel() {
    if (isOpen())
        QIODevice::close();
    file_.reset();
    if (!temp_.empty())
        QFile::remove(QString::fromStdString(temp_));
    temp_.clear();
}

#endif

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
    WholeFile file(path);
    if (!file.Open() ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.Commit()) {
        error = file.Error();
        return false;
    }
    return true;
}

}  // namespace halvern
