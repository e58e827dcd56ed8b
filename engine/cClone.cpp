#include "engine/cClone.h"

#include "app/services/AppState.h"
#include "app/services/ErrorReporter.h"
#include "app/services/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/FolderRoutines.h"
#include "engine/Listing.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/WorkerPool.h"
#include "engine/cCompare.h"
#include "engine/modCompare.h"
#include "platform/DeviceId.h"
#include "platform/FileCompare.h"
#include "platform/FileInfo.h"
#include "platform/FileOps.h"
#include "platform/InstanceLock.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_set>

namespace kestrow {

cClone* gClone = nullptr;

namespace {

const std::string kEmptyText;

} // namespace

// ---------------------------------------------------------------------------
// FileOp

// A run plans one per file: a million of them stay under 100 bytes each.
static_assert(sizeof(FileOp) <= 72);

const std::string& FileOp::SourceFolderSpec() const
{
    return SourceFolder ? *SourceFolder : kEmptyText;
}

const std::string& FileOp::TargetFolderSpec() const
{
    return TargetFolder ? *TargetFolder : kEmptyText;
}

std::string FileOp::SourceFileSpec() const
{
    return OpType == FileOpCopy && SourceFolder ? *SourceFolder + FileName : std::string();
}

std::string FileOp::TargetFileSpec() const
{
    return (OpType == FileOpCopy || OpType == FileOpDelete) && TargetFolder ? *TargetFolder + FileName
                                                                            : std::string();
}

// ---------------------------------------------------------------------------
// Shared helpers

namespace clone_detail {

void LogAdd(LogEntryType type, const std::string& file, const std::string& src, const std::string& tgt,
            int32_t errorNum, const std::string& errorMsg, const std::string& custom)
{
    if (gCloneLog)
        gCloneLog->Add(type, {}, file, src, tgt, errorNum, errorMsg, custom);
}

void LogListingError(const std::string& folder, int err)
{
    if (IsAccessDenied(err))
        LogAdd(LogEntryType::GetSubFoldersError, folder, {}, {}, errnum::PermissionDenied,
               "Permission is Denied");
    else if (IsMissingError(err))
        LogAdd(LogEntryType::GetSubFoldersError, folder, {}, {}, errnum::PathNotFound,
               "Path Not Found/Permission is Denied");
    else
        LogAdd(LogEntryType::GetSubFoldersError, folder, {}, {}, err, GetSystemErrorMessage(err));
}

bool IsRealFolder(const std::string& folderSpec)
{
    return platform::pathKind(WithoutTrailingSlash(folderSpec)) == platform::PathKind::Folder;
}

bool IsTrashEntry(const HeldFolder& folder, const platform::DirEntry& entry)
{
    return folder.mountTop && entry.isFolder() && IsTrashFolderName(entry.name);
}

FolderSpecRef ChildRef(const FolderSpecRef& parent, const HeldFolder* parentHeld, const platform::DirEntry& entry)
{
    bool mountTop = false;
    if (parentHeld)
        mountTop = (entry.mount != 0 && parentHeld->id.mount != 0 && entry.mount != parentHeld->id.mount) ||
                   entry.device != parentHeld->id.device;
    return FolderSpecRef::Child(parent, entry.name, entry.device, entry.inode, mountTop);
}

namespace {

std::shared_ptr<FolderListing> IndexListing(HeldFolderPtr held, std::vector<platform::DirEntry> entries, int error)
{
    auto listing = std::make_shared<FolderListing>();
    listing->error = error;
    listing->held = std::move(held);
    if (error)
        return listing; // a partial listing is no ground for deciding what is missing
    listing->entries = std::move(entries);
    if (listing->held && listing->held->mountTop)
        std::erase_if(listing->entries,
                      [&](const platform::DirEntry& e) { return IsTrashEntry(*listing->held, e); });
    listing->byName.reserve(listing->entries.size());
    for (const platform::DirEntry& e : listing->entries)
        listing->byName.emplace(e.name, &e);
    return listing;
}

// Opens and lists one folder; the errno of whichever failed.
int ListHeld(FolderHandles& handles, const FolderSpecRef& folder, HeldFolderPtr& held,
             std::vector<platform::DirEntry>& entries)
{
    int err = 0;
    held = handles.open(folder, err);
    if (!held)
        return err;
    return platform::listFolderAt(held->folder, entries);
}

} // namespace

std::shared_ptr<FolderListing> ListIndexed(FolderHandles& handles, const FolderSpecRef& folder)
{
    std::vector<platform::DirEntry> entries;
    HeldFolderPtr held;
    const int error = ListHeld(handles, folder, held, entries);
    return IndexListing(std::move(held), std::move(entries), error);
}

const FolderListing& ListingCache::get(const FolderSpecRef& folder)
{
    if (const auto it = m_listings.find(*folder); it != m_listings.end())
        return *it->second;
    // Items arrive folder by folder; a handful of recent folders is enough.
    if (m_listings.size() >= 16)
        m_listings.clear();
    return *m_listings.emplace(*folder, ListIndexed(m_handles, folder)).first->second;
}

bool IsHeldFolderEmpty(FolderHandles& handles, const FolderSpecRef& folder)
{
    const auto listing = ListIndexed(handles, folder);
    return listing->error != 0 || listing->entries.empty();
}

ExclusionRules MakeExclusionRules(const std::string& sourceRoot, const std::string& excludeFileSpecs,
                                  const std::string& excludeFileMasks)
{
    ExclusionRules rules;
    // Spelt as the walk spells the Source's paths, whatever the person typed.
    for (std::string& item : CanonicalItems(excludeFileSpecs, WithTrailingSlash(sourceRoot), ItemRole::Exclude)) {
        if (!item.empty())
            rules.items.push_back(std::move(item));
    }
    FillColWithParsedStringElems(rules.masks, excludeFileMasks, ",");
    return rules;
}

namespace {

// The text logged for a comparison failure code, as the comparison methods give it.
std::string ComparisonFailureText(uint32_t code)
{
    if (code <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        std::string text = platform::errnoText(static_cast<int>(code));
        if (!text.empty())
            return text;
    }
    return platform::FileComparer().errorText(code);
}

// Whether the pair is the same by a verdict made ahead; a failure is logged as the
// comparison method logs it.
bool SameByVerdict(const ContentVerdict& verdict, LogEntryType failureKind, const std::string& sourceFolder,
                   const std::string& targetFolder, const std::string& name, bool& error)
{
    if (verdict.kind == ContentVerdict::Failed) {
        error = true;
        LogAdd(failureKind, name, sourceFolder, targetFolder, static_cast<int32_t>(verdict.code),
               ComparisonFailureText(verdict.code));
    }
    return verdict.kind == ContentVerdict::Same;
}

} // namespace

bool PairNeedsCopy(const cClone& clone, const std::string& sourceFolder, const std::string& targetFolder,
                   const platform::DirEntry& source, const platform::DirEntry& target, bool& error,
                   const ContentVerdict* ahead, const HeldFolder* from, const HeldFolder* to)
{
    const cCompare& options = CompareOptions();
    const int32_t newer = CompareFilesUsingTimestamp(source, target, options.IgnoreFAT_NTFS_TwoSecDiff(),
                                                     options.IgnoreFAT_NTFS_DaylightSavings());
    bool same = false;
    if (source.type != target.type) {
        same = false; // a file against a link or a FIFO is never the same
    } else if (source.type == platform::EntryType::Symlink) {
        std::string a, b;
        if (from && to)
            same = platform::readLinkAt(from->folder, source.name, a) == 0 &&
                   platform::readLinkAt(to->folder, target.name, b) == 0 && a == b;
        else
            same = platform::readLinkText(sourceFolder + source.name, a) == 0 &&
                   platform::readLinkText(targetFolder + target.name, b) == 0 && a == b;
    } else {
        switch (options.CompareMethod()) {
        case CompareMethodSize:
            same = AreFilesSameUsingSize(source, target);
            break;
        case CompareMethodContents:
            if (ahead && ahead->method == CompareMethodContents && ahead->kind != ContentVerdict::NotMade)
                same = SameByVerdict(*ahead, LogEntryType::ContentCompareError, sourceFolder, targetFolder,
                                     source.name, error);
            else
                same = AreFilesSameUsingContents(sourceFolder, targetFolder, source.name, error);
            break;
        case CompareMethodCRC32:
            if (ahead && ahead->method == CompareMethodCRC32 && ahead->kind != ContentVerdict::NotMade)
                same = SameByVerdict(*ahead, LogEntryType::CrcCompareError, sourceFolder, targetFolder,
                                     source.name, error);
            else
                same = AreFilesSameUsingCRC32(sourceFolder, targetFolder, source.name, error);
            break;
        default:
            same = newer == 0;
            break;
        }
    }
    if (!same && clone.CopyOnlyIfNewer() && newer != 1)
        same = true;
    return !same;
}

} // namespace clone_detail

using namespace clone_detail;

// ---------------------------------------------------------------------------
// The tree walk

namespace {

enum class Side : uint8_t
{
    Present,
    Missing,
    Unknown
};

platform::DirEntry FolderEntryNamed(bool hidden)
{
    platform::DirEntry e;
    e.type = platform::EntryType::Folder;
    e.hidden = hidden;
    return e;
}

// Lists the folders the walk will come to next on other threads (one per core,
// at most four), while the walk's own thread compares, or lists too when it
// catches up: the kernel works on several folders at once. Only folders the walk
// is sure to list are asked for, and only a few dozen run ahead, so memory stays
// small on any tree. The walk takes each listing in its own order and reports
// its errors itself.
class ListingPrefetcher
{
public:
    explicit ListingPrefetcher(FolderHandles& handles) : m_handles(handles) {}
    ListingPrefetcher(const ListingPrefetcher&) = delete;
    ListingPrefetcher& operator=(const ListingPrefetcher&) = delete;
    ~ListingPrefetcher()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_workReady.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

