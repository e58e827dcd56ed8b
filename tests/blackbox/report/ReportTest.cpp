#include "engine/Report.h"

#include "base/AppState.h"
#include "tests/support/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrow {
namespace {

using test::EngineTest;

// Each test on fresh Source and Target folders under its own temporary root; the
// images are looked for in a fixed program folder so the markup can be spelled out.
class ReportTest : public EngineTest
{
protected:
    ReportTest() { gstrProgramPath = "/opt/kestrow/"; }
    ~ReportTest() override { gstrProgramPath = m_savedProgramPath; }

    std::string src() const { return root() + "src/"; }
    std::string tgt() const { return root() + "tgt/"; }

    // Writes `relative` on one side with the given last-write time.
    void put(const std::string& side, const std::string& relative, const std::string& content, int64_t time)
    {
        const std::string path = tmp.writeFile(side + "/" + relative, content);
        setLastWrite(path, time);
    }

    // The report of src/ against tgt/ as written to a file.
    std::string report(bool includeSubfolders)
    {
        const std::string file = root() + "report.html";
        EXPECT_TRUE(WriteHTMLReportOfFolderDiffs(src(), tgt(), includeSubfolders, file));
        return tmp.readFile("report.html");
    }

    struct Lists
    {
        std::vector<std::string> added, deleted, changed;
    };
    Lists diff(bool includeSubfolders)
    {
        Lists l;
        EXPECT_TRUE(CompareFoldersAndFillResultTypeArrays(src(), tgt(), includeSubfolders, l.added, l.deleted,
                                                          l.changed));
        return l;
    }

    static std::vector<std::string> sorted(std::vector<std::string> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    }

