#include "tests/support/FaultSupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kestrow::test {

std::string CliPath()
{
#ifdef KESTROW_CLI_PATH
    return KESTROW_CLI_PATH;
#else
    return {};
#endif
}

namespace {

std::vector<char*> Argv(const std::string& exe, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

namespace {

CliResult RunProgram(const std::string& exe, const std::vector<std::string>& args)
{
    CliResult result;
    char outName[] = "/tmp/kestrow-fault-out-XXXXXX";
    char errName[] = "/tmp/kestrow-fault-err-XXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    std::vector<char*> argv = Argv(exe, args);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outFd);
    ::close(errFd);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = Slurp(outName);
    result.err = Slurp(errName);
    ::unlink(outName);
    ::unlink(errName);
    return result;
}

} // namespace

CliResult RunCli(const std::vector<std::string>& args)
{
    return RunProgram(CliPath(), args);
}

CliResult RunCliAsNobody(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--", CliPath()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram("/usr/bin/setpriv", all);
}

int StartCli(const std::vector<std::string>& args)
{
    const std::string exe = CliPath();
    std::vector<char*> argv = Argv(exe, args);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

bool KillAfter(int pid, long delayMicros)
{
    // The delay only picks a moment of the run; nothing is judged by time.
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros));
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::string TreeDigest(const std::string& folder)
{
    std::vector<std::string> lines;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::none, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& p = it->path();
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0)
            continue;
        std::string line = fs::relative(p, folder).string() + " " + std::to_string(st.st_mode) + " ";
        if (S_ISLNK(st.st_mode))
            line += fs::read_symlink(p, ec).string();
        else if (S_ISREG(st.st_mode))
            line += Slurp(p.string());
        lines.push_back(std::move(line));
    }
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const std::string& l : lines)
        all += l + '\n';
    return all;
}

} // namespace kestrow::test
