#include "platform/WholeFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/FilePath.h"
#include "platform/ProgramFile.h"

#ifndef _WIN32
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

void WholeFile::Fail(int error) {
    Fail(FileErrorText(error));
}

void WholeFile::Fail(const std::string& why) {
    if (!failed_) {
        reason_ = why;
        error_ = "Cannot write " + NativePath(path_) + ": " + why;
    }
    failed_ = true;
}

WholeFile::~WholeFile() {
    Cancel();
}

#ifndef _WIN32

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
    return fd_ >= 0;
}

bool WholeFile::Write(std::string_view bytes) {
    if (failed_ || fd_ < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WholeFile::Commit() {
    if (fd_ < 0)
        return false;
    if (!failed_ && ::fsync(fd_) != 0)
        Fail(errno);
    if (const int e = Close(fd_); e != 0)
        Fail(e);
    fd_ = -1;
    if (!failed_ && !temp_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0)
        Fail(errno);
    return Settle();
}

void WholeFile::Cancel() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

#else

// Elsewhere the temporary file is one beside the target under a name of its own.
bool WholeFile::Open(bool directFallback) {
    if (const std::string why = NotRegularFile(path_); !why.empty()) {
        Fail(why);
        return false;
    }
    std::error_code ec;
    const bool exists = std::filesystem::exists(Utf8Path(target_), ec);
    temp_ = target_ + ".part";
    OpenedFile opened = OpenProgramFile(temp_, FileAccess::Replace);
    if (!opened) {
        temp_.clear();
        if (directFallback && exists)
            opened = OpenProgramFile(target_, FileAccess::Replace);
    }
    if (!opened) {
        Fail(opened.error);
        return false;
    }
    file_ = std::move(opened.file);
    return true;
}

bool WholeFile::Write(std::string_view bytes) {
    if (failed_ || !file_)
        return false;
    if (file_->Write(bytes) != static_cast<std::int64_t>(bytes.size())) {
        Fail(file_->Error());
        return false;
    }
    return true;
}

bool WholeFile::Commit() {
    if (!file_)
        return false;
    if (!file_->Close() && !failed_)
        Fail(file_->Error());
    file_.reset();
    std::error_code ec;
    if (!failed_ && !temp_.empty())
        std::filesystem::rename(Utf8Path(temp_), Utf8Path(target_), ec);
    if (ec)
        Fail(ec.message());
    return Settle();
}

void WholeFile::Cancel() {
    file_.reset();
    std::error_code ignored;
    if (!temp_.empty())
        std::filesystem::remove(Utf8Path(temp_), ignored);
    temp_.clear();
}

#endif

// After the last step of a commit: a failure drops the temporary, a success keeps the file.
bool WholeFile::Settle() {
    if (failed_) {
        Cancel();
        return false;
    }
    temp_.clear();
    return true;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
    WholeFile file(path);
    if (!file.Open() || !file.Write(bytes) || !file.Commit()) {
        error = file.Error();
        return false;
    }
    return true;
}

}  // namespace halvern
