#include "engine/RootPaths.h"

#include "engine/Filters.h"
#include "platform/DeviceId.h"
#include "platform/FileInfo.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <string_view>

namespace kestrow {

namespace {

struct Normal
{
    std::string path; // absolute, no trailing "/" except for "/" itself
    bool folder = false;
};

// The lexical normal form of the absolute path `absolute`. `folder` is set when the
// path ends with "/" or its last name is "." or "..".
Normal normalise(std::string_view absolute)
{
    std::vector<std::string_view> names;
    bool folder = absolute.empty() || absolute.back() == '/';
    size_t pos = 0;
    while (pos < absolute.size()) {
        size_t end = absolute.find('/', pos);
        if (end == std::string_view::npos)
            end = absolute.size();
        const std::string_view name = absolute.substr(pos, end - pos);
        pos = end + 1;
        if (name.empty())
            continue;
        const bool last = end == absolute.size();
        if (name == "." || name == "..") {
            if (name == ".." && !names.empty())
                names.pop_back();
            folder = folder || last;
            continue;
        }
        names.push_back(name);
    }
    Normal result;
    result.folder = folder;
    size_t length = 1;
    for (const std::string_view name : names)
        length += name.size() + 1;
    result.path.reserve(length);
    for (const std::string_view name : names) {
        result.path += '/';
        result.path += name;
    }
    if (result.path.empty())
        result.path = "/";
    return result;
}

std::string asFolderSpec(const std::string& normal)
{
    return normal == "/" ? normal : normal + '/';
}

// `absolute` with "." and ".." taken out as the kernel would take them: a ".."
// after a symbolic link leads to the parent of the link's folder, not back to
// where the link lies; after anything else it drops the name before it.
std::string withoutDotNames(const std::string& absolute)
{
    std::vector<std::string> names;
    auto joined = [&names] {
        std::string path;
        for (const std::string& name : names)
            path += '/' + name;
        return path.empty() ? std::string("/") : path;
    };
    size_t pos = 0;
    while (pos < absolute.size()) {
        size_t end = absolute.find('/', pos);
        if (end == std::string::npos)
            end = absolute.size();
        std::string name = absolute.substr(pos, end - pos);
        pos = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (name != "..") {
            names.push_back(std::move(name));
            continue;
        }
        if (names.empty())
            continue;
        if (const std::string prefix = joined();
            platform::pathKind(prefix, platform::FollowLinks::no) == platform::PathKind::Symlink) {
            const std::string resolved = platform::resolvedFolderPath(prefix);
            names.clear();
            for (size_t at = 1; at < resolved.size();) {
                const size_t slash = std::min(resolved.find('/', at), resolved.size());
                names.push_back(resolved.substr(at, slash - at));
                at = slash + 1;
            }
        }
        if (!names.empty())
            names.pop_back();
    }
    return joined();
}

} // namespace

std::string CanonicalFolderSpec(const std::string& path)
{
    if (path.empty())
        return {};
    if (path.front() == '/')
        return asFolderSpec(normalise(withoutDotNames(path)).path);
    const std::string cwd = platform::workingFolder();
    if (cwd.empty() || cwd.front() != '/')
        return {};
    return asFolderSpec(normalise(withoutDotNames(cwd + '/' + path)).path);
}

ItemPlace PlaceOfItem(const std::string& canonicalItem, const std::string& canonicalSourceRoot)
{
    if (canonicalSourceRoot.empty() || canonicalItem.empty())
        return ItemPlace::Outside;
    // The root ends with "/", so "/src/" never claims "/srcother".
    return canonicalItem.starts_with(canonicalSourceRoot) ? ItemPlace::Inside : ItemPlace::Outside;
}

bool CanonicalItem(const std::string& item, const std::string& canonicalSourceRoot, std::string& out)
{
    out.clear();
    if (item.empty())
        return false;
    const Normal normal = normalise(
        item.front() == '/' ? item : canonicalSourceRoot + (canonicalSourceRoot.empty() ? "/" : "") + item);
    const bool isRoot = !canonicalSourceRoot.empty() && asFolderSpec(normal.path) == canonicalSourceRoot;
    out = normal.folder || isRoot ? asFolderSpec(normal.path) : normal.path;
    return PlaceOfItem(out, canonicalSourceRoot) == ItemPlace::Inside;
}

std::vector<std::string> CanonicalItems(const std::string& specString, const std::string& canonicalSourceRoot,
                                        ItemRole role, size_t* refusedCount)
{
    const std::vector<std::string> raw =
        role == ItemRole::Include ? SplitSpecString(specString) : SplitString(specString, kSpecSeparator);
    std::vector<std::string> items;
    items.reserve(raw.size());
    std::string canonical;
    for (const std::string& item : raw) {
        if (item.empty()) {
            canonical.clear();
        } else if (!CanonicalItem(item, canonicalSourceRoot, canonical)) {
            if (refusedCount)
                ++*refusedCount;
            if (!gCloneLog)
                continue;
            if (role == ItemRole::Exclude)
                gCloneLog->Add(LogEntryType::FolderPathError, {}, canonical, {}, {}, 0,
                               "Exclude item is outside the Source folder.");
            else
                gCloneLog->Add(canonical.ends_with('/') ? LogEntryType::IncludeFilterFolderError
                                                        : LogEntryType::IncludeFilterFileError,
                               {}, canonical);
            continue;
        }
        if (std::find(items.begin(), items.end(), canonical) == items.end())
            items.push_back(canonical);
    }
    return items;
}

std::string CanonicalSpecString(const std::string& specString, const std::string& canonicalSourceRoot,
                                ItemRole role, size_t* refusedCount)
{
    std::string joined;
    const std::vector<std::string> items =
        CanonicalItems(specString, canonicalSourceRoot, role, refusedCount);
    for (size_t i = 0; i < items.size(); ++i)
        joined += (i == 0 ? "" : kSpecSeparator) + items[i];
    // One item that the older comma rule would read as several paths: a trailing
    // "<:>" keeps it whole (the empty item after it is no item).
    if (items.size() == 1 && role == ItemRole::Include && GetSpecSeparator(joined) != kSpecSeparator)
        joined += kSpecSeparator;
    return joined;
}

const char* RootsOverlapText(const std::string& source, const std::string& target)
{
    const std::string s = platform::resolvedFolderPath(source);
    const std::string t = platform::resolvedFolderPath(target);
    if (s == t)
        return "The Source and Target folders are the same folder.";
    if (platform::folderIsAtOrBelow(t, s))
        return "The Target folder lies inside the Source folder.";
    if (platform::folderIsAtOrBelow(s, t))
        return "The Source folder lies inside the Target folder.";
    return nullptr;
}

} // namespace kestrow
