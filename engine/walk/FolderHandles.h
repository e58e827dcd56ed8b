#pragma once
// The folders of a run, held open. Each root is opened once and held until the
// run's list is dropped; every other folder is opened from its parent's handle
// by its name (never through a link, never into a mount the listing did not
// see, never when it is no longer the folder that was listed), so whatever the
// trees do meanwhile, nothing outside the roots is reached. A bounded number of
// folders stay open (the roots and a small cache of the most recent), so a tree
// of any depth and width runs in a fixed number of descriptors.

#include "engine/cClone.h"
#include "platform/FolderAt.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kestrow::clone_detail {

// One folder held open, with what it is.
struct HeldFolder
{
    platform::OpenFolder folder;
    platform::FolderIdentity id;
    // The top of a mount: its trash folders (.Trash, .Trash-UID) are no part of the tree.
    bool mountTop = false;
    // A root of the run: the versions folder at its top is no part of the tree.
    bool root = false;
};
using HeldFolderPtr = std::shared_ptr<const HeldFolder>;

class FolderHandles
{
public:
    explicit FolderHandles(size_t capacity = 64) : m_capacity(capacity) {}
    FolderHandles(const FolderHandles&) = delete;
    FolderHandles& operator=(const FolderHandles&) = delete;

    // Opens and holds `root` (a FolderSpecRef::Root). Links in its text are
    // followed: the person chose it. 0 or errno; a root that could not be
    // opened is tried again when it is next asked for (a Target made by the run).
    int openRoot(const FolderSpecRef& root);

    // `folder` held open: a root, a folder known by text (opened by its path),
    // or a folder below a root, opened level by level from its nearest open
    // ancestor. Null with `err` set when it cannot be opened as the folder that
    // was listed (platform::kFolderReplaced, ELOOP, ENOENT, EACCES...).
    HeldFolderPtr open(const FolderSpecRef& folder, int& err);

    // open, with the way to `folder` checked afresh: its root's path must still
    // lead to the root held (else kFolderReplaced), and every level below it is
    // opened again by name from the root, so a folder moved away or swapped
    // since it was last opened is not reached through an old handle.
    HeldFolderPtr openVerified(const FolderSpecRef& folder, int& err);

    // open, with the levels of the way to `folder` that are not in `checked`
    // opened again by name from the nearest one that is (or the root), and then
    // added to it: each folder of a list is checked afresh once, whatever the
    // order its operations come in.
    HeldFolderPtr openChecked(const FolderSpecRef& folder, std::unordered_set<const void*>& checked,
                              int& err);

    // Drops `folder` from the cache (it was removed or is about to be made).
    void forget(const FolderSpecRef& folder);
    // Closes everything, the roots included.
    void clear();

private:
    struct Cached
    {
        FolderSpecRef ref; // keeps the node, and so its key, alive
        HeldFolderPtr held;
    };

    // With `lock` given, it is let go while the kernel opens a level.
    HeldFolderPtr openLocked(const FolderSpecRef& folder, int& err,
                             std::unique_lock<std::mutex>* lock = nullptr);
    HeldFolderPtr rootLocked(const FolderSpecRef& root, int& err);
    void remember(const FolderSpecRef& ref, HeldFolderPtr held);

    const size_t m_capacity;
    std::mutex m_mutex;
    std::unordered_map<uint32_t, Cached> m_roots;
    std::list<Cached> m_recent; // most recent first
    std::unordered_map<const void*, std::list<Cached>::iterator> m_index;
};

// The text logged when a folder cannot be opened as the one that was listed.
std::string FolderOpenErrorText(int err);

} // namespace kestrow::clone_detail
