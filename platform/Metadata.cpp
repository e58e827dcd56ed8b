#include "platform/Metadata.h"

#include "platform/FileOpsInternal.h"
#include "platform/FolderAt.h"
#include "util/AsciiCase.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestrow::platform {

namespace {

bool runningAsRoot()
{
    static const bool root = ::geteuid() == 0;
    return root;
}

const std::vector<gid_t>& supplementaryGroups()
{
    static const std::vector<gid_t> groups = [] {
        std::vector<gid_t> out;
        const int n = ::getgroups(0, nullptr);
        if (n > 0) {
            out.resize(static_cast<size_t>(n));
            out.resize(static_cast<size_t>(std::max(0, ::getgroups(n, out.data()))));
        }
        return out;
    }();
    return groups;
}

bool unsupported(int err)
{
    return err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

// Names and values of the extended attributes at `path` (`follow`: the /proc
// name of a descriptor; else an entry, its link not followed).
int readAttributes(const std::string& path, bool follow, ExtendedAttributes& out)
{
    out.clear();
    std::vector<char> names(256);
    ssize_t size;
    for (;;) {
        size = follow ? ::listxattr(path.c_str(), names.data(), names.size())
                      : ::llistxattr(path.c_str(), names.data(), names.size());
        if (size >= 0)
            break;
        if (errno == ERANGE) {
            const ssize_t needed =
                follow ? ::listxattr(path.c_str(), nullptr, 0) : ::llistxattr(path.c_str(), nullptr, 0);
            if (needed < 0)
                return unsupported(errno) ? 0 : errno;
            names.resize(static_cast<size_t>(needed) + 1);
            continue;
        }
        return unsupported(errno) ? 0 : errno;
    }
    std::vector<char> value(256);
    for (size_t pos = 0; pos < static_cast<size_t>(size);) {
        const std::string name(names.data() + pos);
        pos += name.size() + 1;
        if (!settableAttributeName(name))
            continue;
        for (;;) {
            const ssize_t got = follow ? ::getxattr(path.c_str(), name.c_str(), value.data(), value.size())
                                       : ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
            if (got >= 0) {
                out.emplace_back(name, std::string(value.data(), static_cast<size_t>(got)));
                break;
            }
            if (errno == ERANGE) {
                const ssize_t needed = follow ? ::getxattr(path.c_str(), name.c_str(), nullptr, 0)
                                              : ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
                if (needed >= 0) {
                    value.resize(static_cast<size_t>(needed) + 1);
                    continue;
                }
            }
            if (errno == ENODATA)
                break; // removed meanwhile
            return errno;
        }
    }
    std::sort(out.begin(), out.end());
    return 0;
}

// Makes the attributes at `path` (a /proc name, followed) `wanted`, given that
// they are `current`. True when anything was changed.
bool applyAttributes(const std::string& path, const ExtendedAttributes& current,
                     const ExtendedAttributes& wanted, MetadataLoss* loss, bool follow = true)
{
    bool changed = false;
    bool refused = false;
    for (const auto& [name, value] : current) {
        if (std::binary_search(wanted.begin(), wanted.end(), std::pair{name, value}))
            continue;
        const bool stays =
            std::any_of(wanted.begin(), wanted.end(), [&](const auto& w) { return w.first == name; });
        if (stays)
            continue; // set below with its new value
        if ((follow ? ::removexattr(path.c_str(), name.c_str())
                    : ::lremovexattr(path.c_str(), name.c_str())) == 0)
            changed = true;
        else if (errno != ENODATA)
            refused = true;
    }
    for (const auto& [name, value] : wanted) {
        if (std::binary_search(current.begin(), current.end(), std::pair{name, value}))
            continue;
        if ((follow ? ::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0)
                    : ::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0)) == 0)
            changed = true;
        else
            refused = true;
    }
    if (refused && loss)
        loss->add(MetadataExtendedAttributes);
    return changed;
}

