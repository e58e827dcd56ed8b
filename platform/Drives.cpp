#include "platform/Drives.h"

#include "platform/MountTable.h"
#include "platform/PathCheck.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include <sys/stat.h>

namespace kestrow::platform {

namespace detail {

namespace {

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo.
std::string unescapeMountField(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
            s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t pos = 0;
    while (pos <= line.size()) {
        size_t next = line.find(' ', pos);
        if (next == std::string::npos)
            next = line.size();
        fields.push_back(line.substr(pos, next - pos));
        pos = next + 1;
    }
    return fields;
}

} // namespace

std::vector<MountEntry> readMountTable()
{
    std::vector<MountEntry> table;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const std::vector<std::string> f = splitFields(line);
        if (f.size() < 5)
            continue;
        MountEntry e;
        e.mountPoint = normalizeAbsolute(unescapeMountField(f[4]));
        e.root = normalizeAbsolute(unescapeMountField(f[3]));
        e.mountId = std::strtoul(f[0].c_str(), nullptr, 10);
        if (std::sscanf(f[2].c_str(), "%u:%u", &e.major, &e.minor) != 2)
            continue;
        for (size_t i = 5; i + 1 < f.size(); ++i) {
            if (f[i] == "-") {
                e.fsType = f[i + 1];
                break;
            }
        }
        table.push_back(std::move(e));
    }
    return table;
}

bool isAtOrBelow(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

const MountEntry* mountHolding(const std::vector<MountEntry>& table, const std::string& path)
{
    const MountEntry* best = nullptr;
    for (const MountEntry& e : table) {
        if (isAtOrBelow(path, e.mountPoint) && (!best || e.mountPoint.size() >= best->mountPoint.size()))
            best = &e;
    }
    return best;
}

std::string normalizeAbsolute(const std::string& path)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        std::string part = path.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? std::string("/") : out;
}

std::string resolveExisting(const std::string& path)
{
    std::string head = path;
    std::string tail;
    for (;;) {
        if (checkPath(head) == 0) {
            std::unique_ptr<char, decltype(&std::free)> real(::realpath(head.c_str(), nullptr), &std::free);
            if (real)
                return normalizeAbsolute(std::string(real.get()) + tail);
        }
        if (head == "/" || head.empty())
            return path;
        const auto slash = head.rfind('/');
        tail = head.substr(slash) + tail;
        head = slash == 0 ? std::string("/") : head.substr(0, slash);
    }
}

} // namespace detail

namespace {

using detail::isAtOrBelow;

struct MediaLocation
{
    std::string root;  // normalized media root
    std::string label; // root/USER/LABEL, empty when the path is not that deep
};

// The media root that `path` (normalized) lies strictly below, if any.
bool findMediaLocation(const std::string& path, MediaLocation& where)
{
    for (const std::string& r : mediaRoots()) {
        for (const std::string& root :
             {detail::normalizeAbsolute(r), detail::resolveExisting(detail::normalizeAbsolute(r))}) {
            if (path == root || !isAtOrBelow(path, root))
                continue;
            where.root = root;
            where.label.clear();
            const size_t start = root == "/" ? 1 : root.size() + 1;
            const size_t userEnd = path.find('/', start);
            if (userEnd != std::string::npos) {
                const size_t labelEnd = path.find('/', userEnd + 1);
                where.label = path.substr(0, labelEnd);
            }
            return true;
        }
    }
    return false;
}

bool readRemovableFlag(const std::string& file)
{
    std::ifstream in(file);
    int flag = 0;
    return in >> flag && flag == 1;
}

} // namespace

std::vector<std::string> mediaRoots()
{
    std::vector<std::string> roots;
    if (const char* env = std::getenv("KESTROW_MEDIA_ROOTS")) {
        const std::string list = env;
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t next = list.find(':', pos);
            if (next == std::string::npos)
                next = list.size();
            std::string item = list.substr(pos, next - pos);
            pos = next + 1;
            if (item.empty() || item[0] != '/')
                continue;
            if (item.back() != '/')
                item += '/';
            roots.push_back(std::move(item));
        }
        return roots;
    }
    return {"/media/", "/run/media/"};
}

std::string driveOfPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return {};
    const std::string lexical = detail::normalizeAbsolute(path);
    const std::string resolved = detail::resolveExisting(lexical);
    const auto table = detail::readMountTable();
    const detail::MountEntry* mount = detail::mountHolding(table, resolved);

    for (const std::string& candidate : {resolved, lexical}) {
        MediaLocation where;
        if (!findMediaLocation(candidate, where))
            continue;
        // Something mounted below the media root (at any depth) is the drive;
        // otherwise the USER/LABEL folder stands for the medium, even when absent.
        if (mount && mount->mountPoint != where.root && isAtOrBelow(mount->mountPoint, where.root) &&
            candidate == resolved)
            return mount->mountPoint + "/";
        if (!where.label.empty())
            return where.label + "/";
    }
    if (!mount || mount->mountPoint == "/")
        return "/";
    return mount->mountPoint + "/";
}

bool driveExists(const std::string& drive)
{
    if (detail::checkPath(drive) != 0)
        return false;
    struct stat st;
    return ::stat(drive.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool driveReady(const std::string& drive)
{
    if (drive.empty() || drive[0] != '/')
        return false;
    const std::string lexical = detail::normalizeAbsolute(drive);
    const std::string resolved = detail::resolveExisting(lexical);
    for (const std::string& candidate : {lexical, resolved}) {
        MediaLocation where;
        if (!findMediaLocation(candidate, where) || where.label != candidate)
            continue;
        for (const detail::MountEntry& e : detail::readMountTable()) {
            if (e.mountPoint == resolved)
                return true;
        }
        return false;
    }
    return true;
}

bool driveRemovable(const std::string& drive)
{
    if (drive.empty() || drive[0] != '/')
        return false;
    const std::string lexical = detail::normalizeAbsolute(drive);
    const std::string resolved = detail::resolveExisting(lexical);
    MediaLocation where;
    if (findMediaLocation(lexical, where) || findMediaLocation(resolved, where))
        return true;
    const auto table = detail::readMountTable();
    const detail::MountEntry* mount = detail::mountHolding(table, resolved);
    if (!mount || mount->major == 0)
        return false; // tmpfs, proc and the like have no block device
    // /sys/dev/block/M:m is the device; a partition's disk is its parent folder.
    const std::string dev =
        "/sys/dev/block/" + std::to_string(mount->major) + ":" + std::to_string(mount->minor);
    struct stat st;
    if (::stat((dev + "/removable").c_str(), &st) == 0)
        return readRemovableFlag(dev + "/removable");
    return readRemovableFlag(dev + "/../removable");
}

} // namespace kestrow::platform
