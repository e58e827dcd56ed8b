#pragma once
// Internal to platform/: the pieces the path-based file functions (FileOps.h,
// DirList.h, FileInfo.h) and the folder-handle functions (FolderAt.h) share, so
// that each step has one implementation. Functions taking a folder descriptor
// and a name also take AT_FDCWD and a path.

#include "platform/DirList.h"
#include "platform/Fd.h"
#include "platform/FileOps.h"
#include "platform/FolderAt.h"
#include "platform/Metadata.h"
#include "util/RetryOnce.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform::detail {

// What FolderAt.cpp and Trash.cpp need of an OpenFolder beyond its public face.
struct OpenFolderAccess
{
    // Makes `folder` hold `fd` (closing what it held before).
    static void adopt(OpenFolder& folder, Fd fd) { folder.m_fd = std::move(fd); }
};

// 0 when `name` is a single name: not empty, not "." or "..", no "/" or NUL;
// else EINVAL.
inline int checkName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return EINVAL;
    return 0;
}

// The /proc name of what descriptor `fd` holds (of an O_PATH descriptor too), or
// with `name` of entry `name` in the folder `fd` holds: reached without a path
// being resolved from the root again.
inline std::string procFdPath(int fd, const std::string& name = {})
{
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (!name.empty())
        path += '/' + name;
    return path;
}

// Random bytes (getrandom, else rand()), and `digits` lowercase hex digits of them.
void fillRandom(void* buf, size_t len);
std::string randomHex(size_t digits);

int writeAll(int fd, const char* data, size_t len);

// Errors of file systems without Unix ownership or permissions (FAT, some FUSE).
bool ignorableAttributeError(int err);

// Data from `in` to `out` (both at offset 0, `out` empty): reflink, then
// copy_file_range, then plain reads and writes up to the end of `in`. With
// `mayHaveHoles` (fewer blocks than the size needs) only the data ranges
// SEEK_DATA/SEEK_HOLE show are copied, so holes stay holes. `inDevice` and
// `outDevice` are the two files' st_dev.
int copyData(int in, int out, uint64_t size, uint64_t inDevice, uint64_t outDevice, bool mayHaveHoles);

// Whether the file `st` describes has fewer blocks than its size needs.
inline bool mayHaveHoles(const struct stat& st)
{
    return S_ISREG(st.st_mode) &&
           static_cast<uint64_t>(st.st_blocks) * 512 < static_cast<uint64_t>(st.st_size);
}

void hintSequential(int fd, uint64_t size);
// The extended attributes of `in` that this process may set, onto the new file
// `out`; what is refused goes to `loss`.
void copyExtendedAttributes(int in, int out, MetadataLoss* loss);
// The extended attributes of entry `name` of `fromDir` onto the new entry
// `toName` of `toDir` (a link or FIFO; links not followed).
void copyEntryAttributes(int fromDir, const char* name, int toDir, const char* toName, MetadataLoss* loss);
// The owner and group of `src` onto the new file `fd` (whose stat `outSt` is
// brought up to date) where this process may set them; else `loss` hears of it.
void copyOwner(int fd, const struct stat& src, struct stat& outSt, MetadataLoss* loss);

// Last-write (and for KeepEverything access) time of `src` onto `fd`, or (fd < 0)
// onto `name` in `dir` without following a link. `current` is the target's own
// stat: a regular copy keeps its access time.
int setTimes(int fd, int dir, const char* name, const struct stat& src, const struct stat& current,
             CopyFlavor flavor);

// Calls `create(name)` (0 or errno) with "prefix" + kUniqueNameRandomChars hex
// digits + "extension" names until one is not EEXIST; the name used goes to `out`.
template <typename Create>
int claimUniqueName(const std::string& prefix, const std::string& extension, Create create, std::string& out)
{
    int err = EEXIST;
    for (int attempt = 0; attempt < 1000 && err == EEXIST; ++attempt) {
        out = prefix + randomHex(kUniqueNameRandomChars) + extension;
        err = create(out);
    }
    if (err)
        out.clear();
    return err;
}

