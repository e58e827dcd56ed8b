// Times the folder differences report over a 100,000-file tree with 10,000
// differences, against `rsync -rni --delete` (a dry run that itemises the same
// differences) on the same trees, warm cache, and prints the medians and ratio.
//
//   bench_report [FOLDER] [--files N] [--runs N]
//
// FOLDER gets src/ and tgt/: tgt is src with every tenth file changed (a third
// 100 s older), missing from tgt (added) or only in tgt (deleted). The trees are
// built on the first run and reused while the file count matches. Default
// folder: /dev/shm/kestrow-bench-report (tmpfs), else under /tmp.

#include "engine/Report.h"

#include "base/AppState.h"
#include "bench/BenchTree.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool writeFile(const fs::path& path, long size)
{
    std::ofstream out(path, std::ios::binary);
    out << std::string(static_cast<size_t>(size), 'r');
    return static_cast<bool>(out);
}

// Builds the pair; returns the number of differences the report should list.
long buildTrees(const fs::path& root, long files)
{
    const fs::path marker = root / "trees-complete";
    long differences = 0;
    {
        std::ifstream in(marker);
        long count = 0;
        if (in >> count >> differences && count == files) {
            std::printf("Reusing the trees in %s\n", root.c_str());
            return differences;
        }
    }
    std::printf("Building 2 x %ld files in %s ...\n", files, root.c_str());
    std::error_code ec;
    fs::remove_all(root, ec);
    const std::vector<fs::path> folders = kestrow::bench::treeFolders({});
    for (const fs::path& f : folders) {
        fs::create_directories(root / "src" / f);
        fs::create_directories(root / "tgt" / f);
    }
    const auto base = fs::file_time_type::clock::now() - std::chrono::hours(24);
    differences = 0;
    for (long i = 0; i < files; ++i) {
        const fs::path name = folders[static_cast<size_t>(i) % folders.size()] / ("file" + std::to_string(i));
        const fs::path s = root / "src" / name;
        const fs::path t = root / "tgt" / name;
        const long kind = i % 10 == 0 ? (i / 10) % 3 + 1 : 0; // 1 added, 2 changed, 3 deleted
        differences += kind != 0;
        if (kind != 3 && !writeFile(s, i % 64))
            return -1;
        if (kind != 1 && !writeFile(t, i % 64))
            return -1;
        if (kind != 3)
            fs::last_write_time(s, base);
        if (kind != 1)
            fs::last_write_time(t, kind == 2 ? base - std::chrono::seconds(100) : base);
    }
    std::ofstream(marker) << files << " " << differences << "\n";
    return differences;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

long countOf(const std::string& text, const std::string& what)
{
    long n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
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
        folder = fs::is_directory("/dev/shm") ? "/dev/shm/kestrow-bench-report" : "/tmp/kestrow-bench-report";
    if (folder.back() != '/')
        folder += '/';
    const long differences = buildTrees(folder, files);
    if (differences < 0) {
        std::fprintf(stderr, "Could not build the trees in %s\n", folder.c_str());
        return 1;
    }
    kestrow::gstrProgramPath = kestrow::platform::executableFolder();
    const std::string src = folder + "src/";
    const std::string tgt = folder + "tgt/";
    const std::string reportFile = folder + "report.html";
    const std::string rsyncCommand =
        "rsync -rtni --delete " + shellQuote(src) + " " + shellQuote(tgt) + " > /dev/null";

    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };

    // Warm the caches with one pass of each.
    if (!kestrow::WriteHTMLReportOfFolderDiffs(src, tgt, true, reportFile) ||
        std::system(rsyncCommand.c_str()) != 0) {
        std::fprintf(stderr, "warm-up failed\n");
        return 1;
    }
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int r = 0; r < runs; ++r) {
        auto start = Clock::now();
        if (!kestrow::WriteHTMLReportOfFolderDiffs(src, tgt, true, reportFile))
            return 1;
        ours.push_back(seconds(Clock::now() - start));
        start = Clock::now();
        if (std::system(rsyncCommand.c_str()) != 0)
            return 1;
        theirs.push_back(seconds(Clock::now() - start));
    }

    std::ifstream in(reportFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const long listed = countOf(text.str(), "<dd><img SRC=");
    std::printf("report: %ld entries listed of %ld differences, %zu bytes\n", listed, differences,
                text.str().size());
    std::printf("report:           %.1f ms (median of %d)\n", median(ours) * 1000, runs);
    std::printf("rsync -rtni (dry): %.1f ms (median of %d)\n", median(theirs) * 1000, runs);
    std::printf("ratio ours/rsync: %.2f\n", median(ours) / median(theirs));
    return listed == differences ? 0 : 1;
}
