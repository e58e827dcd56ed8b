// Keeping old versions: the moment folder of a Target's run, the items moved
// into it, and the limits applied when the run ends (engine/Versions.h).

#include "engine/perform/VersionKeeper.h"

#include "engine/FolderRoutines.h"
#include "engine/Versions.h"
#include "platform/Metadata.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

namespace kestrow::clone_detail {

namespace {

// Levels of the moment held open: enough that a walk's parents stay open while
// their subfolders are filled, well below the descriptors a process has.
constexpr size_t kLevelsHeld = 256;
// Same-named items kept twice in one moment (a name replaced twice in a run) get " (2)", " (3)"...
constexpr int kMaxSuffix = 100;

std::string Suffixed(const std::string& name, int n)
{
    return n == 1 ? name : name + " (" + std::to_string(n) + ")";
}

int OpenOrMake(const platform::OpenFolder& parent, const platform::FolderIdentity& parentId,
               const std::string& name, platform::OpenFolder& out, platform::FolderIdentity& id, bool& made)
{
    made = false;
    int err =
        platform::openChildFolder(parent, parentId, name, nullptr, platform::MountCrossing::refuse, out, id);
    if (err != ENOENT)
        return err;
    err = platform::makeFolderAt(parent, name, 0700);
    if (err && err != EEXIST)
        return err;
    made = err == 0;
    return platform::openChildFolder(parent, parentId, name, nullptr, platform::MountCrossing::refuse, out,
                                     id);
}

// The same for the moment's folders, which are almost never there yet: made first.
int MakeOrOpen(const platform::OpenFolder& parent, const platform::FolderIdentity& parentId,
               const std::string& name, uint32_t mode, platform::OpenFolder& out,
               platform::FolderIdentity& id, bool& made)
{
    const int err = platform::makeFolderAt(parent, name, mode);
    if (err && err != EEXIST)
        return err;
    made = err == 0;
    return platform::openChildFolder(parent, parentId, name, nullptr, platform::MountCrossing::refuse, out,
                                     id);
}

} // namespace

VersionKeeper::VersionKeeper(std::string targetRoot, std::string chosenFolder, HeldFolderPtr target)
    : m_targetRoot(std::move(targetRoot)), m_chosenFolder(std::move(chosenFolder)),
      m_target(std::move(target))
{
    m_versionsRoot = VersionsRootFor(m_targetRoot, m_chosenFolder);
}

VersionKeeper::~VersionKeeper() = default;

int VersionKeeper::begin(DateValue start)
{
    const std::lock_guard lock(m_mutex);
    if (!m_target)
        return ENOENT;
    bool made = false;
    if (m_chosenFolder.empty()) {
        // Made or not, the Target root keeps its times: the versions folder is no change of the Target.
        platform::FolderTimes times;
        const bool timed = platform::readFolderTimes(m_target->folder, times) == 0;
        if (const int err = OpenOrMake(m_target->folder, m_target->id, std::string(kVersionsFolderName),
                                       m_root.folder, m_root.id, made))
            return err;
        if (made && timed)
            (void)platform::applyFolderTimes(m_target->folder, times);
    } else {
        Level chosen;
        int err = platform::openRootFolder(m_chosenFolder, chosen.folder, chosen.id);
        if (err == ENOENT) {
            CreateFolderPath(m_chosenFolder);
            err = platform::openRootFolder(m_chosenFolder, chosen.folder, chosen.id);
        }
        if (err)
            return err;
        if ((err = OpenOrMake(chosen.folder, chosen.id, VersionsSubfolderName(m_targetRoot), m_root.folder,
                              m_root.id, made)))
            return err;
    }
    m_madeRoot = made;
    m_otherFileSystem = m_root.id.device != m_target->id.device;
    // The moment folder is made now: it proves the versions can be written before anything is touched.
    const std::string base = MomentName(start);
    int err = EEXIST;
    for (int n = 1; n <= kMaxSuffix && err == EEXIST; ++n) {
        m_moment = n == 1 ? base : base + ' ' + std::to_string(n);
        err = platform::makeFolderAt(m_root.folder, m_moment, 0700);
    }
    if (err)
        return err;
    if ((err = platform::openChildFolder(m_root.folder, m_root.id, m_moment, nullptr,
                                         platform::MountCrossing::refuse, m_momentLevel.folder,
                                         m_momentLevel.id)))
        return err;
    // The moment stands for the Target root as the run found it.
    stamp({}, m_momentLevel.folder, &m_target->folder);
    return 0;
}

bool VersionKeeper::InsideOneOf(const std::vector<platform::FolderIdentity>& roots) const
{
    if (m_chosenFolder.empty() || !m_root.folder.isOpen())
        return false;
    std::vector<platform::FolderIdentity> around;
    around.push_back(m_root.id);
    platform::ancestorIdentitiesThroughMounts(m_root.folder, around);
    return std::any_of(around.begin(), around.end(), [&](const platform::FolderIdentity& a) {
        return std::any_of(roots.begin(), roots.end(),
                           [&](const platform::FolderIdentity& r) { return r.known() && a.sameFolder(r); });
    });
}

int VersionKeeper::levelFor(const std::string& relative, const Level*& out,
                            const platform::OpenFolder* target)
{
    if (relative.empty()) {
        out = &m_momentLevel;
        return 0;
    }
    if (const auto it = m_index.find(relative); it != m_index.end()) {
        m_recent.splice(m_recent.begin(), m_recent, it->second);
        out = it->second->second.get();
        return 0;
    }
    // "a/b/": the parent "a/", the name "b".
    const size_t slash = relative.rfind('/', relative.size() - 2);
    const std::string parentPath = slash == std::string::npos ? std::string() : relative.substr(0, slash + 1);
    const std::string name = relative.substr(parentPath.size(), relative.size() - parentPath.size() - 1);
    const Level* parent = nullptr;
    if (const int err = levelFor(parentPath, parent))
        return err;
    auto level = std::make_unique<Level>();
    bool made = false;
    // Made with the bits its Target folder had (owner's all added) where they are known already.
    platform::FolderTimes noted;
    const uint32_t mode = notedTimes(relative, noted) ? (noted.permissions & 0777) | 0700 : 0700;
    if (const int err = MakeOrOpen(parent->folder, parent->id, name, mode, level->folder, level->id, made))
        return err;
    if (made) {
        m_made.push_back(relative);
        stamp(relative, level->folder, target);
    } else if (const auto bits = m_bits.find(relative); bits != m_bits.end()) {
        // Finished when it was let go: open for filling again.
        (void)platform::setFolderPermissions(level->folder, bits->second | S_IRWXU);
    }
    out = level.get();
    m_recent.emplace_front(relative, std::move(level));
    m_index[relative] = m_recent.begin();
    while (m_recent.size() > kLevelsHeld) {
        finishLevel(m_recent.back().first, *m_recent.back().second);
        m_index.erase(m_recent.back().first);
        m_recent.pop_back();
    }
    return 0;
}

void VersionKeeper::finishLevel(const std::string& relative, const Level& level)
{
    // Whatever goes into a moment's folder goes through its held level: once let go
    // it is whole, until it is held again (and then finished again).
    if (m_finished.contains(relative))
        return;
    if (const auto bits = m_bits.find(relative); bits != m_bits.end() && (bits->second & S_IRWXU) != S_IRWXU)
        (void)platform::setFolderPermissions(level.folder, bits->second);
    giveTimes(relative, level.folder);
}

int VersionKeeper::moveInto(const platform::OpenFolder& from, const std::string& name, const Level& to,
                            const std::string& toName)
{
    int err = EEXIST;
    std::string kept;
    for (int n = 1; n <= kMaxSuffix && err == EEXIST; ++n) {
        kept = Suffixed(toName, n);
        err = platform::renameAt(from, name, to.folder, kept, false);
    }
    if (err != EXDEV)
        return err;
    // Another file system (or mount): a whole copy, on disk, before the Target's entry goes.
    m_otherFileSystem = true;
    err = EEXIST;
    for (int n = 1; n <= kMaxSuffix && err == EEXIST; ++n) {
        kept = Suffixed(toName, n);
        platform::PathAttributes there;
        if (platform::entryAttributesAt(to.folder, kept, there) == 0)
            continue;
        err = platform::copyFileAt(from, name, to.folder, kept, platform::CopyFlavor::KeepEverything);
    }
    if (err)
        return err;
    if (const int syncErr = platform::syncAt(to.folder, kept); syncErr && syncErr != ENOTSUP) {
        (void)platform::deleteFileAt(to.folder, kept);
        return syncErr;
    }
    if (const int delErr = platform::deleteFileAt(from, name)) {
        (void)platform::deleteFileAt(to.folder, kept);
        return delErr;
    }
    return 0;
}

void VersionKeeper::stamp(const std::string& relative, const platform::OpenFolder& image,
                          const platform::OpenFolder* target)
{
    // Known only by its path below the Target root: opened level by level from there.
    platform::OpenFolder opened;
    if (!target) {
        platform::FolderIdentity id = m_target->id;
        const platform::OpenFolder* at = &m_target->folder;
        for (size_t from = 0; from < relative.size();) {
            const size_t slash = relative.find('/', from);
            platform::OpenFolder next;
            platform::FolderIdentity nextId;
            if (platform::openChildFolder(*at, id, relative.substr(from, slash - from), nullptr,
                                          platform::MountCrossing::allow, next, nextId) != 0)
                return;
            opened = std::move(next);
            id = nextId;
            at = &opened;
            from = slash + 1;
        }
        target = &opened;
    }
    uint32_t bits = 0;
    platform::FolderTimes times;
    if (platform::stampNewFolderLike(*target, image, bits, times) == 0) {
        // What was noted before the run changed the folder (its times, a write bit it
        // was given for an operation) stands; set-ID bits only as the stamp kept them.
        platform::FolderTimes noted;
        {
            const std::lock_guard timesLock(m_timesMutex);
            noted = m_times.try_emplace(relative, times).first->second;
        }
        m_bits[relative] = (noted.permissions & ~platform::kSetIdBits) | (bits & platform::kSetIdBits);
    }
}

void VersionKeeper::noteTimes(const platform::OpenFolder& folder, const std::string& relative)
{
    {
        const std::lock_guard timesLock(m_timesMutex);
        if (m_times.contains(relative))
            return;
    }
    platform::FolderTimes times;
    if (platform::readFolderTimes(folder, times) == 0) {
        const std::lock_guard timesLock(m_timesMutex);
        m_times.emplace(relative, times);
    }
}

bool VersionKeeper::notedTimes(const std::string& relative, platform::FolderTimes& out)
{
    const std::lock_guard timesLock(m_timesMutex);
    const auto it = m_times.find(relative);
    if (it == m_times.end())
        return false;
    out = it->second;
    return true;
}

void VersionKeeper::noteFolder(const platform::OpenFolder& folder, const std::string& relative)
{
    // Only the notes are shared here: the main thread never waits for a move into the moment.
    noteTimes(folder, relative);
}

void VersionKeeper::giveTimes(const std::string& relative, const platform::OpenFolder& image)
{
    platform::FolderTimes times;
    if (notedTimes(relative, times))
        (void)platform::applyFolderTimes(image, times);
}

int VersionKeeper::keep(const platform::OpenFolder& folder, const std::string& relative,
                        const std::string& name)
{
    const std::lock_guard lock(m_mutex);
    noteTimes(folder, relative);
    const Level* level = nullptr;
    if (const int err = levelFor(relative, level, &folder))
        return err;
    if (const int err = moveInto(folder, name, *level, name))
        return err;
    ++m_kept;
    return 0;
}

int VersionKeeper::removeFolder(const platform::OpenFolder& parent, const platform::FolderIdentity& parentId,
                                const std::string& relative, const std::string& name)
{
    const std::lock_guard lock(m_mutex);
    noteTimes(parent, relative);
    const Level* level = nullptr;
    if (const int err = levelFor(relative, level, &parent))
        return err;
    platform::PathAttributes there;
    const int look = platform::entryAttributesAt(level->folder, name, there);
    if (look == ENOENT) {
        const int err = platform::renameAt(parent, name, level->folder, name, false);
        if (err == 0) {
            ++m_kept;
            return 0;
        }
        if (err != EXDEV)
            return err;
        if (const int makeErr = platform::makeFolderAt(level->folder, name, 0700))
            return makeErr;
    } else if (look != 0) {
        return look;
    } else if (there.kind != platform::PathKind::Folder) {
        return EEXIST;
    }
    // Its contents went into the moment first: the moment's folder takes its metadata, then it goes.
    platform::OpenFolder gone, image;
    platform::FolderIdentity goneId, imageId;
    if (platform::openChildFolder(parent, parentId, name, nullptr, platform::MountCrossing::allow, gone,
                                  goneId) == 0 &&
        platform::openChildFolder(level->folder, level->id, name, nullptr, platform::MountCrossing::refuse,
                                  image, imageId) == 0) {
        platform::MetadataChanges changes;
        (void)platform::updateMetadataAt(gone, {}, image, {}, platform::CopyFlavor::KeepEverything, true,
                                         true, nullptr, changes);
        giveTimes(relative + name + '/', image);
    }
    gone.close();
    if (const int err = platform::removeFolderAt(parent, name))
        return err;
    m_finished.insert(relative + name + '/');
    ++m_kept;
    return 0;
}

void VersionKeeper::finishFolders()
{
    for (const auto& [relative, level] : m_recent)
        finishLevel(relative, *level);
    m_recent.clear();
    m_index.clear();
    finishLevel({}, m_momentLevel);
}

int VersionKeeper::end(DateValue now, int32_t keepDays, int32_t keepMoments,
                       const std::function<void(const std::string& moment, uint64_t items)>& removed,
                       std::string& failed)
{
    const std::lock_guard lock(m_mutex);
    failed.clear();
    if (!m_momentLevel.folder.isOpen())
        return 0;
    if (m_kept == 0) {
        // Nothing kept: no moment, and no versions folder when this run made it.
        m_momentLevel.folder.close();
        (void)platform::removeFolderAt(m_root.folder, m_moment);
        m_recent.clear();
        std::vector<platform::DirEntry> left;
        if (m_madeRoot && platform::listFolderAt(m_root.folder, left) == 0 && left.empty()) {
            m_root.folder.close();
            if (m_chosenFolder.empty()) {
                platform::FolderTimes times;
                const bool timed = platform::readFolderTimes(m_target->folder, times) == 0;
                if (platform::removeFolderAt(m_target->folder, std::string(kVersionsFolderName)) == 0 &&
                    timed)
                    (void)platform::applyFolderTimes(m_target->folder, times);
            } else {
                platform::OpenFolder chosen;
                platform::FolderIdentity chosenId;
                if (platform::openRootFolder(m_chosenFolder, chosen, chosenId) == 0)
                    (void)platform::removeFolderAt(chosen, VersionsSubfolderName(m_targetRoot));
            }
            return 0;
        }
    } else {
        finishFolders();
        m_recent.clear();
        m_momentLevel.folder.close();
    }
    if (!m_root.folder.isOpen() || (keepDays <= 0 && keepMoments <= 0))
        return 0;
    std::vector<platform::DirEntry> entries;
    if (const int err = platform::listFolderAt(m_root.folder, entries))
        return err;
    std::vector<VersionMoment> moments;
    for (const platform::DirEntry& e : entries) {
        VersionMoment m;
        if (e.isFolder() && ParseMomentName(e.name, m.time)) {
            m.name = e.name;
            moments.push_back(std::move(m));
        }
    }
    int firstErr = 0;
    for (const VersionMoment& m : MomentsBeyondLimits(moments, now, keepDays, keepMoments)) {
        if (m.name == m_moment)
            continue; // this run's own
        uint64_t items = 0;
        if (const int err = platform::removeTreeAt(m_root.folder, m_root.id, m.name, &items)) {
            if (!firstErr) {
                firstErr = err;
                failed = m.name;
            }
            continue;
        }
        removed(m.name, items);
    }
    return firstErr;
}

} // namespace kestrow::clone_detail
