#include "engine/Report.h"

#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "base/RunHost.h"
#include "base/UiServices.h"
#include "engine/CloneInternal.h"
#include "engine/Filters.h"
#include "engine/Listing.h"
#include "engine/cClone.h"
#include "engine/cCompare.h"
#include "engine/modCompare.h"
#include "log/CloneLog.h"
#include "log/OneLine.h"
#include "log/StringAppend.h"
#include "platform/DirList.h"
#include "platform/FileCompare.h"
#include "platform/FileInfo.h"
#include "platform/FolderAt.h"
#include "platform/SystemInfo.h"
#include "platform/TextFile.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace kestrow {

namespace {

using clone_detail::FolderHandles;
using clone_detail::HeldFolder;
using clone_detail::HeldFolderPtr;
using platform::DirEntry;

constexpr const char* kReportLocation = "modFolderCompare.CreateHTMLReportOfFolderDiffs";
constexpr uint32_t kFileTypeMask = 0170000; // the file-type bits of st_mode (POSIX)

// The ids of the two roots on a report's own FolderHandles.
constexpr uint32_t kSourceRootId = 1;
constexpr uint32_t kTargetRootId = 2;

// One folder as the report saw it: held open while its pairs are judged, its
// entries without the trash folders at a mount's top and the safe copy's leftovers.
struct ReportListing
{
    HeldFolderPtr held;
    std::vector<DirEntry> entries;
};

// Opens `folder` from its parent's handle (as the one its parent listed) and lists
// it. A folder that cannot be opened so, or listed, is logged (kind 20) and gives false.
bool listForReport(FolderHandles& handles, const FolderSpecRef& folder, ReportListing& listing)
{
    int err = 0;
    listing.entries.clear();
    listing.held = handles.open(folder, err);
    if (listing.held)
        err = platform::listFolderAt(listing.held->folder, listing.entries);
    if (err) {
        listing.entries.clear();
        listing.held.reset();
        if (gCloneLog)
            gCloneLog->Add(LogEntryType::GetSubFoldersError, {}, *folder, {}, {}, err,
                           clone_detail::FolderOpenErrorText(err));
        return false;
    }
    const HeldFolder& held = *listing.held;
    std::erase_if(listing.entries, [&](const DirEntry& e) {
        return clone_detail::IsTrashEntry(held, e) ||
               (!e.isFolder() && cClone::IsSafeCopyLeftoverName(e.name));
    });
    return true;
}

using EntryIndex = std::unordered_map<std::string_view, const DirEntry*>;

EntryIndex indexByName(const std::vector<DirEntry>& entries)
{
    EntryIndex index;
    index.reserve(entries.size());
    for (const DirEntry& e : entries)
        index.emplace(e.name, &e);
    return index;
}

const DirEntry* lookup(const EntryIndex& index, const std::string& name)
{
    const auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

struct PairOptions
{
    int32_t method;
    bool twoSec;
    bool dst;
};

// The comparer keeps its last error between calls: one per thread.
platform::FileComparer& comparer()
{
    thread_local platform::FileComparer instance;
    return instance;
}

// AreFilesSameUsingContents and AreFilesSameUsingCRC32 through the two held
// folders: the same judgements, the same log entries (kinds 12, 13), no path
// resolved again.
class HeldPairComparison
{
public:
    HeldPairComparison(const HeldFolder& from, const HeldFolder& to, const std::string& sourceFolder,
                       const std::string& targetFolder, const std::string& name, bool& error)
        : m_from(from), m_to(to), m_sourceFolder(sourceFolder), m_targetFolder(targetFolder), m_name(name),
          m_error(error)
    {
    }

    bool sameContents()
    {
        const LogEntryType kind = LogEntryType::ContentCompareError;
        if (const std::optional<bool> judged = judgeWithoutOpening(kind))
            return *judged;
        platform::FileComparer& files = comparer();
        files.reset();
        const int result = files.compareFilesIn(m_from.folder, m_to.folder, m_name);
        if (result == 0)
            return true;
        if (result != -1)
            return false;
        return failed(kind, files.lastError());
    }

    bool sameCrc()
    {
        const LogEntryType kind = LogEntryType::CrcCompareError;
        if (const std::optional<bool> judged = judgeWithoutOpening(kind))
            return *judged;
        platform::FileComparer& files = comparer();
        files.reset();
        const int64_t sourceCrc = files.crc32OfFileIn(m_from.folder, m_name);
        if (sourceCrc == -1)
            return failed(kind, files.lastError()); // the Target is not read once the Source has failed
        files.reset();
        const int64_t targetCrc = files.crc32OfFileIn(m_to.folder, m_name);
        if (targetCrc == -1)
            return failed(kind, files.lastError());
        return sourceCrc == targetCrc;
    }

private:
    // Links and special files are judged without opening them, as they are now
    // (the listing may be a moment old); two regular files give nothing.
    std::optional<bool> judgeWithoutOpening(LogEntryType kind)
    {
        platform::PathAttributes source, target;
        if (platform::entryAttributesAt(m_from.folder, m_name, source) != 0 ||
            platform::entryAttributesAt(m_to.folder, m_name, target) != 0)
            return std::nullopt; // left to the reader, whose failure is the one logged
        using K = platform::PathKind;
        if (source.kind == K::File && target.kind == K::File)
            return std::nullopt;
        if (source.kind != target.kind)
            return false;
        if (source.kind == K::Special)
            return (source.mode & kFileTypeMask) == (target.mode & kFileTypeMask);
        if (source.kind == K::Symlink) {
            std::string sourceText, targetText;
            if (const int err = platform::readLinkAt(m_from.folder, m_name, sourceText))
                return failed(kind, static_cast<uint32_t>(err));
            if (const int err = platform::readLinkAt(m_to.folder, m_name, targetText))
                return failed(kind, static_cast<uint32_t>(err));
            return sourceText == targetText;
        }
        return false; // two folders of the file's name: nothing to read
    }

    // A failed comparison counts as different; "merely different" codes are no failure.
    bool failed(LogEntryType kind, uint32_t code)
    {
        if (code == 0 || code == platform::FileComparer::kDifferentCode)
            return false;
        m_error = true;
        if (gCloneLog)
            gCloneLog->Add(kind, {}, m_name, m_sourceFolder, m_targetFolder, static_cast<int32_t>(code),
                           ComparisonFailureText(code));
        comparer().reset();
        return false;
    }

    const HeldFolder& m_from;
    const HeldFolder& m_to;
    const std::string& m_sourceFolder;
    const std::string& m_targetFolder;
    const std::string& m_name;
    bool& m_error;
};

// Whether a Source entry and its Target counterpart (both not folders, both in
// the held folders `from` and `to`) are the same.
bool sameEntries(const HeldFolder& from, const HeldFolder& to, const std::string& sourceFolder,
                 const std::string& targetFolder, const DirEntry& s, const DirEntry& t,
                 const PairOptions& options, bool& error)
{
    if (s.type != t.type)
        return false; // a file against a link or a FIFO is never the same
    if (s.type == platform::EntryType::Symlink) {
        std::string a, b;
        return platform::readLinkAt(from.folder, s.name, a) == 0 &&
               platform::readLinkAt(to.folder, t.name, b) == 0 && a == b;
    }
    switch (options.method) {
    case CompareMethodSize:
        return AreFilesSameUsingSize(s, t);
    case CompareMethodContents:
        return HeldPairComparison(from, to, sourceFolder, targetFolder, s.name, error).sameContents();
    case CompareMethodCRC32:
        return HeldPairComparison(from, to, sourceFolder, targetFolder, s.name, error).sameCrc();
    default:
        // As a run judges it: another size is another file, whatever the times say.
        return AreFilesSameUsingTimestamp(s, t, options.twoSec, options.dst) && s.size == t.size;
    }
}

// The subfolders of a listed folder, as refs that reopen each one as listed.
std::vector<FolderSpecRef> childRefs(const FolderSpecRef& parent, const ReportListing& listing)
{
    std::vector<FolderSpecRef> refs(listing.entries.size());
    for (size_t i = 0; i < listing.entries.size(); ++i) {
        if (listing.entries[i].isFolder())
            refs[i] = clone_detail::ChildRef(parent, listing.held.get(), listing.entries[i]);
    }
    return refs;
}

// Everything below `listFolder` (listed through `handles`) as entries below `entryFolderSpec`.
bool addFolderAndContents(FolderHandles& handles, const FolderSpecRef& listFolder,
                          const std::string& entryFolderSpec, std::vector<std::string>& list)
{
    list.push_back(entryFolderSpec + "..");
    ReportListing listing;
    if (!listForReport(handles, listFolder, listing))
        return false;
    const std::vector<FolderSpecRef> subfolders = childRefs(listFolder, listing);
    listing.held.reset(); // nothing more is read here; a deep tree keeps no handle per level
    RunHost& host = runHost();
    bool ok = true;
    for (size_t i = 0; i < listing.entries.size(); ++i) {
        const DirEntry& e = listing.entries[i];
        if (e.isFolder())
            ok = addFolderAndContents(handles, subfolders[i], entryFolderSpec + e.name + "/", list) && ok;
        else
            list.push_back(entryFolderSpec + e.name);
        host.processEvents();
    }
    return ok;
}

// A Source folder and a Target folder, both reached from roots held on the
// comparison's own handles.
class FolderComparison
{
public:
    FolderComparison(FolderHandles& handles, std::vector<std::string>& added,
                     std::vector<std::string>& deleted, std::vector<std::string>& changed)
        : m_handles(handles), m_added(added), m_deleted(deleted), m_changed(changed)
    {
    }

    // One folder pair; the subfolder pairs are compared as the Target pass meets them.
    bool comparePair(const FolderSpecRef& source, const FolderSpecRef& target, bool includeSubfolders)
    {
        const cCompare& compare = CompareOptions();
        const PairOptions options{compare.CompareMethod(), compare.IgnoreFAT_NTFS_TwoSecDiff(),
                                  compare.IgnoreFAT_NTFS_DaylightSavings()};
        ReportListing targetListing;
        ReportListing sourceListing;
        const bool targetListed = listForReport(m_handles, target, targetListing);
        const bool sourceListed = listForReport(m_handles, source, sourceListing);
        if (!targetListed || !sourceListed)
            return false;
        const std::vector<DirEntry>& targetEntries = targetListing.entries;
        const std::vector<DirEntry>& sourceEntries = sourceListing.entries;
        const EntryIndex sourceByName = indexByName(sourceEntries);
        const EntryIndex targetByName = indexByName(targetEntries);
        RunHost& host = runHost();
        bool ok = true;

        // The pairs of this folder are judged while both folders are held; the
        // handles are let go before going down, so a deep tree keeps none per level.
        std::vector<char> differs(targetEntries.size(), 0);
        for (size_t i = 0; i < targetEntries.size(); ++i) {
            const DirEntry& t = targetEntries[i];
            const DirEntry* s = lookup(sourceByName, t.name);
            if (t.isFolder() || !s || s->isFolder())
                continue;
            bool error = false;
            differs[i] = !sameEntries(*sourceListing.held, *targetListing.held, *source, *target, *s, t,
                                      options, error);
            ok = ok && !error;
            host.processEvents();
        }
        const std::vector<FolderSpecRef> targetFolders = childRefs(target, targetListing);
        const std::vector<FolderSpecRef> sourceFolders = childRefs(source, sourceListing);
        targetListing.held.reset();
        sourceListing.held.reset();

        for (size_t i = 0; i < targetEntries.size(); ++i) {
            const DirEntry& t = targetEntries[i];
            const DirEntry* s = lookup(sourceByName, t.name);
            if (t.isFolder()) {
                if (includeSubfolders) {
                    const FolderSpecRef& subTarget = targetFolders[i];
                    if (s && s->isFolder())
                        ok = comparePair(sourceFolders[static_cast<size_t>(s - sourceEntries.data())],
                                         subTarget, includeSubfolders) &&
                             ok;
                    else
                        ok = addFolderAndContents(m_handles, subTarget, *source + t.name + "/", m_deleted) &&
                             ok;
                }
            } else if (!s || s->isFolder()) {
                m_deleted.push_back(*source + t.name);
            } else if (differs[i]) {
                m_changed.push_back(*source + t.name);
            }
            host.processEvents();
        }

        for (size_t i = 0; i < sourceEntries.size(); ++i) {
            const DirEntry& s = sourceEntries[i];
            const DirEntry* t = lookup(targetByName, s.name);
            if (s.isFolder()) {
                if (includeSubfolders && !(t && t->isFolder()))
                    ok = addFolderAndContents(m_handles, sourceFolders[i], *source + s.name + "/", m_added) &&
                         ok;
            } else if (!t || t->isFolder()) {
                m_added.push_back(*source + s.name);
            }
            host.processEvents();
        }
        return ok;
    }

private:
    FolderHandles& m_handles;
    std::vector<std::string>& m_added;
    std::vector<std::string>& m_deleted;
    std::vector<std::string>& m_changed;
};

// The report file could not be written: its errno.
struct ReportWriteFailure
{
    int err;
};

[[noreturn]] void throwWriteError(int err)
{
    throw ReportWriteFailure{err};
}

// The report text on its way to the file: collected, and written out in chunks.
class ReportWriter
{
public:
    explicit ReportWriter(std::string fileSpec) : m_fileSpec(std::move(fileSpec))
    {
        if (const int err = platform::writeWholeFile(m_fileSpec, {}))
            throwWriteError(err);
    }

    ReportWriter& operator<<(std::string_view text)
    {
        m_text.Append(text);
        return *this;
    }

    void flushWhenLarge()
    {
        if (m_text.StringByteSize() > kFlushBytes)
            flush();
    }

    void flush()
    {
        if (m_text.Length() == 0)
            return;
        if (const int err = platform::appendToFile(m_fileSpec, m_text.CurrentString()))
            throwWriteError(err);
        m_text.Reset();
    }

private:
    static constexpr int64_t kFlushBytes = 100000;

    std::string m_fileSpec;
    clsStringAppend m_text;
};

void summaryCell(ReportWriter& out, const char* anchor, const char* label, size_t count, const char* after)
{
    if (count > 0)
        out << "<a href=" << EncloseInQuotes(std::string("#") + anchor) << ">" << label << "</a>    ";
    else
        out << label;
    out << "</font></b><br>" << std::to_string(count) << after;
}

struct Section
{
    const char* anchor;
    const char* heading;
    const char* note;
    const std::vector<std::string>& list;
};

void writeSection(ReportWriter& out, const Section& section, const std::string& fileImage,
                  const std::string& folderImage)
{
    if (section.list.empty())
        return;
    out << "<h2><font size=+1>&nbsp;<a NAME=" << EncloseInQuotes(section.anchor) << section.heading
        << section.note;
    RunHost& host = runHost();
    size_t written = 0;
    for (const std::string& entry : section.list) {
        out << HTMLReportGraphicCode(entry, fileImage, folderImage);
        if (++written % 100 == 0)
            out.flushWhenLarge();
        host.processEvents();
    }
}

// Length of the valid UTF-8 sequence at `text[i]`, or 0 when there is none.
size_t utf8SequenceAt(const std::string& text, size_t i, uint32_t& codePoint)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char c = byte(i + k);
        if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF))
            return 0;
        codePoint = (codePoint << 6) | (c & 0x3F);
    }
    return length;
}

