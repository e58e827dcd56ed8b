#include "tests/support/RaceSupport.h"

#include "base/DateTime.h"
#include "platform/Fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrow::test {

void HookedRunHost::setStatusText(StatusPanel panel, const std::string& text)
{
    TestRunHost::setStatusText(panel, text);
    if (panel != StatusPanel::Panel1)
        return;
    Phase now = m_phase;
    if (text.starts_with("Cloning folder"))
        now = Phase::Performing;
    else if (text.starts_with("Comparing") || text.starts_with("Scanning"))
        now = Phase::Comparing;
    if (now != m_phase) {
        m_phase = now;
        m_phasePumps = 0;
    }
}

void HookedRunHost::processEvents()
{
    TestRunHost::processEvents();
    if (fired || !action || m_phase != when || ++m_phasePumps < afterPumps)
        return;
    fired = true;
    firedIn = m_phase;
    action();
}

namespace {

using platform::Fd;

std::vector<std::string> NamesIn(int dirFd)
{
    std::vector<std::string> names;
    const int copy = ::dup(dirFd);
    if (copy < 0)
        return names;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(int fd)
{
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

struct Visit
{
    std::string path; // relative to the walked root
    struct stat st;
    std::string data; // bytes of a file, text of a link
};

// Depth-first through handles; folders are entered only as real folders.
template <typename Fn> void WalkAt(int dirFd, const std::string& relative, Fn&& fn)
{
    for (const std::string& name : NamesIn(dirFd)) {
        Visit v;
        v.path = relative.empty() ? name : relative + "/" + name;
        if (::fstatat(dirFd, name.c_str(), &v.st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(v.st.st_mode)) {
            Fd f(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
            if (f)
                v.data = ReadAll(f.get());
        } else if (S_ISLNK(v.st.st_mode)) {
            std::string text(8192, '\0');
            const ssize_t n = ::readlinkat(dirFd, name.c_str(), text.data(), text.size());
            v.data = n >= 0 ? text.substr(0, static_cast<size_t>(n)) : std::string("<unreadable>");
        }
        fn(v);
        if (S_ISDIR(v.st.st_mode)) {
            Fd sub(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub)
                WalkAt(sub.get(), v.path, fn);
        }
    }
}

// Opens an absolute or relative folder spec one name at a time (no PATH_MAX).
Fd OpenFolderSpec(const std::string& spec)
{
    Fd fd(::open(spec.starts_with('/') ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::istringstream parts(spec);
    for (std::string part; std::getline(parts, part, '/');) {
        if (part.empty() || part == ".")
            continue;
        Fd next(::openat(fd.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!next)
            return Fd();
        fd = std::move(next);
    }
    return fd;
}

void RemoveChildren(int dirFd)
{
    struct stat self;
    if (::fstat(dirFd, &self) != 0)
        return;
    ::fchmod(dirFd, (self.st_mode & 07777) | S_IRWXU);
    for (const std::string& name : NamesIn(dirFd)) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            // Never into another file system (a mount left behind would be emptied).
            if (st.st_dev != self.st_dev)
                continue;
            Fd sub(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub)
                RemoveChildren(sub.get());
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
}

// Mount points at or below `prefix`, deepest (longest) first.
std::vector<std::string> MountPointsBelow(const std::string& prefix)
{
    std::vector<std::string> points;
    for (const std::string& point : mountPoints()) {
        if (point == prefix || point.starts_with(prefix + "/"))
            points.push_back(point);
    }
    std::sort(points.begin(), points.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return points;
}

} // namespace

std::vector<std::string> TreeLinesAt(const std::string& root, WithTimes times)
{
    std::vector<std::string> lines;
    Fd top(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top) {
        lines.push_back("<missing>");
        return lines;
    }
    WalkAt(top.get(), "", [&](const Visit& v) {
        const char kind = S_ISDIR(v.st.st_mode)   ? 'd'
                          : S_ISREG(v.st.st_mode) ? 'f'
                          : S_ISLNK(v.st.st_mode) ? 'l'
                                                  : 's';
        std::ostringstream line;
        line << v.path << " " << kind << " " << std::oct << (v.st.st_mode & 07777) << std::dec;
        if (kind != 'd') {
            line << " " << v.st.st_size << " [" << v.data << "]";
            if (times == WithTimes::yes)
                line << " @" << v.st.st_mtim.tv_sec << "." << v.st.st_mtim.tv_nsec;
        }
        lines.push_back(line.str());
    });
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string TreeDigestAt(const std::string& root, WithTimes times)
{
    std::string all;
    for (const std::string& line : TreeLinesAt(root, times))
        all += line + '\n';
    return all;
}

std::vector<std::string> TreeDifferencesAt(const std::string& a, const std::string& b, WithTimes times)
{
    const std::vector<std::string> la = TreeLinesAt(a, times), lb = TreeLinesAt(b, times);
    std::vector<std::string> onlyA, onlyB, out;
    std::set_difference(la.begin(), la.end(), lb.begin(), lb.end(), std::back_inserter(onlyA));
    std::set_difference(lb.begin(), lb.end(), la.begin(), la.end(), std::back_inserter(onlyB));
    for (const std::string& l : onlyA)
        out.push_back("- " + l.substr(0, 300));
    for (const std::string& l : onlyB)
        out.push_back("+ " + l.substr(0, 300));
    return out;
}

std::vector<std::string> FilesHolding(const std::string& root, const std::string& needle)
{
    std::vector<std::string> found;
    Fd top(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top)
        return found;
    WalkAt(top.get(), "", [&](const Visit& v) {
        const std::string name = v.path.substr(v.path.rfind('/') + 1);
        if (name.find(needle) != std::string::npos ||
            (S_ISREG(v.st.st_mode) && v.data.find(needle) != std::string::npos))
            found.push_back(v.path);
    });
    return found;
}

void RemoveTreeAt(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.ends_with('/'))
        p.pop_back();
    const size_t slash = p.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    Fd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd)
        return;
    struct stat st;
    if (::fstatat(parentFd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(parentFd.get(), name.c_str(), 0);
        return;
    }
    if (Fd dir(::openat(parentFd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)); dir)
        RemoveChildren(dir.get());
    ::unlinkat(parentFd.get(), name.c_str(), AT_REMOVEDIR);
}

std::string MakeFolderChain(const std::string& base, const std::string& level, size_t minBytes)
{
    std::string path = base;
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    std::filesystem::create_directories(path);
    Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    while (fd && path.size() <= minBytes) {
        ::mkdirat(fd.get(), level.c_str(), 0755);
        Fd next(::openat(fd.get(), level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        fd = std::move(next);
        path += "/" + level;
    }
    return fd ? path + "/" : std::string();
}

void WriteFileAt(const std::string& folderSpec, const std::string& name, const std::string& content,
                 unsigned mode, int64_t seconds)
{
    const Fd dir = OpenFolderSpec(folderSpec);
    if (!dir)
        return;
    Fd f(::openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!f)
        return;
    for (size_t done = 0; done < content.size();) {
        const ssize_t n = ::write(f.get(), content.data() + done, content.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
    ::fchmod(f.get(), mode);
    const timespec when[2] = {{seconds, 0}, {seconds, 0}};
    ::futimens(f.get(), when);
}

std::string ReadFileAt(const std::string& folderSpec, const std::string& name)
{
    const Fd dir = OpenFolderSpec(folderSpec);
    if (!dir)
        return "<missing>";
    const Fd f(::openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    return f ? ReadAll(f.get()) : std::string("<missing>");
}

bool ExistsAt(const std::string& folderSpec, const std::string& name)
{
    const Fd dir = OpenFolderSpec(folderSpec);
    struct stat st;
    return dir && ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

int RunShell(const std::string& script, bool asNobody)
{
    const std::string command =
        (asNobody ? "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups -- /bin/sh -c "
                  : "/bin/sh -c ") +
        shellQuoted(script) + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

RaceFixture::~RaceFixture()
{
    unmountAll();
    for (const std::string& point : MountPointsBelow(tmp.path()))
        std::system(("umount -l " + shellQuoted(point) + " >/dev/null 2>&1").c_str());
    for (const std::string& tree : deepTrees)
        RemoveTreeAt(tree);
}

std::string RaceFixture::allLog() const
{
    return log.GetLogEntriesFromFile() + log.InMemoryString();
}

std::vector<std::string> RaceFixture::logLinesHolding(const std::string& text) const
{
    const std::string date = GeneralDateText(clock.now());
    std::vector<std::string> lines;
    std::istringstream in(allLog());
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(date))
            line = line.substr(date.size());
        if (line.find(text) != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

bool RaceFixture::loggedAnError() const
{
    for (const std::string& line : logLinesHolding(" *")) {
        if (line.starts_with(" *") && line.find(" Error: ") != std::string::npos)
            return true;
    }
    return false;
}

std::string RaceFixture::homeTrash() const
{
    return std::string(std::getenv("XDG_DATA_HOME")) + "/Trash";
}

bool RaceFixture::mountFor(const std::string& command, const std::string& point)
{
    auto mount = std::make_unique<ScopedMount>(command, point);
    const bool mounted = mount->mounted();
    m_mounts.push_back(std::move(mount));
    return mounted;
}

void RaceFixture::unmountAll()
{
    while (!m_mounts.empty())
        m_mounts.pop_back();
}

} // namespace kestrow::test
