#include "engine/Versions.h"

#include "platform/FolderAt.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace kestrow {

namespace {

// FNV-1a, 32 bits: stable across builds and machines, which std::hash is not.
uint32_t PathHash(std::string_view text)
{
    uint32_t h = 2166136261u;
    for (const unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

bool Digits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view text)
{
    int n = 0;
    for (const char c : text)
        n = n * 10 + (c - '0');
    return n;
}

// Walks the held folder `folder`; `prefix` is its path relative to the moment.
using MomentVisit = std::function<void(const platform::DirEntry&, const std::string&, bool empty)>;

// Visits `entries`, the listing of the held folder `folder`; `prefix` is its path
// relative to the moment. Each folder is listed once: the listing that tells
// whether it is empty is the one its contents are visited from.
int WalkListed(const platform::OpenFolder& folder, const platform::FolderIdentity& id,
               const std::vector<platform::DirEntry>& entries, const std::string& prefix,
               const MomentVisit& visit, int depth)
{
    for (const platform::DirEntry& e : entries) {
        if (!e.isFolder()) {
            visit(e, prefix + e.name, false);
            continue;
        }
        platform::OpenFolder child;
        platform::FolderIdentity childId;
        const platform::FolderIdentity expected = platform::identityOf(e);
        if (depth > 4096 || platform::openChildFolder(folder, id, e.name, &expected,
                                                      platform::MountCrossing::refuse, child, childId) != 0) {
            visit(e, prefix + e.name + '/', false); // seen, not entered
            continue;
        }
        std::vector<platform::DirEntry> inside;
        const int listErr = platform::listFolderAt(child, inside);
        visit(e, prefix + e.name + '/', listErr == 0 && inside.empty());
        if (listErr)
            return listErr;
        if (const int err = WalkListed(child, childId, inside, prefix + e.name + '/', visit, depth + 1))
            return err;
    }
    return 0;
}

int WalkMoment(const platform::OpenFolder& folder, const platform::FolderIdentity& id,
               const std::string& prefix, const MomentVisit& visit)
{
    std::vector<platform::DirEntry> entries;
    if (const int err = platform::listFolderAt(folder, entries))
        return err;
    return WalkListed(folder, id, entries, prefix, visit, 0);
}

int OpenMoment(const std::string& versionsRoot, const std::string& moment, platform::OpenFolder& out,
               platform::FolderIdentity& id)
{
    platform::OpenFolder root;
    platform::FolderIdentity rootId;
    if (const int err = platform::openRootFolder(versionsRoot, root, rootId))
        return err;
    return platform::openChildFolder(root, rootId, moment, nullptr, platform::MountCrossing::refuse, out, id);
}

} // namespace

std::string VersionsSubfolderName(const std::string& targetRoot)
{
    std::string path = targetRoot;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::string readable;
    for (const char c : std::string_view(path).substr(path.starts_with('/') ? 1 : 0))
        readable += c == '/' ? '_' : c;
    if (readable.empty())
        readable = "root";
    // Room for the hash within the 255 bytes of a name.
    if (readable.size() > 200)
        readable.resize(200);
    char hash[16];
    std::snprintf(hash, sizeof hash, "-%08x", PathHash(path));
    return readable + hash;
}

std::string VersionsRootFor(const std::string& targetRoot, const std::string& versionsFolder)
{
    std::string root = targetRoot;
    if (root.empty() || root.back() != '/')
        root += '/';
    if (versionsFolder.empty())
        return root + std::string(kVersionsFolderName) + '/';
    std::string folder = versionsFolder;
    if (folder.back() != '/')
        folder += '/';
    return folder + VersionsSubfolderName(root) + '/';
}

std::string MomentName(DateValue local)
{
    const DateParts p = partsFromDate(local);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d%02d%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return text;
}

bool ParseMomentName(std::string_view name, DateValue& time)
{
    // "YYYY-MM-DD HHMMSS", then optionally " N" for a later run within that second.
    if (name.size() < 17 || name[4] != '-' || name[7] != '-' || name[10] != ' ')
        return false;
    if (name.size() > 17 && (name[17] != ' ' || !Digits(name.substr(18))))
        return false;
    const std::string_view parts[] = {name.substr(0, 4),  name.substr(5, 2),  name.substr(8, 2),
                                      name.substr(11, 2), name.substr(13, 2), name.substr(15, 2)};
    if (!std::all_of(std::begin(parts), std::end(parts), Digits))
        return false;
    DateParts p;
    p.year = Number(parts[0]);
    p.month = Number(parts[1]);
    p.day = Number(parts[2]);
    p.hour = Number(parts[3]);
    p.minute = Number(parts[4]);
    p.second = Number(parts[5]);
    if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31 || p.hour > 23 || p.minute > 59 ||
        p.second > 59)
        return false;
    time = dateFromParts(p);
    return MomentName(time) == name.substr(0, 17); // 31 February is no moment
}