    // `folder` will be listed (by take) before long.
    void request(const FolderSpecRef& folder)
    {
        {
            std::lock_guard lock(m_mutex);
            auto [it, added] = m_slots.try_emplace(&*folder);
            if (!added)
                return; // asked for already
            it->second = std::make_unique<Slot>();
            it->second->folder = folder;
            m_queue.push_back(it->second.get());
        }
        if (m_threads.empty()) {
            const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
            for (unsigned i = 0; i < count; ++i)
                m_threads.emplace_back([this] { work(); });
        }
        m_workReady.notify_one();
    }

    // The listing of `folder`: the one made ahead, or one made now.
    std::shared_ptr<FolderListing> take(const FolderSpecRef& folder)
    {
        std::unique_lock lock(m_mutex);
        const auto it = m_slots.find(&*folder);
        if (it == m_slots.end()) {
            lock.unlock();
            return ListIndexed(m_handles, folder);
        }
        std::unique_ptr<Slot> slot = std::move(it->second);
        m_slots.erase(it);
        if (slot->state == Slot::Queued) {
            // Not begun: listed here rather than waited for.
            std::erase(m_queue, slot.get());
            lock.unlock();
            return ListIndexed(m_handles, folder);
        }
        while (slot->state != Slot::Done) {
            m_walkWaiting = true;
            m_listed.wait(lock);
            m_walkWaiting = false;
        }
        --m_ready;
        lock.unlock();
        m_workReady.notify_one(); // room for one more ahead
        return IndexListing(std::move(slot->held), std::move(slot->entries), slot->error);
    }

    // `folder` will not be taken after all: its listing, begun or not, is dropped.
    void discard(const FolderSpecRef& folder)
    {
        std::unique_lock lock(m_mutex);
        const auto it = m_slots.find(&*folder);
        if (it == m_slots.end())
            return;
        std::unique_ptr<Slot> slot = std::move(it->second);
        m_slots.erase(it);
        if (slot->state == Slot::Queued) {
            std::erase(m_queue, slot.get());
            return;
        }
        while (slot->state != Slot::Done) {
            m_walkWaiting = true;
            m_listed.wait(lock);
            m_walkWaiting = false;
        }
        --m_ready;
        lock.unlock();
        m_workReady.notify_one();
    }

private:
    static constexpr size_t kAhead = 32;

    struct Slot
    {
        enum State : uint8_t { Queued, Running, Done };
        FolderSpecRef folder;
        State state = Queued;
        int error = 0;
        HeldFolderPtr held;
        std::vector<platform::DirEntry> entries;
    };

    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_stopping)
                return;
            if (m_queue.empty() || m_ready >= kAhead) {
                m_workReady.wait(lock);
                continue;
            }
            Slot* slot = m_queue.front();
            m_queue.pop_front();
            slot->state = Slot::Running;
            lock.unlock();
            std::vector<platform::DirEntry> entries;
            HeldFolderPtr held;
            const int error = ListHeld(m_handles, slot->folder, held, entries);
            lock.lock();
            slot->held = std::move(held);
            slot->entries = std::move(entries);
            slot->error = error;
            slot->state = Slot::Done;
            ++m_ready;
            if (m_walkWaiting)
                m_listed.notify_one();
        }
    }

    FolderHandles& m_handles;
    std::mutex m_mutex;
    std::condition_variable m_workReady; // the listing threads wait here
    std::condition_variable m_listed;    // the walk waits here
    std::unordered_map<const std::string*, std::unique_ptr<Slot>> m_slots;
    std::deque<Slot*> m_queue;
    size_t m_ready = 0; // done and not yet taken
    bool m_walkWaiting = false;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// The comparison of one pair of regular files by contents or CRC-32, made on a
// pool thread ahead of the walk: reads only, logs nothing. Anything but two
// regular files is left to the comparison by path, which judges links and
// special files without opening them.
struct ContentJob : PoolJob
{
    HeldFolderPtr from, to;
    const platform::DirEntry* target = nullptr; // the pair's Target entry (its name is the Source's)
    ContentVerdict verdict;

