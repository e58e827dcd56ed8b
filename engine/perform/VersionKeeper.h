#pragma once
// The versions folder of one Target's run: the moment folder made when the run
// begins, the items the run deletes or replaces moved into it at their paths
// relative to the Target root, and, when the run ends, the moment's folders
// given the metadata of the folders they stand for, an empty moment removed
// and the old moments beyond the limits removed. Safe to call from the copy
// threads.

#include "base/DateTime.h"
#include "engine/walk/FolderHandles.h"
#include "platform/FolderAt.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kestrow::clone_detail {

class VersionKeeper
{
public:
    // `versionsRoot` is VersionsRootFor(targetRoot, `chosenFolder`); `targetRoot`
    // the Target root held by the run.
    VersionKeeper(std::string targetRoot, std::string chosenFolder, HeldFolderPtr target);
    ~VersionKeeper();
    VersionKeeper(const VersionKeeper&) = delete;
    VersionKeeper& operator=(const VersionKeeper&) = delete;

    // Opens the versions folder (made, private, when missing) and makes this
    // run's moment folder in it, named by `start`: 0, or the errno that keeps
    // the versions from being written (the run must not touch the Target then).
    int begin(DateValue start);
    const std::string& VersionsRoot() const { return m_versionsRoot; }
    std::string MomentFolder() const { return m_versionsRoot + m_moment + '/'; }
    // Whether the versions are on another file system than the Target: each
    // kept item is copied there and then removed.
    bool OtherFileSystem() const { return m_otherFileSystem; }
    // Whether a chosen versions folder is one of the folders `roots`, or lies inside one.
    bool InsideOneOf(const std::vector<platform::FolderIdentity>& roots) const;

    // Moves entry `name` (a file, link or special file) of the Target folder
    // `folder`, `relative` to the Target root ("" or "a/b/"), into the moment.
    // 0, or errno with the entry left where it was.
    int keep(const platform::OpenFolder& folder, const std::string& relative, const std::string& name);

    // Notes the times of Target folder `folder` (`relative` to the root) before the
    // run first changes it: a moment folder made for it later takes these.
    void noteFolder(const platform::OpenFolder& folder, const std::string& relative);

    // Records the removal of empty folder `name` of `parent` (`relative` is
    // the parent's): the folder goes into the moment, or, when its contents
    // went there first, gives it its metadata and is removed. 0 or errno (the
    // folder stays).
    int removeFolder(const platform::OpenFolder& parent, const platform::FolderIdentity& parentId,
                     const std::string& relative, const std::string& name);

    // The end of the Target's run: the moment's folders get their Target
    // folders' metadata, an empty moment (and a versions folder this run made)
    // is removed, then the moments beyond the limits, oldest first, each
    // reported through `removed` (moment name, items). Returns the errno of a
    // moment that could not be removed (0 when all went), its name in `failed`.
    int end(DateValue now, int32_t keepDays, int32_t keepMoments,
            const std::function<void(const std::string& moment, uint64_t items)>& removed,
            std::string& failed);

    uint64_t Kept() const { return m_kept; }

private:
    struct Level
    {
        platform::OpenFolder folder;
        platform::FolderIdentity id;
    };
    // The moment's folder for `relative`, made (private) level by level when missing;
    // `target`, when given, is the Target folder it stands for.
    int levelFor(const std::string& relative, const Level*& out,
                 const platform::OpenFolder* target = nullptr);
    // A moment folder just made for `relative` takes the owner, attributes and
    // permissions its Target folder has now (its bits and times when it is let go).
    void stamp(const std::string& relative, const platform::OpenFolder& image,
               const platform::OpenFolder* target);
    int moveInto(const platform::OpenFolder& from, const std::string& name, const Level& to,
                 const std::string& toName);
    void finishFolders();

    const std::string m_targetRoot;
    const std::string m_chosenFolder;
    const HeldFolderPtr m_target;
    std::string m_versionsRoot;
    std::string m_moment;
    Level m_root; // the versions root
    Level m_momentLevel;
    bool m_madeRoot = false;
    bool m_otherFileSystem = false;
    uint64_t m_kept = 0;

    std::mutex m_mutex;
    // Recently used levels of the moment by relative path ("" is the moment).
    std::list<std::pair<std::string, std::unique_ptr<Level>>> m_recent;
    std::unordered_map<std::string, std::list<std::pair<std::string, std::unique_ptr<Level>>>::iterator>
        m_index;
    std::vector<std::string> m_made;            // moment folders made, parents first
    std::unordered_set<std::string> m_finished; // those that took a removed folder's metadata
    // The times of each Target folder as the run found it, taken before the first entry left it.
    std::unordered_map<std::string, platform::FolderTimes> m_times; // under m_timesMutex
    std::mutex m_timesMutex;                                        // taken after m_mutex when both are
    bool notedTimes(const std::string& relative, platform::FolderTimes& out);
    // The permission bits each moment folder is to end with (it is writable while held).
    std::unordered_map<std::string, uint32_t> m_bits;
    // Its permission bits and times given to a moment's folder that is let go.
    void finishLevel(const std::string& relative, const Level& level);
    void noteTimes(const platform::OpenFolder& folder, const std::string& relative);
    void giveTimes(const std::string& relative, const platform::OpenFolder& image);
};

} // namespace kestrow::clone_detail
