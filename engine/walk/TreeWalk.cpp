// The tree walk: both trees listed folder by folder through held handles,
// listings read ahead, the pairs of each folder compared (by contents ahead on
// pool threads), and every difference appended to the operations list.

#include "engine/cClone.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "engine/CloneInternal.h"
#include "engine/FolderRoutines.h"
#include "engine/Listing.h"
#include "engine/RootPaths.h"
#include "engine/RunControl.h"
#include "engine/cCompare.h"
#include "engine/modCompare.h"
#include "platform/DeviceId.h"
#include "platform/FileCompare.h"
#include "platform/FileInfo.h"
#include "platform/FileOps.h"
#include "platform/InstanceLock.h"
#include "platform/SystemInfo.h"
#include "util/AsciiCase.h"
#include "util/WorkerPool.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <deque>
#include <limits>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_set>

namespace kestrow {

using namespace clone_detail;
using util::PoolJob;
using util::WorkerPool;

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

// Lists the folders the walk will come to next on pool threads (one per core, at
// most four), while the walk's own thread compares, or lists too when it waits:
// the kernel works on several folders at once. Only folders the walk is sure to
// list are asked for, and only a few dozen are handed to the pool at a time, so
// memory stays small on any tree. The walk takes each listing in its own order and
// reports its errors itself.
class ListingPrefetcher
{
public:
    explicit ListingPrefetcher(FolderHandles& handles) : m_handles(handles) {}
    ListingPrefetcher(const ListingPrefetcher&) = delete;
    ListingPrefetcher& operator=(const ListingPrefetcher&) = delete;
    // Left early (a cancel): what no thread has begun is taken back, the rest waited for.
    ~ListingPrefetcher()
    {
        for (auto& [key, slot] : m_slots) {
            if (slot->submitted)
                m_pool.withdrawOrWait(*slot);
        }
    }

