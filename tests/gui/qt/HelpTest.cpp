// The HTML help: every context number the program opens has its anchor, the pages'
// own links lead somewhere, and the build puts the pages where the program looks.

#include "base/AppState.h"
#include "platform/SystemInfo.h"
#include "tests/support/ScriptedUiServices.h"
#include "ui/qt/HelpLink.h"
#include "ui/qt/QtText.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

using namespace kestrow;
using kestrow::gui::q;
using kestrow::gui::s;
using kestrow::test::ScriptedUiServices;

namespace fs = std::filesystem;

namespace {

const std::string kHelpSource = std::string(KESTROW_SOURCE_DIR) + "/docs/help/";

// A file's content, or "<missing>".
std::string content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The ids of a page.
std::set<std::string> anchorsOf(const std::string& html)
{
    std::set<std::string> ids;
    static const QRegularExpression id(QStringLiteral("\\bid=\"([^\"]+)\""));
    for (auto it = id.globalMatch(q(html)); it.hasNext();)
        ids.insert(s(it.next().captured(1)));
    return ids;
}

TEST(HelpPagesTest, EveryContextNumberHasItsAnchor)
{
    const std::set<std::string> ids = anchorsOf(content(kHelpSource + "kestrow.html"));
    for (int context :
         {gui::helpcontext::Contents, gui::helpcontext::SelectFiles, gui::helpcontext::Troubleshooting,
          gui::helpcontext::TaskProperties, gui::helpcontext::IconLegend, gui::helpcontext::PriorityRules,
          gui::helpcontext::Restore})
        EXPECT_TRUE(ids.contains("context-" + std::to_string(context))) << context;
    EXPECT_TRUE(fs::is_regular_file(kHelpSource + "quickstart.html"));
}

TEST(HelpPagesTest, LinksBetweenPagesLeadToAPageAndAnchorThatExist)
{
    std::map<std::string, std::set<std::string>> pages;
    for (const auto& entry : fs::directory_iterator(kHelpSource))
        if (entry.path().extension() == ".html")
            pages[entry.path().filename().string()] = anchorsOf(content(entry.path().string()));
    ASSERT_FALSE(pages.empty());

    static const QRegularExpression href(QStringLiteral("\\bhref=\"([^\"]*)\""));
    int links = 0;
    for (const auto& [page, ids] : pages) {
        const QString html = q(content(kHelpSource + page));
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const std::string link = s(it.next().captured(1));
            if (link.starts_with("http:") || link.starts_with("https:") || link.starts_with("mailto:"))
                continue;
            ++links;
            const size_t hash = link.find('#');
            const std::string file = hash == std::string::npos ? link : link.substr(0, hash);
            const std::string anchor = hash == std::string::npos ? std::string() : link.substr(hash + 1);
            const std::string target = file.empty() ? page : file;
            if (!target.ends_with(".html")) {
                EXPECT_TRUE(fs::is_regular_file(kHelpSource + target)) << page << " links to " << link;
                continue;
            }
            ASSERT_TRUE(pages.contains(target)) << page << " links to " << link;
            if (!anchor.empty()) {
                EXPECT_TRUE(pages[target].contains(anchor)) << page << " links to " << link;
            }
        }
    }
    EXPECT_GT(links, 10);
}

TEST(HelpPagesTest, TheBuildPutsTheHelpBesideTheProgram)
{
    for (const char* page : {"kestrow.html", "quickstart.html"}) {
        const std::string copy = platform::executableFolder() + "help/" + page;
        EXPECT_EQ(content(copy), content(kHelpSource + page)) << copy;
    }
}

TEST(HelpLinkTest, ContextsAndTheQuickStartLiveInTheProgramFoldersHelp)
{
    const std::string saved = gstrProgramPath;
    gstrProgramPath = "/opt/kestrow/lib/";
    EXPECT_EQ(gui::HelpUrl(64).toString(),
              QStringLiteral("file:///opt/kestrow/lib/help/kestrow.html#context-64"));
    EXPECT_EQ(gui::HelpUrl(1).fragment(), QStringLiteral("context-1"));
    EXPECT_EQ(gui::QuickStartUrl().toString(),
              QStringLiteral("file:///opt/kestrow/lib/help/quickstart.html"));
    gstrProgramPath = saved;
}

TEST(HelpLinkTest, AMissingHelpFileIsNamed)
{
    ScriptedUiServices scripted;
    gui::ShowHelp(QUrl::fromLocalFile(QStringLiteral("/nonexistent/help/kestrow.html")), "frmLog.Help");
    ASSERT_EQ(scripted.messages().size(), 1u);
    EXPECT_EQ(scripted.messages()[0].title, "Kestrow Help");
    EXPECT_EQ(scripted.messages()[0].text, "The help file /nonexistent/help/kestrow.html was not found.");
    EXPECT_EQ(scripted.messages()[0].icon, MsgIcon::Exclamation);
}

} // namespace