    static constexpr int64_t T = 1'700'000'000;

private:
    std::string m_savedProgramPath = gstrProgramPath;
};

const std::string kFooter =
    "<p><table CELLPADDING=7 COLS=1 WIDTH=\"100%\" BGCOLOR=\"#FFFFCC\" ><tr><td>All differences shown are "
    "from "
    "the perspective of the Source Folder.<br>Folders and files which have been <i>added to</i>, <i>deleted "
    "from</i>, or <i>changed in</i> the Source Folder are listed above.</td></tr></table></body></html>";

TEST_F(ReportTest, IdenticalTreesGiveThePlainSummaryAndNoSections)
{
    for (const std::string side : {"src", "tgt"}) {
        put(side, "a.txt", "one", T);
        put(side, "sub/b.txt", "two", T + 60);
        tmp.makeDir(side + "/sub/empty");
    }
    const std::string expected =
        "<html><body><div align=right><font color=\"#666600\"><font size=-1>12/7/2026 6:37:02 "
        "AM</font></font>"
        "</div><h1><img SRC=\"/opt/kestrow/rpt_folders_sheep.jpg\"  HSPACE=2 BORDER=0 height=102 width=113 "
        "align=CENTER>Folder Differences Report</h1><dl><dd><b>Source Folder:</b> " +
        src() + "</dd><dd><b>Target Folder:</b> " + tgt() +
        "</dd><br>&nbsp;<dd><b></b></dd><dl><b>Summary:</b></dl><table BORDER CELLPADDING=3 WIDTH=\"33%\" "
        "HEIGHT=\"43\" BGCOLOR=\"#FFFFCC\" ><tr VALIGN=TOP><td><dl><b><font "
        "size=-1>Added:</font></b><br>0</dl>"
        "</td><td><b><font size=-1>Deleted:</font></b><br>0</dl></td><td><b><font size=-1>Changed:</font></b>"
        "<br>0</td></tr></table>" +
        kFooter;
    EXPECT_EQ(report(true), expected);
}

// Source: same, changed (10 s newer), added, sub/{same, changed, added}, newdir/{n1, deeper/n2}
// Target: same, changed, deleted, sub/{same, changed, deleted}, olddir/{o1, deeper/o2}
class KnownTreeTest : public ReportTest
{
protected:
    KnownTreeTest()
    {
        for (const std::string side : {"src", "tgt"}) {
            put(side, "same.txt", "s", T);
            put(side, "sub/same.txt", "s", T);
        }
        put("src", "changed.txt", "new", T + 10);
        put("tgt", "changed.txt", "old", T);
        put("src", "sub/inner changed.txt", "new", T + 10);
        put("tgt", "sub/inner changed.txt", "old", T);
        put("src", "added.txt", "a", T);
        put("src", "sub/inner added.txt", "a", T);
        put("src", "newdir/n1.txt", "a", T);
        put("src", "newdir/deeper/n2.txt", "a", T);
        put("tgt", "deleted.txt", "d", T);
        put("tgt", "sub/inner deleted.txt", "d", T);
        put("tgt", "olddir/o1.txt", "d", T);
        put("tgt", "olddir/deeper/o2.txt", "d", T);
    }
};

struct KnownTreeRow
{
    const char* name;
    bool includeSubfolders;
    std::vector<std::string> added, deleted, changed; // below src/
};

void PrintTo(const KnownTreeRow& row, std::ostream* os)
{
    *os << row.name;
}

class KnownTreeLists : public KnownTreeTest, public ::testing::WithParamInterface<KnownTreeRow>
{
};

TEST_P(KnownTreeLists, HoldTheSourceSidePathOfEveryDifference)
{
    const KnownTreeRow& row = GetParam();
    auto full = [&](std::vector<std::string> relative) {
        for (std::string& r : relative)
            r = src() + r;
        return sorted(relative);
    };
    const Lists lists = diff(row.includeSubfolders);
    EXPECT_EQ(sorted(lists.added), full(row.added));
    EXPECT_EQ(sorted(lists.deleted), full(row.deleted));
    EXPECT_EQ(sorted(lists.changed), full(row.changed));
}

INSTANTIATE_TEST_SUITE_P(
    Report, KnownTreeLists,
    ::testing::Values(KnownTreeRow{"WithSubfoldersEveryLevelAndWholeFoldersAreListed",
                                   true,
                                   {"added.txt", "sub/inner added.txt", "newdir/..", "newdir/n1.txt",
                                    "newdir/deeper/..", "newdir/deeper/n2.txt"},
                                   {"deleted.txt", "sub/inner deleted.txt", "olddir/..", "olddir/o1.txt",
                                    "olddir/deeper/..", "olddir/deeper/o2.txt"},
                                   {"changed.txt", "sub/inner changed.txt"}},
                      KnownTreeRow{"WithoutSubfoldersOnlyTheTopFilesAndNoFolders",
                                   false,
                                   {"added.txt"},
                                   {"deleted.txt"},
                                   {"changed.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KnownTreeTest, ReportLinksTheSummaryAndListsTheSectionsInOrder)
{
    const std::string html = report(true);
    EXPECT_NE(html.find("<a href=\"#added\">Added:</a>    </font></b><br>6</dl></td>"), std::string::npos);
    EXPECT_NE(html.find("<a href=\"#deleted\">Deleted:</a>    </font></b><br>6</dl></td>"),
              std::string::npos);
    EXPECT_NE(html.find("<a href=\"#changed\">Changed:</a>    </font></b><br>2</td></tr></table>"),
              std::string::npos);
    const size_t added =
        html.find("<h2><font size=+1>&nbsp;<a NAME=\"added\"></a>Added To Source</font></h2>"
                  "<P><font size=-1><I>The objects in this list appear in the Source folder but "
                  "not in the Target folder</I></font></P><dd>");
    const size_t deleted =
        html.find("<h2><font size=+1>&nbsp;<a NAME=\"deleted\"></a>Deleted From Source</font>"
                  "</h2><P><font size=-1><I>The objects in this list appear in the Target "
                  "folder but not in the Source folder</font></I></P><dd>");
    const size_t changed =
        html.find("<h2><font size=+1>&nbsp;<a NAME=\"changed\"></a>Changed In Source</font>"
                  "</h2><P><font size=-1><I>The files in this list appear in both the Source "
                  "and Target folders but differ.</font></I></P><dd>");
    ASSERT_NE(added, std::string::npos);
    ASSERT_NE(deleted, std::string::npos);
    ASSERT_NE(changed, std::string::npos);
    EXPECT_LT(added, deleted);
    EXPECT_LT(deleted, changed);
    EXPECT_TRUE(html.ends_with(kFooter));
    EXPECT_EQ(html.find('\n'), std::string::npos);

    const std::string folderEntry =
        "<dd><img SRC=\"/opt/kestrow/rpt_folder.jpg\" HSPACE=5 height=16 width=16>" + src() +
        "olddir/deeper/..</dd>";
    const std::string fileEntry = "<dd><img SRC=\"/opt/kestrow/rpt_file.jpg\" HSPACE=8 height=12 width=10>" +
                                  src() + "sub/inner changed.txt</dd>";
    EXPECT_GT(html.find(folderEntry), deleted);
    EXPECT_LT(html.find(folderEntry), changed);
    EXPECT_GT(html.find(fileEntry), changed);
}

TEST_F(ReportTest, FolderOnlyInTheTargetIsListedWithEverythingInItAtAnyDepth)
{
    tmp.makeDir("src");
    put("tgt", "gone/a.txt", "x", T);
    put("tgt", "gone/one/b.txt", "x", T);
    put("tgt", "gone/one/two/c.txt", "x", T);
    tmp.makeDir("tgt/gone/one/two/empty");

    // The helper goes all the way down whatever the include-subfolders choice.
    std::vector<std::string> deleted;
    ASSERT_TRUE(AddFolderAndContentsToDeletedItemsArray(src() + "gone/", tgt() + "gone/", deleted));
    const std::vector<std::string> expected{src() + "gone/..",
                                            src() + "gone/a.txt",
                                            src() + "gone/one/..",
                                            src() + "gone/one/b.txt",
                                            src() + "gone/one/two/..",
                                            src() + "gone/one/two/c.txt",
                                            src() + "gone/one/two/empty/.."};
    ASSERT_EQ(sorted(deleted), sorted(expected));
    // A folder comes before everything in it.
    auto at = [&](const std::string& relative) {
        return std::find(deleted.begin(), deleted.end(), src() + relative) - deleted.begin();
    };
    EXPECT_EQ(at("gone/.."), 0);
    EXPECT_LT(at("gone/one/.."), at("gone/one/b.txt"));
    EXPECT_LT(at("gone/one/.."), at("gone/one/two/.."));
    EXPECT_LT(at("gone/one/two/.."), at("gone/one/two/c.txt"));

    // The whole comparison hands such a folder to the helper: same entries.
    EXPECT_EQ(sorted(diff(true).deleted), sorted(expected));
    // Without subfolders, subfolders take no part at all.
    EXPECT_TRUE(diff(false).deleted.empty());
}

TEST_F(ReportTest, NamesWithMarkupCharactersAreEscapedAndCannotInjectMarkup)
{
    const std::string rootName = "src <&\"'>";
    tmp.makeDir(rootName);
    tmp.makeDir("tgt");
    put(rootName, "a<b>&\"c.txt", "x", T);
    put(rootName, "v2..", "x", T); // a file, though its name ends in two dots
    put("tgt", "<img src=x onerror=alert(1)>/x", "x", T);
    const std::string source = root() + rootName + "/";

    std::vector<std::string> added, deleted, changed;
    ASSERT_TRUE(CompareFoldersAndFillResultTypeArrays(source, tgt(), true, added, deleted, changed));
    // The lists keep names as they are.
    EXPECT_EQ(sorted(added), sorted({source + "a<b>&\"c.txt", source + "v2.."}));
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0], source + "<img src=x onerror=alert(1)>/..");

    const std::string file = root() + "report.html";
    ASSERT_TRUE(WriteHTMLReportOfFolderDiffs(source, tgt(), true, file));
    const std::string html = tmp.readFile("report.html");
    const std::string escapedRoot = root() + "src &lt;&amp;&quot;'&gt;/";
    EXPECT_NE(html.find("<b>Source Folder:</b> " + escapedRoot + "</dd>"), std::string::npos);
    EXPECT_NE(html.find("width=10>" + escapedRoot + "a&lt;b&gt;&amp;&quot;c.txt</dd>"), std::string::npos);
    EXPECT_NE(html.find("width=16>" + escapedRoot + "&lt;img src=x onerror=alert(1)&gt;/..</dd>"),
              std::string::npos);
    EXPECT_NE(html.find("<img SRC=\"/opt/kestrow/rpt_file.jpg\" HSPACE=8 height=12 width=10>" + escapedRoot +
                        "v2..</dd>"),
              std::string::npos);
    EXPECT_EQ(html.find("<img src=x"), std::string::npos);
    EXPECT_EQ(html.find("a<b>"), std::string::npos);
    EXPECT_EQ(html.find("src <"), std::string::npos);
}

struct EscapeRow
{
    const char* name;
    std::string text;
    std::string expected;
};

void PrintTo(const EscapeRow& row, std::ostream* os)
{
    *os << row.name;
}

class HtmlEscapes : public ::testing::TestWithParam<EscapeRow>
{
};

TEST_P(HtmlEscapes, GiveTextThatReadsTheSameInAnyEncoding)
{
    EXPECT_EQ(HtmlEscaped(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Report, HtmlEscapes,
    ::testing::Values(EscapeRow{"MarkupCharacters", "<a href=\"x\">&amp;</a>",
                                "&lt;a href=&quot;x&quot;&gt;&amp;amp;&lt;/a&gt;"},
                      EscapeRow{"PlainAsciiUnchanged", "/home/ann/Notes 2024 (old)'s.txt",
                                "/home/ann/Notes 2024 (old)'s.txt"},
                      EscapeRow{"Utf8TwoThreeAndFourBytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x90\x91",
                                "&#233;&#8364;&#128017;"},
                      EscapeRow{"Latin1ByteFromAnOlderSystem", "caf\xE9.txt", "caf&#233;.txt"},
                      EscapeRow{"OverlongFormIsNotDecoded", "\xC0\xAF", "&#192;&#175;"},
                      EscapeRow{"TruncatedSequenceAtTheEnd", "a\xE2\x82", "a&#226;&#130;"},
                      EscapeRow{"SurrogateIsNotDecoded", "\xED\xA0\x80", "&#237;&#160;&#128;"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TwoSecondRow
{
    const char* name;
    bool allowance;
    bool changed;
};

void PrintTo(const TwoSecondRow& row, std::ostream* os)
{
    *os << row.name;
}

class TwoSecondDifference : public ReportTest, public ::testing::WithParamInterface<TwoSecondRow>
{
};

TEST_P(TwoSecondDifference, IsAChangeOnlyWithoutTheAllowance)
{
    put("src", "f.txt", "same", T + 2);
    put("tgt", "f.txt", "same", T);
    compare.setCompareMethod(0);
    compare.setIgnoreFAT_NTFS_TwoSecDiff(GetParam().allowance);
    const Lists lists = diff(true);
    EXPECT_EQ(lists.changed,
              GetParam().changed ? std::vector<std::string>{src() + "f.txt"} : std::vector<std::string>{});
    EXPECT_TRUE(lists.added.empty());
    EXPECT_TRUE(lists.deleted.empty());
    const std::string html = report(true);
    EXPECT_EQ(html.find("Changed In Source") != std::string::npos, GetParam().changed);
}

INSTANTIATE_TEST_SUITE_P(Report, TwoSecondDifference,
                         ::testing::Values(TwoSecondRow{"WithoutAllowance", false, true},
                                           TwoSecondRow{"WithAllowance", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The report judges a pair as a run does: another size is a change, even within the allowance.
TEST_F(ReportTest, AnotherSizeIsAChangeWhateverTheTimes)
{
    put("src", "same-time.txt", "longer text", T);
    put("tgt", "same-time.txt", "short", T);
    put("src", "within-allowance.txt", "longer text", T + 2);
    put("tgt", "within-allowance.txt", "short", T);
    put("src", "unchanged.txt", "same", T);
    put("tgt", "unchanged.txt", "same", T);
    compare.setCompareMethod(0);
    compare.setIgnoreFAT_NTFS_TwoSecDiff(true);
    const Lists lists = diff(true);
    std::vector<std::string> changed = lists.changed;
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, (std::vector<std::string>{src() + "same-time.txt", src() + "within-allowance.txt"}));
}

// ShowHTMLFileInBrowser's two messages, through an opener that starts nothing.
struct OpenerRow
{
    const char* name;
    platform::OpenStatus status;
    std::string expectedText; // "" when no message is expected; <name> and <folder> stand for the report's
};

void PrintTo(const OpenerRow& row, std::ostream* os)
{
    *os << row.name;
}

class ReportProblemMessages : public ReportTest, public ::testing::WithParamInterface<OpenerRow>
{
};

TEST_P(ReportProblemMessages, NameTheReportFileThatStaysInTheTemporaryFolder)
{
    const std::string temporary = tmp.makeDir("tmp") + "/";
    ::setenv("TMPDIR", temporary.c_str(), 1); // put back by the temporary folder's guard
    put("src", "a.txt", "x", T);
    tmp.makeDir("tgt");
    std::vector<std::string> opened;
    ScopedHtmlFileOpener opener([&](const std::string& fileSpec) {
        opened.push_back(fileSpec);
        return platform::OpenOutcome{
            GetParam().status, GetParam().status == platform::OpenStatus::NoHandler ? "" : "/usr/bin/web",
            GetParam().status == platform::OpenStatus::FailedToStart ? 2 : 0};
    });

    const std::string reportFile = CreateHTMLReportOfFolderDiffs(src(), tgt(), true);

    ASSERT_FALSE(reportFile.empty());
    EXPECT_EQ(opened, std::vector<std::string>{reportFile});
    const std::string name = reportFile.substr(temporary.size());
    EXPECT_TRUE(reportFile.starts_with(temporary)) << reportFile;
    EXPECT_TRUE(name.starts_with("rpt") && name.ends_with(".html")) << name;
    EXPECT_NE(tmp.readFile("tmp/" + name).find("Added To Source"), std::string::npos);

    const auto messages = scripted.messages();
    if (GetParam().expectedText.empty()) {
        EXPECT_TRUE(messages.empty());
        return;
    }
    std::string expected = GetParam().expectedText;
    expected.replace(expected.find("<name>"), 6, name);
    expected.replace(expected.find("<folder>"), 8, temporary);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "HTML Report Problem");
    EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(messages[0].text, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Report, ReportProblemMessages,
    ::testing::Values(
        OpenerRow{"NoHandler", platform::OpenStatus::NoHandler,
                  "The HTML report was created but could not be displayed.\nYou do not have an "
                  "application associated to view HTML files.\n\nReport File Name: <name>\nReport "
                  "File Location: <folder>"},
        OpenerRow{"HandlerFailedToStart", platform::OpenStatus::FailedToStart,
                  "The HTML report was created but could not be opened by your browser.\n\nReport "
                  "File Name: <name>\nReport File Location: <folder>\nBrowser Specification: "
                  "/usr/bin/web"},
        OpenerRow{"StartedShowsNothing", platform::OpenStatus::Started, ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestrow
