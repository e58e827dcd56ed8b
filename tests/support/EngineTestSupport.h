#pragma once
// What every engine test stands on: its own temporary folder (with the
// environment pointed into it), scripted UI services, a fresh clone log and fresh
// comparison options installed as gCloneLog and gCompare, and clear cancel flags.

#include "base/DateTime.h"
#include "engine/cCompare.h"
#include "log/CloneLog.h"
#include "platform/DirList.h"
#include "tests/support/Mount.h"
#include "tests/support/ScriptedUiServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrow::test {

class EngineTest : public ::testing::Test
{
protected:
    EngineTest();
    ~EngineTest() override;

    // The temporary root as a folder spec (ending with "/").
    std::string root() const { return tmp.path() + "/"; }

    // Lines of the in-memory log, without their date and time prefix.
    std::vector<std::string> logEntries() const;
    // How many log lines contain `text`.
    int logCount(const std::string& text) const;

    // The entry `name` of `folder` as a listing reads it; fails the test when absent.
    static platform::DirEntry entryOf(const std::string& folder, const std::string& name);
    // Sets the last-write time of `path` (links followed) to Unix time + nanoseconds.
    static void setLastWrite(const std::string& path, int64_t seconds, int64_t nanos = 0);
    // Makes a FIFO at `path`.
    static void makeFifo(const std::string& path);
    // Whether the test runs with an effective user id of 0.
    static bool runningAsRoot();

    // Makes `relative` (below the temporary root) and below it a chain of folders
    // whose full path passes the system's path limit, the last holding a file "f".
    // Returns the path of the last folder. Removed again when the test ends (the
    // usual removal by full path cannot reach it).
    std::string makeDeepFolder(const std::string& relative);

    TempDir tmp;
    ScriptedUiServices scripted;
    std::filesystem::path savedCwd = std::filesystem::current_path();
    ManualClock clock{dateFromParts({2026, 12, 7, 6, 37, 2})};
    ScopedClock scopedClock{clock};
    cCloneLog log;
    cCompare compare;

private:
    std::vector<std::string> m_deepFolders;
};

// A directory entry with the given last-write time (100-ns units) and size.
platform::DirEntry entryAt(int64_t lastWrite, uint64_t size = 0);

// 100-ns units per second.
inline constexpr int64_t kTicks = 10'000'000;

} // namespace kestrow::test
