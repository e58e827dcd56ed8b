#include "tests/support/CloneTestSupport.h"

#include "engine/RunControl.h"
#include "platform/DirList.h"
#include "platform/FileInfo.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <sys/xattr.h>

namespace fs = std::filesystem;

namespace kestrow::test {

void TestRunHost::setStatusText(StatusPanel panel, const std::string& text)
{
    if (panel == StatusPanel::Panel1) {
        panel1.push_back(text);
        m_performing = text.starts_with("Cloning folder");
    } else {
        panel2.push_back(text);
    }
}

void TestRunHost::processEvents()
{
    if (countOnlyWhilePerforming && !m_performing)
        return;
    ++pumps;
    if (cancelAtPump > 0 && pumps == cancelAtPump)
        CancelRequested = true;
}

bool TestRunHost::confirmSyncActions(const SyncActionList& actions, std::vector<bool>& skipped,
                                     bool& keepConfirming)
{
    ++confirmations;
    shown.clear();
    withdrawn.clear();
    for (size_t i = 0; i < actions.count(); ++i) {
        shown.push_back(actions.line(i));
        withdrawn.push_back(actions.withdrawn(i));
    }
    skipped.assign(actions.count(), false);
    for (size_t i : skipIndexes) {
        if (i < skipped.size())
            skipped[i] = true;
    }
    keepConfirming = answerKeepConfirming;
    if (!answerPerform)
        CancelRequested = true;
    return answerPerform;
}

CloneTest::CloneTest()
{
    gClone = &clone;
    folder("src");
    folder("tgt");
}

CloneTest::~CloneTest()
{
    gClone = nullptr;
}

std::string CloneTest::file(const std::string& relative, const std::string& content, int64_t seconds,
                            int64_t nanos)
{
    const std::string path = tmp.writeFile(relative, content);
    setLastWrite(path, seconds, nanos);
    return path;
}

std::string CloneTest::link(const std::string& relative, const std::string& text)
{
    const fs::path p = fs::path(tmp.path()) / relative;
    fs::create_directories(p.parent_path());
    fs::create_symlink(text, p);
    return p.string();
}

std::string CloneTest::folder(const std::string& relative)
{
    return tmp.makeDir(relative);
}

bool CloneTest::exists(const std::string& path) const
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

void CloneTest::setMode(const std::string& path, unsigned mode)
{
    fs::permissions(path, static_cast<fs::perms>(mode), fs::perm_options::replace);
}

unsigned CloneTest::modeOf(const std::string& path) const
{
    return static_cast<unsigned>(fs::symlink_status(path).permissions()) & 07777;
}

std::vector<std::string> CloneTest::plan(bool subfolders)
{
    clone.setPlanOnly(true);
    clone.CloneAll(src(), tgt(), subfolders);
    clone.setPlanOnly(false);
    std::vector<std::string> texts;
    clone.GetSyncActionStrings(texts);
    return texts;
}

std::vector<std::string> CloneTest::entriesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& e : logEntries()) {
        if (e.starts_with(prefix))
            out.push_back(e);
    }
    return out;
}

std::vector<std::string> CloneTest::tempFilesUnder(const std::string& folder) const
{
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->path().filename().string().starts_with("kw_"))
            found.push_back(it->path().string());
    }
    return found;
}

namespace {

std::string Describe(const platform::DirEntry& e)
{
    switch (e.type) {
    case platform::EntryType::File:
        return "file";
    case platform::EntryType::Folder:
        return "folder";
    case platform::EntryType::Symlink:
        return "link";
    case platform::EntryType::Special:
        return "special";
    }
    return "?";
}

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Names and values of the extended attributes at `path` (a link not followed).
std::map<std::string, std::string> Attributes(const std::string& path)
{
    std::map<std::string, std::string> out;
    char names[4096];
    const ssize_t size = ::llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t pos = 0; pos < size;) {
        const std::string name(names + pos);
        pos += static_cast<ssize_t>(name.size()) + 1;
        char value[4096];
        const ssize_t got = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
        out[name] = got >= 0 ? std::string(value, static_cast<size_t>(got)) : "(unreadable)";
    }
    return out;
}