    // `folder` will be listed (by take) before long.
    void request(const FolderSpecRef& folder)
    {
        auto [it, added] = m_slots.try_emplace(&*folder);
        if (!added)
            return; // asked for already
        it->second = std::make_unique<Slot>(m_handles, folder);
        m_backlog.push_back(it->second.get());
        if (!m_pool.started())
            m_pool.start(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
        topUp();
    }

    // The listing of `folder`: the one made ahead, or one made now.
    std::shared_ptr<FolderListing> take(const FolderSpecRef& folder)
    {
        std::unique_ptr<Slot> slot = remove(folder);
        if (!slot || !slot->done)
            return ListIndexed(m_handles, folder); // not begun: listed here rather than waited for
        return IndexListing(std::move(slot->held), std::move(slot->entries), slot->error);
    }

    // `folder` will not be taken after all: its listing, begun or not, is dropped.
    void discard(const FolderSpecRef& folder) { remove(folder); }

private:
    static constexpr size_t kAhead = 32;

    struct Slot : util::PoolJob
    {
        Slot(FolderHandles& handles, const FolderSpecRef& folder) : handles(handles), folder(folder) {}
        void run() noexcept override { error = ListHeld(handles, folder, held, entries); }

        FolderHandles& handles;
        FolderSpecRef folder;
        bool submitted = false;
        int error = 0;
        HeldFolderPtr held;
        std::vector<platform::DirEntry> entries;
    };

    // The slot of `folder`, out of every list and of the pool's hands; null when it
    // was never asked for. Its `done` tells whether its listing was made.
    std::unique_ptr<Slot> remove(const FolderSpecRef& folder)
    {
        const auto it = m_slots.find(&*folder);
        if (it == m_slots.end())
            return nullptr;
        std::unique_ptr<Slot> slot = std::move(it->second);
        m_slots.erase(it);
        if (!slot->submitted) {
            std::erase(m_backlog, slot.get());
            return slot;
        }
        --m_submitted;
        m_pool.withdrawOrWait(*slot);
        topUp();
        return slot;
    }

    void topUp()
    {
        while (m_submitted < kAhead && !m_backlog.empty()) {
            Slot* slot = m_backlog.front();
            m_backlog.pop_front();
            slot->submitted = true;
            ++m_submitted;
            m_pool.submit(*slot, true); // a listing is all system calls: worth a wake-up
        }
    }

    FolderHandles& m_handles;
    std::unordered_map<const std::string*, std::unique_ptr<Slot>> m_slots;
    std::deque<Slot*> m_backlog; // asked for, not yet handed to the pool
    size_t m_submitted = 0;      // handed to the pool and not yet taken
    util::WorkerPool m_pool;     // last: its threads end before the slots go
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

// On a Target that folds letter case, a Source entry and a Target entry whose
// names differ only in case are one name there: they are paired instead of the
// one being deleted and the other copied onto the same name, run after run. A
// file takes the Source's spelling (FileOpRename); a folder keeps the Target's,
// as renaming a folder is where FAT drivers go wrong (fusefat empties it).
class CaseTwins
{
public:
    CaseTwins(cClone& clone, const FolderListing& sl, const FolderListing& tl, bool folders) : m_clone(clone)
    {
        if (!clone.TargetFeaturesInForce().foldsCase)
            return;
        for (const platform::DirEntry& s : sl.entries) {
            const auto it = tl.byName.find(s.name);
            if (s.isFolder() == folders && (it == tl.byName.end() || it->second->isFolder() != folders))
                m_unmatched.emplace(Folded(s.name), &s);
        }
    }
    // The Source twin of Target entry `t` of folder `tgt` (a file's rename planned), or null.
    const platform::DirEntry* take(const FolderSpecRef& src, const FolderSpecRef& tgt,
                                   const platform::DirEntry& t)
    {
        if (m_unmatched.empty())
            return nullptr;
        const auto it = m_unmatched.find(Folded(t.name));
        if (it == m_unmatched.end())
            return nullptr;
        const platform::DirEntry* s = it->second;
        m_unmatched.erase(it);
        m_paired.insert(s);
        if (s->isFolder())
            LogAdd(LogEntryType::InformationOnly, {}, {}, {}, 0, {},
                   "The folder \"" + t.name +
                       "\" keeps this spelling in the Target, whose file system takes \"" + s->name +
                       "\" for the same name. - '" + *tgt + "' ");
        else
            m_clone.AddRenameOp(src, tgt, t.name, s->name);
        return s;
    }
    bool paired(const platform::DirEntry& s) const { return !m_paired.empty() && m_paired.contains(&s); }

private:
    // FAT's own folding is ASCII letters (and its code page); names beyond ASCII keep their bytes.
    static std::string Folded(const std::string& name) { return util::asciiLower(name); }
    cClone& m_clone;
    std::unordered_map<std::string, const platform::DirEntry*> m_unmatched;
    std::unordered_set<const platform::DirEntry*> m_paired;
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
        const bool deleting =
            m_clone.RunOptionsInForce().deleteMethod != DeleteMethodDoNotDelete && !noDelete;
        bool error = false;
        int32_t reason = SkipReasonNone;
        ContentsAhead ahead(*this, src, sl, tl);
        CaseTwins twins(m_clone, sl, tl, false);
        for (const platform::DirEntry& t : tl.entries) {
            m_clone.CountScannedEntry();
            if (!t.isFolder()) {
                ++m_clone.TargetFilesListed;
                const platform::DirEntry* s = nullptr;
                if (IsFindDataSkipped(t, reason)) {
                    LogSkip(SkipSubject::TargetFile, reason, *tgt + t.name);
                } else if (m_ex && FileMatchesPatternInCollection(t.name, m_ex->masks)) {
                    // excluded by name: neither compared nor deleted
                } else if (!(s = sl.file(t.name)) && !(s = twins.take(src, tgt, t))) {
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
                    // Taken in the loop's order even when not needed, so the next pair gets its own.
                    const ContentVerdict* verdict = ahead.verdictFor(t);
                    if (m_clone.PlanHardLink(src, tgt, *s, &t)) {
                        // a link of a name met before
                    } else if (PairNeedsCopy(m_clone, *src, *tgt, *s, t, failed, verdict, sl.held.get(),
                                             tl.held.get())) {
                        const CloneEntryState state{s->size, s->lastWrite};
                        m_clone.AddCopyOp(src, tgt, s->name, &state, s->type == platform::EntryType::File,
                                          cClone::TargetEntry::Listed);
                        m_clone.NoteLinkLeaderCopy(*s);
                    } else if (!failed && m_clone.AttributesDiffer(*s, t, sl.held.get(), tl.held.get())) {
                        m_clone.AddUpdateAttributesOp(src, tgt, s->name);
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
            if (!s.isFolder() && !tl.file(s.name) && !twins.paired(s)) {
                if (IsFindDataSkipped(s, reason)) {
                    LogSkip(SkipSubject::SourceFile, reason, *src + s.name);
                } else if (!(m_ex && m_ex->fileExcluded(*src + s.name, s.name)) &&
                           !m_clone.PlanHardLink(src, tgt, s, nullptr)) {
                    const CloneEntryState state{s.size, s.lastWrite};
                    m_clone.AddCopyOp(src, tgt, s.name, &state, s.type == platform::EntryType::File);
                    m_clone.NoteLinkLeaderCopy(s);
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
                } else if (!(m_ex && m_ex->fileExcluded(*src + s.name, s.name)) &&
                           !m_clone.PlanHardLink(src, tgt, s, nullptr)) {
                    const CloneEntryState state{s.size, s.lastWrite};
                    m_clone.AddCopyOp(src, tgt, s.name, &state, s.type == platform::EntryType::File);
                    m_clone.NoteLinkLeaderCopy(s);
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
            for (ContentJob& job : m_jobs)
                m_work.m_pool->withdrawOrWait(job);
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
        // What the parents' listings saw of the two folders.
        bool attributesDiffer = false;
        bool timeDiffers = false;
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

        // A root is what the person chose: never skipped by its own attributes.
        int32_t reason = SkipReasonNone;
        if (!isRoot && AreFolderAttributesSkipped(FolderEntryNamed(m_pass1[i].hidden), reason)) {
            LogSkip(SkipSubject::TargetFolder, reason, *tgt);
            m_pass1[i].targetUnreadable = true; // nothing below it is known
            return;
        }

        const auto tl = m_prefetch.take(tgt);
        if (tl->error) {
            m_prefetch.discard(src);
            // A dry run that may create the Target plans its creation: no error of its own.
            const cClone::RunOptions& run = m_clone.RunOptionsInForce();
            if (!(isRoot && IsMissingError(tl->error) && run.planOnly && run.createTargetFolder)) {
                LogListingError(*tgt, tl->error);
                m_errors = true;
            }
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
        if (source == Side::Present) {
            if (m_ex && m_ex->folderExcluded(*src))
                return; // an excluded pair is passed over with everything below it
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
            if (source == Side::Present) {
                int64_t op = -1;
                if (m_pass1[i].attributesDiffer) {
                    op = static_cast<int64_t>(m_clone.FileOpsArray.size());
                    m_clone.AddUpdateAttributesOp(src, tgt, {});
                }
                // The roots' own metadata is looked at when the list is done.
                m_clone.NoteFolderPair(src, tgt, isRoot || m_pass1[i].timeDiffers, op, isRoot);
            }
        }

        std::unordered_map<std::string_view, int32_t> childIndex;
        std::vector<Pass1Node> children;
        std::optional<CaseTwins> twins;
        if (source == Side::Present)
            twins.emplace(m_clone, *sl, *tl, true);
        for (const platform::DirEntry& t : tl->entries) {
            if (!t.isFolder())
                continue;
            Pass1Node child;
            const platform::DirEntry* sourceEntry = nullptr;
            bool twin = false;
            if (source == Side::Present) {
                if (const auto it = sl->byName.find(t.name); it != sl->byName.end() && it->second->isFolder())
                    sourceEntry = it->second;
                else if ((sourceEntry = twins->take(src, tgt, t)))
                    twin = true;
            }
            child.src =
                sourceEntry ? ChildRef(src, sl->held.get(), *sourceEntry) : FolderSpecRef::Child(src, t.name);
            child.tgt = ChildRef(tgt, tl->held.get(), t);
            child.hidden = t.hidden;
            if (sourceEntry) {
                child.attributesDiffer =
                    m_clone.AttributesDiffer(*sourceEntry, t, sl->held.get(), tl->held.get());
                child.timeDiffers = sourceEntry->lastWrite != t.lastWrite;
            }
            child.noDelete = noDelete;
            child.source = source == Side::Present ? (sourceEntry ? Side::Present : Side::Missing) : source;
            if (child.source == Side::Unknown)
                continue; // nothing can be decided below an unreadable Source folder
            if (child.source == Side::Missing && (noDelete || (m_ex && m_ex->folderExcluded(*child.src))))
                continue; // an orphan that must not be deleted: left alone
            childIndex.emplace(twin ? std::string_view(sourceEntry->name) : std::string_view(t.name),
                               static_cast<int32_t>(m_pass1.size() + children.size()));
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
                c.mountTop =
                    sl->held && ((s.mount != 0 && sl->held->id.mount != 0 && s.mount != sl->held->id.mount) ||
                                 s.device != sl->held->id.device);
                if (tl->hasFolder(s.name) || (twins && twins->paired(s))) {
                    c.target = Side::Present;
                    if (const auto it = childIndex.find(s.name); it != childIndex.end())
                        c.pass1 = it->second;
                }
                node.sourceChildren.push_back(std::move(c));
            }
            if (CompareFiles(src, tgt, *sl, *tl, noDelete))
                m_errors = true;
        } else if (source == Side::Missing &&
                   m_clone.RunOptionsInForce().deleteMethod != DeleteMethodDoNotDelete && !noDelete) {
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
        if (!node.isRoot && AreFolderAttributesSkipped(FolderEntryNamed(node.hidden), reason)) {
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
            const Side target = targetHeld &&
                                        platform::entryAttributesAt(targetHeld->folder, s.name, a) == 0 &&
                                        a.kind == platform::PathKind::Folder
                                    ? Side::Present
                                    : Side::Missing;
            pass2.push_back({ChildRef(node.src, sl->held.get(), s), FolderSpecRef::Child(node.tgt, s.name),
                             -1, target, s.hidden, false});
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
    // The run's own roots are exempt; an included folder compared as a tree of its own is not.
    const bool sourceIsRoot = src == WithTrailingSlash(clone.SourceFolder) ||
                              (clone.SourceRootRef() && src == *clone.SourceRootRef());
    const bool targetIsRoot = tgt == WithTrailingSlash(clone.TargetFolder) ||
                              (clone.TargetRootRef() && tgt == *clone.TargetRootRef());
    int32_t reason = SkipReasonNone;
    if (!sourceIsRoot && IsFolderPathSkipped(src, reason)) {
        LogSkip(SkipSubject::SourceFolder, reason, src);
        return true;
    }
    if (!targetIsRoot && IsFolderPathSkipped(tgt, reason)) {
        LogSkip(SkipSubject::TargetFolder, reason, tgt);
        return true;
    }
    if (exclusions && !sourceIsRoot && exclusions->folderExcluded(src))
        return true;
    if (!includeSubfolders)
        return !CompareFolderPair(clone, sourceRoot, targetRoot, exclusions);
    TreeWalk walk(clone, exclusions);
    return walk.Run(sourceRoot, targetRoot);
}

} // namespace clone_detail

bool cClone::CompareEntireSource(const std::string& pstrSourceFolderSpec,
                                 const std::string& pstrTargetFolderSpec, bool pbolIncludeSubFolders)
{
    return Guarded("cClone.CompareEntireSource", false, [&] {
        return CompareTrees(*this, RefFor(pstrSourceFolderSpec), RefFor(pstrTargetFolderSpec),
                            pbolIncludeSubFolders, nullptr);
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

} // namespace kestrow
