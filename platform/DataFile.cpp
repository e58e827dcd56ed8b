#include "platform/DataFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

Fd openDataFile(const std::string& path, int flags, mode_t mode)
{
    const bool truncate = (flags & O_TRUNC) != 0;
    const bool nonBlocking = (flags & O_NONBLOCK) != 0;
    // O_NONBLOCK keeps a planted FIFO from holding the open; truncation waits for the
    // file type to be known, so not even a device sees it.
    const int openFlags = (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int opened;
    while ((opened = ::open(path.c_str(), openFlags, mode)) < 0 && errno == EINTR) {
    }
    Fd fd(opened);
    if (!fd.valid()) {
        // A FIFO without a reader, or a socket, when opened for writing.
        if (errno == ENXIO)
            errno = EINVAL;
        return fd;
    }
    struct stat st
    {
    };
    int err = 0;
    if (::fstat(fd.get(), &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    else if (!S_ISREG(st.st_mode))
        err = EINVAL;
    else if (!nonBlocking && ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0)
        err = errno;
    else if (truncate && st.st_size != 0 && ::ftruncate(fd.get(), 0) != 0)
        err = errno;
    if (err != 0) {
        fd.close();
        errno = err;
    }
    return fd;
}

bool folderWritableByOthers(const std::string& folder, int& err)
{
    err = 0;
    struct stat st
    {
    };
    if (::stat(folder.c_str(), &st) != 0) {
        err = errno;
        return false;
    }
    if (st.st_uid != ::geteuid())
        return true;
    const bool othersMayWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    return othersMayWrite && (st.st_mode & S_ISVTX) == 0;
}

FileVersion dataFileVersion(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<int64_t>(st.st_size),
            static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec,
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace kestrow::platform
