#include "tests/engine/EngineTestSupport.h"

#include "base/DateTime.h"
#include "engine/RunControl.h"
#include "platform/FileProbe.h"
#include "platform/SystemInfo.h"
#include "zelcommon/ZelCommon.h"

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrow::test {

namespace {
const std::string kDeepLevel(200, 'd');
}

EngineTest::EngineTest()
{
    std::string failed;
    // The log rewrites line breaks in error texts through the path library.
    if (!zc::load(platform::executableFolder(), failed))
        ADD_FAILURE() << "cannot load " << failed;
    gCloneLog = &log;
    gCompare = &compare;
    ResetCancelFlags();
}

EngineTest::~EngineTest()
{
    std::error_code ec;
    for (const std::string& base : m_deepFolders) {
        // Down by relative names, then back up, removing one level at a time.
        if (!std::filesystem::is_directory(base, ec))
            continue;
        std::filesystem::current_path(base, ec);
        int depth = 0;
        while (std::filesystem::is_directory(kDeepLevel, ec)) {
            std::filesystem::current_path(kDeepLevel, ec);
            ++depth;
        }
        std::filesystem::remove("f", ec);
        while (depth-- > 0) {
            std::filesystem::current_path("..", ec);
            std::filesystem::remove(kDeepLevel, ec);
        }
    }
    std::filesystem::current_path(savedCwd, ec);
    ResetCancelFlags();
    gCompare = nullptr;
    gCloneLog = nullptr;
}

std::vector<std::string> EngineTest::logEntries() const
{
    // The clock stands still, so every line begins with the same date text.
    const std::string date = GeneralDateText(clock.now());
    std::vector<std::string> entries;
    std::istringstream in(log.InMemoryString());
    std::string line;
    while (std::getline(in, line))
        entries.push_back(line.starts_with(date) ? line.substr(date.size()) : line);
    return entries;
}

int EngineTest::logCount(const std::string& text) const
{
    int count = 0;
    for (const std::string& entry : logEntries())
        count += entry.find(text) != std::string::npos ? 1 : 0;
    return count;
}

platform::DirEntry EngineTest::entryOf(const std::string& folder, const std::string& name)
{
    std::vector<platform::DirEntry> entries;
    EXPECT_EQ(platform::listFolder(folder, entries), 0) << folder;
    for (const platform::DirEntry& e : entries) {
        if (e.name == name)
            return e;
    }
    ADD_FAILURE() << name << " not listed in " << folder;
    return {};
}

void EngineTest::setLastWrite(const std::string& path, int64_t seconds, int64_t nanos)
{
    namespace ch = std::chrono;
    const ch::sys_time<ch::nanoseconds> when{ch::seconds(seconds) + ch::nanoseconds(nanos)};
    std::filesystem::last_write_time(path, ch::file_clock::from_sys(when));
}

void EngineTest::makeFifo(const std::string& path)
{
    ASSERT_EQ(platform::makeFifo(path), 0) << path;
}

bool EngineTest::runningAsRoot()
{
    // "Uid:" real effective saved filesystem
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Uid:")) {
            std::istringstream fields(line.substr(4));
            long real = -1, effective = -1;
            fields >> real >> effective;
            return effective == 0;
        }
    }
    return false;
}

std::string EngineTest::makeDeepFolder(const std::string& relative)
{
    const std::string base = tmp.makeDir(relative);
    m_deepFolders.push_back(base);
    std::string path = base;
    std::filesystem::current_path(base);
    while (path.size() <= 4200) {
        std::filesystem::create_directory(kDeepLevel);
        std::filesystem::current_path(kDeepLevel);
        path += "/" + kDeepLevel;
    }
    std::ofstream("f") << "x";
    std::filesystem::current_path(savedCwd);
    return path;
}

std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> mountPoints()
{
    std::vector<std::string> points;
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        // id parent major:minor root mount-point ...; blanks and the like come as \ooo
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        std::string unescaped;
        for (size_t i = 0; i < mountPoint.size(); ++i) {
            if (mountPoint[i] == '\\' && i + 3 < mountPoint.size()) {
                unescaped += static_cast<char>(std::stoi(mountPoint.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else {
                unescaped += mountPoint[i];
            }
        }
        points.push_back(std::move(unescaped));
    }
    return points;
}

bool isMountPoint(const std::string& path)
{
    std::string wanted = path;
    while (wanted.size() > 1 && wanted.ends_with('/'))
        wanted.pop_back();
    const std::vector<std::string> points = mountPoints();
    return std::find(points.begin(), points.end(), wanted) != points.end();
}

ScopedMount::ScopedMount(const std::string& mountCommand, const std::string& mountPoint,
                         const std::string& unmountCommand)
    : m_mountPoint(mountPoint), m_unmountCommand(unmountCommand)
{
    const std::string command = mountCommand + " " + shellQuoted(mountPoint) + " >/dev/null 2>&1";
    // Some FUSE drivers report success before they find they cannot mount.
    m_mounted = std::system(command.c_str()) == 0 && isMountPoint(mountPoint);
}

ScopedMount::~ScopedMount()
{
    if (m_mounted && !unmount())
        std::system(("umount -l " + shellQuoted(m_mountPoint) + " >/dev/null 2>&1").c_str());
}

bool ScopedMount::unmount()
{
    const std::string command = m_unmountCommand + " " + shellQuoted(m_mountPoint) + " >/dev/null 2>&1";
    if (m_mounted && std::system(command.c_str()) == 0)
        m_mounted = false;
    return !m_mounted;
}

platform::DirEntry entryAt(int64_t lastWrite, uint64_t size)
{
    platform::DirEntry e;
    e.name = "f";
    e.lastWrite = lastWrite;
    e.size = size;
    return e;
}

} // namespace kestrow::test