HtmlFileOpener& currentOpener()
{
    static HtmlFileOpener opener = [](const std::string& fileSpec) {
        return platform::openWithDefaultHandler(fileSpec, "text/html");
    };
    return opener;
}

} // namespace

bool CompareFoldersAndFillResultTypeArrays(const std::string& sourceFolderSpec,
                                           const std::string& targetFolderSpec, bool includeSubfolders,
                                           std::vector<std::string>& added, std::vector<std::string>& deleted,
                                           std::vector<std::string>& changed)
{
    return Guarded("modCompare.CompareFoldersAndFillResultTypeArrays", false, [&] {
        // Both roots held from here to the end; every other folder is reached from them by name.
        FolderHandles handles;
        const FolderSpecRef source = FolderSpecRef::Root(WithTrailingSlash(sourceFolderSpec), kSourceRootId);
        const FolderSpecRef target = FolderSpecRef::Root(WithTrailingSlash(targetFolderSpec), kTargetRootId);
        handles.openRoot(source);
        handles.openRoot(target); // a root that failed is tried again, and logged, when listed
        FolderComparison comparison(handles, added, deleted, changed);
        return comparison.comparePair(source, target, includeSubfolders);
    });
}

bool AddFolderAndContentsToDeletedItemsArray(const std::string& sourceFolderSpec,
                                             const std::string& targetFolderSpec,
                                             std::vector<std::string>& list)
{
    return Guarded("modCompare.AddFolderAndContentsToDeletedItemsArray", false, [&] {
        FolderHandles handles;
        return addFolderAndContents(handles,
                                    FolderSpecRef::Root(WithTrailingSlash(targetFolderSpec), kTargetRootId),
                                    WithTrailingSlash(sourceFolderSpec), list);
    });
}

