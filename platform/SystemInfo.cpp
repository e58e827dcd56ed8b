#include "platform/SystemInfo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrow::platform {

std::optional<std::string> env(const char* name)
{
    const char* v = std::getenv(name);
    if (!v)
        return std::nullopt;
    return std::string(v);
}

std::string executableFolder()
{
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0)
        return "./";
    buf.resize(static_cast<size_t>(n));
    auto slash = buf.rfind('/');
    return slash == std::string::npos ? std::string("./") : buf.substr(0, slash + 1);
}

std::tm localNow()
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm;
}

std::string homeFolder()
{
    if (auto h = env("HOME"); h && !h->empty())
        return *h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string workingFolder()
{
    // getcwd(NULL, 0) allocates as much as the path needs, past PATH_MAX too.
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd)
        return {};
    std::string folder(cwd);
    std::free(cwd);
    return folder;
}

int makePath(const std::string& path)
{
    if (path.empty())
        return ENOENT;
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        partial = path.substr(0, next);
        pos = next + 1;
        if (partial.empty())
            continue;
        struct stat st
        {
        };
        if (::stat(partial.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return ENOTDIR;
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

std::string errnoText(int err)
{
    char buf[512];
    const char* s = ::strerror_r(err, buf, sizeof buf);
    std::string text = s ? s : "";
    if (text.rfind("Unknown error", 0) == 0)
        return {};
    return text;
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

bool stdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

int stderrTerminalColumns()
{
    struct winsize size
    {
    };
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace kestrow::platform