void Differences(const std::string& a, const std::string& b, std::vector<std::string>& out)
{
    std::vector<platform::DirEntry> la, lb;
    if (platform::listFolder(a, la) != 0 || platform::listFolder(b, lb) != 0) {
        out.push_back("cannot list " + a + " or " + b);
        return;
    }
    std::map<std::string, platform::DirEntry> ma, mb;
    for (auto& e : la)
        ma.emplace(e.name, e);
    for (auto& e : lb)
        mb.emplace(e.name, e);
    for (const auto& [name, ea] : ma) {
        const std::string pa = a + name, pb = b + name;
        const auto it = mb.find(name);
        if (it == mb.end()) {
            out.push_back("only in first: " + pa);
            continue;
        }
        const platform::DirEntry& eb = it->second;
        if (ea.type != eb.type) {
            out.push_back("kind differs: " + pa + " (" + Describe(ea) + " / " + Describe(eb) + ")");
            continue;
        }
        if (ea.uid != eb.uid || ea.gid != eb.gid)
            out.push_back("owner differs: " + pa);
        if (ea.type != platform::EntryType::Symlink && Attributes(pa) != Attributes(pb))
            out.push_back("extended attributes differ: " + pa);
        switch (ea.type) {
        case platform::EntryType::Folder:
            Differences(pa + "/", pb + "/", out);
            // After the contents: a folder's time is what the run left it at the end.
            if ((ea.mode & 07777) != (eb.mode & 07777))
                out.push_back("permissions differ: " + pa + "/");
            if (ea.lastWrite != eb.lastWrite)
                out.push_back("last-write time differs: " + pa + "/");
            break;
        case platform::EntryType::Symlink: {
            std::string ta, tb;
            platform::readLinkText(pa, ta);
            platform::readLinkText(pb, tb);
            if (ta != tb)
                out.push_back("link text differs: " + pa + " (" + ta + " / " + tb + ")");
            break;
        }
        case platform::EntryType::File:
            if (Bytes(pa) != Bytes(pb))
                out.push_back("bytes differ: " + pa);
            [[fallthrough]];
        case platform::EntryType::Special:
            if ((ea.mode & 07777) != (eb.mode & 07777))
                out.push_back("permissions differ: " + pa);
            if (ea.lastWrite != eb.lastWrite)
                out.push_back("last-write time differs: " + pa);
            break;
        }
    }
    for (const auto& [name, eb] : mb) {
        if (!ma.contains(name))
            out.push_back("only in second: " + b + name);
    }
}

} // namespace

std::vector<std::string> TreeDifferences(const std::string& a, const std::string& b)
{
    std::vector<std::string> out;
    Differences(a.ends_with('/') ? a : a + "/", b.ends_with('/') ? b : b + "/", out);
    return out;
}

Enforced RunWithPermissionsEnforced()
{
    if (std::getenv("KESTROW_PERMISSIONS_ENFORCED"))
        return Enforced::RunHere;
    std::ifstream status("/proc/self/status");
    std::string line;
    bool root = false;
    while (std::getline(status, line)) {
        if (line.starts_with("Uid:")) {
            std::istringstream fields(line.substr(4));
            long real = -1, effective = -1;
            fields >> real >> effective;
            root = effective == 0;
        }
    }
    if (!root)
        return Enforced::RunHere;
    if (!fs::exists("/usr/bin/setpriv"))
        return Enforced::Unavailable;

    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    const std::string exe = fs::read_symlink("/proc/self/exe").string();
    const std::string output = fs::temp_directory_path() /
                               ("kestrow-child-" + std::to_string(std::hash<std::string>{}(filter)) + ".txt");
    const std::string command =
        "KESTROW_PERMISSIONS_ENFORCED=1 /usr/bin/setpriv --inh-caps=-all --ambient-caps=-all "
        "--bounding-set=-dac_override,-dac_read_search -- " +
        shellQuoted(exe) + " --gtest_filter=" + shellQuoted(filter) + " > " + shellQuoted(output) + " 2>&1";
    const int rc = std::system(command.c_str());
    std::ifstream in(output);
    std::ostringstream text;
    text << in.rdbuf();
    std::error_code ec;
    fs::remove(output, ec);
    if (rc != 0 || text.str().find("[  PASSED  ] 1 test") == std::string::npos)
        ADD_FAILURE() << "child run of " << filter << " failed:\n" << text.str();
    return Enforced::DoneInChild;
}

} // namespace kestrow::test
