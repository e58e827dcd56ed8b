#include "platform/FolderAt.h"

#include "platform/MountTable.h"

#include "platform/FileOpsInternal.h"
#include "platform/PathCheck.h"

#include <algorithm>
#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

// Set once the kernel has said it has no openat2 (or by a test).
std::atomic<bool> g_noOpenat2{false};

// Identity and type of what `fd` refers to.
int statFd(int fd, FolderIdentity& id, mode_t& mode)
{
    struct statx stx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_MNT_ID, &stx) !=
        0)
        return errno;
    id.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    id.inode = stx.stx_ino;
    id.mount = (stx.stx_mask & STATX_MNT_ID) ? stx.stx_mnt_id : 0;
    mode = stx.stx_mode;
    return 0;
}

// Whether `a` and `b` lie on different mounts: mount ids where both are known
// (they tell bind mounts of one file system apart), else devices.
bool differentMount(const FolderIdentity& a, const FolderIdentity& b)
{
    if (a.mount != 0 && b.mount != 0)
        return a.mount != b.mount;
    return a.device != b.device;
}

// Whether `up` (what ".." of `self` gave) is `self` itself: the root.
bool isItself(const FolderIdentity& self, const FolderIdentity& up)
{
    return up.sameFolder(self) && up.mount == self.mount;
}

// Opens folder `name` of `parent`: openat2 confined to `parent` without any link
// (nor a mount with `noCrossing`: EXDEV), else openat with O_NOFOLLOW. None and
// errno on failure.
Fd openChild(int parent, const char* name, bool noCrossing, bool searchOnly)
{
    const int flags = (searchOnly ? O_PATH : O_RDONLY) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#ifdef SYS_openat2
    if (!g_noOpenat2.load(std::memory_order_relaxed)) {
        struct open_how how
        {
        };
        how.flags = static_cast<uint64_t>(flags);
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS |
                      (noCrossing ? RESOLVE_NO_XDEV : 0);
        for (int attempt = 0;; ++attempt) {
            const long fd = ::syscall(SYS_openat2, parent, name, &how, sizeof how);
            if (fd >= 0)
                return Fd(static_cast<int>(fd));
            // EAGAIN: a rename or mount elsewhere raced the confined lookup; try again.
            if (errno == EINTR || (errno == EAGAIN && attempt < 16))
                continue;
            if (errno != ENOSYS)
                return Fd();
            g_noOpenat2.store(true, std::memory_order_relaxed);
            break;
        }
    }
#endif
    return Fd(::openat(parent, name, flags));
}