// renameat2 RENAME_NOREPLACE, or link+unlink where the file system cannot.
int renameNoReplaceIn(int fromDir, const char* from, int toDir, const char* to);

// Sets the mode of what `fd` refers to (an O_PATH descriptor too, through
// /proc/self/fd), never following a link.
int chmodHandle(int fd, mode_t mode);

// clearReadOnly for `name` in `dir`: a link is never followed or changed
// (`isLink` tells it was one; nothing is done then).
int clearReadOnlyIn(int dir, const char* name, bool& isLink);

// secureDelete for `name` in `dir`. With `overwriteShared` false a file with
// other hard links is only unlinked. `hiddenName` gives the name (in `dir`'s
// terms) the file is renamed to before it is unlinked.
template <typename HiddenName>
int secureDeleteIn(int dir, const char* name, bool overwriteShared, HiddenName hiddenName,
                   bool* onlyUnlinked = nullptr);
int overwriteAndSync(int fd, uint64_t size);

int removeLeftoverIn(int dir, const char* name);
int syncIn(int dir, const char* name);

// listFolder for an open folder descriptor, which it reads (its position moves).
int listOpenFolder(int dirFd, std::vector<DirEntry>& out);

// readLinkText for `name` in `dir`.
int readLinkIn(int dir, const char* name, std::string& out);

// statx(fd, "", AT_EMPTY_PATH) identity; 0 or errno.
int identityOfFd(int fd, FolderIdentity& id);

// The top of the mount holding folder `fd` (walking ".." while the mount stays
// the same), opened O_PATH into `top`; `levels` receives how many ".." it took.
int openMountTop(int fd, Fd& top, size_t& levels);

// The trash move shared by moveToTrash and moveToTrashAt.
int trashEntryIn(int folderFd, const std::string& name, const std::string& displayPath);

// Tests only: pretend the kernel has no openat2, so the openat fallback is used.
void setOpenat2Disabled(bool disabled);

template <typename HiddenName>
int secureDeleteIn(int dir, const char* name, bool overwriteShared, HiddenName hiddenName, bool* onlyUnlinked)
{
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) || (!overwriteShared && st.st_nlink > 1)) {
        if (onlyUnlinked)
            *onlyUnlinked = S_ISREG(st.st_mode);
        return ::unlinkat(dir, name, 0) == 0 ? 0 : errno;
    }

    // Read-only is no protection against a delete here, so none against this one.
    int clearErr = 0;
    Fd fd = util::retryOnce(
        [&] { return Fd(::openat(dir, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)); },
        [&](const Fd& opened) {
            return !opened.valid() && errno == EACCES && (st.st_mode & S_IWUSR) == 0 &&
                   st.st_uid == ::geteuid();
        },
        [&] {
            bool isLink = false;
            clearErr = clearReadOnlyIn(dir, name, isLink);
            return clearErr == 0;
        });
    if (clearErr)
        return clearErr;
    if (!fd.valid())
        return errno;
    struct stat now;
    if (::fstat(fd.get(), &now) != 0)
        return errno;
    if (!S_ISREG(now.st_mode))
        return ENOTSUP;
    // A link made since the first look shares the data too.
    if (overwriteShared || now.st_nlink <= 1) {
        if (const int err = overwriteAndSync(fd.get(), static_cast<uint64_t>(now.st_size)))
            return err;
    } else if (onlyUnlinked) {
        *onlyUnlinked = true;
    }
    if (const int err = fd.close())
        return err;

    // The old name goes first, so it does not linger in the folder's records.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string hidden = hiddenName();
        const int err = renameNoReplaceIn(dir, name, dir, hidden.c_str());
        if (err == 0)
            return ::unlinkat(dir, hidden.c_str(), 0) == 0 ? 0 : errno;
        if (err != EEXIST)
            break;
    }
    return ::unlinkat(dir, name, 0) == 0 ? 0 : errno;
}

} // namespace kestrow::platform::detail