bool AddFolderAndContentsToAddedItemsArray(const std::string& sourceFolderSpec,
                                           std::vector<std::string>& list)
{
    return Guarded("modCompare.AddFolderAndContentsToAddedItemsArray", false, [&] {
        FolderHandles handles;
        const std::string folder = WithTrailingSlash(sourceFolderSpec);
        return addFolderAndContents(handles, FolderSpecRef::Root(folder, kSourceRootId), folder, list);
    });
}

std::string EncloseInQuotes(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string HtmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        uint32_t codePoint = 0;
        size_t length = utf8SequenceAt(text, i, codePoint);
        if (length == 0) {
            codePoint = c; // not UTF-8: most likely a Latin-1 name from an older system
            length = 1;
        }
        out += "&#" + std::to_string(codePoint) + ";";
        i += length;
    }
    return out;
}

std::string ReportImageSpec(const std::string& imageName)
{
    // A file URL's path part is the path with the bytes a URL cannot carry escaped.
    static const std::string kScheme = "file://";
    return platform::fileUrl(gstrProgramPath + imageName).substr(kScheme.size());
}

std::string HTMLReportGraphicCode(const std::string& entry, const std::string& fileImageSpec,
                                  const std::string& folderImageSpec)
{
    return Guarded("modCompare.HTMLReportGraphicCode", std::string(), [&] {
        static constexpr std::string_view kOpen = "<dd><img SRC=";
        static constexpr std::string_view kFolderTail = " HSPACE=5 height=16 width=16>";
        static constexpr std::string_view kFileTail = " HSPACE=8 height=12 width=10>";
        static constexpr std::string_view kClose = "</dd>";
        // A folder entry is a folder spec and ".."; a file may well be named "v2..".
        const bool folder = entry.ends_with("/..");
        const std::string& image = folder ? folderImageSpec : fileImageSpec;
        const std::string_view tail = folder ? kFolderTail : kFileTail;
        const std::string name = HtmlEscaped(OneLineForm(entry));
        std::string code;
        code.reserve(kOpen.size() + image.size() + 2 + tail.size() + name.size() + kClose.size());
        code.append(kOpen).append(1, '"').append(image).append(1, '"').append(tail).append(name).append(
            kClose);
        return code;
    });
}

