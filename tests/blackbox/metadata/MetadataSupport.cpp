#include "tests/blackbox/metadata/MetadataSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace kestrow::test {

ShellResult Shell(const std::string& script)
{
    ShellResult result;
    const std::string command = "/bin/sh -c " + shellQuoted(script) + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveProgram(const std::string& program)
{
    return Shell("PATH=\"$PATH:/usr/sbin:/sbin\" command -v " + shellQuoted(program)).status == 0;
}

std::string RsyncDifferences(const std::string& source, const std::string& target)
{
    auto slashed = [](std::string p) { return p.ends_with('/') ? p : p + "/"; };
    const ShellResult r = Shell("rsync -aAXn --checksum --itemize-changes --delete " +
                                shellQuoted(slashed(source)) + " " + shellQuoted(slashed(target)));
    if (r.status != 0)
        return "rsync failed (status " + std::to_string(r.status) + "): " + r.out;
    return r.out;
}

struct stat StatOf(const std::string& path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0)
        st = {};
    return st;
}

namespace {

void FillPattern(std::string& chunk, uint64_t firstWord, uint32_t seed)
{
    const uint64_t salt = (uint64_t{seed} + 1) * 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i + 8 <= chunk.size(); i += 8) {
        // An odd multiplier keeps the words of one file distinct.
        const uint64_t word = (firstWord + i / 8) * 0xD6E8FEB86659FD93ull + salt;
        std::memcpy(chunk.data() + i, &word, 8);
    }
}

} // namespace

std::string Pattern(uint64_t bytes, uint32_t seed)
{
    std::string all((bytes + 7) / 8 * 8, '\0');
    FillPattern(all, 0, seed);
    all.resize(bytes);
    return all;
}

void WritePattern(const std::string& path, uint64_t bytes, uint32_t seed, int64_t seconds)
{
    constexpr uint64_t kChunk = 1 << 20;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk(kChunk, '\0');
    for (uint64_t done = 0; done < bytes; done += kChunk) {
        FillPattern(chunk, done / 8, seed);
        out.write(chunk.data(), static_cast<std::streamsize>(std::min(kChunk, bytes - done)));
    }
    out.close();
    const timespec when[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), when, 0);
}

std::vector<std::string> NamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> LinesWith(const std::string& text, const std::vector<std::string>& parts)
{
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (std::all_of(parts.begin(), parts.end(),
                        [&](const std::string& p) { return line.find(p) != std::string::npos; }))
            found.push_back(line);
    }
    return found;
}

void RootCliTest::SetUp()
{
    if (CliPath().empty())
        GTEST_SKIP() << "this build has no kestrow-cli";
    if (!runningAsRoot())
        GTEST_SKIP() << "files of other owners can only be made as root";
}

CliResult RootCliTest::Clone(const std::vector<std::string>& extra)
{
    std::vector<std::string> args = {"clone", src(), tgt(), "-q", "--copy", method()};
    if (std::find(extra.begin(), extra.end(), "--delete") == extra.end())
        args.insert(args.end(), {"--delete", "regular"});
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
}

} // namespace kestrow::test