// The descriptor an update works on: the held folder itself (empty `name`) or
// entry `name` of it, opened for nothing but this (O_PATH, links not followed).
int entryHandle(const OpenFolder& folder, const std::string& name, Fd& own, int& fd)
{
    if (!folder.isOpen())
        return EBADF;
    if (name.empty()) {
        fd = folder.fd();
        return 0;
    }
    if (const int err = detail::checkName(name))
        return err;
    own = Fd(::openat(folder.fd(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!own.valid())
        return errno;
    fd = own.get();
    return 0;
}

} // namespace

bool mayUseGroup(uint32_t gid)
{
    if (runningAsRoot() || gid == ::getegid())
        return true;
    const auto& groups = supplementaryGroups();
    return std::find(groups.begin(), groups.end(), static_cast<gid_t>(gid)) != groups.end();
}

bool mayOwnAs(uint32_t uid, uint32_t gid)
{
    return runningAsRoot() || (uid == ::geteuid() && mayUseGroup(gid));
}

bool ownerCanBeMadeLike(uint32_t uid, uint32_t gid, uint32_t wantUid, uint32_t wantGid)
{
    if (runningAsRoot())
        return uid != wantUid || gid != wantGid;
    return gid != wantGid && uid == ::geteuid() && mayUseGroup(wantGid);
}

bool settableAttributeName(const std::string& name)
{
    if (runningAsRoot())
        return true;
    return !name.starts_with("trusted.") && !name.starts_with("security.");
}

int readExtendedAttributesAt(const OpenFolder& folder, const std::string& name, ExtendedAttributes& out)
{
    out.clear();
    if (!folder.isOpen())
        return EBADF;
    if (!name.empty()) {
        if (const int err = detail::checkName(name))
            return err;
        return readAttributes(detail::procFdPath(folder.fd(), name), false, out);
    }
    return readAttributes(detail::procFdPath(folder.fd()), true, out);
}

namespace detail {

void copyOwner(int fd, const struct stat& src, struct stat& outSt, MetadataLoss* loss)
{
    if (outSt.st_uid == src.st_uid && outSt.st_gid == src.st_gid)
        return;
    if (runningAsRoot()) {
        (void)::fchown(fd, src.st_uid, src.st_gid);
    } else if (outSt.st_gid != src.st_gid && mayUseGroup(src.st_gid)) {
        (void)::fchown(fd, static_cast<uid_t>(-1), src.st_gid);
    }
    if (::fstat(fd, &outSt) == 0 && (outSt.st_uid != src.st_uid || outSt.st_gid != src.st_gid) && loss)
        loss->add(MetadataOwner);
}

void copyEntryAttributes(int fromDir, const char* name, int toDir, const char* toName, MetadataLoss* loss)
{
    ExtendedAttributes wanted;
    if (readAttributes(detail::procFdPath(fromDir, name), false, wanted) != 0 || wanted.empty())
        return;
    applyAttributes(detail::procFdPath(toDir, toName), {}, wanted, loss, false);
}

void copyExtendedAttributes(int in, int out, MetadataLoss* loss)
{
    if (::flistxattr(in, nullptr, 0) <= 0)
        return; // none (the common case), or none to be had here
    ExtendedAttributes wanted;
    if (readAttributes(detail::procFdPath(in), true, wanted) != 0 || wanted.empty())
        return;
    bool refused = false;
    for (const auto& [name, value] : wanted) {
        if (::fsetxattr(out, name.c_str(), value.data(), value.size(), 0) != 0)
            refused = true;
    }
    if (refused && loss)
        loss->add(MetadataExtendedAttributes);
}

} // namespace detail

int updateMetadataAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
                     const std::string& toName, CopyFlavor flavor, bool attributes, bool times,
                     MetadataLoss* loss, MetadataChanges& changed)
{
    changed = {};
    Fd ownSource, ownTarget;
    int s = -1, t = -1;
    if (const int err = entryHandle(from, name, ownSource, s))
        return err;
    if (const int err = entryHandle(to, toName, ownTarget, t))
        return err;
    struct stat ss, ts;
    if (::fstat(s, &ss) != 0 || ::fstat(t, &ts) != 0)
        return errno;
    if ((ss.st_mode & S_IFMT) != (ts.st_mode & S_IFMT))
        return ESTALE;
    const bool isLink = S_ISLNK(ss.st_mode);

    // Owner first: a change of owner clears capabilities and set-ID bits.
    if (attributes && (ss.st_uid != ts.st_uid || ss.st_gid != ts.st_gid)) {
        if (runningAsRoot())
            (void)::fchownat(t, "", ss.st_uid, ss.st_gid, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
        else if (ts.st_uid == ::geteuid() && ss.st_gid != ts.st_gid && mayUseGroup(ss.st_gid))
            (void)::fchownat(t, "", static_cast<uid_t>(-1), ss.st_gid, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
        struct stat now;
        if (::fstat(t, &now) != 0)
            return errno;
        changed.owner = now.st_uid != ts.st_uid || now.st_gid != ts.st_gid;
        if ((now.st_uid != ss.st_uid || now.st_gid != ss.st_gid) && loss)
            loss->add(MetadataOwner);
        ts = now;
    }
    if (attributes && isLink) {
        // A link has no permission bits of its own; its attributes (trusted.*,
        // security.*: user.* are not allowed on links) are its own, read and set
        // by name in its folder.
        const std::string sourceName =
            name.empty() ? detail::procFdPath(s) : detail::procFdPath(from.fd(), name);
        const std::string targetName =
            toName.empty() ? detail::procFdPath(t) : detail::procFdPath(to.fd(), toName);
        ExtendedAttributes have, want;
        if (!name.empty() && !toName.empty() && readAttributes(sourceName, false, want) == 0 &&
            readAttributes(targetName, false, have) == 0 && have != want)
            changed.extendedAttributes = applyAttributes(targetName, have, want, loss, false);
    } else if (attributes) {
        ExtendedAttributes have, want;
        const std::string targetName = detail::procFdPath(t);
        if (readAttributes(detail::procFdPath(s), true, want) == 0 &&
            readAttributes(targetName, true, have) == 0 && have != want)
            changed.extendedAttributes = applyAttributes(targetName, have, want, loss);
        // An ACL written above sets the group bits too: look again.
        if (::fstat(t, &ts) != 0)
            return errno;
        mode_t mode = ss.st_mode & 07777;
        if (ts.st_uid != ss.st_uid || ts.st_gid != ss.st_gid)
            mode &= ~(S_ISUID | S_ISGID);
        if ((ts.st_mode & 07777) != mode) {
            const int err = detail::chmodHandle(t, mode);
            if (err == 0) {
                struct stat now;
                changed.permissions = ::fstat(t, &now) == 0 && (now.st_mode & 07777) != (ts.st_mode & 07777);
                if ((now.st_mode & 07777) != mode && loss)
                    loss->add(MetadataPermissions);
            } else if (detail::ignorableAttributeError(err)) {
                if (loss)
                    loss->add(MetadataPermissions);
            } else {
                return err;
            }
        }
    }
    if (times) {
        const bool keepAccess = flavor == CopyFlavor::KeepEverything;
        const bool sameWrite =
            ts.st_mtim.tv_sec == ss.st_mtim.tv_sec && ts.st_mtim.tv_nsec == ss.st_mtim.tv_nsec;
        const bool sameAccess = !keepAccess || (ts.st_atim.tv_sec == ss.st_atim.tv_sec &&
                                                ts.st_atim.tv_nsec == ss.st_atim.tv_nsec);
        if (!sameWrite || !sameAccess) {
            struct timespec stamp[2] = {keepAccess ? ss.st_atim : ts.st_atim, ss.st_mtim};
            int rc;
            if (isLink)
                rc = ::utimensat(to.fd(), toName.c_str(), stamp, AT_SYMLINK_NOFOLLOW);
            else
                rc = ::utimensat(AT_FDCWD, detail::procFdPath(t).c_str(), stamp, 0);
            if (rc != 0 && !(isLink || detail::ignorableAttributeError(errno)))
                return errno;
        }
    }
    return 0;
}

int copyTimesAt(const OpenFolder& from, const std::string& name, const OpenFolder& to,
                const std::string& toName, CopyFlavor flavor)
{
    if (!from.isOpen() || !to.isOpen())
        return EBADF;
    if (const int err = detail::checkName(name))
        return err;
    if (const int err = detail::checkName(toName))
        return err;
    struct stat ss;
    if (::fstatat(from.fd(), name.c_str(), &ss, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    const struct timespec stamp[2] = {
        flavor == CopyFlavor::KeepEverything ? ss.st_atim : timespec{0, UTIME_NOW}, ss.st_mtim};
    return ::utimensat(to.fd(), toName.c_str(), stamp, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int stampNewFolderLike(const OpenFolder& from, const OpenFolder& to, uint32_t& bits, FolderTimes& times)
{
    struct stat src, dst;
    if (!from.isOpen() || !to.isOpen())
        return EBADF;
    if (::fstat(from.fd(), &src) != 0 || ::fstat(to.fd(), &dst) != 0)
        return errno;
    times = {src.st_atim.tv_sec, src.st_atim.tv_nsec, src.st_mtim.tv_sec, src.st_mtim.tv_nsec,
             static_cast<uint32_t>(src.st_mode & 07777)};
    detail::copyOwner(to.fd(), src, dst, nullptr);
    detail::copyExtendedAttributes(from.fd(), to.fd(), nullptr);
    bits = copiedPermissions(src.st_mode, dst.st_uid == src.st_uid && dst.st_gid == src.st_gid);
    if ((dst.st_mode & 07777) == (bits | S_IRWXU))
        return 0;
    return detail::chmodHandle(to.fd(), bits | S_IRWXU);
}

int probeTargetFeatures(const OpenFolder& folder, TargetFeatures& out)
{
    out = TargetFeatures{};
    if (!folder.isOpen())
        return EBADF;
    // A name of its own (removed at once), so that the same name in capitals can
    // be looked up too. The folder's times are put back afterwards: a dry run
    // leaves the Target as it found it.
    struct stat before;
    if (::fstat(folder.fd(), &before) != 0)
        return errno;
    Fd file;
    std::string named;
    if (detail::claimUniqueName(
            "kw_", ".tmp",
            [&](const std::string& candidate) {
                file = Fd(::openat(folder.fd(), candidate.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
                return file.valid() ? 0 : errno;
            },
            named) != 0)
        return 0; // cannot be written here: nothing known
    struct stat st;
    out.modes =
        ::fchmod(file.get(), 0640) == 0 && ::fstat(file.get(), &st) == 0 && (st.st_mode & 0777) == 0640;
    if (runningAsRoot()) {
        constexpr uid_t kProbeOwner = 65534;
        out.owners = ::fchown(file.get(), kProbeOwner, kProbeOwner) == 0 && ::fstat(file.get(), &st) == 0 &&
                     st.st_uid == kProbeOwner && st.st_gid == kProbeOwner;
    }
    static const char kProbeValue[] = "1";
    out.extendedAttributes =
        ::fsetxattr(file.get(), "user.kestrow-probe", kProbeValue, 1, 0) == 0 || !unsupported(errno);
    const std::string upper = util::asciiUpper(named);
    out.foldsCase = ::fstatat(folder.fd(), upper.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    file.close();
    ::unlinkat(folder.fd(), named.c_str(), 0);
    // The top folder of a FAT file system has no times at all (and a FUSE driver
    // may not take kindly to being asked to set them).
    out.folderTimes = out.modes || !isMountTop(folder, FolderIdentity{});
    struct stat after;
    if (out.folderTimes && ::fstat(folder.fd(), &after) == 0 &&
        (after.st_mtim.tv_sec != before.st_mtim.tv_sec || after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)) {
        const struct timespec stamp[2] = {before.st_atim, before.st_mtim};
        (void)::utimensat(AT_FDCWD, detail::procFdPath(folder.fd()).c_str(), stamp, 0);
    }
    return 0;
}

} // namespace kestrow::platform