    void run() noexcept override
    {
        try {
            thread_local platform::FileComparer comparer;
            const std::string& name = target->name;
            auto failure = [&]() {
                const uint32_t code = comparer.lastError();
                if (code == ENOTSUP || code == EISDIR)
                    return ContentVerdict::NotMade;
                if (code == 0 || code == platform::FileComparer::kDifferentCode)
                    return ContentVerdict::Different;
                verdict.code = code;
                return ContentVerdict::Failed;
            };
            comparer.reset();
            if (verdict.method == CompareMethodContents) {
                const int result = comparer.compareFilesIn(from->folder, to->folder, name);
                verdict.kind = result == 0   ? ContentVerdict::Same
                               : result == 1 ? ContentVerdict::Different
                                             : failure();
                return;
            }
            const int64_t sourceCrc = comparer.crc32OfFileIn(from->folder, name);
            if (sourceCrc == -1) {
                verdict.kind = failure();
                return; // the Target is not read once the Source has failed
            }
            comparer.reset();
            const int64_t targetCrc = comparer.crc32OfFileIn(to->folder, name);
            if (targetCrc == -1) {
                verdict.kind = failure();
                return;
            }
            verdict.kind = sourceCrc == targetCrc ? ContentVerdict::Same : ContentVerdict::Different;
        } catch (...) {
            verdict.kind = ContentVerdict::NotMade;
        }
    }
};

class FolderPairWork
{
public:
    FolderPairWork(cClone& clone, const ExclusionRules* exclusions) : m_clone(clone), m_ex(exclusions) {}

    // The files of one folder pair (both listed). True on error or cancel.
    bool CompareFiles(const FolderSpecRef& src, const FolderSpecRef& tgt, const FolderListing& sl,
                      const FolderListing& tl, bool noDelete)
    {
        RunHost& host = runHost();
        const bool deleting = m_clone.DeleteMethod() != 2 && !noDelete;
        bool error = false;
        int32_t reason = SkipReasonNone;
        ContentsAhead ahead(*this, src, sl, tl);
        for (const platform::DirEntry& t : tl.entries) {
            m_clone.CountScannedEntry();
            if (!t.isFolder()) {
                ++m_clone.TargetFilesListed;
                const platform::DirEntry* s = nullptr;
                if (IsFindDataSkipped(t, reason)) {
                    LogSkip(SkipSubject::TargetFile, reason, *tgt + t.name);
                } else if (m_ex && FileMatchesPatternInCollection(t.name, m_ex->masks)) {
                    // excluded by name: neither compared nor deleted
                } else if (!(s = sl.file(t.name))) {
                    // An excluded item is left alone on both sides.
                    if (deleting && !(m_ex && !m_ex->items.empty() &&
                                      DoesFileMatchExclusionSpecs(*src + t.name, m_ex->items)))
                        m_clone.AddDeleteOp(tgt, t.name);
                } else if (IsFindDataSkipped(*s, reason)) {
                    LogSkip(SkipSubject::SourceFile, reason, *src + s->name);
                } else if (m_ex && !m_ex->items.empty() &&
                           DoesFileMatchExclusionSpecs(*src + s->name, m_ex->items)) {
                    // excluded by path: left alone
                } else {
                    m_clone.CountScannedEntry();
                    bool failed = false;
                    if (PairNeedsCopy(m_clone, *src, *tgt, *s, t, failed, ahead.verdictFor(t), sl.held.get(),
                                      tl.held.get())) {
                        const CloneEntryState state{s->size, s->lastWrite};
                        m_clone.AddCopyOp(src, tgt, s->name, &state, s->type == platform::EntryType::File, true);
                    }
                    error = error || failed;
                }
            }
            host.processEvents();
            if (IsCloneCancelled())
                return true;
        }
        for (const platform::DirEntry& s : sl.entries) {
            m_clone.CountScannedEntry();
            if (!s.isFolder() && !tl.file(s.name)) {
                if (IsFindDataSkipped(s, reason)) {
                    LogSkip(SkipSubject::SourceFile, reason, *src + s.name);
                } else if (!(m_ex && m_ex->fileExcluded(*src + s.name, s.name))) {
                    const CloneEntryState state{s.size, s.lastWrite};
                    m_clone.AddCopyOp(src, tgt, s.name, &state, s.type == platform::EntryType::File);
                }
            }
            host.processEvents();
            if (IsCloneCancelled())
                return true;
        }
        return error;
    }

    // An orphan Target folder: its files are deleted, then the folder, unless a
    // file is kept. True on cancel.
    bool AddTargetContents(const FolderSpecRef& src, const FolderSpecRef& tgt, const FolderListing& tl)
    {
        RunHost& host = runHost();
        bool kept = false;
        int32_t reason = SkipReasonNone;
        for (const platform::DirEntry& t : tl.entries) {
            m_clone.CountScannedEntry();
            if (!t.isFolder()) {
                ++m_clone.TargetFilesListed;
                if (IsFindDataSkipped(t, reason)) {
                    LogSkip(SkipSubject::TargetFile, reason, *tgt + t.name);
                    kept = true;
                } else if (m_ex && (FileMatchesPatternInCollection(t.name, m_ex->masks) ||
                                    (src && !m_ex->items.empty() &&
                                     DoesFileMatchExclusionSpecs(*src + t.name, m_ex->items)))) {
                    kept = true;
                } else {
                    m_clone.AddDeleteOp(tgt, t.name);
                }
            }
            host.processEvents();
            if (IsCloneCancelled())
                return true;
        }
        if (!kept)
            m_clone.AddRemoveFolderOp(tgt);
        return false;
    }