namespace {

// The report, written; a failure to write it throws ReportWriteFailure.
bool WriteReport(const std::string& sourceFolderSpec, const std::string& targetFolderSpec,
                 bool includeSubfolders, const std::string& reportFileSpec, bool* comparisonOk)
{
    const std::string source = WithTrailingSlash(sourceFolderSpec);
    const std::string target = WithTrailingSlash(targetFolderSpec);
    ReportWriter out(reportFileSpec);
    std::vector<std::string> added;
    std::vector<std::string> deleted;
    std::vector<std::string> changed;
    const bool ok =
        CompareFoldersAndFillResultTypeArrays(source, target, includeSubfolders, added, deleted, changed);
    if (comparisonOk)
        *comparisonOk = ok;

    out << "<html><body>"
        << "<div align=right><font color=" << EncloseInQuotes("#666600") << "><font size=-1>" << NowText()
        << "</font></font></div>"
        << "<h1><img SRC=" << EncloseInQuotes(ReportImageSpec("rpt_folders_sheep.jpg"))
        << "  HSPACE=2 BORDER=0 height=102 width=113 align=CENTER>Folder Differences Report</h1>"
        << "<dl><dd><b>Source Folder:</b> " << HtmlEscaped(OneLineForm(source)) << "</dd>"
        << "<dd><b>Target Folder:</b> " << HtmlEscaped(OneLineForm(target)) << "</dd>"
        << "<br>&nbsp;<dd><b></b></dd>";

    out << "<dl><b>Summary:</b></dl><table BORDER CELLPADDING=3 WIDTH=" << EncloseInQuotes("33%")
        << " HEIGHT=" << EncloseInQuotes("43") << " BGCOLOR=" << EncloseInQuotes("#FFFFCC")
        << " ><tr VALIGN=TOP><td><dl><b><font size=-1>";
    summaryCell(out, "added", "Added:", added.size(), "</dl></td><td><b><font size=-1>");
    summaryCell(out, "deleted", "Deleted:", deleted.size(), "</dl></td><td><b><font size=-1>");
    summaryCell(out, "changed", "Changed:", changed.size(), "</td></tr></table>");

    const std::string fileImage = ReportImageSpec("rpt_file.jpg");
    const std::string folderImage = ReportImageSpec("rpt_folder.jpg");
    writeSection(out,
                 {"added", "></a>Added To Source</font></h2>",
                  "<P><font size=-1><I>The objects in this list appear in the Source folder but not in the "
                  "Target folder</I></font></P>",
                  added},
                 fileImage, folderImage);
    writeSection(out,
                 {"deleted", "></a>Deleted From Source</font></h2>",
                  "<P><font size=-1><I>The objects in this list appear in the Target folder but not in the "
                  "Source folder</font></I></P>",
                  deleted},
                 fileImage, folderImage);
    writeSection(out,
                 {"changed", "></a>Changed In Source</font></h2>",
                  "<P><font size=-1><I>The files in this list appear in both the Source and Target folders "
                  "but differ.</font></I></P>",
                  changed},
                 fileImage, folderImage);

    out << "<p><table CELLPADDING=7 COLS=1 WIDTH=" << EncloseInQuotes("100%")
        << " BGCOLOR=" << EncloseInQuotes("#FFFFCC") << " ><tr><td>"
        << "All differences shown are from the perspective of the Source Folder.<br>"
        << "Folders and files which have been <i>added to</i>, <i>deleted from</i>, or <i>changed in</i>"
        << " the Source Folder are listed above.</td></tr></table>"
        << "</body></html>";
    out.flush();
    return true;
}

} // namespace

bool WriteHTMLReportOfFolderDiffs(const std::string& sourceFolderSpec, const std::string& targetFolderSpec,
                                  bool includeSubfolders, const std::string& reportFileSpec,
                                  bool* comparisonOk, int* writeError)
{
    return Guarded(kReportLocation, false, [&] {
        try {
            return WriteReport(sourceFolderSpec, targetFolderSpec, includeSubfolders, reportFileSpec,
                               comparisonOk);
        } catch (const ReportWriteFailure& failure) {
            if (!writeError)
                throw RuntimeError(errorNumberFromErrno(failure.err, true),
                                   GetSystemErrorMessage(failure.err), failure.err);
            *writeError = failure.err;
            return false;
        }
    });
}

std::string CreateHTMLReportOfFolderDiffs(const std::string& sourceFolderSpec,
                                          const std::string& targetFolderSpec, bool includeSubfolders)
{
    const std::string reportFileSpec = Guarded(kReportLocation, std::string(), [] {
        int32_t errNumber = 0;
        std::string errMessage;
        std::string spec = GetTempFileSpec("rpt", "html", "", errNumber, errMessage);
        if (spec.empty())
            throw RuntimeError(errorNumberFromErrno(errNumber, true), errMessage, errNumber);
        return spec;
    });
    if (reportFileSpec.empty())
        return {};
    if (!WriteHTMLReportOfFolderDiffs(sourceFolderSpec, targetFolderSpec, includeSubfolders,
                                      reportFileSpec)) {
        platform::removeFile(reportFileSpec); // half a report is no use to anyone
        return {};
    }
    ShowHTMLFileInBrowser(reportFileSpec);
    return reportFileSpec;
}

bool ShowHTMLFileInBrowser(const std::string& fileSpec)
{
    return Guarded("modKestrow.ShowHTMLFileInBrowser", false, [&] {
        const platform::OpenOutcome outcome = currentOpener()(fileSpec);
        if (outcome.status == platform::OpenStatus::Started)
            return true;
        const std::string place = "Report File Name: " + GetFileNamePart(fileSpec) +
                                  "\nReport File Location: " + GetFolderPart(fileSpec);
        const std::string text =
            outcome.status == platform::OpenStatus::NoHandler
                ? "The HTML report was created but could not be displayed.\n"
                  "You do not have an application associated to view HTML files.\n\n" +
                      place
                : "The HTML report was created but could not be opened by your browser.\n\n" + place +
                      "\nBrowser Specification: " + outcome.handler;
        ui().messageBox("HTML Report Problem", text, MsgIcon::Exclamation, MsgButtons::Ok);
        return false;
    });
}

ScopedHtmlFileOpener::ScopedHtmlFileOpener(HtmlFileOpener opener)
    : m_installed(currentOpener(), std::move(opener))
{
}

} // namespace kestrow
