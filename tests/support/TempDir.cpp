#include "tests/support/TempDir.h"

#include "base/AppState.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace fs = std::filesystem;

namespace kestrow::test {

namespace {
const char* const kIsolatedVars[] = {
    "KESTROW_HOME",    "HOME",          "XDG_DATA_HOME",   "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
    "XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "XDG_RUNTIME_DIR", "TMPDIR"};
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "kestrow-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    for (const char* name : kIsolatedVars) {
        const char* v = std::getenv(name);
        m_savedEnv.emplace_back(name, v ? std::string("=") + v : std::string());
    }
    for (const char* sub :
         {"data", "home", "home/.local/share", "home/.config", "home/.cache", "etc/xdg", "run", "tmp"})
        fs::create_directories(m_root + "/" + sub);
    ::setenv("KESTROW_HOME", (m_root + "/data").c_str(), 1);
    ::setenv("HOME", (m_root + "/home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (m_root + "/home/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_root + "/home/.config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (m_root + "/home/.cache").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (m_root + "/etc/xdg").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (m_root + "/run").c_str(), 1);
    m_savedAppPath = gstrAppPath;
    gstrAppPath = dataFolder();
}

TempDir::~TempDir()
{
    gstrAppPath = m_savedAppPath;
    for (const auto& [name, value] : m_savedEnv) {
        if (value.empty())
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str() + 1, 1);
    }
    std::error_code ec;
    // Make everything writable again so a test that locked a folder still cleans up.
    for (auto it =
             fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_root, ec);
}

std::string TempDir::writeFile(const std::string& relative, const std::string& content) const
{
    const fs::path p = fs::path(m_root) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
    return p.string();
}

std::string TempDir::readFile(const std::string& relative) const
{
    const fs::path p = relative.starts_with('/') ? fs::path(relative) : fs::path(m_root) / relative;
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string TempDir::makeDir(const std::string& relative) const
{
    const fs::path p = fs::path(m_root) / relative;
    fs::create_directories(p);
    return p.string();
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str()))
        m_saved = old;
    ::setenv(m_name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (m_saved)
        ::setenv(m_name.c_str(), m_saved->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

} // namespace kestrow::test