    // A Source folder missing in the Target: create it, copy its files. True on cancel.
    bool AddSourceContents(const FolderSpecRef& src, const FolderSpecRef& tgt, const FolderListing& sl)
    {
        RunHost& host = runHost();
        if (!m_clone.CreateFolderFileOpAlreadyAdded(*tgt))
            m_clone.AddCreateFolderOp(src, tgt);
        int32_t reason = SkipReasonNone;
        for (const platform::DirEntry& s : sl.entries) {
            m_clone.CountScannedEntry();
            if (!s.isFolder()) {
                if (IsFindDataSkipped(s, reason)) {
                    LogSkip(SkipSubject::SourceFile, reason, *src + s.name);
                } else if (!(m_ex && m_ex->fileExcluded(*src + s.name, s.name))) {
                    const CloneEntryState state{s.size, s.lastWrite};
                    m_clone.AddCopyOp(src, tgt, s.name, &state, s.type == platform::EntryType::File);
                }
            }
            host.processEvents();
            if (IsCloneCancelled())
                return true;
        }
        return false;
    }

protected:
    // Comparisons by contents or CRC-32 of one folder pair, made on the pool's
    // threads a bounded number ahead of the loop that takes them in its order.
    // Every one begun is waited for before the folder pair is left.
    class ContentsAhead
    {
    public:
        ContentsAhead(FolderPairWork& work, const FolderSpecRef& src, const FolderListing& sl,
                      const FolderListing& tl)
            : m_work(work)
        {
            m_method = CompareOptions().CompareMethod();
            if (m_method != CompareMethodContents && m_method != CompareMethodCRC32)
                return;
            // The pairs the loop will compare, met in the loop's order with the loop's tests.
            int32_t reason = SkipReasonNone;
            const ExclusionRules* ex = work.m_ex;
            for (const platform::DirEntry& t : tl.entries) {
                if (t.isFolder() || t.type != platform::EntryType::File || IsFindDataSkipped(t, reason) ||
                    (ex && FileMatchesPatternInCollection(t.name, ex->masks)))
                    continue;
                const platform::DirEntry* s = sl.file(t.name);
                if (!s || s->type != platform::EntryType::File || IsFindDataSkipped(*s, reason) ||
                    (ex && !ex->items.empty() && DoesFileMatchExclusionSpecs(*src + s->name, ex->items)))
                    continue;
                m_pairs.push_back(&t);
            }
            if (m_pairs.empty() || !sl.held || !tl.held) {
                m_pairs.clear();
                return;
            }
            HeldFolderPtr from = sl.held;
            HeldFolderPtr to = tl.held;
            m_from = std::move(from);
            m_to = std::move(to);
            // One pair gains nothing from a thread: it is compared when it is asked for.
            if (m_pairs.size() >= 2) {
                work.startPool();
                m_pooled = true;
            }
            topUp();
        }
        // Left early (a cancel): what no thread has begun is taken back, the rest waited for.
        ~ContentsAhead()
        {
            if (!m_pooled)
                return;
            for (ContentJob& job : m_jobs) {
                if (!m_work.m_pool->withdraw(job))
                    m_work.m_pool->wait(job);
            }
        }

        // The verdict made ahead for the pair of Target entry `t`, or null.
        const ContentVerdict* verdictFor(const platform::DirEntry& t)
        {
            if (m_jobs.empty() || m_jobs.front().target != &t)
                return nullptr;
            if (m_pooled)
                m_work.m_pool->wait(m_jobs.front());
            else
                m_jobs.front().run();
            m_current = m_jobs.front().verdict;
            m_bytesAhead -= t.size;
            m_jobs.pop_front();
            topUp();
            return &m_current;
        }

    private:
        // How far ahead: pairs, and bytes of each side (at least two pairs, so two
        // large files are read at once), so a cancel is not kept waiting long.
        static constexpr size_t kAhead = 64;
        static constexpr uint64_t kBytesAhead = 64ull << 20;

        void topUp()
        {
            while (m_next < m_pairs.size() && m_jobs.size() < kAhead &&
                   (m_jobs.size() < 2 || m_bytesAhead < kBytesAhead)) {
                m_bytesAhead += m_pairs[m_next]->size;
                ContentJob& job = m_jobs.emplace_back();
                job.from = m_from;
                job.to = m_to;
                job.target = m_pairs[m_next++];
                job.verdict.method = m_method;
                if (m_pooled)
                    m_work.m_pool->submit(job, job.target->size >= kLargeJobBytes);
            }
        }

        FolderPairWork& m_work;
        int32_t m_method = 0;
        std::vector<const platform::DirEntry*> m_pairs;
        size_t m_next = 0;
        HeldFolderPtr m_from, m_to;
        bool m_pooled = false;
        std::deque<ContentJob> m_jobs;
        uint64_t m_bytesAhead = 0;
        ContentVerdict m_current;
    };

    void startPool()
    {
        if (!m_pool) {
            m_pool = std::make_unique<WorkerPool>();
            m_pool->start(CopyThreadCount());
        }
    }

    cClone& m_clone;
    const ExclusionRules* m_ex;
    std::unique_ptr<WorkerPool> m_pool;
};

// Two breadth-first passes: the Target tree (pairs and orphans), then the
// Source tree (folders missing in the Target). Each folder is listed once per
// side: what pass 2 needs of folders present on both sides is kept from pass 1.
class TreeWalk : public FolderPairWork
{
public:
    TreeWalk(cClone& clone, const ExclusionRules* exclusions)
        : FolderPairWork(clone, exclusions), m_prefetch(clone.Handles())
    {
    }

    bool Run(const FolderSpecRef& sourceRoot, const FolderSpecRef& targetRoot)
    {
        // The run's own roots, as they were opened: what "the other root" and
        // "another file system" are measured against.
        int err = 0;
        FolderHandles& handles = m_clone.Handles();
        const FolderSpecRef& runTarget = m_clone.TargetRootRef() ? m_clone.TargetRootRef() : targetRoot;
        if (const HeldFolderPtr t = handles.open(runTarget, err)) {
            m_haveRootDevice = true;
            m_rootDevice = t->id.device;
            m_rootMount = t->id.mount;
            m_targetRootId = t->id;
        }
        if (m_clone.SourceRootRef())
            if (const HeldFolderPtr s = handles.open(m_clone.SourceRootRef(), err))
                m_sourceRootId = s->id;

        Pass1Node root;
        root.src = sourceRoot;
        root.tgt = targetRoot;
        root.isRoot = true;
        m_pass1.push_back(std::move(root));
        for (size_t i = 0; i < m_pass1.size(); ++i) {
            runHost().processEvents();
            if (IsCloneCancelled())
                return false;
            VisitTarget(i);
        }

        Pass2Node root2{m_pass1[0].src,
                        m_pass1[0].tgt,
                        0,
                        m_rootTargetMissing ? Side::Missing : Side::Present,
                        false,
                        true};
        std::vector<Pass2Node> pass2;
        pass2.push_back(std::move(root2));
        for (size_t j = 0; j < pass2.size(); ++j) {
            runHost().processEvents();
            if (IsCloneCancelled())
                return false;
            VisitSource(pass2, j);
        }
        return !m_errors;
    }

private:
    struct SourceChild
    {
        std::string name;
        bool hidden = false;
        bool mountTop = false;
        uint64_t device = 0, inode = 0;
        Side target = Side::Missing;
        int32_t pass1 = -1;
    };

    struct Pass1Node
    {
        FolderSpecRef src, tgt;
        Side source = Side::Present;
        bool isRoot = false;
        bool hidden = false;
        bool noDelete = false;
        bool targetUnreadable = false;
        bool sourceListed = false;
        std::vector<SourceChild> sourceChildren;
    };

    struct Pass2Node
    {
        FolderSpecRef src, tgt;
        int32_t pass1 = -1;
        Side target = Side::Missing;
        bool hidden = false;
        bool isRoot = false;
    };

