// A disk that fills up, for the end-to-end tests: preloaded into a program (LD_PRELOAD), it
// lets the files under HALVERN_FULL_DISK (a folder) take HALVERN_FULL_DISK_ROOM more bytes in
// all (0 when unset), and then fails their writes as a full disk does: a short write, then
// ENOSPC; the folder's free room is what is left. Everything else is written as ever.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::atomic<long long> room{-1};

bool Under(const char* path) {
    const char* folder = std::getenv("HALVERN_FULL_DISK");
    if (!folder || !*folder || !path)
        return false;
    const std::size_t len = std::strlen(folder);
    return std::strncmp(path, folder, len) == 0 && (path[len] == '/' || path[len] == '\0');
}

bool OnTheDisk(int fd) {
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    path[n] = '\0';
    return Under(path);
}

long long Left() {
    long long left = room.load();
    if (left < 0) {
        const char* r = std::getenv("HALVERN_FULL_DISK_ROOM");
        room.compare_exchange_strong(left, r ? std::atoll(r) : 0);
        left = room.load();
    }
    return left;
}

// How many of `size` bytes the disk still takes; -1 with ENOSPC when none.
long long Take(int fd, long long size) {
    if (size <= 0 || !OnTheDisk(fd))
        return size;
    long long left = Left();
    while (left > 0 && !room.compare_exchange_weak(left, left - std::min(left, size))) {
    }
    if (left <= 0) {
        errno = ENOSPC;
        return -1;
    }
    return std::min(left, size);
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* data, size_t size) {
    static auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    const long long n = Take(fd, static_cast<long long>(size));
    return n < 0 ? -1 : next(fd, data, static_cast<size_t>(n));
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t at) {
    static auto next = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    const long long n = Take(fd, static_cast<long long>(size));
    return n < 0 ? -1 : next(fd, data, static_cast<size_t>(n), at);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t at) {
    static auto next = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    const long long n = Take(fd, static_cast<long long>(size));
    return n < 0 ? -1 : next(fd, data, static_cast<size_t>(n), at);
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
    static auto next = Next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    long long size = 0;
    for (int i = 0; i < count; ++i)
        size += static_cast<long long>(parts[i].iov_len);
    if (Take(fd, size) != size) {  // all or nothing: good enough for a test's disk
        errno = ENOSPC;
        return -1;
    }
    return next(fd, parts, count);
}

int posix_fallocate(int fd, off_t at, off_t size) {
    static auto next = Next<int (*)(int, off_t, off_t)>("posix_fallocate");
    return Take(fd, size) != size ? ENOSPC : next(fd, at, size);
}

int fallocate(int fd, int mode, off_t at, off_t size) {
    static auto next = Next<int (*)(int, int, off_t, off_t)>("fallocate");
    if (Take(fd, size) != size) {
        errno = ENOSPC;
        return -1;
    }
    return next(fd, mode, at, size);
}

int statvfs(const char* path, struct statvfs* disk) {
    static auto next = Next<int (*)(const char*, struct statvfs*)>("statvfs");
    const int r = next(path, disk);
    if (r == 0 && Under(path)) {
        disk->f_bavail = disk->f_bfree = static_cast<fsblkcnt_t>(Left()) / disk->f_frsize;
    }
    return r;
}

}  // extern "C"
