#include "engine/walk/FolderHandles.h"

#include "base/ErrorReporter.h"

#include <algorithm>
#include <vector>

namespace kestrow::clone_detail {

namespace {

HeldFolderPtr OpenByPath(const std::string& path, int& err, bool root = false)
{
    auto held = std::make_shared<HeldFolder>();
    err = platform::openRootFolder(path, held->folder, held->id);
    if (err)
        return nullptr;
    held->mountTop = platform::isMountTop(held->folder, held->id);
    held->root = root;
    return held;
}

} // namespace

std::string FolderOpenErrorText(int err)
{
    if (err == platform::kFolderReplaced || err == ELOOP)
        return "The folder is no longer the one that was listed (a link or another folder took its place), "
               "so nothing in it was touched.";
    return GetSystemErrorMessage(err);
}

int FolderHandles::openRoot(const FolderSpecRef& root)
{
    std::lock_guard lock(m_mutex);
    m_roots.erase(root.rootId());
    int err = 0;
    rootLocked(root, err);
    return err;
}

HeldFolderPtr FolderHandles::rootLocked(const FolderSpecRef& root, int& err)
{
    err = 0;
    if (const auto it = m_roots.find(root.rootId()); it != m_roots.end())
        return it->second.held;
    HeldFolderPtr held = OpenByPath(*root, err, true);
    if (held)
        m_roots[root.rootId()] = Cached{root, held};
    return held;
}

void FolderHandles::remember(const FolderSpecRef& ref, HeldFolderPtr held)
{
    if (const auto it = m_index.find(ref.key()); it != m_index.end()) {
        m_recent.erase(it->second);
        m_index.erase(it);
    }
    m_recent.push_front(Cached{ref, std::move(held)});
    m_index[ref.key()] = m_recent.begin();
    while (m_recent.size() > m_capacity) {
        m_index.erase(m_recent.back().ref.key());
        m_recent.pop_back();
    }
}

HeldFolderPtr FolderHandles::open(const FolderSpecRef& folder, int& err)
{
    std::unique_lock lock(m_mutex);
    return openLocked(folder, err, &lock);
}

HeldFolderPtr FolderHandles::openLocked(const FolderSpecRef& folder, int& err,
                                        std::unique_lock<std::mutex>* lock)
{
    err = 0;
    if (folder.rootId() != 0)
        return rootLocked(folder, err);
    if (const auto it = m_index.find(folder.key()); it != m_index.end()) {
        m_recent.splice(m_recent.begin(), m_recent, it->second);
        return it->second->held;
    }
    if (!folder.parent()) {
        HeldFolderPtr held = OpenByPath(*folder, err);
        if (held)
            remember(folder, held);
        return held;
    }

    // Up to the nearest folder that is open (or a root), then down by name.
    std::vector<FolderSpecRef> chain{folder};
    HeldFolderPtr base;
    for (FolderSpecRef up = folder.parent();; up = up.parent()) {
        if (up.rootId() != 0 || !up.parent()) {
            base = openLocked(up, err);
            break;
        }
        if (const auto it = m_index.find(up.key()); it != m_index.end()) {
            base = it->second->held;
            break;
        }
        chain.push_back(up);
    }
    if (!base)
        return nullptr;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const FolderSpecRef& level = *it;
        auto held = std::make_shared<HeldFolder>();
        const platform::FolderIdentity expected{level.device(), level.inode(), 0};
        // The listing threads open folders side by side: the kernel's part runs unlocked.
        if (lock)
            lock->unlock();
        err = platform::openChildFolder(
            base->folder, base->id, std::string(level.name()), expected.known() ? &expected : nullptr,
            level.mountTop() ? platform::MountCrossing::allow : platform::MountCrossing::refuse, held->folder,
            held->id);
        if (lock)
            lock->lock();
        if (err)
            return nullptr;
        held->mountTop = level.mountTop() || (held->id.mount != 0 && held->id.mount != base->id.mount) ||
                         held->id.device != base->id.device;
        remember(level, held);
        base = std::move(held);
    }
    return base;
}

HeldFolderPtr FolderHandles::openVerified(const FolderSpecRef& folder, int& err)
{
    std::lock_guard lock(m_mutex);
    err = 0;
    FolderSpecRef top = folder;
    for (FolderSpecRef up = folder; up; up = up.parent()) {
        top = up;
        if (up.rootId() == 0 && up.parent()) {
            if (const auto it = m_index.find(up.key()); it != m_index.end()) {
                m_recent.erase(it->second);
                m_index.erase(it);
            }
        }
    }
    if (top.rootId() != 0) {
        const HeldFolderPtr held = rootLocked(top, err);
        if (!held)
            return nullptr;
        platform::OpenFolder now;
        platform::FolderIdentity id;
        if (platform::openRootFolder(*top, now, id) != 0 || !id.sameFolder(held->id)) {
            err = platform::kFolderReplaced; // the root was moved away or replaced since it was opened
            return nullptr;
        }
    }
    return openLocked(folder, err);
}

HeldFolderPtr FolderHandles::openChecked(const FolderSpecRef& folder,
                                         std::unordered_set<const void*>& checked, int& err)
{
    std::lock_guard lock(m_mutex);
    err = 0;
    // The levels not yet checked, nearest the root first.
    std::vector<FolderSpecRef> levels;
    for (FolderSpecRef up = folder; up && up.rootId() == 0 && up.parent() && !checked.contains(up.key());
         up = up.parent())
        levels.push_back(up);
    std::reverse(levels.begin(), levels.end());
    // A level still open is checked with one look at its name in the level above
    // (a link, another folder or a mount there shows another identity); from the
    // first that fails, or is not open, the rest are opened afresh.
    size_t kept = 0;
    for (; kept < levels.size(); ++kept) {
        const FolderSpecRef& level = levels[kept];
        const auto self = m_index.find(level.key());
        const FolderSpecRef parent = level.parent();
        HeldFolderPtr above;
        if (parent.rootId() != 0) {
            if (const auto it = m_roots.find(parent.rootId()); it != m_roots.end())
                above = it->second.held;
        } else if (const auto it = m_index.find(parent.key()); it != m_index.end()) {
            above = it->second->held;
        }
        platform::FolderIdentity now;
        if (self == m_index.end() || !above ||
            platform::entryIdentityAt(above->folder, std::string(level.name()), now) != 0 ||
            !now.sameFolder(self->second->held->id))
            break;
        checked.insert(level.key());
    }
    for (size_t i = kept; i < levels.size(); ++i) {
        if (const auto it = m_index.find(levels[i].key()); it != m_index.end()) {
            m_recent.erase(it->second);
            m_index.erase(it);
        }
    }
    HeldFolderPtr held = openLocked(folder, err);
    if (held)
        for (size_t i = kept; i < levels.size(); ++i)
            checked.insert(levels[i].key());
    return held;
}

void FolderHandles::forget(const FolderSpecRef& folder)
{
    std::lock_guard lock(m_mutex);
    if (folder.rootId() != 0) {
        m_roots.erase(folder.rootId());
        return;
    }
    if (const auto it = m_index.find(folder.key()); it != m_index.end()) {
        m_recent.erase(it->second);
        m_index.erase(it);
    }
}

void FolderHandles::clear()
{
    std::lock_guard lock(m_mutex);
    m_index.clear();
    m_recent.clear();
    m_roots.clear();
}

} // namespace kestrow::clone_detail
