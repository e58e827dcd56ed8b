// Walks a 100,000-file tree with our listing and with
// `find DIR -printf '%T@ %s\n'`, warm cache, and prints the ratio of the medians.
//
//   bench_listing [TREE_FOLDER] [--files N] [--runs N]
//
// The tree (5 folder levels, 4 subfolders per folder, files spread over every
// folder) is built on the first run and reused while its file count matches.
// Default folder: /dev/shm/kestrow-bench-listing (tmpfs), else under /tmp.

#include "platform/DirList.h"

#include "bench/BenchTree.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kestrow::platform::DirEntry;
using kestrow::platform::listFolder;

namespace {

struct Totals
{
    uint64_t entries = 0;
    uint64_t bytes = 0;
    int64_t newest = 0;
    int errors = 0;
};

void walk(const std::string& folder, Totals& t)
{
    std::vector<DirEntry> entries;
    if (listFolder(folder, entries) != 0)
        ++t.errors;
    for (const DirEntry& e : entries) {
        ++t.entries;
        t.bytes += e.size;
        t.newest = std::max(t.newest, e.lastWrite);
        if (e.isFolder())
            walk(folder + e.name + "/", t);
    }
}

bool buildTree(const fs::path& root, long files)
{
    const fs::path marker = root / ".tree-complete";
    {
        std::ifstream in(marker);
        long count = 0;
        if (in >> count && count == files) {
            std::printf("Reusing the tree in %s\n", root.c_str());
            return true;
        }
    }
    std::printf("Building %ld files in %s ...\n", files, root.c_str());
    std::error_code ec;
    fs::remove_all(root, ec);
    const std::vector<fs::path> folders = kestrow::bench::treeFolders(root);
    for (const fs::path& f : folders)
        fs::create_directories(f);
    const std::string data(4096, 'k');
    for (long i = 0; i < files; ++i) {
        const fs::path& folder = folders[static_cast<size_t>(i) % folders.size()];
        std::ofstream out(folder / ("file" + std::to_string(i) + ".dat"), std::ios::binary);
        out.write(data.data(), static_cast<std::streamsize>(i % data.size()));
        if (!out)
            return false;
    }
    std::ofstream(marker) << files << "\n";
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder;
    long files = 100000;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc)
            files = std::atol(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            folder = arg;
    }
    if (folder.empty())
        folder =
            fs::is_directory("/dev/shm") ? "/dev/shm/kestrow-bench-listing" : "/tmp/kestrow-bench-listing";
    if (folder.back() != '/')
        folder += '/';
    if (!buildTree(folder, files)) {
        std::fprintf(stderr, "Could not build the tree in %s\n", folder.c_str());
        return 1;
    }

    const std::string findCommand = "find " + shellQuote(folder) + " -printf '%T@ %s\\n' > /dev/null";
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };

    // Warm the caches with one pass of each.
    Totals warm;
    walk(folder, warm);
    if (std::system(findCommand.c_str()) != 0) {
        std::fprintf(stderr, "find failed\n");
        return 1;
    }

    std::vector<double> ours;
    std::vector<double> theirs;
    Totals last;
    for (int r = 0; r < runs; ++r) {
        Totals t;
        auto start = Clock::now();
        walk(folder, t);
        ours.push_back(seconds(Clock::now() - start));
        last = t;

        start = Clock::now();
        if (std::system(findCommand.c_str()) != 0)
            return 1;
        theirs.push_back(seconds(Clock::now() - start));
    }
    if (last.errors)
        std::fprintf(stderr, "%d folders could not be listed\n", last.errors);

    const double a = median(ours);
    const double b = median(theirs);
    std::printf("entries listed: %llu (%llu bytes)\n", static_cast<unsigned long long>(last.entries),
                static_cast<unsigned long long>(last.bytes));
    std::printf("listFolder walk: %.1f ms (median of %d)\n", a * 1000, runs);
    std::printf("find -printf:    %.1f ms (median of %d)\n", b * 1000, runs);
    std::printf("ratio ours/find: %.2f\n", a / b);
    return 0;
}
