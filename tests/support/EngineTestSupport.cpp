#include "tests/support/EngineTestSupport.h"

#include "base/DateTime.h"
#include "engine/RunControl.h"
#include "platform/FileProbe.h"
#include "platform/SystemInfo.h"
#include "zelcommon/ZelCommon.h"

#include <chrono>
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

platform::DirEntry entryAt(int64_t lastWrite, uint64_t size)
{
    platform::DirEntry e;
    e.name = "f";
    e.lastWrite = lastWrite;
    e.size = size;
    return e;
}

} // namespace kestrow::test