    void VisitTarget(size_t i)
    {
        // m_pass1 grows below: work on copies of what this node holds.
        const FolderSpecRef src = m_pass1[i].src;
        const FolderSpecRef tgt = m_pass1[i].tgt;
        const bool isRoot = m_pass1[i].isRoot;
        Side source = m_pass1[i].source;
        bool noDelete = m_pass1[i].noDelete;

        int32_t reason = SkipReasonNone;
        const bool skipped = isRoot ? IsFolderObjectSkipped(*tgt, reason)
                                    : AreFolderAttributesSkipped(FolderEntryNamed(m_pass1[i].hidden), reason);
        if (skipped) {
            LogSkip(SkipSubject::TargetFolder, reason, *tgt);
            m_pass1[i].targetUnreadable = true; // nothing below it is known
            return;
        }

        const auto tl = m_prefetch.take(tgt);
        if (tl->error) {
            m_prefetch.discard(src);
            LogListingError(*tgt, tl->error);
            m_errors = true;
            if (isRoot && IsMissingError(tl->error))
                m_rootTargetMissing = true; // pass 2 creates it
            else
                m_pass1[i].targetUnreadable = true;
            return;
        }

        if (tl->held && m_sourceRootId.known() && tl->held->id.sameFolder(m_sourceRootId)) {
            m_clone.ReportOverlap("The Source folder lies inside the Target folder.");
            m_errors = true;
            return;
        }
        if (!noDelete && m_haveRootDevice && tl->held) {
            const platform::FolderIdentity& id = tl->held->id;
            if (id.device != m_rootDevice || (m_rootMount != 0 && id.mount != 0 && id.mount != m_rootMount)) {
                noDelete = true;
                m_pass1[i].noDelete = true;
                LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                       "Nothing is deleted in this folder or below it because it is on another file system. "
                       "- '" +
                           *tgt + "' ");
            }
        }

        std::shared_ptr<FolderListing> sl;
        bool sourceSkipped = false;
        if (source == Side::Present) {
            if (m_ex && m_ex->folderExcluded(*src))
                return; // an excluded pair is passed over with everything below it
            if (isRoot && IsFolderObjectSkipped(*src, reason)) {
                LogSkip(SkipSubject::SourceFolder, reason, *src);
                sourceSkipped = true;
            }
            sl = m_prefetch.take(src);
            if (!sl->error && sl->held && m_targetRootId.known() && sl->held->id.sameFolder(m_targetRootId)) {
                m_clone.ReportOverlap("The Target folder lies inside the Source folder.");
                m_errors = true;
                return;
            }
            if (sl->error) {
                if (IsMissingError(sl->error) && !isRoot) {
                    source = Side::Missing; // gone since its parent was listed: a true orphan
                } else {
                    // Unreadable is not missing: nothing below it may be deleted.
                    LogListingError(*src, sl->error);
                    m_errors = true;
                    source = Side::Unknown;
                }
            }
            m_pass1[i].source = source;
        }

        std::unordered_map<std::string_view, int32_t> childIndex;
        std::vector<Pass1Node> children;
        for (const platform::DirEntry& t : tl->entries) {
            if (!t.isFolder())
                continue;
            Pass1Node child;
            const platform::DirEntry* sourceEntry = nullptr;
            if (source == Side::Present)
                if (const auto it = sl->byName.find(t.name); it != sl->byName.end() && it->second->isFolder())
                    sourceEntry = it->second;
            child.src = sourceEntry ? ChildRef(src, sl->held.get(), *sourceEntry)
                                    : FolderSpecRef::Child(src, t.name);
            child.tgt = ChildRef(tgt, tl->held.get(), t);
            child.hidden = t.hidden;
            child.noDelete = noDelete;
            child.source =
                source == Side::Present ? (sl->hasFolder(t.name) ? Side::Present : Side::Missing) : source;
            if (child.source == Side::Unknown)
                continue; // nothing can be decided below an unreadable Source folder
            if (child.source == Side::Missing && (noDelete || (m_ex && m_ex->folderExcluded(*child.src))))
                continue; // an orphan that must not be deleted: left alone
            childIndex.emplace(t.name, static_cast<int32_t>(m_pass1.size() + children.size()));
            children.push_back(std::move(child));
        }

        if (source == Side::Present) {
            Pass1Node& node = m_pass1[i];
            node.sourceListed = true;
            for (const platform::DirEntry& s : sl->entries) {
                if (!s.isFolder())
                    continue;
                SourceChild c;
                c.name = s.name;
                c.hidden = s.hidden;
                c.device = s.device;
                c.inode = s.inode;
                c.mountTop = sl->held && ((s.mount != 0 && sl->held->id.mount != 0 && s.mount != sl->held->id.mount) ||
                                          s.device != sl->held->id.device);
                if (tl->hasFolder(s.name)) {
                    c.target = Side::Present;
                    if (const auto it = childIndex.find(s.name); it != childIndex.end())
                        c.pass1 = it->second;
                }
                node.sourceChildren.push_back(std::move(c));
            }
            if (!sourceSkipped && CompareFiles(src, tgt, *sl, *tl, noDelete))
                m_errors = true;
        } else if (source == Side::Missing && m_clone.DeleteMethod() != 2 && !noDelete) {
            if (AddTargetContents(src, tgt, *tl))
                m_errors = true;
        }
        for (Pass1Node& child : children) {
            // What VisitTarget will surely list of this pair, asked for ahead.
            int32_t childReason = SkipReasonNone;
            if (!AreFolderAttributesSkipped(FolderEntryNamed(child.hidden), childReason)) {
                m_prefetch.request(child.tgt);
                if (child.source == Side::Present && !(m_ex && m_ex->folderExcluded(*child.src)))
                    m_prefetch.request(child.src);
            }
            m_pass1.push_back(std::move(child));
        }
    }

    void VisitSource(std::vector<Pass2Node>& pass2, size_t j)
    {
        const Pass2Node node = pass2[j];
        if (node.target == Side::Unknown)
            return;
        if (m_ex && m_ex->folderExcluded(*node.src))
            return;
        int32_t reason = SkipReasonNone;
        const bool skipped = node.isRoot ? IsFolderObjectSkipped(*node.src, reason)
                                         : AreFolderAttributesSkipped(FolderEntryNamed(node.hidden), reason);
        if (skipped) {
            LogSkip(SkipSubject::SourceFolder, reason, *node.src);
            return;
        }
        const Pass1Node* seen = node.pass1 >= 0 ? &m_pass1[static_cast<size_t>(node.pass1)] : nullptr;
        if (seen && (seen->targetUnreadable || seen->source == Side::Unknown))
            return; // already reported in pass 1; nothing below it is known

        if (seen && seen->sourceListed) {
            for (const SourceChild& c : seen->sourceChildren) {
                if (c.pass1 >= 0) {
                    const Pass1Node& known = m_pass1[static_cast<size_t>(c.pass1)];
                    pass2.push_back({known.src, known.tgt, c.pass1, c.target, c.hidden, false});
                } else {
                    pass2.push_back({FolderSpecRef::Child(node.src, c.name, c.device, c.inode, c.mountTop),
                                     FolderSpecRef::Child(node.tgt, c.name), c.pass1, c.target, c.hidden,
                                     false});
                }
                RequestSourceListing(pass2.back());
            }
            return; // present on both sides: compared in pass 1
        }

        const auto sl = m_prefetch.take(node.src);
        if (sl->error) {
            LogListingError(*node.src, sl->error);
            m_errors = true;
            return;
        }
        if (!sl->error && sl->held && m_targetRootId.known() && sl->held->id.sameFolder(m_targetRootId)) {
            m_clone.ReportOverlap("The Target folder lies inside the Source folder.");
            m_errors = true;
            return;
        }
        HeldFolderPtr targetHeld;
        if (node.target == Side::Present) {
            int err = 0;
            targetHeld = m_clone.Handles().open(node.tgt, err);
        }
        for (const platform::DirEntry& s : sl->entries) {
            if (!s.isFolder())
                continue;
            platform::PathAttributes a;
            const Side target = targetHeld && platform::entryAttributesAt(targetHeld->folder, s.name, a) == 0 &&
                                        a.kind == platform::PathKind::Folder
                                    ? Side::Present
                                    : Side::Missing;
            pass2.push_back({ChildRef(node.src, sl->held.get(), s), FolderSpecRef::Child(node.tgt, s.name), -1,
                             target, s.hidden, false});
            RequestSourceListing(pass2.back());
        }
        if (node.target == Side::Missing && AddSourceContents(node.src, node.tgt, *sl))
            m_errors = true;
    }

    // Whether VisitSource will list `node`'s Source folder (the same tests, in the same order).
    bool WillListSource(const Pass2Node& node) const
    {
        if (node.isRoot || node.target == Side::Unknown || (m_ex && m_ex->folderExcluded(*node.src)))
            return false;
        int32_t reason = SkipReasonNone;
        if (AreFolderAttributesSkipped(FolderEntryNamed(node.hidden), reason))
            return false;
        const Pass1Node* seen = node.pass1 >= 0 ? &m_pass1[static_cast<size_t>(node.pass1)] : nullptr;
        return !(seen && (seen->targetUnreadable || seen->source == Side::Unknown || seen->sourceListed));
    }

    void RequestSourceListing(const Pass2Node& node)
    {
        if (WillListSource(node))
            m_prefetch.request(node.src);
    }

    std::vector<Pass1Node> m_pass1;
    ListingPrefetcher m_prefetch;
    bool m_errors = false;
    bool m_rootTargetMissing = false;
    bool m_haveRootDevice = false;
    uint64_t m_rootDevice = 0;
    uint64_t m_rootMount = 0;
    platform::FolderIdentity m_sourceRootId, m_targetRootId;
};