int ListMoments(const std::string& versionsRoot, std::vector<VersionMoment>& out, bool counted)
{
    out.clear();
    platform::OpenFolder root;
    platform::FolderIdentity rootId;
    if (const int err = platform::openRootFolder(versionsRoot, root, rootId))
        return err;
    std::vector<platform::DirEntry> entries;
    if (const int err = platform::listFolderAt(root, entries))
        return err;
    for (const platform::DirEntry& e : entries) {
        VersionMoment m;
        if (!e.isFolder() || !ParseMomentName(e.name, m.time))
            continue;
        m.name = e.name;
        if (counted) {
            platform::OpenFolder folder;
            platform::FolderIdentity id;
            const platform::FolderIdentity expected = platform::identityOf(e);
            if (platform::openChildFolder(root, rootId, e.name, &expected, platform::MountCrossing::refuse,
                                          folder, id) == 0)
                (void)WalkMoment(folder, id, {},
                                 [&](const platform::DirEntry& item, const std::string&, bool empty) {
                                     if (!item.isFolder() || empty)
                                         ++m.items;
                                     if (item.type == platform::EntryType::File)
                                         m.bytes += item.size;
                                 });
        }
        out.push_back(std::move(m));
    }
    // Names sort as times do; a same-second suffix sorts by its number.
    std::stable_sort(out.begin(), out.end(), [](const VersionMoment& a, const VersionMoment& b) {
        if (a.time != b.time)
            return a.time < b.time;
        if (a.name.size() != b.name.size())
            return a.name.size() < b.name.size();
        return a.name < b.name;
    });
    return 0;
}

int ListMomentItems(const std::string& versionsRoot, const std::string& moment, std::vector<VersionItem>& out)
{
    out.clear();
    DateValue time = 0;
    if (!ParseMomentName(moment, time))
        return ENOENT;
    platform::OpenFolder folder;
    platform::FolderIdentity id;
    if (const int err = OpenMoment(versionsRoot, moment, folder, id))
        return err;
    return WalkMoment(folder, id, {}, [&](const platform::DirEntry& e, const std::string& path, bool) {
        VersionItem item;
        item.path = path;
        item.folder = e.isFolder();
        item.link = e.type == platform::EntryType::Symlink;
        item.size = e.isFolder() ? 0 : e.size;
        item.lastWrite = e.lastWrite;
        out.push_back(std::move(item));
    });
}

std::vector<VersionMoment> MomentsBeyondLimits(const std::vector<VersionMoment>& moments, DateValue now,
                                               int32_t keepDays, int32_t keepMoments)
{
    std::vector<VersionMoment> sorted = moments;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const VersionMoment& a, const VersionMoment& b) { return a.time < b.time; });
    std::vector<VersionMoment> out;
    const size_t count = sorted.size();
    for (size_t i = 0; i < count; ++i) {
        const bool tooOld = keepDays > 0 && sorted[i].time < now - keepDays;
        const bool tooMany = keepMoments > 0 && count - i > static_cast<size_t>(keepMoments);
        if (tooOld || tooMany)
            out.push_back(sorted[i]);
    }
    return out;
}

} // namespace kestrow
