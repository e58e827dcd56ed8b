// Times a task list of 1000 tasks (one section of 30 keys each) written and read
// through IniDocument, the batch form, and, for scale, the cost of single-value
// CIniFile writes into the same file.
//
//   bench_ini [folder] [rounds]
//
// The file goes into a fresh folder under `folder` (default: the system temporary
// folder), which is removed afterwards. Prints the best and median of `rounds`
// (default 5) for each step.

#include "settings/CIniFile.h"
#include "settings/IniDocument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kestrow::CIniFile;
using kestrow::IniDocument;

namespace {

constexpr int Tasks = 1000;
constexpr int KeysPerTask = 30;

std::string taskName(int t)
{
    return "Backup task " + std::to_string(t);
}

std::string keyName(int k)
{
    static const char* const names[] = {
        "SourceFolderSpec", "TargetFolderSpec",   "IncludeSubFolders", "StartTime",
        "IntervalType",     "IntervalIncrement",  "LastCloneDateTime", "NextCloneDateTime",
        "ErrorOnLastClone", "AllFilesAndFolders", "DaysOfWeek",        "IncludeFileSpecs",
        "ExcludeFileSpecs", "IncludeFileMasks",   "ExcludeFileMasks",  "Category"};
    constexpr int named = sizeof(names) / sizeof(names[0]);
    return k < named ? names[k] : "ExtraKey" + std::to_string(k - named);
}

std::string valueFor(int t, int k)
{
    return "/home/user/Projects/project " + std::to_string(t) + "/folder " + std::to_string(k) + "/";
}

double millisecondsOf(const std::function<void()>& step)
{
    const auto start = std::chrono::steady_clock::now();
    step();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-52s best %9.2f ms   median %9.2f ms\n", what, times.front(), times[times.size() / 2]);
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "bench_ini: %s\n", what.c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::random_device rd;
    const fs::path folder = base / ("kestrow-bench-ini-" + std::to_string(rd()));
    fs::create_directories(folder);
    const std::string file = (folder / "Bench Task List.kwt").string();

    std::vector<double> write, read, update, single;
    std::size_t fileSize = 0;
    for (int round = 0; round < rounds; ++round) {
        fs::remove(file);
        write.push_back(millisecondsOf([&] {
            int err = 0;
            IniDocument doc = IniDocument::load(file, err);
            for (int t = 0; t < Tasks; ++t)
                for (int k = 0; k < KeysPerTask; ++k)
                    doc.setString(taskName(t), keyName(k), valueFor(t, k));
            if (doc.save() != 0)
                fail("save failed");
        }));
        fileSize = fs::file_size(file);

        read.push_back(millisecondsOf([&] {
            int err = 0;
            const IniDocument doc = IniDocument::load(file, err);
            std::size_t wrong = 0;
            for (const std::string& section : doc.sectionNames())
                for (int k = 0; k < KeysPerTask; ++k)
                    wrong += doc.getString(section, keyName(k), "").empty();
            if (err != 0 || wrong != 0 || doc.sectionNames().size() != Tasks)
                fail("read back a different list");
        }));

        update.push_back(millisecondsOf([&] {
            int err = 0;
            IniDocument doc = IniDocument::load(file, err);
            for (int t = 0; t < Tasks; ++t)
                doc.setString(taskName(t), "NextCloneDateTime", "46100.25");
            if (doc.save() != 0)
                fail("save failed");
        }));

        // One task saved the way a single edit saves it: 30 CIniFile writes, each a
        // whole read-modify-write of the 1000-task file.
        single.push_back(millisecondsOf([&] {
            for (int k = 0; k < KeysPerTask; ++k) {
                CIniFile ini;
                ini.setPath(folder.string());
                ini.setName(fs::path(file).filename().string());
                ini.setSection(taskName(Tasks / 2));
                ini.setKey(keyName(k));
                ini.SetStringValue("changed " + std::to_string(round));
            }
        }));
    }

    std::printf("Task list of %d tasks x %d keys, %zu bytes, %d rounds, in %s\n", Tasks, KeysPerTask,
                fileSize, rounds, folder.parent_path().string().c_str());
    report("write whole list (batch: build, one atomic save)", write);
    report("read whole list (batch: load, read every value)", read);
    report("update one key of every task (batch: load, save)", update);
    report("save one task by CIniFile (30 single writes)", single);
    fs::remove_all(folder);
    return 0;
}
