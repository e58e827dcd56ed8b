#include "engine/cClone.h"

#include "app/services/AppState.h"
#include "app/services/ErrorReporter.h"
#include "app/services/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/FolderRoutines.h"
#include "engine/Listing.h"
#include "engine/RunControl.h"
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

// Copy threads are started for a list with at least this many copies.
constexpr size_t kThreadedCopyMinimum = 64;
// How far the copy threads may run ahead of the log: copies and bytes.
constexpr size_t kCopiesAhead = 256;
constexpr uint64_t kBytesAhead = 64ull << 20;

// Copy threads besides the run's own: one per further core, at most three.
unsigned CopyThreadCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores <= 2 ? 1u : std::min(cores - 1, 3u);
}

// A Source that is not what the listing showed, or that changes during its copy.
constexpr int32_t kChangedCode = 0;
constexpr const char* kChangedMessage = "The file changed while it was being cloned.";

// The safe copy's temporary files: GetTempFileSpec(kSafeCopyPrefix, kSafeCopyExtension, ...).
constexpr const char* kSafeCopyPrefix = "kw_";
constexpr const char* kSafeCopyExtension = "tmp";

bool IsAccessDenied(int err)
{
    return err == EACCES || err == EPERM;
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The folder that holds `path` (a file spec or a folder spec), ending with "/".
std::string ParentFolderOf(const std::string& path)
{
    return GetFolderPart(WithoutTrailingSlash(path));
}

bool SameState(const platform::PathAttributes& a, const platform::PathAttributes& b)
{
    return a.kind == b.kind && a.size == b.size && a.lastWrite == b.lastWrite;
}

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

bool IsTrashEntry(const std::string& folderSpec, const platform::DirEntry& entry)
{
    return IsMountTrashEntry(folderSpec, entry.name);
}

std::shared_ptr<FolderListing> IndexListing(const std::string& folderSpec, std::vector<platform::DirEntry> entries,
                                            int error)
{
    auto listing = std::make_shared<FolderListing>();
    listing->error = error;
    if (error)
        return listing; // a partial listing is no ground for deciding what is missing
    listing->entries = std::move(entries);
    std::erase_if(listing->entries, [&](const platform::DirEntry& e) { return IsTrashEntry(folderSpec, e); });
    listing->byName.reserve(listing->entries.size());
    for (const platform::DirEntry& e : listing->entries)
        listing->byName.emplace(e.name, &e);
    return listing;
}

std::shared_ptr<FolderListing> ListIndexed(const std::string& folderSpec)
{
    std::vector<platform::DirEntry> entries;
    const int error = platform::listFolder(folderSpec, entries);
    return IndexListing(folderSpec, std::move(entries), error);
}

const FolderListing& ListingCache::get(const std::string& folderSpec)
{
    if (const auto it = m_listings.find(folderSpec); it != m_listings.end())
        return *it->second;
    // Items arrive folder by folder; a handful of recent folders is enough.
    if (m_listings.size() >= 16)
        m_listings.clear();
    return *m_listings.emplace(folderSpec, ListIndexed(folderSpec)).first->second;
}

ExclusionRules MakeExclusionRules(const std::string& excludeFileSpecs, const std::string& excludeFileMasks)
{
    ExclusionRules rules;
    for (std::string& item : SplitString(excludeFileSpecs, kSpecSeparator)) {
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
                   const ContentVerdict* ahead)
{
    const cCompare& options = CompareOptions();
    const int32_t newer = CompareFilesUsingTimestamp(source, target, options.IgnoreFAT_NTFS_TwoSecDiff(),
                                                     options.IgnoreFAT_NTFS_DaylightSavings());
    bool same = false;
    if (source.type != target.type) {
        same = false; // a file against a link or a FIFO is never the same
    } else if (source.type == platform::EntryType::Symlink) {
        std::string a, b;
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

// Jobs on files of this size or more are worth a thread's wake-up each.
constexpr uint64_t kLargeJobBytes = 256 * 1024;

// A unit of work for a WorkerPool: it touches nothing the run's thread uses
// meanwhile (no log, no run host), and leaves its outcome in itself.
struct PoolJob
{
    virtual ~PoolJob() = default;
    virtual void run() noexcept = 0;
    bool done = false; // under the pool's lock
};

// Threads that do jobs in the order they were handed in, while the run's thread
// takes the outcomes in that same order (doing queued jobs itself rather than
// wait idle). Jobs must outlive their wait().
class WorkerPool
{
public:
    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_workReady.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

    // Threads are made by the thread that will wait: they inherit its priority.
    void start(unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    bool started() const { return !m_threads.empty(); }

    // A sleeping thread is woken for a large job, or once a few small ones wait:
    // the run's thread does queued jobs itself when it waits, so a wake-up (a
    // system call) per small job would cost more than it saves.
    void submit(PoolJob& job, bool large)
    {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(&job);
            wake = m_idleThreads > 0 && (large || m_pending.size() >= kWakeBatch);
        }
        if (wake)
            m_workReady.notify_one();
    }

    // Takes `job` back if no thread has begun it; false when it has (then wait for it).
    bool withdraw(PoolJob& job)
    {
        std::lock_guard lock(m_mutex);
        const auto it = std::find(m_pending.begin(), m_pending.end(), &job);
        if (it == m_pending.end())
            return false;
        m_pending.erase(it);
        return true;
    }

    // Until `job` is done; queued jobs are done here meanwhile.
    void wait(PoolJob& job)
    {
        std::unique_lock lock(m_mutex);
        while (!job.done) {
            if (!m_pending.empty()) {
                PoolJob* next = m_pending.front();
                m_pending.pop_front();
                lock.unlock();
                execute(*next);
                lock.lock();
                continue;
            }
            m_waiting = true;
            m_jobDone.wait(lock);
            m_waiting = false;
        }
    }

private:
    static constexpr size_t kWakeBatch = 4;

    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_pending.empty()) {
                if (m_stopping)
                    return;
                ++m_idleThreads;
                m_workReady.wait(lock);
                --m_idleThreads;
                continue;
            }
            PoolJob* job = m_pending.front();
            m_pending.pop_front();
            lock.unlock();
            execute(*job);
            lock.lock();
        }
    }

    // Waits are rare (the run's thread mostly finds its job done), so a wake-up
    // goes out only to someone waiting.
    void execute(PoolJob& job)
    {
        job.run();
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            job.done = true;
            wake = m_waiting;
        }
        if (wake)
            m_jobDone.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_jobDone;
    std::deque<PoolJob*> m_pending;
    unsigned m_idleThreads = 0;
    bool m_waiting = false;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// Lists the folders the walk will come to next on other threads (one per core,
// at most four), while the walk's own thread compares, or lists too when it
// catches up: the kernel works on several folders at once. Only folders the walk
// is sure to list are asked for, and only a few dozen run ahead, so memory stays
// small on any tree. The walk takes each listing in its own order and reports
// its errors itself.
class ListingPrefetcher
{
public:
    ListingPrefetcher() = default;
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
            return ListIndexed(*folder);
        }
        std::unique_ptr<Slot> slot = std::move(it->second);
        m_slots.erase(it);
        if (slot->state == Slot::Queued) {
            // Not begun: listed here rather than waited for.
            std::erase(m_queue, slot.get());
            lock.unlock();
            return ListIndexed(*folder);
        }
        while (slot->state != Slot::Done) {
            m_walkWaiting = true;
            m_listed.wait(lock);
            m_walkWaiting = false;
        }
        --m_ready;
        lock.unlock();
        m_workReady.notify_one(); // room for one more ahead
        return IndexListing(*folder, std::move(slot->entries), slot->error);
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
            const int error = platform::listFolder(*slot->folder, entries);
            lock.lock();
            slot->entries = std::move(entries);
            slot->error = error;
            slot->state = Slot::Done;
            ++m_ready;
            if (m_walkWaiting)
                m_listed.notify_one();
        }
    }

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
    std::shared_ptr<const platform::OpenFolder> from, to;
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
                const int result = comparer.compareFilesIn(*from, *to, name);
                verdict.kind = result == 0   ? ContentVerdict::Same
                               : result == 1 ? ContentVerdict::Different
                                             : failure();
                return;
            }
            const int64_t sourceCrc = comparer.crc32OfFileIn(*from, name);
            if (sourceCrc == -1) {
                verdict.kind = failure();
                return; // the Target is not read once the Source has failed
            }
            comparer.reset();
            const int64_t targetCrc = comparer.crc32OfFileIn(*to, name);
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
        ContentsAhead ahead(*this, src, tgt, sl, tl);
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
                    if (deleting)
                        m_clone.AddDeleteOp(tgt, t.name);
                } else if (IsFindDataSkipped(*s, reason)) {
                    LogSkip(SkipSubject::SourceFile, reason, *src + s->name);
                } else if (m_ex && !m_ex->items.empty() &&
                           DoesFileMatchExclusionSpecs(*src + s->name, m_ex->items)) {
                    // excluded by path: left alone
                } else {
                    m_clone.CountScannedEntry();
                    bool failed = false;
                    if (PairNeedsCopy(m_clone, *src, *tgt, *s, t, failed, ahead.verdictFor(t))) {
                        const CloneEntryState state{s->size, s->lastWrite};
                        m_clone.AddCopyOp(src, tgt, s->name, &state);
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
                    m_clone.AddCopyOp(src, tgt, s.name, &state);
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
    bool AddTargetContents(const FolderSpecRef& tgt, const FolderListing& tl)
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
                } else if (m_ex && FileMatchesPatternInCollection(t.name, m_ex->masks)) {
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
                    m_clone.AddCopyOp(src, tgt, s.name, &state);
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
        ContentsAhead(FolderPairWork& work, const FolderSpecRef& src, const FolderSpecRef& tgt,
                      const FolderListing& sl, const FolderListing& tl)
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
                // A path past the kernel's limit keeps the error it has always given.
                if (src->size() + t.name.size() >= platform::kPathMax ||
                    tgt->size() + t.name.size() >= platform::kPathMax)
                    continue;
                m_pairs.push_back(&t);
            }
            if (m_pairs.size() < 2)
                return; // one pair gains nothing from a thread
            auto from = std::make_shared<platform::OpenFolder>();
            auto to = std::make_shared<platform::OpenFolder>();
            if (from->open(*src) != 0 || to->open(*tgt) != 0) {
                m_pairs.clear();
                return;
            }
            m_from = std::move(from);
            m_to = std::move(to);
            work.startPool();
            topUp();
        }
        // Left early (a cancel): what no thread has begun is taken back, the rest waited for.
        ~ContentsAhead()
        {
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
            m_work.m_pool->wait(m_jobs.front());
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
                m_work.m_pool->submit(job, job.target->size >= kLargeJobBytes);
            }
        }

        FolderPairWork& m_work;
        int32_t m_method = 0;
        std::vector<const platform::DirEntry*> m_pairs;
        size_t m_next = 0;
        std::shared_ptr<const platform::OpenFolder> m_from, m_to;
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
    using FolderPairWork::FolderPairWork;

    bool Run(const std::string& sourceRoot, const std::string& targetRoot)
    {
        const std::string& baseline = m_clone.RunTargetRoot().empty() ? targetRoot : m_clone.RunTargetRoot();
        m_haveRootDevice = platform::folderDevice(baseline, m_rootDevice, true) == 0;

        Pass1Node root;
        root.src = MakeFolderRef(sourceRoot);
        root.tgt = MakeFolderRef(targetRoot);
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

        if (!noDelete && m_haveRootDevice) {
            uint64_t device = 0;
            if (platform::folderDevice(*tgt, device, isRoot) == 0 && device != m_rootDevice) {
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
            child.src = MakeFolderRef(*src + t.name + '/');
            child.tgt = MakeFolderRef(*tgt + t.name + '/');
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
            if (AddTargetContents(tgt, *tl))
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
                    pass2.push_back({MakeFolderRef(*node.src + c.name + '/'),
                                     MakeFolderRef(*node.tgt + c.name + '/'), c.pass1, c.target, c.hidden,
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
        for (const platform::DirEntry& s : sl->entries) {
            if (!s.isFolder())
                continue;
            const std::string childTarget = *node.tgt + s.name + '/';
            Side target = Side::Missing;
            if (node.target == Side::Present)
                target = IsRealFolder(childTarget) ? Side::Present : Side::Missing;
            pass2.push_back({MakeFolderRef(*node.src + s.name + '/'), MakeFolderRef(childTarget), -1, target,
                             s.hidden, false});
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
};

// The files of one folder pair, both listed here. True on error or cancel.
bool CompareFolderPair(cClone& clone, const std::string& source, const std::string& target,
                       const ExclusionRules* exclusions)
{
    const auto sl = ListIndexed(source);
    if (sl->error) {
        LogListingError(source, sl->error);
        return true;
    }
    const auto tl = ListIndexed(target);
    if (tl->error) {
        LogListingError(target, tl->error);
        return true;
    }
    FolderPairWork work(clone, exclusions);
    return work.CompareFiles(MakeFolderRef(source), MakeFolderRef(target), *sl, *tl, false);
}

} // namespace

namespace clone_detail {

bool CompareTrees(cClone& clone, const std::string& sourceRoot, const std::string& targetRoot,
                  bool includeSubfolders, const ExclusionRules* exclusions)
{
    const std::string src = WithTrailingSlash(sourceRoot);
    const std::string tgt = WithTrailingSlash(targetRoot);
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
        return !CompareFolderPair(clone, src, tgt, exclusions);
    TreeWalk walk(clone, exclusions);
    return walk.Run(src, tgt);
}

} // namespace clone_detail

// ---------------------------------------------------------------------------
// cClone: comparison

void cClone::ResetFileOpsList(const std::string& targetRoot)
{
    FileOpsArray.clear();
    m_createdFolderOps.clear();
    FilesScannedCount = 0;
    TargetFilesListed = 0;
    LeftoverTempFiles.clear();
    m_runTargetRoot = targetRoot;
    m_verifiedFolders.clear();
}

void cClone::EndRun()
{
    if (!PlanOnly()) {
        std::deque<FileOp>().swap(FileOpsArray);
        std::unordered_set<std::string>().swap(m_createdFolderOps);
        LeftoverTempFiles.clear();
    }
    m_runTargetRoot.clear();
    m_verifiedFolders.clear();
    m_targetLock.reset();
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
                       const std::string& name, const CloneEntryState* listed)
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
        op.SourceListed = *listed;
    }
}

void cClone::AddDeleteOp(const FolderSpecRef& targetFolder, const std::string& name)
{
    if (IsSafeCopyLeftoverName(name)) {
        LeftoverTempFiles.push_back(*targetFolder + name); // ours, not an orphan of the Source
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
    const std::string s = platform::resolvedFolderPath(source);
    const std::string t = platform::resolvedFolderPath(target);
    const char* relation = nullptr;
    if (s == t)
        relation = "The Source and Target folders are the same folder.";
    else if (platform::folderIsAtOrBelow(t, s))
        relation = "The Target folder lies inside the Source folder.";
    else if (platform::folderIsAtOrBelow(s, t))
        relation = "The Source folder lies inside the Target folder.";
    if (!relation)
        return false;
    LogAdd(LogEntryType::FolderPathError, "Source: " + source + " Target: " + target, {}, {}, 0, relation);
    return true;
}

namespace {

// Whether a listing holds anything besides the trash folders at a mount's top.
bool HoldsEntries(const std::string& folderSpec, const std::vector<platform::DirEntry>& entries)
{
    return std::any_of(entries.begin(), entries.end(),
                       [&](const platform::DirEntry& e) { return !IsTrashEntry(folderSpec, e); });
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
        // A data folder where no lock can be made must not stop every run: it goes on unlocked.
        const auto result = lockFile.empty() ? platform::InstanceLock::Result::Failed : lock->acquire(lockFile);
        if (result == platform::InstanceLock::Result::HeldElsewhere) {
            LogAdd(LogEntryType::FolderPathError, "Target: " + target, {}, {}, 0,
                   "Problems processing the Target folder. Another run is working on this Target folder now, "
                   "so it was skipped.");
            return true;
        }
        if (result == platform::InstanceLock::Result::Acquired)
            m_targetLock = std::move(lock);
    }
    if (ProtectFromEmptySource()) {
        std::vector<platform::DirEntry> sourceEntries, targetEntries;
        if (platform::listFolder(source, sourceEntries) == 0 && !HoldsEntries(source, sourceEntries) &&
            platform::listFolder(target, targetEntries) == 0 && HoldsEntries(target, targetEntries)) {
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
    for (const std::string& spec : LeftoverTempFiles) {
        const int err = platform::removeLeftoverFile(spec);
        if (err == 0)
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Removed a temporary file left by an interrupted run. - '" + spec + "' ");
        else if (!IsMissingError(err))
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "Not removed, as it is not a temporary file of this program: " + GetSystemErrorMessage(err) +
                       " - '" + spec + "' ");
    }
    LeftoverTempFiles.clear();
}

bool cClone::CloneAll(const std::string& pstrSourceFolderSpec, const std::string& pstrTargetFolderSpec,
                      bool pbolIncludeSubFolders)
{
    return Guarded("cClone.CloneAll", false, [&] {
        const std::string src = WithTrailingSlash(pstrSourceFolderSpec);
        const std::string tgt = WithTrailingSlash(pstrTargetFolderSpec);
        ResetFileOpsList(tgt);
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
        return CompareTrees(*this, pstrSourceFolderSpec, pstrTargetFolderSpec, pbolIncludeSubFolders,
                            nullptr);
    });
}

bool cClone::CompareFilesAndReturnResults(const std::string& pstrSourceFolderSpec,
                                          const std::string& pstrTargetFolderSpec)
{
    return Guarded("cClone.CompareFilesAndReturnResults", true, [&] {
        return CompareFolderPair(*this, WithTrailingSlash(pstrSourceFolderSpec),
                                 WithTrailingSlash(pstrTargetFolderSpec), nullptr);
    });
}

bool cClone::AddTargetSubfolderAndFilesToFileOpsArray(const std::string& pstrTargetFolderSpec)
{
    return Guarded("cClone.AddTargetSubfolderAndFilesToFileOpsArray", true, [&] {
        const std::string tgt = WithTrailingSlash(pstrTargetFolderSpec);
        const auto tl = ListIndexed(tgt);
        if (tl->error) {
            LogListingError(tgt, tl->error);
            return true;
        }
        FolderPairWork work(*this, nullptr);
        return work.AddTargetContents(MakeFolderRef(tgt), *tl);
    });
}

bool cClone::AddSourceSubfolderAndFilesToFileOpsArray(const std::string& pstrSourceFolderSpec,
                                                      const std::string& pstrTargetFolderSpec)
{
    return Guarded("cClone.AddSourceSubfolderAndFilesToFileOpsArray", true, [&] {
        const std::string src = WithTrailingSlash(pstrSourceFolderSpec);
        const auto sl = ListIndexed(src);
        if (sl->error) {
            LogListingError(src, sl->error);
            return true;
        }
        FolderPairWork work(*this, nullptr);
        return work.AddSourceContents(MakeFolderRef(src),
                                      MakeFolderRef(WithTrailingSlash(pstrTargetFolderSpec)), *sl);
    });
}

void cClone::ValidateRemoveFolderOps()
{
    Guarded("cClone.ValidateRemoveFolderOps", [&] {
        for (FileOp& op : FileOpsArray) {
            if (op.OpType == FileOpRemoveFolder && !IsFolderEmpty(op.TargetFolderSpec()))
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

// ---------------------------------------------------------------------------
// cClone: performing

// Copies of many small files are mostly system calls: two copy threads (the run's
// own and one more, more on larger machines) keep the kernel busy on both sides
// while the log still takes every entry in the order of the list. Only the part
// of a regular copy that touches nothing but the two folders held open runs
// ahead; anything else (another kind of operation, a copy that needs its path)
// waits until every copy before it has been logged.

enum class cClone::CopyOutcome : uint8_t
{
    Copied,
    SourceError, // the Source's attributes could not be read (`err`)
    Changed,     // the Source is not what was listed, or changed during the copy
    CopyError,   // the copy failed with `err`; a read-only Target gets its retry by path
    ByPath,      // nothing was done: the copy is for copyFile by path
};

struct cClone::CopyAttempt
{
    std::shared_ptr<const platform::OpenFolder> from, to;
    CopyOutcome outcome = CopyOutcome::ByPath;
    int err = 0;
    platform::PathAttributes before;
};

void cClone::RunCopyAttempt(const FileOp& op, CopyAttempt& attempt) noexcept
{
    attempt.outcome = CopyOutcome::ByPath;
    if (const int err = platform::entryAttributesIn(*attempt.from, op.FileName, attempt.before)) {
        attempt.outcome = CopyOutcome::SourceError;
        attempt.err = err;
        return;
    }
    if (op.SourceKnown && (attempt.before.size != op.SourceListed.size ||
                           attempt.before.lastWrite != op.SourceListed.lastWrite)) {
        attempt.outcome = CopyOutcome::Changed;
        return;
    }
    platform::PathAttributes after;
    const int err = platform::copyFileIn(*attempt.from, *attempt.to, op.FileName, attempt.before, after);
    if (err == platform::kCopyByPath)
        return;
    if (err != 0) {
        attempt.outcome = CopyOutcome::CopyError;
        attempt.err = err;
        return;
    }
    attempt.outcome = SameState(attempt.before, after) ? CopyOutcome::Copied : CopyOutcome::Changed;
}

namespace {

std::shared_ptr<const platform::OpenFolder> OpenHeld(const std::string& folder)
{
    auto handle = std::make_shared<platform::OpenFolder>();
    if (handle->open(folder) != 0)
        return nullptr;
    return handle;
}

// The folder that the copies in progress read from (or write to), held open
// while the list goes on in it.
class HeldFolder
{
public:
    // `folder` held open; null when it cannot be opened (those copies go by path).
    std::shared_ptr<const platform::OpenFolder> get(const FolderSpecRef& folder)
    {
        if (!m_key || !(m_key.sameAs(folder) || *m_key == *folder)) {
            m_key = folder;
            m_handle = OpenHeld(*folder);
        }
        return m_handle;
    }
    void release()
    {
        m_key = {};
        m_handle.reset();
    }

private:
    FolderSpecRef m_key;
    std::shared_ptr<const platform::OpenFolder> m_handle;
};

} // namespace

struct cClone::Performer
{
    struct Job : PoolJob
    {
        const FileOp* op = nullptr;
        CopyAttempt attempt;
        void run() noexcept override { RunCopyAttempt(*op, attempt); }
    };

    HeldFolder sources;
    HeldFolder targets;
    WorkerPool pool;

    // Folders may be made or removed by the next operation: open them afresh.
    void releaseFolders()
    {
        sources.release();
        targets.release();
    }
};

cClone::cClone() = default;
cClone::~cClone() = default;

bool cClone::VerifiedTargetFolder(const std::string& folderSpec, int& err, bool allowMissing)
{
    err = 0;
    if (m_runTargetRoot.empty())
        return true;
    const std::string folder = WithTrailingSlash(folderSpec);
    if (folder == m_runTargetRoot)
        return true; // the root a person chose may itself be a link
    if (!folder.starts_with(m_runTargetRoot)) {
        err = EPERM; // never outside the Target root
        return false;
    }
    if (m_verifiedFolders.contains(folder))
        return true;
    if (!VerifiedTargetFolder(ParentFolderOf(folder), err, allowMissing))
        return false;
    int statErr = 0;
    switch (platform::pathKind(WithoutTrailingSlash(folder), platform::FollowLinks::no, &statErr)) {
    case platform::PathKind::Folder:
        m_verifiedFolders.insert(folder);
        return true;
    case platform::PathKind::Missing:
        if (allowMissing && statErr == ENOENT)
            return true; // to be made, below folders that are real
        err = statErr ? statErr : ENOENT;
        return false;
    case platform::PathKind::Symlink:
        err = ELOOP; // never write or delete through a link
        return false;
    default:
        err = ENOTDIR;
        return false;
    }
}

bool cClone::ClearReadOnlyForChange(const std::string& path, bool parentToo)
{
    bool changed = false;
    platform::PathAttributes a;
    if (platform::pathAttributes(WithoutTrailingSlash(path), a) == 0 && a.readOnly &&
        a.kind != platform::PathKind::Symlink && platform::clearReadOnly(WithoutTrailingSlash(path)) == 0)
        changed = true;
    if (parentToo) {
        const std::string parent = ParentFolderOf(path);
        platform::PathAttributes p;
        if ((m_runTargetRoot.empty() || parent.starts_with(m_runTargetRoot)) &&
            platform::pathAttributes(WithoutTrailingSlash(parent), p) == 0 && p.readOnly &&
            platform::clearReadOnly(WithoutTrailingSlash(parent)) == 0)
            changed = true;
    }
    return changed;
}

bool cClone::CopyFileAndLogResults(const std::string& FileName, const std::string& SourceFileSpec,
                                   const std::string& SourceFolderSpec, const std::string& TargetFileSpec,
                                   const std::string& TargetFolderSpec)
{
    (void)SourceFileSpec;
    (void)TargetFileSpec;
    FileOp op;
    op.OpType = FileOpCopy;
    op.FileName = FileName;
    op.SourceFolder = MakeFolderRef(SourceFolderSpec);
    op.TargetFolder = MakeFolderRef(TargetFolderSpec);
    return CopyFileAndLogResults(op);
}

bool cClone::CopyFileAndLogResults(const FileOp& op)
{
    return Guarded("cClone.CopyFileAndLogResults", true, [&] {
        if (CopyAttempt attempt; PrepareCopyIn(op, attempt)) {
            RunCopyAttempt(op, attempt);
            return FinishCopy(op, attempt);
        }

        const std::string source = op.SourceFileSpec();
        const std::string target = op.TargetFileSpec();
        const std::string& sourceFolder = op.SourceFolderSpec();
        const std::string& targetFolder = op.TargetFolderSpec();
        auto copyError = [&](int32_t code, const std::string& message) {
            LogAdd(LogEntryType::CopyError, op.FileName, sourceFolder, targetFolder, code, message);
            return true;
        };

        if (int err = 0; !VerifiedTargetFolder(targetFolder, err))
            return copyError(err, GetSystemErrorMessage(err));

        // The Source as it is now: gone, or not what was compared, fails this file only.
        platform::PathAttributes before;
        if (const int err = platform::pathAttributes(source, before))
            return copyError(err, GetSystemErrorMessage(err));
        if (op.SourceKnown &&
            (before.size != op.SourceListed.size || before.lastWrite != op.SourceListed.lastWrite))
            return copyError(kChangedCode, kChangedMessage);
        auto changedDuringCopy = [&] {
            platform::PathAttributes after;
            return platform::pathAttributes(source, after) != 0 || !SameState(before, after);
        };

        const int32_t method = CopyMethod();
        if (method == 1) {
            const CloneEntryState state{before.size, before.lastWrite};
            if (!SafeCopy(source, target, targetFolder, &state))
                return true;
        } else if (method == 2) {
            if (!CopyRetainCreateDateTime(source, target, sourceFolder, targetFolder, op.FileName))
                return true;
            if (changedDuringCopy())
                return copyError(kChangedCode, kChangedMessage);
        } else {
            bool retried = false;
            for (;;) {
                const int err = platform::copyFile(source, target, platform::CopyFlavor::Regular);
                if (err == 0)
                    break;
                if (IsAccessDenied(err) && !retried && ClearReadOnlyForChange(target, false)) {
                    retried = true;
                    runHost().processEvents();
                    continue;
                }
                return copyError(err, GetSystemErrorMessage(err));
            }
            if (changedDuringCopy())
                return copyError(kChangedCode, kChangedMessage);
        }
        LogAdd(LogEntryType::Copied, op.FileName, sourceFolder, targetFolder);
        return false;
    });
}

bool cClone::PrepareCopyIn(const FileOp& op, CopyAttempt& attempt)
{
    if (op.OpType != FileOpCopy || CopyMethod() != 0 || !op.SourceFolder || !op.TargetFolder)
        return false;
    const std::string& name = op.FileName;
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return false;
    // Paths the kernel would refuse keep the errors they have always given.
    const std::string& sourceFolder = *op.SourceFolder;
    const std::string& targetFolder = *op.TargetFolder;
    if (sourceFolder.empty() || targetFolder.empty() || sourceFolder.back() != '/' ||
        targetFolder.back() != '/' || sourceFolder.size() + name.size() >= platform::kPathMax ||
        targetFolder.size() + name.size() >= platform::kPathMax ||
        sourceFolder.find('\0') != std::string::npos || targetFolder.find('\0') != std::string::npos)
        return false;
    if (int err = 0; !VerifiedTargetFolder(targetFolder, err))
        return false;
    if (m_performer) {
        attempt.from = m_performer->sources.get(op.SourceFolder);
        attempt.to = m_performer->targets.get(op.TargetFolder);
    } else {
        attempt.from = OpenHeld(sourceFolder);
        attempt.to = OpenHeld(targetFolder);
    }
    return attempt.from && attempt.to;
}

bool cClone::FinishCopy(const FileOp& op, const CopyAttempt& attempt)
{
    return Guarded("cClone.CopyFileAndLogResults", true, [&] {
        const std::string& sourceFolder = op.SourceFolderSpec();
        const std::string& targetFolder = op.TargetFolderSpec();
        auto copyError = [&](int32_t code, const std::string& message) {
            LogAdd(LogEntryType::CopyError, op.FileName, sourceFolder, targetFolder, code, message);
            return true;
        };
        switch (attempt.outcome) {
        case CopyOutcome::Copied:
            LogAdd(LogEntryType::Copied, op.FileName, sourceFolder, targetFolder);
            return false;
        case CopyOutcome::SourceError:
            return copyError(attempt.err, GetSystemErrorMessage(attempt.err));
        case CopyOutcome::Changed:
            return copyError(kChangedCode, kChangedMessage);
        case CopyOutcome::CopyError:
        case CopyOutcome::ByPath:
            break;
        }

        // What the folders held open could not do: by path, with the retry for a
        // read-only Target.
        const std::string source = op.SourceFileSpec();
        const std::string target = op.TargetFileSpec();
        bool retried = false;
        int err = attempt.outcome == CopyOutcome::CopyError
                      ? attempt.err
                      : platform::copyFile(source, target, platform::CopyFlavor::Regular);
        while (err != 0) {
            if (IsAccessDenied(err) && !retried && ClearReadOnlyForChange(target, false)) {
                retried = true;
                runHost().processEvents();
                err = platform::copyFile(source, target, platform::CopyFlavor::Regular);
                continue;
            }
            return copyError(err, GetSystemErrorMessage(err));
        }
        platform::PathAttributes after;
        if (platform::entryAttributesIn(*attempt.from, op.FileName, after) != 0 ||
            !SameState(attempt.before, after))
            return copyError(kChangedCode, kChangedMessage);
        LogAdd(LogEntryType::Copied, op.FileName, sourceFolder, targetFolder);
        return false;
    });
}

bool cClone::DeleteFileAndLogResults(const std::string& FileName, const std::string& TargetFileSpec,
                                     const std::string& TargetFolderSpec)
{
    return Guarded("cClone.DeleteFileAndLogResults", true, [&] {
        const int32_t method = DeleteMethod();
        if (method == 2)
            return false;
        if (int err = 0; !VerifiedTargetFolder(TargetFolderSpec, err)) {
            LogAdd(LogEntryType::DeleteError, FileName, {}, TargetFolderSpec, err,
                   GetSystemErrorMessage(err));
            return true;
        }
        bool retried = false;
        for (;;) {
            int err = 0;
            if (method == 1) {
                // Only files are planned for deletion: a folder that took the name since is left alone.
                if (IsRealFolder(TargetFileSpec))
                    err = EISDIR;
                else
                    SendFileToRecycleBin(TargetFileSpec, &err);
            } else if (method == 3) {
                err = platform::secureDelete(TargetFileSpec);
            } else {
                err = platform::deleteFile(TargetFileSpec);
            }
            if (err == 0) {
                LogAdd(LogEntryType::Deleted, FileName, {}, TargetFolderSpec);
                return false;
            }
            if (method == 3) {
                LogAdd(LogEntryType::DeleteError, FileName, {}, TargetFolderSpec, err,
                       "Dx - " + GetSystemErrorMessage(err));
                return true;
            }
            // Linux refuses an unlink for the folder's sake, not the file's.
            if (IsAccessDenied(err) && !retried && ClearReadOnlyForChange(TargetFileSpec, true)) {
                retried = true;
                runHost().processEvents();
                continue;
            }
            LogAdd(LogEntryType::DeleteError, FileName, {}, TargetFolderSpec, err,
                   GetSystemErrorMessage(err));
            return true;
        }
    });
}

bool cClone::CreateFolderAndLogResults(const std::string& TargetFolderSpec)
{
    return Guarded("cClone.CreateFolderAndLogResults", true, [&] {
        if (int err = 0; WithTrailingSlash(TargetFolderSpec) != m_runTargetRoot &&
                         !VerifiedTargetFolder(ParentFolderOf(TargetFolderSpec), err, true)) {
            LogAdd(LogEntryType::CreateDirError, {}, {}, TargetFolderSpec, err, GetSystemErrorMessage(err));
            return true;
        }
        if (const int err = platform::makeFolder(WithoutTrailingSlash(TargetFolderSpec))) {
            CreateFolderPath(TargetFolderSpec);
            // A link standing there is not the folder, though "dir/" would lead through it.
            if (!IsRealFolder(TargetFolderSpec)) {
                LogAdd(LogEntryType::CreateDirError, {}, {}, TargetFolderSpec, err,
                       GetSystemErrorMessage(err));
                return true;
            }
        }
        LogAdd(LogEntryType::CreatedFolder, {}, {}, TargetFolderSpec);
        return false;
    });
}

bool cClone::RemoveFolderAndLogResults(const std::string& folder)
{
    return Guarded("cClone.RemoveFolderAndLogResults", true, [&] {
        if (int err = 0; !VerifiedTargetFolder(ParentFolderOf(folder), err)) {
            LogAdd(LogEntryType::DeleteDirError, {}, {}, folder, err, GetSystemErrorMessage(err));
            return true;
        }
        bool retried = false;
        for (;;) {
            const int err = platform::removeFolder(WithoutTrailingSlash(folder));
            if (err == 0) {
                LogAdd(LogEntryType::DeletedFolder, {}, {}, folder);
                return false;
            }
            if (IsAccessDenied(err) && !retried && ClearReadOnlyForChange(folder, true)) {
                retried = true;
                runHost().processEvents();
                continue;
            }
            LogAdd(LogEntryType::DeleteDirError, {}, {}, folder, err, GetSystemErrorMessage(err));
            return true;
        }
    });
}

bool cClone::PerformFileOperations(const std::string& pstrSourceFolderSpec)
{
    return Guarded("cClone.PerformFileOperations", false, [&] {
        RunHost& host = runHost();
        const size_t count = FileOpsArray.size();
        std::vector<bool> skip(count, false);
        if (ConfirmSyncActions() && count > 0) {
            std::vector<std::string> texts;
            if (GetSyncActionStrings(texts) > 0) {
                std::vector<bool> skipped;
                bool keepConfirming = true;
                host.setAnimationEnabled(false);
                const bool perform = host.confirmSyncActions(texts, skipped, keepConfirming);
                if (!keepConfirming)
                    setConfirmSyncActions(false);
                if (!perform)
                    CancelRequested = true;
                host.setAnimationEnabled(true);
                if (IsCloneCancelled())
                    return false;
                if (skipped.size() == count)
                    skip = std::move(skipped);
            }
        }

        RemoveLeftoverTempFiles();
        host.setStatusText(StatusPanel::Panel1, "Cloning folder \"" + pstrSourceFolderSpec + "\"...");
        host.setStatusText(StatusPanel::Panel2, "0%");
        long long shownPercent = 0;

        // A copy onto a name that is still a folder planned for removal waits
        // until the folders are gone (a folder replaced by a file in the Source).
        std::unordered_set<std::string> plannedRemovals;
        size_t copies = 0;
        for (size_t i = 0; i < count; ++i) {
            const FileOp& op = FileOpsArray[i];
            if (op.Removed || skip[i])
                continue;
            if (op.OpType == FileOpRemoveFolder)
                plannedRemovals.insert(op.TargetFolderSpec());
            else if (op.OpType == FileOpCopy)
                ++copies;
        }

        // Folders held open for this list only, and copy threads where there is enough to copy.
        m_performer = std::make_unique<Performer>();
        struct PerformerEnd
        {
            cClone& clone;
            ~PerformerEnd() { clone.m_performer.reset(); }
        } performerEnd{*this};
        Performer& performer = *m_performer;
        if (copies >= kThreadedCopyMinimum && CopyMethod() == 0)
            performer.pool.start(CopyThreadCount());

        bool errors = false;
        // Copies handed to the threads and not yet logged, oldest first.
        std::deque<Performer::Job> inFlight;
        uint64_t inFlightBytes = 0;
        auto logOldest = [&] {
            Performer::Job& job = inFlight.front();
            performer.pool.wait(job);
            inFlightBytes -= job.op->SourceListed.size;
            if (FinishCopy(*job.op, job.attempt))
                errors = true;
            inFlight.pop_front();
        };
        auto logAll = [&] {
            while (!inFlight.empty())
                logOldest();
        };

        bool cancelled = false;
        std::vector<std::string> removals;
        std::vector<size_t> deferredCopies;
        for (size_t i = 0; i < count; ++i) {
            const long long percent = std::llround(std::nearbyint(double(i + 1) / double(count) * 100.0));
            if (percent != shownPercent) {
                host.setStatusText(StatusPanel::Panel2, std::to_string(percent) + "%");
                shownPercent = percent;
            }
            host.processEvents();
            const FileOp& op = FileOpsArray[i];
            if (op.Removed || skip[i])
                continue;
            switch (op.OpType) {
            case FileOpCopy:
                if (!plannedRemovals.empty() && plannedRemovals.contains(op.TargetFileSpec() + '/')) {
                    deferredCopies.push_back(i);
                    break;
                }
                if (performer.pool.started()) {
                    Performer::Job& job = inFlight.emplace_back();
                    job.op = &op;
                    if (!PrepareCopyIn(op, job.attempt)) {
                        inFlight.pop_back();
                    } else {
                        performer.pool.submit(job, op.SourceListed.size >= kLargeJobBytes);
                        inFlightBytes += op.SourceListed.size;
                        // A bounded lead, so a cancel is not kept waiting behind much work.
                        while (inFlight.size() > kCopiesAhead || (inFlight.size() > 2 && inFlightBytes > kBytesAhead))
                            logOldest();
                        break;
                    }
                }
                logAll();
                if (CopyFileAndLogResults(op))
                    errors = true;
                break;
            case FileOpDelete:
                logAll();
                performer.releaseFolders();
                if (DeleteMethod() != 2 &&
                    DeleteFileAndLogResults(op.FileName, op.TargetFileSpec(), op.TargetFolderSpec()))
                    errors = true;
                break;
            case FileOpCreateFolder:
                logAll();
                performer.releaseFolders();
                if (CreateFolderAndLogResults(op.TargetFolderSpec()))
                    errors = true;
                break;
            case FileOpRemoveFolder:
                if (DeleteMethod() != 2)
                    removals.push_back(op.TargetFolderSpec());
                break;
            }
            // Every operation begun so far is finished and logged before the cancel is.
            if (CancelRequested.load(std::memory_order_relaxed)) {
                logAll();
                if (IsCloneCancelled()) {
                    errors = true;
                    cancelled = true;
                    break;
                }
            }
        }
        logAll();
        performer.releaseFolders();

        if (!cancelled && DeleteMethod() != 2) {
            std::unordered_set<std::string> done;
            for (auto it = removals.rbegin(); it != removals.rend(); ++it) {
                if (!done.insert(*it).second)
                    continue; // each folder once
                if (IsFolderEmpty(*it)) {
                    if (RemoveFolderAndLogResults(*it))
                        errors = true;
                } else {
                    LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                           "Folder not deleted because it is not empty. - '" + *it + "' ");
                }
                host.processEvents();
                if (IsCloneCancelled()) {
                    errors = true;
                    cancelled = true;
                    break;
                }
            }
        }
        if (!cancelled) {
            for (const size_t i : deferredCopies) {
                if (CopyFileAndLogResults(FileOpsArray[i]))
                    errors = true;
                host.processEvents();
                if (IsCloneCancelled()) {
                    errors = true;
                    break;
                }
            }
        }
        return !errors;
    });
}

// ---------------------------------------------------------------------------
// Main-module file routines

std::string GetTempFileSpec(const std::string& prefix, const std::string& extension,
                            const std::string& folder, int32_t& errNumber, std::string& errMessage)
{
    errNumber = 0;
    errMessage.clear();
    std::string out;
    const std::string ext = "." + (extension.empty() ? std::string("tmp") : extension);
    const int err = platform::makeUniqueFile(
        folder.empty() ? platform::tempFolder() : WithTrailingSlash(folder), prefix.substr(0, 3), ext, out);
    if (err) {
        errNumber = err;
        errMessage = GetSystemErrorMessage(err);
        return {};
    }
    return out;
}

bool SendFileToRecycleBin(const std::string& fileSpec, int* err)
{
    return Guarded("modKestrow.SendFileToRecycleBin", false, [&] {
        const int rc = platform::moveToTrash(fileSpec);
        if (err)
            *err = rc;
        return rc == 0;
    });
}

bool IsFolderEmpty(const std::string& folderSpec)
{
    std::vector<platform::DirEntry> entries;
    if (platform::listFolder(folderSpec, entries) != 0 && entries.empty())
        return true; // a folder that cannot be listed counts as empty
    for (const platform::DirEntry& e : entries) {
        if (!IsTrashEntry(WithTrailingSlash(folderSpec), e))
            return false;
    }
    return true;
}

bool SafeCopy(const std::string& SourceFileSpec, const std::string& TargetFileSpec,
              const std::string& TargetFolderSpec, const CloneEntryState* listed)
{
    return Guarded("modKestrow.SafeCopy", false, [&] {
        auto safeCopyError = [](const std::string& file, int32_t code, const std::string& message,
                                const char* custom) {
            LogAdd(LogEntryType::SafeCopyError, file, {}, {}, code, message, custom);
            return false;
        };
        auto sourceChanged = [&] {
            if (!listed)
                return false;
            platform::PathAttributes now;
            return platform::pathAttributes(SourceFileSpec, now) != 0 || now.size != listed->size ||
                   now.lastWrite != listed->lastWrite;
        };

        int probeErr = 0;
        if (platform::pathKind(TargetFileSpec, platform::FollowLinks::no, &probeErr) ==
                platform::PathKind::Missing &&
            probeErr == ENOENT) {
            // Nothing to protect: copy straight to the name.
            if (const int err = platform::copyFile(SourceFileSpec, TargetFileSpec))
                return safeCopyError(TargetFileSpec, err, GetSystemErrorMessage(err), "(Copy Failed)");
            if (sourceChanged()) {
                // A copy that may be torn never stands under the final name.
                platform::deleteFile(TargetFileSpec);
                return safeCopyError(TargetFileSpec, kChangedCode, kChangedMessage, "(Copy Failed)");
            }
            return true;
        }

        if (IsRealFolder(TargetFileSpec)) {
            // A folder kept where the Source has a file is never sent to the trash in its place.
            return safeCopyError(TargetFileSpec, EISDIR, GetSystemErrorMessage(EISDIR), "(Copy Failed)");
        }

        int32_t tempErr = 0;
        std::string tempMessage;
        const std::string temp =
            GetTempFileSpec(kSafeCopyPrefix, kSafeCopyExtension, TargetFolderSpec, tempErr, tempMessage);
        if (temp.empty())
            return safeCopyError(SourceFileSpec, tempErr, tempMessage, "(Unable to get temp file spec)");
        // From here on every way out that does not rename the temporary file removes it.
        auto dropTemp = [&] { platform::deleteFile(temp); };

        if (IsCloneCancelled()) {
            dropTemp();
            return false;
        }
        if (const int err = platform::copyFile(SourceFileSpec, temp)) {
            dropTemp();
            return safeCopyError(temp, err, GetSystemErrorMessage(err), "(Copy Failed)");
        }
        if (sourceChanged()) {
            dropTemp();
            return safeCopyError(SourceFileSpec, kChangedCode, kChangedMessage, "(Copy Failed)");
        }
        // On disk before the old Target goes: a crash after the rename finds the whole new file.
        // A link or FIFO copied in its place has no data (ENOTSUP): the folder's flush covers it.
        if (const int err = platform::syncFile(temp); err && err != ENOTSUP) {
            dropTemp();
            return safeCopyError(temp, err, GetSystemErrorMessage(err), "(Copy Failed)");
        }
        if (IsCloneCancelled()) {
            dropTemp();
            return false;
        }

        bool retried = false;
        for (;;) {
            int err = 0;
            if (SendFileToRecycleBin(TargetFileSpec, &err))
                break;
            platform::PathAttributes a;
            if (IsAccessDenied(err) && !retried && platform::pathAttributes(TargetFileSpec, a) == 0 &&
                a.readOnly && platform::clearReadOnly(TargetFileSpec) == 0) {
                retried = true;
                continue;
            }
            dropTemp();
            return safeCopyError(TargetFileSpec, err, GetSystemErrorMessage(err), "(Delete Failed)");
        }

        // The old Target is in the trash now: the new one takes its place even if
        // a cancel arrived meanwhile, so the name is never left empty.
        if (const int err = platform::renameNoReplace(temp, TargetFileSpec)) {
            safeCopyError(temp, err, GetSystemErrorMessage(err), "(Rename Failed)");
            if (const int delErr = platform::deleteFile(temp))
                safeCopyError(temp, delErr, GetSystemErrorMessage(delErr), "(Delete Failed)");
            return false;
        }
        // The rename itself is durable once its folder is flushed (a file system
        // that cannot flush a folder says so with EINVAL: nothing more to do there).
        if (const int err = platform::syncFile(GetFolderPart(TargetFileSpec)); err && err != EINVAL && err != ENOTSUP)
            return safeCopyError(TargetFileSpec, err, GetSystemErrorMessage(err), "(Rename Failed)");
        return true;
    });
}

bool CopyRetainCreateDateTime(const std::string& SourceFileSpec, const std::string& TargetFileSpec,
                              const std::string& SourceFolderSpec, const std::string& TargetFolderSpec,
                              const std::string& FileName)
{
    return Guarded("modKestrow.CopyRetainCreateDateTime", false, [&] {
        bool retried = false;
        for (;;) {
            const int err =
                platform::copyFile(SourceFileSpec, TargetFileSpec, platform::CopyFlavor::KeepEverything);
            if (err == 0)
                return true;
            platform::PathAttributes a;
            if (IsAccessDenied(err) && !retried && platform::pathAttributes(TargetFileSpec, a) == 0 &&
                a.readOnly && platform::clearReadOnly(TargetFileSpec) == 0) {
                retried = true;
                runHost().processEvents();
                continue;
            }
            LogAdd(LogEntryType::CopyError, FileName, SourceFolderSpec, TargetFolderSpec, err,
                   "Dx - " + GetSystemErrorMessage(err));
            return false;
        }
    });
}

} // namespace kestrow