// Opens the folder `fd` is for once more, for searching only.
int reopenForSearch(int fd, Fd& out)
{
    out = Fd(::openat(fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return out.valid() ? 0 : errno;
}

int checkEntry(const OpenFolder& folder, const std::string& name)
{
    if (!folder.isOpen())
        return EBADF;
    return detail::checkName(name);
}

bool sourceDiffers(const PathAttributes& expected, const struct stat& st)
{
    const PathKind kind = S_ISREG(st.st_mode)   ? PathKind::File
                          : S_ISDIR(st.st_mode) ? PathKind::Folder
                          : S_ISLNK(st.st_mode) ? PathKind::Symlink
                                                : PathKind::Special;
    return (expected.kind != PathKind::Missing && expected.kind != kind) ||
           expected.size != static_cast<uint64_t>(st.st_size) ||
           expected.lastWrite != fileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

bool sameSizeAndTime(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

const std::string kTempPrefix = "kw_";
const std::string kTempExtension = ".tmp";

// Owner, mode and times of a new link or FIFO `temp` in `dir` (never followed);
// on failure `temp` is removed.
int finishSpecialTemp(int dir, std::string& temp, const struct stat& src, CopyFlavor flavor,
                      MetadataLoss* loss)
{
    auto fail = [&](int err) {
        ::unlinkat(dir, temp.c_str(), 0);
        temp.clear();
        return err;
    };
    const bool isLink = S_ISLNK(src.st_mode);
    struct stat current;
    if (::fstatat(dir, temp.c_str(), &current, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(errno);
    if (current.st_uid != src.st_uid || current.st_gid != src.st_gid) {
        if (mayOwnAs(src.st_uid, src.st_gid))
            (void)::fchownat(dir, temp.c_str(), src.st_uid, src.st_gid, AT_SYMLINK_NOFOLLOW);
        else if (mayUseGroup(src.st_gid))
            (void)::fchownat(dir, temp.c_str(), static_cast<uid_t>(-1), src.st_gid, AT_SYMLINK_NOFOLLOW);
        if (::fstatat(dir, temp.c_str(), &current, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(errno);
        if ((current.st_uid != src.st_uid || current.st_gid != src.st_gid) && loss)
            loss->add(MetadataOwner);
    }
    if (!isLink) {
        mode_t mode = src.st_mode & 07777;
        if (current.st_uid != src.st_uid || current.st_gid != src.st_gid)
            mode &= ~(S_ISUID | S_ISGID);
        Fd handle(::openat(dir, temp.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!handle.valid())
            return fail(errno);
        struct stat now;
        if (::fstat(handle.get(), &now) != 0)
            return fail(errno);
        if (now.st_ino != current.st_ino || now.st_dev != current.st_dev)
            return fail(ESTALE); // someone else's entry under our name
        if (const int err = detail::chmodHandle(handle.get(), mode);
            err && !detail::ignorableAttributeError(err))
            return fail(err);
    }
    // A link's own times cannot be set everywhere; its text is what identifies it.
    if (const int err = detail::setTimes(-1, dir, temp.c_str(), src, current, flavor);
        err && !(isLink && detail::ignorableAttributeError(err)))
        return fail(err);
    return 0;
}

// After a copy was renamed over an existing name, its times once more by that
// name: some file systems (FUSE FAT drivers) give a file renamed over another
// the time of the rename. One call per replaced file; a failure changes nothing.
void restampReplaced(int dir, const char* name, const struct stat& src, CopyFlavor flavor)
{
    struct timespec times[2];
    times[0] = flavor == CopyFlavor::KeepEverything ? src.st_atim : timespec{0, UTIME_NOW};
    times[1] = src.st_mtim;
    (void)::utimensat(dir, name, times, AT_SYMLINK_NOFOLLOW);
}

// Opens regular file `name` of `fromDir` for a copy; `src` receives its attributes.
int openCopySource(int fromDir, const char* name, const PathAttributes* expected, Fd& in, struct stat& src)
{
    // O_NONBLOCK: should a FIFO be swapped in after the first look, the open does not wait.
    in = Fd(::openat(fromDir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid())
        return expected && (errno == ELOOP || errno == ENOENT) ? kSourceChanged : errno;
    if (::fstat(in.get(), &src) != 0)
        return errno;
    if (!S_ISREG(src.st_mode))
        return expected ? kSourceChanged : ENOTSUP;
    if (expected && sourceDiffers(*expected, src))
        return kSourceChanged;
    detail::hintSequential(in.get(), static_cast<uint64_t>(src.st_size));
    return 0;
}

// Data and metadata of `in` (attributes `src`) into the new, empty file `out`.
int fillCopy(int in, const struct stat& src, int out, CopyFlavor flavor, const PathAttributes* expected,
             MetadataLoss* loss)
{
    struct stat outSt;
    if (::fstat(out, &outSt) != 0)
        return errno;
    if (const int err = detail::copyData(in, out, static_cast<uint64_t>(src.st_size), src.st_dev,
                                         outSt.st_dev, detail::mayHaveHoles(src)))
        return err;
    if (expected) {
        struct stat after;
        if (::fstat(in, &after) != 0)
            return errno;
        if (!sameSizeAndTime(src, after))
            return kSourceChanged;
    }
    // Owner where permitted, before the extended attributes: a change of owner
    // clears file capabilities (security.capability).
    detail::copyOwner(out, src, outSt, loss);
    detail::copyExtendedAttributes(in, out, loss);
    // Set-ID bits only on a copy that has the Source's owner and group.
    mode_t mode = src.st_mode & 07777;
    if (outSt.st_uid != src.st_uid || outSt.st_gid != src.st_gid)
        mode &= ~(S_ISUID | S_ISGID);
    if (::fchmod(out, mode) != 0) {
        if (!detail::ignorableAttributeError(errno))
            return errno;
        if (loss)
            loss->add(MetadataPermissions);
    }
    return detail::setTimes(out, -1, nullptr, src, outSt, flavor);
}

int copyRegularToTemp(int fromDir, const char* name, int toDir, CopyFlavor flavor,
                      const PathAttributes* expected, std::string& temp, MetadataLoss* loss)
{
    Fd in;
    struct stat src;
    if (const int err = openCopySource(fromDir, name, expected, in, src))
        return err;
    Fd out;
    if (const int err = detail::claimUniqueName(
            kTempPrefix, kTempExtension,
            [&](const std::string& candidate) {
                out = Fd(::openat(toDir, candidate.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
                return out.valid() ? 0 : errno;
            },
            temp))
        return err;
    int err = fillCopy(in.get(), src, out.get(), flavor, expected, loss);
    if (const int closeErr = out.close(); !err)
        err = closeErr;
    if (err) {
        ::unlinkat(toDir, temp.c_str(), 0);
        temp.clear();
    }
    return err;
}

// Gives the unnamed file `fd` (O_TMPFILE) the name `name` in `dir`; EEXIST
// when the name is taken.
int linkUnnamed(int fd, int dir, const char* name)
{
    if (::linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM)
        return errno;
    // Kernels that keep AT_EMPTY_PATH to privileged callers take the descriptor's own link.
    const std::string self = detail::procFdPath(fd);
    return ::linkat(AT_FDCWD, self.c_str(), dir, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// The regular-file copy of copyFileAt through a file that has no name until it
// is whole (O_TMPFILE): a new name is taken with one link, an existing one is
// replaced through a named temporary file. ENOTSUP (nothing done) where the file
// system has no unnamed files.
int copyRegularUnnamed(int fromDir, const char* name, int toDir, const char* toName, CopyFlavor flavor,
                       const PathAttributes* expected,
                       const std::function<int(int, const char*, const struct stat&)>& checkReplace,
                       const std::function<int()>& beforeReplace, MetadataLoss* loss)
{
    Fd out(::openat(toDir, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600));
    if (!out.valid())
        return ENOTSUP;
    Fd in;
    struct stat src;
    if (const int err = openCopySource(fromDir, name, expected, in, src))
        return err;
    if (const int err = fillCopy(in.get(), src, out.get(), flavor, expected, loss))
        return err;
    int err = linkUnnamed(out.get(), toDir, toName);
    if (err != EEXIST)
        return err;
    if ((err = checkReplace(toDir, toName, src)))
        return err;
    std::string temp;
    if ((err = detail::claimUniqueName(
             kTempPrefix, kTempExtension,
             [&](const std::string& candidate) { return linkUnnamed(out.get(), toDir, candidate.c_str()); },
             temp)))
        return err;
    if (beforeReplace)
        if ((err = beforeReplace())) {
            ::unlinkat(toDir, temp.c_str(), 0);
            return err;
        }
    if (::renameat(toDir, temp.c_str(), toDir, toName) != 0) {
        err = errno;
        ::unlinkat(toDir, temp.c_str(), 0);
        return err;
    }
    restampReplaced(toDir, toName, src, flavor);
    return 0;
}

int copyToTempIn(int fromDir, const std::string& name, int toDir, CopyFlavor flavor, std::string& temp,
                 const PathAttributes* expected, MetadataLoss* loss)
{
    temp.clear();
    struct stat src;
    if (::fstatat(fromDir, name.c_str(), &src, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISDIR(src.st_mode))
        return EISDIR;
    if (expected && sourceDiffers(*expected, src))
        return kSourceChanged;

    if (S_ISLNK(src.st_mode)) {
        std::string text;
        if (const int err = detail::readLinkIn(fromDir, name.c_str(), text))
            return expected && err == EINVAL ? kSourceChanged : err;
        if (expected && text.size() != static_cast<size_t>(src.st_size))
            return kSourceChanged; // another link took its place
        if (const int err = detail::claimUniqueName(
                kTempPrefix, kTempExtension,
                [&](const std::string& candidate) {
                    return ::symlinkat(text.c_str(), toDir, candidate.c_str()) == 0 ? 0 : errno;
                },
                temp))
            return err;
        if (const int err = finishSpecialTemp(toDir, temp, src, flavor, loss))
            return err;
        detail::copyEntryAttributes(fromDir, name.c_str(), toDir, temp.c_str(), loss);
        return 0;
    }
    if (S_ISFIFO(src.st_mode)) {
        if (const int err = detail::claimUniqueName(
                kTempPrefix, kTempExtension,
                [&](const std::string& candidate) {
                    return ::mkfifoat(toDir, candidate.c_str(), 0600) == 0 ? 0 : errno;
                },
                temp))
            return err;
        if (const int err = finishSpecialTemp(toDir, temp, src, flavor, loss))
            return err;
        detail::copyEntryAttributes(fromDir, name.c_str(), toDir, temp.c_str(), loss);
        return 0;
    }
    if (!S_ISREG(src.st_mode))
        return ENOTSUP; // sockets and device nodes
    return copyRegularToTemp(fromDir, name.c_str(), toDir, flavor, expected, temp, loss);
}

} // namespace

namespace detail {

int identityOfFd(int fd, FolderIdentity& id)
{
    mode_t mode = 0;
    return statFd(fd, id, mode);
}

int openMountTop(int fd, Fd& top, size_t& levels)
{
    levels = 0;
    Fd current;
    if (const int err = reopenForSearch(fd, current))
        return err;
    FolderIdentity currentId;
    if (const int err = identityOfFd(current.get(), currentId))
        return err;
    for (;;) {
        Fd up(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!up.valid())
            return errno;
        FolderIdentity upId;
        if (const int err = identityOfFd(up.get(), upId))
            return err;
        if (isItself(currentId, upId) || differentMount(currentId, upId)) {
            top = std::move(current);
            return 0;
        }
        current = std::move(up);
        currentId = upId;
        ++levels;
    }
}

void setOpenat2Disabled(bool disabled)
{
    g_noOpenat2.store(disabled, std::memory_order_relaxed);
}

} // namespace detail

FolderIdentity identityOf(const DirEntry& entry)
{
    return FolderIdentity{entry.device, entry.inode, entry.mount};
}

int openRootFolder(const std::string& path, OpenFolder& out, FolderIdentity& id)
{
    out.close();
    id = FolderIdentity{};
    if (const int err = detail::checkPath(path))
        return err;
    Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid() && errno == EACCES)
        fd = Fd(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    mode_t mode = 0;
    if (const int err = statFd(fd.get(), id, mode))
        return err;
    detail::OpenFolderAccess::adopt(out, std::move(fd));
    return 0;
}

int openChildFolder(const OpenFolder& parent, const FolderIdentity& parentId, const std::string& name,
                    const FolderIdentity* expected, MountCrossing crossing, OpenFolder& out,
                    FolderIdentity& id)
{
    out.close();
    id = FolderIdentity{};
    if (const int err = checkEntry(parent, name))
        return err;
    FolderIdentity parentIdentity = parentId;
    if (!parentIdentity.known()) {
        if (const int err = detail::identityOfFd(parent.fd(), parentIdentity))
            return err;
    }
    const bool refuse = crossing == MountCrossing::refuse;
    Fd fd = openChild(parent.fd(), name.c_str(), refuse, false);
    if (!fd.valid() && errno == EACCES) // may be searched but not read
        fd = openChild(parent.fd(), name.c_str(), refuse, true);
    if (!fd.valid()) {
        const int err = errno;
        if (err == EXDEV)
            return kFolderReplaced;
        // O_DIRECTORY is checked before O_NOFOLLOW: a link gives ENOTDIR. Tell it apart.
        struct stat st;
        if (err == ENOTDIR && ::fstatat(parent.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode))
            return ELOOP;
        return err;
    }

    FolderIdentity found;
    mode_t mode = 0;
    if (const int err = statFd(fd.get(), found, mode))
        return err;
    // The open refuses links and non-folders already; this holds should a
    // kernel's fallback path ever hand back something else.
    if (S_ISLNK(mode))
        return ELOOP;
    if (!S_ISDIR(mode))
        return ENOTDIR;
    if (refuse && differentMount(parentIdentity, found))
        return kFolderReplaced;
    if (expected && expected->known() && !expected->sameFolder(found))
        return kFolderReplaced;
    id = found;
    detail::OpenFolderAccess::adopt(out, std::move(fd));
    return 0;
}

bool isMountTop(const OpenFolder& folder, const FolderIdentity& id)
{
    if (!folder.isOpen())
        return false;
    FolderIdentity self = id;
    if (!self.known() && detail::identityOfFd(folder.fd(), self) != 0)
        return false;
    Fd up(::openat(folder.fd(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!up.valid())
        return false;
    FolderIdentity upId;
    if (detail::identityOfFd(up.get(), upId) != 0)
        return false;
    return isItself(self, upId) || differentMount(self, upId);
}

int ancestorIdentities(const OpenFolder& folder, std::vector<FolderIdentity>& out)
{
    out.clear();
    if (!folder.isOpen())
        return EBADF;
    Fd current;
    if (const int err = reopenForSearch(folder.fd(), current))
        return err;
    FolderIdentity currentId;
    if (const int err = detail::identityOfFd(current.get(), currentId))
        return err;
    for (;;) {
        Fd up(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!up.valid())
            return errno;
        FolderIdentity upId;
        if (const int err = detail::identityOfFd(up.get(), upId))
            return err;
        if (isItself(currentId, upId))
            return 0;
        out.push_back(upId);
        current = std::move(up);
        currentId = upId;
    }
}

namespace {

// Where the folder of mount `top` (its root within the file system) is shown in
// full by another mount of the same file system; "" when nowhere.
std::string fullPlaceOf(const std::vector<detail::MountEntry>& table, const detail::MountEntry& top)
{
    const detail::MountEntry* best = nullptr;
    for (const detail::MountEntry& e : table) {
        if (&e == &top || e.major != top.major || e.minor != top.minor ||
            !detail::isAtOrBelow(top.root, e.root))
            continue;
        if (!best || e.root.size() < best->root.size())
            best = &e;
    }
    if (!best)
        return {};
    const std::string rest = best->root == "/" ? top.root : top.root.substr(best->root.size());
    return best->mountPoint == "/" ? rest : best->mountPoint + rest;
}

void addAncestorsThroughMounts(const OpenFolder& folder, const FolderIdentity& self,
                               const std::vector<detail::MountEntry>& table, int depth,
                               std::vector<FolderIdentity>& out)
{
    std::vector<FolderIdentity> chain;
    ancestorIdentities(folder, chain);
    // The folder itself and every ancestor but "/", each with the one above it.
    std::vector<FolderIdentity> levels{self};
    levels.insert(levels.end(), chain.begin(), chain.end());
    for (const FolderIdentity& a : chain) {
        if (std::none_of(out.begin(), out.end(), [&](const FolderIdentity& o) { return o.sameFolder(a); }))
            out.push_back(a);
    }
    if (depth <= 0)
        return;
    for (size_t i = 0; i + 1 < levels.size(); ++i) {
        if (levels[i].mount == 0 || levels[i].mount == levels[i + 1].mount)
            continue;
        const auto top = std::find_if(table.begin(), table.end(), [&](const detail::MountEntry& e) {
            return e.mountId == levels[i].mount;
        });
        if (top == table.end() || top->root == "/")
            continue;
        const std::string place = fullPlaceOf(table, *top);
        OpenFolder there;
        FolderIdentity id;
        if (place.empty() || openRootFolder(place, there, id) != 0 || !id.sameFolder(levels[i]))
            continue;
        addAncestorsThroughMounts(there, id, table, depth - 1, out);
    }
}

} // namespace

int ancestorIdentitiesThroughMounts(const OpenFolder& folder, std::vector<FolderIdentity>& out)
{
    out.clear();
    FolderIdentity self;
    if (!folder.isOpen())
        return EBADF;
    if (const int err = detail::identityOfFd(folder.fd(), self))
        return err;
    const int err = ancestorIdentities(folder, out);
    if (err)
        return err;
    addAncestorsThroughMounts(folder, self, detail::readMountTable(), 4, out);
    return 0;
}

int listFolderAt(const OpenFolder& folder, std::vector<DirEntry>& out)
{
    if (!folder.isOpen())
        return EBADF;
    // A descriptor of its own: its own read position, whoever else lists here.
    Fd dir(::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return errno == EBADF || errno == ENOTDIR ? EACCES : errno;
    return detail::listOpenFolder(dir.get(), out);
}

int entryIdentityAt(const OpenFolder& folder, const std::string& name, FolderIdentity& id)
{
    id = FolderIdentity{};
    if (const int err = checkEntry(folder, name))
        return err;
    struct stat st;
    if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    return 0;
}

int entryAttributesAt(const OpenFolder& folder, const std::string& name, PathAttributes& out)
{
    out = PathAttributes{};
    if (const int err = checkEntry(folder, name))
        return err;
    return entryAttributesIn(folder, name, out);
}

int readLinkAt(const OpenFolder& folder, const std::string& name, std::string& out)
{
    out.clear();
    if (const int err = checkEntry(folder, name))
        return err;
    return detail::readLinkIn(folder.fd(), name.c_str(), out);
}

int copyToTempAt(const OpenFolder& from, const std::string& name, const OpenFolder& to, CopyFlavor flavor,
                 std::string& tempName, const PathAttributes* expected, MetadataLoss* loss)
{
    tempName.clear();
    if (const int err = checkEntry(from, name))
        return err;
    if (!to.isOpen())
        return EBADF;
    return copyToTempIn(from.fd(), name, to.fd(), flavor, tempName, expected, loss);
}

namespace {

// Whether `toName` in `toDir` may be replaced by a copy of the file `src` describes.
int checkReplace(int toDir, const char* toName, const struct stat& src)
{
    struct stat dst;
    if (::fstatat(toDir, toName, &dst, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
        return EINVAL; // the same file (or a hard link to it)
    if (S_ISDIR(dst.st_mode))
        return EISDIR;
    if (!S_ISLNK(dst.st_mode) && (dst.st_mode & S_IWUSR) == 0)
        return EACCES; // read-only, even for a user the kernel would let replace it
    return 0;
}

// checkReplace for a copy whose old entry is moved away, not replaced: read-only does not refuse it.
int checkReplaceMoved(int toDir, const char* toName, const struct stat& src)
{
    const int err = checkReplace(toDir, toName, src);
    return err == EACCES ? 0 : err;
}

} // namespace

int copyFileAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
               const std::string& toName, CopyFlavor flavor, const PathAttributes* expected, bool replacing,
               MetadataLoss* loss, const BeforeReplace& beforeReplace)
{
    const auto check = beforeReplace ? checkReplaceMoved : checkReplace;
    if (const int err = checkEntry(from, name))
        return err;
    if (const int err = checkEntry(to, toName))
        return err;
    // A Source listed as a regular file is opened straight away (the open itself
    // refuses a link, and only root can put a device node in its place); anything
    // else is looked at first, so it is never opened.
    struct stat src
    {
    };
    const bool listedRegular = expected && expected->kind == PathKind::File;
    if (!listedRegular) {
        if (::fstatat(from.fd(), name.c_str(), &src, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (S_ISDIR(src.st_mode))
            return EISDIR;
        if (expected && sourceDiffers(*expected, src))
            return kSourceChanged;
    }
    if (!replacing && (listedRegular || S_ISREG(src.st_mode))) {
        const int err = copyRegularUnnamed(from.fd(), name.c_str(), to.fd(), toName.c_str(), flavor, expected,
                                           check, beforeReplace, loss);
        if (err != ENOTSUP)
            return err;
    }
    if (listedRegular && !src.st_ino && ::fstatat(from.fd(), name.c_str(), &src, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (replacing) {
        // Refused before the data is read, not after.
        if (const int err = check(to.fd(), toName.c_str(), src))
            return err;
    }
    std::string temp;
    if (const int err = copyToTempIn(from.fd(), name, to.fd(), flavor, temp, expected, loss))
        return err;
    auto fail = [&](int err) {
        ::unlinkat(to.fd(), temp.c_str(), 0);
        return err;
    };
    if (!replacing) {
        // Most copies are of new names: one rename that refuses to replace settles
        // those without a look at the name first.
        if (::renameat2(to.fd(), temp.c_str(), to.fd(), toName.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EEXIST && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            return fail(errno);
    }
    // Looked at before the data was copied when the name was known to be there;
    // a folder that took the name since makes the rename itself fail.
    if (!replacing)
        if (const int err = check(to.fd(), toName.c_str(), src))
            return fail(err);
    if (beforeReplace)
        if (const int err = beforeReplace())
            return fail(err);
    if (::renameat(to.fd(), temp.c_str(), to.fd(), toName.c_str()) != 0)
        return fail(errno);
    if (src.st_ino)
        restampReplaced(to.fd(), toName.c_str(), src, flavor);
    return 0;
}

int renameAt(const OpenFolder& fromDir, const std::string& fromName, const OpenFolder& toDir,
             const std::string& toName, bool replace)
{
    if (const int err = checkEntry(fromDir, fromName))
        return err;
    if (const int err = checkEntry(toDir, toName))
        return err;
    if (!replace)
        return detail::renameNoReplaceIn(fromDir.fd(), fromName.c_str(), toDir.fd(), toName.c_str());
    return ::renameat(fromDir.fd(), fromName.c_str(), toDir.fd(), toName.c_str()) == 0 ? 0 : errno;
}

int linkFileAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
               const std::string& toName)
{
    if (const int err = checkEntry(from, name))
        return err;
    if (const int err = checkEntry(to, toName))
        return err;
    if (::linkat(from.fd(), name.c_str(), to.fd(), toName.c_str(), 0) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    std::string temp;
    if (const int err = detail::claimUniqueName(
            kTempPrefix, kTempExtension,
            [&](const std::string& candidate) {
                return ::linkat(from.fd(), name.c_str(), to.fd(), candidate.c_str(), 0) == 0 ? 0 : errno;
            },
            temp))
        return err;
    struct stat there;
    if (::fstatat(to.fd(), toName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(there.st_mode)) {
        ::unlinkat(to.fd(), temp.c_str(), 0);
        return EISDIR;
    }
    if (::renameat(to.fd(), temp.c_str(), to.fd(), toName.c_str()) != 0) {
        const int err = errno;
        ::unlinkat(to.fd(), temp.c_str(), 0);
        return err;
    }
    return 0;
}

int renameCaseAt(const OpenFolder& folder, const std::string& from, const std::string& to)
{
    if (const int err = checkEntry(folder, from))
        return err;
    if (const int err = checkEntry(folder, to))
        return err;
    if (::renameat(folder.fd(), from.c_str(), folder.fd(), to.c_str()) == 0)
        return 0;
    const int direct = errno;
    std::string temp;
    if (detail::claimUniqueName(
            kTempPrefix, kTempExtension,
            [&](const std::string& candidate) {
                return detail::renameNoReplaceIn(folder.fd(), from.c_str(), folder.fd(), candidate.c_str());
            },
            temp) != 0)
        return direct;
    if (::renameat(folder.fd(), temp.c_str(), folder.fd(), to.c_str()) == 0)
        return 0;
    const int err = errno;
    ::renameat(folder.fd(), temp.c_str(), folder.fd(), from.c_str());
    return err;
}

int makeFolderAt(const OpenFolder& folder, const std::string& name, uint32_t mode)
{
    if (const int err = checkEntry(folder, name))
        return err;
    return ::mkdirat(folder.fd(), name.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int deleteFileAt(const OpenFolder& folder, const std::string& name)
{
    if (const int err = checkEntry(folder, name))
        return err;
    return ::unlinkat(folder.fd(), name.c_str(), 0) == 0 ? 0 : errno;
}

int removeFolderAt(const OpenFolder& folder, const std::string& name)
{
    if (const int err = checkEntry(folder, name))
        return err;
    return ::unlinkat(folder.fd(), name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

int clearReadOnlyAt(const OpenFolder& folder, const std::string& name)
{
    if (const int err = checkEntry(folder, name))
        return err;
    bool isLink = false;
    const int err = detail::clearReadOnlyIn(folder.fd(), name.c_str(), isLink);
    return err == 0 && isLink ? EPERM : err;
}

int readFolderTimes(const OpenFolder& folder, FolderTimes& out)
{
    struct stat st;
    if (!folder.isOpen())
        return EBADF;
    if (::fstat(folder.fd(), &st) != 0)
        return errno;
    out = {st.st_atim.tv_sec, st.st_atim.tv_nsec, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return 0;
}

int applyFolderTimes(const OpenFolder& folder, const FolderTimes& times)
{
    if (!folder.isOpen())
        return EBADF;
    const struct timespec stamp[2] = {
        {static_cast<time_t>(times.accessSeconds), static_cast<long>(times.accessNanos)},
        {static_cast<time_t>(times.writeSeconds), static_cast<long>(times.writeNanos)}};
    if (::futimens(folder.fd(), stamp) == 0)
        return 0;
    if (errno != EBADF)
        return errno;
    // A folder held for searching only is reached through its descriptor's own link.
    return ::utimensat(AT_FDCWD, detail::procFdPath(folder.fd()).c_str(), stamp, 0) == 0 ? 0 : errno;
}

int clearReadOnlyFolder(const OpenFolder& folder)
{
    if (!folder.isOpen())
        return EBADF;
    struct stat st;
    if (::fstat(folder.fd(), &st) != 0)
        return errno;
    if ((st.st_mode & S_IWUSR) != 0)
        return 0;
    return detail::chmodHandle(folder.fd(), (st.st_mode & 07777) | S_IWUSR);
}

int secureDeleteAt(const OpenFolder& folder, const std::string& name, bool* onlyUnlinked)
{
    if (onlyUnlinked)
        *onlyUnlinked = false;
    if (const int err = checkEntry(folder, name))
        return err;
    return detail::secureDeleteIn(
        folder.fd(), name.c_str(), false, [] { return ".kw-" + detail::randomHex(12); }, onlyUnlinked);
}

namespace {

int removeTreeIn(const OpenFolder& folder, const FolderIdentity& id, const std::string& name, uint64_t* items,
                 bool top)
{
    struct stat st;
    if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(folder.fd(), name.c_str(), 0) != 0)
            return errno;
        if (items)
            ++*items;
        return 0;
    }
    OpenFolder child;
    FolderIdentity childId;
    const FolderIdentity expected{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), 0};
    if (const int err = openChildFolder(folder, id, name, &expected, MountCrossing::refuse, child, childId))
        return err == kFolderReplaced ? EXDEV : err;
    // Its entries can be removed only while it has owner write and search.
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        (void)detail::chmodHandle(child.fd(), (st.st_mode & 07777) | S_IRWXU);
    std::vector<DirEntry> entries;
    if (const int err = listFolderAt(child, entries))
        return err;
    if (entries.empty() && !top && items)
        ++*items;
    for (const DirEntry& e : entries)
        if (const int err = removeTreeIn(child, childId, e.name, items, false))
            return err;
    child.close();
    return ::unlinkat(folder.fd(), name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

} // namespace

int removeTreeAt(const OpenFolder& folder, const FolderIdentity& id, const std::string& name, uint64_t* items)
{
    if (const int err = checkEntry(folder, name))
        return err;
    return removeTreeIn(folder, id, name, items, true);
}

int removeLeftoverFileAt(const OpenFolder& folder, const std::string& name)
{
    if (const int err = checkEntry(folder, name))
        return err;
    return detail::removeLeftoverIn(folder.fd(), name.c_str());
}

int syncAt(const OpenFolder& folder, const std::string& name)
{
    if (const int err = checkEntry(folder, name))
        return err;
    return detail::syncIn(folder.fd(), name.c_str());
}

int syncFolder(const OpenFolder& folder)
{
    if (!folder.isOpen())
        return EBADF;
    if (::fsync(folder.fd()) == 0)
        return 0;
    if (errno != EBADF)
        return errno;
    // A handle for searching only: the folder opened for reading, if it may be.
    Fd dir(::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return errno;
    return ::fsync(dir.get()) == 0 ? 0 : errno;
}

int lockFolder(const OpenFolder& folder)
{
    if (!folder.isOpen())
        return EBADF;
    for (;;) {
        if (::flock(folder.fd(), LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

} // namespace kestrow::platform
