// The report reaches every folder from the two held roots by name: trees past
// PATH_MAX are reported in full, and a folder swapped for a link while the report
// runs is refused, never listed through.

#include "engine/Report.h"

#include "base/AppState.h"
#include "base/RunHost.h"
#include "engine/modCompare.h"
#include "platform/Fd.h"
#include "tests/support/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrow {
namespace {

using test::EngineTest;

using platform::Fd;

Fd openFolderAt(int dirFd, const std::string& name)
{
    return Fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

Fd makeFolderAt(int dirFd, const std::string& name)
{
    ::mkdirat(dirFd, name.c_str(), 0755);
    return openFolderAt(dirFd, name);
}

void writeFileAt(int dirFd, const std::string& name, const std::string& content, int64_t seconds)
{
    Fd f(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    ASSERT_TRUE(f) << name;
    ASSERT_EQ(::write(f.get(), content.data(), content.size()), static_cast<ssize_t>(content.size()));
    const timespec when[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::futimens(f.get(), when), 0);
}

// Everything in `dirFd` named `name`, removed through handles (no path length limit, no link followed).
void removeTreeAt(int dirFd, const std::string& name)
{
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(dirFd, name.c_str(), 0);
        return;
    }
    if (Fd folder = openFolderAt(dirFd, name)) {
        std::vector<std::string> names;
        if (DIR* d = ::fdopendir(::dup(folder.get()))) {
            while (const dirent* e = ::readdir(d)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..")
                    names.push_back(n);
            }
            ::closedir(d);
        }
        for (const std::string& n : names)
            removeTreeAt(folder.get(), n);
    }
    ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
}

// The names in `folder`, in the order the file system lists them.
std::vector<std::string> listingOrder(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        ::closedir(d);
    }
    return names;
}

// A run host that runs `action` once, at the first event pump.
class FirstPumpHost : public RunHost
{
public:
    explicit FirstPumpHost(std::function<void()> action) : m_action(std::move(action)), m_scope(*this) {}
    void setStatusText(StatusPanel, const std::string&) override {}
    void processEvents() override
    {
        if (std::exchange(m_fired, true))
            return;
        m_action();
    }
    bool fired() const { return m_fired; }

private:
    std::function<void()> m_action;
    bool m_fired = false;
    ScopedRunHost m_scope;
};

class ReportHandlesTest : public EngineTest
{
protected:
    ReportHandlesTest() { gstrProgramPath = "/opt/kestrow/"; }
    ~ReportHandlesTest() override
    {
        gstrProgramPath = m_savedProgramPath;
        // The temporary folder's own removal goes by full path, which cannot reach a deep tree.
        if (Fd top{::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)}) {
            removeTreeAt(top.get(), "src");
            removeTreeAt(top.get(), "tgt");
        }
    }

    std::string src() const { return root() + "src/"; }
    std::string tgt() const { return root() + "tgt/"; }

    struct Lists
    {
        std::vector<std::string> added, deleted, changed;
        bool ok = false;
    };
    Lists diff(bool includeSubfolders = true)
    {
        Lists l;
        l.ok = CompareFoldersAndFillResultTypeArrays(src(), tgt(), includeSubfolders, l.added, l.deleted,
                                                     l.changed);
        return l;
    }

    static std::vector<std::string> sorted(std::vector<std::string> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    }

    static bool anyHolds(const Lists& l, const std::string& text)
    {
        for (const auto* list : {&l.added, &l.deleted, &l.changed})
            for (const std::string& entry : *list)
                if (entry.find(text) != std::string::npos)
                    return true;
        return false;
    }

    int logLinesEndingWith(const std::string& text) const
    {
        const std::vector<std::string> lines = logEntries();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string& l) { return l.ends_with(text); }));
    }

    static constexpr int64_t T = 1'700'000'000;

private:
    std::string m_savedProgramPath = gstrProgramPath;
};