// The files of one folder pair, both listed here. True on error or cancel.
bool CompareFolderPair(cClone& clone, const FolderSpecRef& source, const FolderSpecRef& target,
                       const ExclusionRules* exclusions)
{
    const auto sl = ListIndexed(clone.Handles(), source);
    if (sl->error) {
        LogListingError(*source, sl->error);
        return true;
    }
    const auto tl = ListIndexed(clone.Handles(), target);
    if (tl->error) {
        LogListingError(*target, tl->error);
        return true;
    }
    FolderPairWork work(clone, exclusions);
    return work.CompareFiles(source, target, *sl, *tl, false);
}

} // namespace

namespace clone_detail {

bool CompareTrees(cClone& clone, const FolderSpecRef& sourceRoot, const FolderSpecRef& targetRoot,
                  bool includeSubfolders, const ExclusionRules* exclusions)
{
    const std::string& src = *sourceRoot;
    const std::string& tgt = *targetRoot;
    int32_t reason = SkipReasonNone;
    if (src != WithTrailingSlash(clone.SourceFolder) && IsFolderPathSkipped(src, reason)) {
        LogSkip(SkipSubject::SourceFolder, reason, src);
        return true;
    }
    if (tgt != WithTrailingSlash(clone.TargetFolder) && IsFolderPathSkipped(tgt, reason)) {
        LogSkip(SkipSubject::TargetFolder, reason, tgt);
        return true;
    }
    if (exclusions && src != WithTrailingSlash(clone.SourceFolder) && exclusions->folderExcluded(src))
        return true;
    if (!includeSubfolders)
        return !CompareFolderPair(clone, sourceRoot, targetRoot, exclusions);
    TreeWalk walk(clone, exclusions);
    return walk.Run(sourceRoot, targetRoot);
}

} // namespace clone_detail

// ---------------------------------------------------------------------------
// cClone: comparison

void cClone::ResetFileOpsList(const std::string& sourceRoot, const std::string& targetRoot)
{
    FileOpsArray.clear();
    m_createdFolderOps.clear();
    FilesScannedCount = 0;
    TargetFilesListed = 0;
    LeftoverTempFiles.clear();
    m_runTargetRoot = targetRoot;
    m_leftovers.clear();
    m_refs.clear();
    m_overlapFound = false;
    m_handles->clear();
    // Held from here to the end of the run: whatever takes their paths' place
    // meanwhile, the run works in these two folders.
    m_sourceRoot = FolderSpecRef::Root(sourceRoot, 1);
    m_targetRoot = FolderSpecRef::Root(targetRoot, 2);
    m_handles->openRoot(m_sourceRoot);
    m_handles->openRoot(m_targetRoot);
}

void cClone::EndRun()
{
    if (!PlanOnly()) {
        std::deque<FileOp>().swap(FileOpsArray);
        std::unordered_set<std::string>().swap(m_createdFolderOps);
        LeftoverTempFiles.clear();
        m_refs.clear();
        m_handles->clear();
        m_sourceRoot = {};
        m_targetRoot = {};
    }
    m_runTargetRoot.clear();
    m_targetLock.reset();
    m_targetRootLock.reset();
}

void cClone::ReportOverlap(const std::string& relation)
{
    if (m_overlapFound)
        return;
    m_overlapFound = true;
    LogAdd(LogEntryType::FolderPathError,
           "Source: " + (m_sourceRoot ? *m_sourceRoot : std::string()) +
               " Target: " + (m_targetRoot ? *m_targetRoot : std::string()),
           {}, {}, 0, relation);
}

FolderSpecRef cClone::RefFor(const std::string& folderSpec)
{
    const std::string spec = WithTrailingSlash(folderSpec);
    if (const auto it = m_refs.find(spec); it != m_refs.end())
        return it->second;
    FolderSpecRef ref;
    const FolderSpecRef* root = nullptr;
    if (m_sourceRoot && spec.starts_with(*m_sourceRoot))
        root = &m_sourceRoot;
    // The longer root wins when one root's text begins the other's.
    if (m_targetRoot && spec.starts_with(*m_targetRoot) && (!root || m_targetRoot->size() > (*root)->size()))
        root = &m_targetRoot;
    if (!root) {
        ref = FolderSpecRef(spec);
    } else if (spec.size() == (*root)->size()) {
        ref = *root;
    } else {
        // Level by level from the root, each level as it is now when it exists
        // (so it is opened again only as that folder), else as a folder to be made.
        const size_t slash = spec.rfind('/', spec.size() - 2);
        const FolderSpecRef parent = RefFor(spec.substr(0, slash + 1));
        const std::string name = spec.substr(slash + 1, spec.size() - slash - 2);
        int err = 0;
        platform::DirEntry entry;
        entry.name = name;
        if (name == "." || name == "..") {
            ref = FolderSpecRef::Child(parent, name); // never opened: such a level is refused
        } else if (const HeldFolderPtr held = m_handles->open(parent, err)) {
            platform::OpenFolder probe;
            platform::FolderIdentity id;
            if (platform::openChildFolder(held->folder, held->id, name, nullptr, platform::MountCrossing::allow,
                                          probe, id) == 0) {
                entry.device = id.device;
                entry.inode = id.inode;
                entry.mount = id.mount;
                ref = ChildRef(parent, held.get(), entry);
            } else {
                ref = FolderSpecRef::Child(parent, name);
            }
        } else {
            ref = FolderSpecRef::Child(parent, name);
        }
    }
    m_refs.emplace(spec, ref);
    return ref;
}

