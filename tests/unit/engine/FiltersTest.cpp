#include "engine/Filters.h"

#include "tests/support/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kestrow {
namespace {

namespace fs = std::filesystem;
using test::EngineTest;

// ---------------------------------------------------------------------------
// Mask matching

struct MaskRow
{
    const char* name;
    std::string fileName;
    std::string mask;
    bool expected;
};

// Test names carry the row name; the row itself prints as that name too.
void PrintTo(const MaskRow& row, std::ostream* os)
{
    *os << row.name;
}

class MaskMatching : public ::testing::TestWithParam<MaskRow>
{
};

TEST_P(MaskMatching, Matches)
{
    EXPECT_EQ(MaskMatches(GetParam().fileName, GetParam().mask), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, MaskMatching,
    ::testing::Values(MaskRow{"CaseIgnored", "report.Doc", "*.DOC", true},
                      MaskRow{"QuestionMarkIsOneCharacter", "data1.txt", "data?.txt", true},
                      MaskRow{"QuestionMarkIsNotTwo", "data10.txt", "data?.txt", false},
                      MaskRow{"NegatedListExcludesFirstLetter", "app.log", "[!a]*.log", false},
                      MaskRow{"NegatedListAcceptsOtherLetter", "bpp.log", "[!a]*.log", true},
                      MaskRow{"NegatedListIgnoresCase", "App.log", "[!a]*.log", false},
                      MaskRow{"HashIsADigit", "file7.txt", "file#.txt", true},
                      MaskRow{"HashIsNotALetter", "fileX.txt", "file#.txt", false},
                      MaskRow{"RangeIgnoresCase", "Q.txt", "[a-z].txt", true},
                      MaskRow{"RangeRejectsDigit", "5.txt", "[a-z].txt", false},
                      MaskRow{"ListOfSingles", "b.txt", "[abc].txt", true},
                      MaskRow{"HyphenAtEndIsItself", "-.txt", "[a-].txt", true},
                      MaskRow{"StarMatchesNothing", "ac", "a*c", true},
                      MaskRow{"StarMatchesRun", "abbbc", "a*c", true},
                      MaskRow{"StarNeedsTheTail", "ab", "a*c", false},
                      MaskRow{"StarAlone", "anything at all", "*", true},
                      MaskRow{"NoWildcardsIsWholeName", "a.txt", "a.txt", true},
                      MaskRow{"NoWildcardsNotPrefix", "a.txt.bak", "a.txt", false},
                      MaskRow{"StarInNameNeedsBrackets", "a*b", "a[*]b", true},
                      MaskRow{"QuestionMarkInNameNeedsBrackets", "a?b", "a[?]b", true},
                      MaskRow{"BracketListHoldingBracket", "x[1].txt", "x[[]1].txt", true},
                      MaskRow{"UnclosedBracketIsItself", "a[b", "a[b", true},
                      MaskRow{"EmptyListMatchesNothingWide", "ab", "a[]b", true},
                      MaskRow{"BackslashIsAnOrdinaryCharacter", "a\\b.txt", "a\\*.txt", true},
                      MaskRow{"NewlineIsOneCharacter", "a\nb", "a?b", true},
                      MaskRow{"BlankInName", "my file.txt", "my *.txt", true},
                      MaskRow{"Utf8SequenceIsOneCharacter", "\xC3\xA9.txt", "?.txt", true},
                      MaskRow{"TwoUtf8CharactersAreTwo", "\xC3\xA9\xC3\xA9", "???", false},
                      MaskRow{"Utf8InList", "\xC3\xA9.txt", "[\xC3\xA9\xC3\xA8].txt", true},
                      MaskRow{"InvalidByteIsOneCharacter", "\xFF.txt", "?.txt", true},
                      MaskRow{"TruncatedSequenceIsOneCharacterPerByte", "\xC3.txt", "?.txt", true},
                      MaskRow{"InvalidBytesMatchThemselves", "\xFF\xFE", "\xFF\xFE", true},
                      MaskRow{"LongNameAgainstStar", std::string(251, 'x') + ".txt", "*.TXT", true},
                      MaskRow{"ManyStarsNoMatch", std::string(200, 'a'), "*a*a*a*a*a*a*a*a*a*a*b", false},
                      MaskRow{"ManyStarsMatch", std::string(200, 'a') + "b", "*a*a*a*a*a*a*a*a*a*a*b", true},
                      MaskRow{"EmptyMaskMatchesNoName", "a", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Filters, NameMatchesCollectionWhenAnyMaskMatches)
{
    StringCollection masks;
    FillColWithParsedStringElems(masks, "*.doc,data?.txt", ",");
    EXPECT_TRUE(FileMatchesPatternInCollection("Letter.DOC", masks));
    EXPECT_TRUE(FileMatchesPatternInCollection("data1.txt", masks));
    EXPECT_FALSE(FileMatchesPatternInCollection("data10.txt", masks));
    EXPECT_FALSE(FileMatchesPatternInCollection("a.doc", StringCollection{}));
}

// ---------------------------------------------------------------------------
// Collections and splitting

TEST(Filters, MaskStringTrimsAndDropsDuplicatesIgnoringCase)
{
    StringCollection masks;
    FillColWithParsedStringElems(masks, " *.DOC ,  *.doc,*.txt", ",");
    EXPECT_EQ(masks.Items(), (std::vector<std::string>{"*.DOC", "*.txt"}));
    EXPECT_TRUE(MaskMatches("report.Doc", masks.Item(0)));

    StringCollection none;
    FillColWithParsedStringElems(none, "", ",");
    EXPECT_TRUE(none.empty());
}

TEST(Filters, ParsedElementsAreNotTrimmed)
{
    const StringCollection c = ParseStringElementsIntoCollection("a, a,a,A", ",");
    EXPECT_EQ(c.Items(), (std::vector<std::string>{"a", " a"}));
    EXPECT_TRUE(ParseStringElementsIntoCollection("", ",").empty());
    const StringCollection sensitive = ParseStringElementsIntoCollection("a,A", ",", KeyCase::Sensitive);
    EXPECT_EQ(sensitive.Count(), 2u);
}

TEST(Filters, SplitStringKeepsEmptyElementsAndFoldsDelimiterCase)
{
    EXPECT_EQ(SplitString("a<:><:>b", "<:>"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitString("oneXtwoxthree", "x"), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_TRUE(SplitString("", ",").empty());
    EXPECT_EQ(SplitString("no delimiter", ","), (std::vector<std::string>{"no delimiter"}));
}

TEST(Filters, SpecSeparatorRule)
{
    struct Row
    {
        const char* spec;
        const char* separator;
    };
    const Row rows[] = {
        {"/data/letters/<:>/data/report.doc", "<:>"},
        {"/data/a.doc,/data/b.doc<:>/data/c.doc", "<:>"}, // "<:>" wins over commas
        {"/data/report.doc", "<:>"},                      // one legacy path
        {"/data/a.doc,/data/b.doc", ","},                 // two legacy paths
        {"/data/letters/,/data/b.doc,/x", ","},
        {"/data/notes, draft.doc", "<:>"}, // a comma inside a file name
        {"a.doc,b.doc", "<:>"},            // not absolute paths
        {"/data/a/,/data/b/,", "<:>"},     // an empty part is no path
        {"", "<:>"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(GetSpecSeparator(row.spec), row.separator) << row.spec;
}

TEST(Filters, SpecItemsInCollectionAreCaseSensitiveAndUnique)
{
    EXPECT_EQ(PutFileSpecsInCollection("/a/X<:>/a/x<:>/a/X").Items(),
              (std::vector<std::string>{"/a/X", "/a/x"}));
    EXPECT_EQ(PutFileSpecsInCollection("/data/one.doc").Items(), (std::vector<std::string>{"/data/one.doc"}));
    EXPECT_EQ(PutFileSpecsInCollection("/d/a.doc,/d/b.doc").Items(),
              (std::vector<std::string>{"/d/a.doc", "/d/b.doc"}));
    EXPECT_EQ(PutFileSpecsInCollection(" /d/padded <:>/d/").Items(),
              (std::vector<std::string>{" /d/padded ", "/d/"}));
    EXPECT_TRUE(PutFileSpecsInCollection("").empty());
}

TEST(Filters, CollectionKeysAndItemsAreSeparate)
{
    StringCollection c(KeyCase::Sensitive);
    EXPECT_TRUE(c.Add("a.txt", "/r/a.txt"));
    EXPECT_TRUE(c.Add("a.txt", "/r/sub/a.txt")); // equal items under other keys
    EXPECT_FALSE(c.Add("other", "/r/a.txt"));
    ASSERT_EQ(c.Count(), 2u);
    EXPECT_EQ(c.Key(1), "/r/sub/a.txt");
    EXPECT_TRUE(c.ContainsKey("/r/a.txt"));
    EXPECT_FALSE(c.ContainsKey("/R/A.TXT"));
    StringCollection folded;
    folded.Add("x", "/R/A.TXT");
    EXPECT_TRUE(folded.ContainsKey("/r/a.txt"));
}

// ---------------------------------------------------------------------------
// Exclusions

TEST(Filters, FileExclusionTable)
{
    const std::vector<std::string> exclude = {"/src/Temp/", "/src/a.txt"};
    struct Row
    {
        const char* fileSpec;
        bool expected;
    };
    const Row rows[] = {
        {"/src/Temp/a.txt", true},        // inside an excluded folder
        {"/src/Temp/Sub/deep.txt", true}, // deeper inside
        {"/src/a.txt", true},             // the excluded file itself
        {"/src/a.txt.bak", false},        // a file item is no prefix
        {"/src/temp/a.txt", false},       // paths are case-sensitive
        {"/src/Temporary/a.txt", false},  // the folder item ends with its slash
        {"/other/src/Temp/a.txt", false}, // items match from the start
    };
    for (const Row& row : rows)
        EXPECT_EQ(DoesFileMatchExclusionSpecs(row.fileSpec, exclude), row.expected) << row.fileSpec;
    EXPECT_FALSE(DoesFileMatchExclusionSpecs("/src/a.txt", {}));
}

TEST(Filters, FolderExclusionTable)
{
    const std::vector<std::string> exclude = {"/src/Temp/", "/src/file-item"};
    struct Row
    {
        const char* folderSpec;
        bool expected;
    };
    const Row rows[] = {
        {"/src/Temp/", true},       {"/src/Temp", true}, // a folder without its trailing slash
        {"/src/Temp/Sub/", true},   {"/src/", false},    // the parent is not excluded
        {"/src/file-item/", false},                      // file items are not considered
        {"/src/TEMP/", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DoesFolderMatchExclusionSpecs(row.folderSpec, exclude), row.expected) << row.folderSpec;
}

// ---------------------------------------------------------------------------
// Small helpers

TEST(Filters, FileAndFolderParts)
{
    struct Row
    {
        const char* spec;
        const char* file;
        const char* folder;
    };
    const Row rows[] = {
        {"/data/letters/a.txt", "a.txt", "/data/letters/"},
        {"/data/letters/", "", "/data/letters/"},
        {"plain", "plain", "plain"},
        {"/a\\b", "a\\b", "/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(GetFileNamePart(row.spec), row.file) << row.spec;
        EXPECT_EQ(GetFolderPart(row.spec), row.folder) << row.spec;
    }
}

TEST(Filters, SortIgnoresCase)
{
    std::vector<std::string> names = {"b", "A", "a", "C", "B", "_x", "10", "9"};
    QuickSortStringArray(names);
    EXPECT_EQ(names, (std::vector<std::string>{"10", "9", "_x", "A", "a", "B", "b", "C"}));
    std::vector<std::string> none;
    QuickSortStringArray(none);
    EXPECT_TRUE(none.empty());
}

// ---------------------------------------------------------------------------
// Skip tests on real entries

class SkipTest : public EngineTest
{
protected:
    SkipTest()
    {
        tmp.writeFile("t/plain.txt", "x");
        tmp.writeFile("t/.hidden.txt", "x");
        makeFifo(tmp / "t/pipe");
        makeFifo(tmp / "t/.hidden-pipe");
        tmp.makeDir("t/folder");
        tmp.makeDir("t/.git");
    }
    std::string t(const std::string& name) const { return tmp.path() + "/t/" + name; }

    void options(bool systemFiles, bool hiddenFiles, bool systemFolders, bool hiddenFolders)
    {
        compare.setIgnoreSystemFiles(systemFiles);
        compare.setIgnoreHiddenFiles(hiddenFiles);
        compare.setIgnoreSystemFolders(systemFolders);
        compare.setIgnoreHiddenFolders(hiddenFolders);
    }
};

TEST_F(SkipTest, FileTestsByPathAndByEntryAgree)
{
    struct Row
    {
        const char* name;
        bool ignoreSystem, ignoreHidden;
        int32_t reason; // 0: not skipped
    };
    const Row rows[] = {
        {"plain.txt", true, true, 0},     {".hidden.txt", false, true, 2},
        {".hidden.txt", true, false, 0},  {"pipe", true, false, 4},
        {"pipe", false, true, 0},         {".hidden-pipe", true, true, 4}, // system is tested first
        {".hidden-pipe", false, true, 2}, {".hidden-pipe", false, false, 0},
    };
    for (const Row& row : rows) {
        options(row.ignoreSystem, row.ignoreHidden, true, true); // folder options play no part
        int32_t byPath = -1, byEntry = -1;
        EXPECT_EQ(IsFileSkipped(t(row.name), byPath), row.reason != 0) << row.name;
        EXPECT_EQ(byPath, row.reason) << row.name;
        EXPECT_EQ(IsFindDataSkipped(entryOf(t(""), row.name), byEntry), row.reason != 0) << row.name;
        EXPECT_EQ(byEntry, row.reason) << row.name;
    }
}

TEST_F(SkipTest, FolderTestsByPathObjectAndEntryAgree)
{
    struct Row
    {
        const char* name;
        bool ignoreSystem, ignoreHidden;
        int32_t reason;
    };
    const Row rows[] = {
        {"folder", true, true, 0},
        {".git", false, true, 2},
        {".git", true, false, 0},
    };
    for (const Row& row : rows) {
        options(true, true, row.ignoreSystem, row.ignoreHidden);
        for (const std::string& spec : {t(row.name), t(row.name) + "/"}) {
            int32_t byPath = -1, byObject = -1;
            EXPECT_EQ(IsFolderPathSkipped(spec, byPath), row.reason != 0) << spec;
            EXPECT_EQ(byPath, row.reason) << spec;
            EXPECT_EQ(IsFolderObjectSkipped(spec, byObject), row.reason != 0) << spec;
            EXPECT_EQ(byObject, row.reason) << spec;
        }
        int32_t byEntry = -1;
        EXPECT_EQ(AreFolderAttributesSkipped(entryOf(t(""), row.name), byEntry), row.reason != 0) << row.name;
        EXPECT_EQ(byEntry, row.reason) << row.name;
    }
    options(false, false, false, true);
    int32_t reason = -1;
    EXPECT_FALSE(IsFileSkipped(t(".hidden.txt"), reason)) << "file options only";
}

TEST_F(SkipTest, UnreadableAttributesCountAsEverySet)
{
    const std::string missing = t("missing");
    int32_t reason = -1;
    options(true, false, true, false);
    EXPECT_TRUE(IsFileSkipped(missing, reason));
    EXPECT_EQ(reason, 4);
    EXPECT_TRUE(IsFolderPathSkipped(missing + "/", reason));
    EXPECT_EQ(reason, 4);
    EXPECT_FALSE(IsFolderObjectSkipped(missing + "/", reason)) << "a missing folder object is never skipped";
    EXPECT_EQ(reason, 0);

    options(false, true, false, true);
    EXPECT_TRUE(IsFileSkipped(missing, reason));
    EXPECT_EQ(reason, 2);
    EXPECT_TRUE(IsFolderPathSkipped(missing, reason));
    EXPECT_EQ(reason, 2);

    options(false, false, false, false);
    EXPECT_FALSE(IsFileSkipped(missing, reason));
    EXPECT_EQ(reason, 0);
}

TEST(Filters, SkipMessages)
{
    struct Row
    {
        SkipSubject subject;
        int32_t reason;
        const char* text;
    };
    const Row rows[] = {
        {SkipSubject::File, 4,
         "File was skipped because it is a System file and the Ignore System Files option is selected. - '"},
        {SkipSubject::File, 2,
         "File was skipped because it is a Hidden file and the Ignore Hidden Files option is selected. - '"},
        {SkipSubject::SourceFile, 4,
         "Source File was skipped because it is a System file and the Ignore System Files option is "
         "selected. - '"},
        {SkipSubject::SourceFile, 2,
         "Source File was skipped because it is a Hidden file and the Ignore Hidden Files option is "
         "selected. - '"},
        {SkipSubject::TargetFile, 4,
         "Target File was skipped because it is a System file and the Ignore System Files option is "
         "selected. - '"},
        {SkipSubject::TargetFile, 2,
         "Target File was skipped because it is a Hidden file and the Ignore Hidden Files option is "
         "selected. - '"},
        {SkipSubject::Folder, 4,
         "Folder was skipped because it is a System folder and the Ignore System Folders option is selected. "
         "- '"},
        {SkipSubject::Folder, 2,
         "Folder was skipped because it is a Hidden folder and the Ignore Hidden Folders option is selected. "
         "- '"},
        {SkipSubject::SourceFolder, 4,
         "Source folder was skipped because it is a System folder and the Ignore System Folders option is "
         "selected. - '"},
        {SkipSubject::SourceFolder, 2,
         "Source folder was skipped because it is a Hidden folder and the Ignore Hidden Folders option is "
         "selected. - '"},
        {SkipSubject::TargetFolder, 4,
         "Target folder was skipped because it is a System folder and the Ignore System Folders option is "
         "selected. - '"},
        {SkipSubject::TargetFolder, 2,
         "Target folder was skipped because it is a Hidden folder and the Ignore Hidden Folders option is "
         "selected. - '"},
        {SkipSubject::File, 0, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SkipMessage(row.subject, row.reason), row.text);
}

TEST_F(SkipTest, LoggedSkipIsInformationOnlyWithPathAndQuote)
{
    LogSkip(SkipSubject::TargetFolder, 2, "/t/.git/");
    ASSERT_EQ(logEntries().size(), 1u);
    EXPECT_EQ(logEntries()[0],
              " - Information Only: Target folder was skipped because it is a Hidden folder and "
              "the Ignore Hidden Folders option is selected. - '/t/.git/' ");
    log.setLogOnlyErrors(true);
    LogSkip(SkipSubject::TargetFolder, 2, "/t/.git/");
    EXPECT_EQ(logEntries().size(), 1u) << "information entries are dropped with LogOnlyErrors";
}

} // namespace
} // namespace kestrow