// Both sides hold the same chain of folders, far past PATH_MAX, with the
// differences at its bottom.
class DeepTreeTest : public ReportHandlesTest
{
protected:
    DeepTreeTest()
    {
        const std::string level(200, 'd');
        tmp.makeDir("src");
        tmp.makeDir("tgt");
        std::string relative;
        Fd srcFd{::open(src().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        Fd tgtFd{::open(tgt().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        while (srcFd && tgtFd && (src() + relative).size() <= 5200) {
            srcFd = makeFolderAt(srcFd.get(), level);
            tgtFd = makeFolderAt(tgtFd.get(), level);
            relative += level + "/";
        }
        if (!srcFd || !tgtFd)
            return; // the tests see an empty bottom and fail
        m_bottom = relative;
        for (int side : {srcFd.get(), tgtFd.get()}) {
            writeFileAt(side, "same.txt", "s", T);
            ::symlinkat("x", side, "same-link");
        }
        writeFileAt(srcFd.get(), "changed.txt", "new", T + 10);
        writeFileAt(tgtFd.get(), "changed.txt", "old", T);
        writeFileAt(srcFd.get(), "touched.txt", "t", T + 100); // same bytes, another time
        writeFileAt(tgtFd.get(), "touched.txt", "t", T);
        ::symlinkat("a", srcFd.get(), "other-link");
        ::symlinkat("b", tgtFd.get(), "other-link");
        writeFileAt(srcFd.get(), "added.txt", "a", T);
        writeFileAt(tgtFd.get(), "deleted.txt", "d", T);
        writeFileAt(makeFolderAt(srcFd.get(), "newdir").get(), "n.txt", "n", T);
        writeFileAt(makeFolderAt(tgtFd.get(), "olddir").get(), "o.txt", "o", T);
    }

    // The Source-side spec of `name` at the bottom of the chain.
    std::string deep(const std::string& name) const { return src() + m_bottom + name; }

    std::string m_bottom;
};

TEST_F(DeepTreeTest, EveryDifferenceIsListedWithItsFullPathUnderEachMethod)
{
    ASSERT_GT(deep("").size(), 5000u);
    const std::vector<std::string> added{deep("added.txt"), deep("newdir/.."), deep("newdir/n.txt")};
    const std::vector<std::string> deleted{deep("deleted.txt"), deep("olddir/.."), deep("olddir/o.txt")};
    struct Row
    {
        int32_t method;
        std::vector<std::string> changed;
    };
    // Links are judged by their texts; by contents and CRC-32 only the bytes count.
    for (const Row& row :
         {Row{CompareMethodDateTime, {deep("changed.txt"), deep("other-link"), deep("touched.txt")}},
          Row{CompareMethodContents, {deep("changed.txt"), deep("other-link")}},
          Row{CompareMethodCRC32, {deep("changed.txt"), deep("other-link")}}}) {
        SCOPED_TRACE(row.method);
        compare.setCompareMethod(row.method);
        const Lists lists = diff();
        EXPECT_TRUE(lists.ok);
        EXPECT_EQ(sorted(lists.added), sorted(added));
        EXPECT_EQ(sorted(lists.deleted), sorted(deleted));
        EXPECT_EQ(sorted(lists.changed), sorted(row.changed));
    }
    EXPECT_EQ(logCount("Error"), 0);
}

TEST_F(DeepTreeTest, ReportShowsTheFullPathText)
{
    const std::string file = root() + "report.html";
    bool comparisonOk = false;
    ASSERT_TRUE(WriteHTMLReportOfFolderDiffs(src(), tgt(), true, file, &comparisonOk));
    EXPECT_TRUE(comparisonOk);
    const std::string html = tmp.readFile("report.html");
    EXPECT_NE(html.find("<a href=\"#added\">Added:</a>    </font></b><br>3</dl></td>"), std::string::npos);
    EXPECT_NE(html.find("<a href=\"#deleted\">Deleted:</a>    </font></b><br>3</dl></td>"),
              std::string::npos);
    EXPECT_NE(html.find("<a href=\"#changed\">Changed:</a>    </font></b><br>3</td></tr></table>"),
              std::string::npos);
    EXPECT_NE(html.find("<dd><img SRC=\"/opt/kestrow/rpt_file.jpg\" HSPACE=8 height=12 width=10>" +
                        deep("changed.txt") + "</dd>"),
              std::string::npos);
    EXPECT_NE(html.find("<dd><img SRC=\"/opt/kestrow/rpt_folder.jpg\" HSPACE=5 height=16 width=16>" +
                        deep("olddir/..") + "</dd>"),
              std::string::npos);
}

// A Target subfolder that is a link to a folder outside both trees.
class OutsideLinkTest : public ReportHandlesTest
{
protected:
    OutsideLinkTest()
    {
        tmp.writeFile("outside/secret.txt", "s");
        tmp.makeDir("outside/secret folder");
        outside = root() + "outside";
    }

    std::string outside;
};

TEST_F(OutsideLinkTest, LinkInTheListingIsReportedAsALinkAndNotEntered)
{
    tmp.writeFile("src/linked/x.txt", "x");
    tmp.makeDir("tgt");
    ASSERT_EQ(::symlink(outside.c_str(), (tgt() + "linked").c_str()), 0);
    // The same link on both sides is one unchanged pair.
    ASSERT_EQ(::symlink(outside.c_str(), (src() + "both").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (tgt() + "both").c_str()), 0);
    for (int32_t method : {CompareMethodDateTime, CompareMethodContents}) {
        SCOPED_TRACE(method);
        compare.setCompareMethod(method);
        const Lists lists = diff();
        EXPECT_TRUE(lists.ok);
        EXPECT_EQ(lists.deleted, std::vector<std::string>{src() + "linked"});
        EXPECT_EQ(sorted(lists.added), sorted({src() + "linked/..", src() + "linked/x.txt"}));
        EXPECT_TRUE(lists.changed.empty());
        EXPECT_FALSE(anyHolds(lists, "secret"));
    }
}

// Folders swapped for links to the outside folder after their parents were listed
// and before they are reached: they are refused and reported as folders that
// could not be listed, and nothing of the outside folder is listed.
TEST_F(OutsideLinkTest, FolderSwappedForALinkWhileTheReportRunsIsNotFollowed)
{
    // A pair of Target folders that the file system lists after a file of the
    // same folder: the report has listed its parent but not yet it when the
    // first event pump runs.
    std::string swapped;
    for (int i = 0; swapped.empty() && i < 50; ++i) {
        const std::string n = std::to_string(i);
        for (const std::string side : {"src", "tgt"}) {
            tmp.writeFile(side + "/file" + n + ".txt", "f");
            tmp.writeFile(side + "/folder" + n + "/inside.txt", "i");
        }
        bool fileSeen = false;
        for (const std::string& name : listingOrder(tgt())) {
            fileSeen = fileSeen || name.starts_with("file");
            if (fileSeen && name.starts_with("folder")) {
                swapped = name;
                break;
            }
        }
    }
    ASSERT_FALSE(swapped.empty());
    tmp.writeFile("src/newdir/n.txt", "n"); // a Source folder alone, reached after the Target pass

    FirstPumpHost host([&] {
        for (const std::string& folder : {tgt() + swapped, src() + "newdir"}) {
            ASSERT_EQ(std::rename(folder.c_str(), (folder + ".moved").c_str()), 0);
            ASSERT_EQ(::symlink(outside.c_str(), folder.c_str()), 0);
        }
    });
    const Lists lists = diff();
    ASSERT_TRUE(host.fired());

    EXPECT_FALSE(lists.ok);
    EXPECT_FALSE(anyHolds(lists, "secret"));
    EXPECT_FALSE(anyHolds(lists, swapped + "/")); // nothing in the refused pair is judged
    EXPECT_EQ(lists.added, std::vector<std::string>{src() + "newdir/.."});
    EXPECT_TRUE(lists.deleted.empty());
    EXPECT_EQ(logCount("*Get SubFolders Error: "), 2);
    EXPECT_EQ(logCount("no longer the one that was listed"), 2);
    EXPECT_EQ(logLinesEndingWith(" " + tgt() + swapped + "/"), 1);
    EXPECT_EQ(logLinesEndingWith(" " + src() + "newdir/"), 1);
}

} // namespace
} // namespace kestrow