bool cClone::IsSafeCopyLeftoverName(const std::string& name)
{
    return platform::isUniqueFileName(name, kSafeCopyPrefix, std::string(".") + kSafeCopyExtension);
}

void cClone::CountScannedEntry()
{
    ++FilesScannedCount;
    if (FilesScannedCount % 25 == 0)
        runHost().setStatusText(StatusPanel::Panel2, std::to_string(FilesScannedCount) + " files");
}

void cClone::AddCopyOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder,
                       const std::string& name, const CloneEntryState* listed, bool listedRegular,
                       bool replaces)
{
    if (IsSafeCopyLeftoverName(name))
        return; // half a copy of something else, never cloned on
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpCopy;
    op.FileName = name;
    op.SourceFolder = sourceFolder;
    op.TargetFolder = targetFolder;
    if (listed) {
        op.SourceKnown = true;
        op.SourceRegular = listedRegular;
        op.TargetListed = replaces;
        op.SourceListed = *listed;
    }
}

void cClone::AddDeleteOp(const FolderSpecRef& targetFolder, const std::string& name)
{
    if (IsSafeCopyLeftoverName(name)) {
        LeftoverTempFiles.push_back(*targetFolder + name); // ours, not an orphan of the Source
        m_leftovers.emplace_back(targetFolder, name);
        return;
    }
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpDelete;
    op.FileName = name;
    op.TargetFolder = targetFolder;
}

void cClone::AddCreateFolderOp(const FolderSpecRef& sourceFolder, const FolderSpecRef& targetFolder)
{
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpCreateFolder;
    op.SourceFolder = sourceFolder;
    op.TargetFolder = targetFolder;
    m_createdFolderOps.insert(*targetFolder);
}

void cClone::AddRemoveFolderOp(const FolderSpecRef& targetFolder)
{
    FileOp& op = FileOpsArray.emplace_back();
    op.OpType = FileOpRemoveFolder;
    op.TargetFolder = targetFolder;
}

bool cClone::CreateFolderFileOpAlreadyAdded(const std::string& path) const
{
    return m_createdFolderOps.contains(path);
}

bool cClone::RootsOverlap(const std::string& source, const std::string& target)
{
    const char* relation = nullptr;
    int sourceErr = 0, targetErr = 0;
    const HeldFolderPtr heldSource = m_sourceRoot ? m_handles->open(m_sourceRoot, sourceErr) : nullptr;
    const HeldFolderPtr heldTarget = m_targetRoot ? m_handles->open(m_targetRoot, targetErr) : nullptr;
    if (heldSource && heldTarget) {
        // By identity, so links and bind mounts are seen whatever the spelling.
        auto inside = [](const HeldFolder& inner, const HeldFolder& outer) {
            std::vector<platform::FolderIdentity> ancestors;
            platform::ancestorIdentitiesThroughMounts(inner.folder, ancestors);
            return std::any_of(ancestors.begin(), ancestors.end(), [&](const platform::FolderIdentity& a) {
                return a.sameFolder(outer.id);
            });
        };
        if (heldSource->id.sameFolder(heldTarget->id))
            relation = "The Source and Target folders are the same folder.";
        else if (inside(*heldTarget, *heldSource))
            relation = "The Target folder lies inside the Source folder.";
        else if (inside(*heldSource, *heldTarget))
            relation = "The Source folder lies inside the Target folder.";
    } else {
        const std::string s = platform::resolvedFolderPath(source);
        const std::string t = platform::resolvedFolderPath(target);
        if (s == t)
            relation = "The Source and Target folders are the same folder.";
        else if (platform::folderIsAtOrBelow(t, s))
            relation = "The Target folder lies inside the Source folder.";
        else if (platform::folderIsAtOrBelow(s, t))
            relation = "The Source folder lies inside the Target folder.";
    }
    if (!relation)
        return false;
    LogAdd(LogEntryType::FolderPathError, "Source: " + source + " Target: " + target, {}, {}, 0, relation);
    return true;
}

namespace {

// Whether a root, listed through its handle, holds anything besides the trash
// folders at a mount's top (a root that cannot be listed holds nothing known).
bool HoldsEntries(FolderHandles& handles, const FolderSpecRef& root, bool& listed)
{
    const auto listing = ListIndexed(handles, root);
    listed = listing->error == 0;
    return listed && !listing->entries.empty();
}

} // namespace

bool cClone::TargetRefused(const std::string& source, const std::string& target)
{
    m_targetLock.reset();
    if (!gstrAppPath.empty()) {
        int err = 0;
        const std::string lockFile =
            platform::targetLockFile(gstrAppPath, platform::resolvedFolderPath(target), err);
        auto lock = std::make_unique<platform::InstanceLock>();
        // A data folder where no lock can be made must not stop every run: it goes on
        // with the lock on the Target folder itself. A link planted there is worth a word.
        const auto result = lockFile.empty() ? platform::InstanceLock::Result::Failed : lock->acquire(lockFile);
        if (lockFile.empty() && err == ELOOP)
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   DataFileErrorText(err, gstrAppPath + "target-locks", GetSystemErrorMessage(err)));
        if (result == platform::InstanceLock::Result::HeldElsewhere) {
            LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
                   "Problems processing the Target folder. Another run is working on this Target folder now, "
                   "so it was skipped.");
            return true;
        }
        if (result == platform::InstanceLock::Result::Acquired)
            m_targetLock = std::move(lock);
    }
    // The same lock on the Target folder itself: runs from other data folders
    // and other users keep out too.
    if (m_targetRoot) {
        int err = 0;
        if (HeldFolderPtr held = m_handles->open(m_targetRoot, err)) {
            // flock belongs to this open of the folder: another run's own open conflicts with it.
            const int lockErr = platform::lockFolder(held->folder);
            if (lockErr == EWOULDBLOCK) {
                LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
                       "Problems processing the Target folder. Another run is working on this Target folder "
                       "now, so it was skipped.");
                m_targetLock.reset();
                return true;
            }
            if (lockErr == 0)
                m_targetRootLock = std::move(held);
        }
    }
    if (ProtectFromEmptySource()) {
        bool sourceListed = false, targetListed = false;
        if (!HoldsEntries(*m_handles, m_sourceRoot, sourceListed) && sourceListed &&
            HoldsEntries(*m_handles, m_targetRoot, targetListed)) {
            LogAdd(LogEntryType::FolderPathError, "Source: " + source + " Target: " + target, {}, {}, 0,
                   "Problems processing the Source folder. The Source folder is empty, so the Target folder "
                   "was left untouched.");
            return true;
        }
    }
    return false;
}

bool cClone::DeletionsCapped(const std::string& target)
{
    const int32_t percent = MaxDeletePercent();
    if (percent <= 0 || DeleteMethod() == 2)
        return false;
    const int64_t deletions = std::count_if(FileOpsArray.begin(), FileOpsArray.end(), [](const FileOp& op) {
        return op.OpType == FileOpDelete && !op.Removed;
    });
    if (deletions < kDeleteCapMinimumFiles || deletions * 100 <= int64_t{percent} * TargetFilesListed)
        return false;
    for (FileOp& op : FileOpsArray) {
        if (op.OpType == FileOpDelete || op.OpType == FileOpRemoveFolder)
            op.Removed = true;
    }
    LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
           "Problems processing the Target folder. " + std::to_string(deletions) + " of its " +
               std::to_string(TargetFilesListed) + " files were to be deleted, more than the limit of " +
               std::to_string(percent) + "%, so nothing was deleted from it.");
    return true;
}

void cClone::RemoveLeftoverTempFiles()
{
    if (DeleteMethod() == 2)
        return;
    for (const auto& [folder, name] : m_leftovers) {
        const std::string spec = *folder + name;
        int err = 0;
        if (const HeldFolderPtr held = m_handles->open(folder, err))
            err = platform::removeLeftoverFileAt(held->folder, name);
        if (err == 0)
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Removed a temporary file left by an interrupted run. - '" + spec + "' ");
        else if (!IsMissingError(err))
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Not removed, as it is not a temporary file of this program: " + GetSystemErrorMessage(err) +
                       " - '" + spec + "' ");
    }
    LeftoverTempFiles.clear();
    m_leftovers.clear();
}

bool cClone::CloneAll(const std::string& pstrSourceFolderSpec, const std::string& pstrTargetFolderSpec,
                      bool pbolIncludeSubFolders)
{
    return Guarded("cClone.CloneAll", false, [&] {
        const std::string src = CanonicalFolderSpec(pstrSourceFolderSpec);
        const std::string tgt = CanonicalFolderSpec(pstrTargetFolderSpec);
        ResetFileOpsList(src, tgt);
        struct RunEnd
        {
            cClone& clone;
            ~RunEnd() { clone.EndRun(); }
        } runEnd{*this};
        RunHost& host = runHost();
        host.setStatusText(StatusPanel::Panel1, "Comparing folders...");
        host.setStatusText(StatusPanel::Panel2, "0 files");
        if (RootsOverlap(src, tgt) || TargetRefused(src, tgt))
            return false;
        bool errors = !CompareEntireSource(src, tgt, pbolIncludeSubFolders);
        if (OverlapFound())
            return false; // the trees are not what they seemed: nothing is performed
        if (!IsCloneCancelled() && DeletionsCapped(tgt))
            errors = true;
        if (!IsCloneCancelled() && !PlanOnly() && !PerformFileOperations(pstrSourceFolderSpec))
            errors = true;
        host.processEvents();
        return !errors && !IsCloneCancelled();
    });
}

bool cClone::CompareEntireSource(const std::string& pstrSourceFolderSpec,
                                 const std::string& pstrTargetFolderSpec, bool pbolIncludeSubFolders)
{
    return Guarded("cClone.CompareEntireSource", false, [&] {
        return CompareTrees(*this, RefFor(pstrSourceFolderSpec), RefFor(pstrTargetFolderSpec),
                            pbolIncludeSubFolders, nullptr);
    });
}

bool cClone::CompareFilesAndReturnResults(const std::string& pstrSourceFolderSpec,
                                          const std::string& pstrTargetFolderSpec)
{
    return Guarded("cClone.CompareFilesAndReturnResults", true, [&] {
        return CompareFolderPair(*this, RefFor(pstrSourceFolderSpec), RefFor(pstrTargetFolderSpec), nullptr);
    });
}

bool cClone::AddTargetSubfolderAndFilesToFileOpsArray(const std::string& pstrTargetFolderSpec)
{
    return Guarded("cClone.AddTargetSubfolderAndFilesToFileOpsArray", true, [&] {
        const FolderSpecRef tgt = RefFor(pstrTargetFolderSpec);
        const auto tl = ListIndexed(*m_handles, tgt);
        if (tl->error) {
            LogListingError(*tgt, tl->error);
            return true;
        }
        FolderPairWork work(*this, nullptr);
        return work.AddTargetContents({}, tgt, *tl);
    });
}

bool cClone::AddSourceSubfolderAndFilesToFileOpsArray(const std::string& pstrSourceFolderSpec,
                                                      const std::string& pstrTargetFolderSpec)
{
    return Guarded("cClone.AddSourceSubfolderAndFilesToFileOpsArray", true, [&] {
        const FolderSpecRef src = RefFor(pstrSourceFolderSpec);
        const auto sl = ListIndexed(*m_handles, src);
        if (sl->error) {
            LogListingError(*src, sl->error);
            return true;
        }
        FolderPairWork work(*this, nullptr);
        return work.AddSourceContents(src, RefFor(pstrTargetFolderSpec), *sl);
    });
}

void cClone::ValidateRemoveFolderOps()
{
    Guarded("cClone.ValidateRemoveFolderOps", [&] {
        for (FileOp& op : FileOpsArray) {
            if (op.OpType == FileOpRemoveFolder && !IsHeldFolderEmpty(*m_handles, op.TargetFolder))
                op.Removed = true;
        }
    });
}

// ---------------------------------------------------------------------------
// cClone: the text form of the list

std::string cClone::SyncActionString(const FileOp& op)
{
    if (op.Removed)
        return "|REMOVED ACTION|";
    switch (op.OpType) {
    case FileOpCopy:
        return "     COPY FILE     \"" + op.FileName + "\"  FROM  " + op.SourceFolderSpec() + "  TO  " +
               op.TargetFolderSpec();
    case FileOpDelete:
        return "     DELETE FILE     \"" + op.FileName + "\"  FROM  " + op.TargetFolderSpec();
    case FileOpCreateFolder:
        return "     CREATE FOLDER     " + op.TargetFolderSpec();
    case FileOpRemoveFolder:
        return "     DELETE FOLDER     " + op.TargetFolderSpec();
    }
    return {};
}

int32_t cClone::GetSyncActionStrings(std::vector<std::string>& strings) const
{
    return Guarded("cClone.GetSyncActionStrings", int32_t{0}, [&] {
        strings.clear();
        strings.reserve(FileOpsArray.size());
        int32_t count = 0;
        RunHost& host = runHost();
        for (const FileOp& op : FileOpsArray) {
            strings.push_back(SyncActionString(op));
            if (!op.Removed)
                ++count;
            host.processEvents();
        }
        return count;
    });
}

} // namespace kestrow
