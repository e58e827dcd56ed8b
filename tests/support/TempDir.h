#pragma once
// A fresh temporary folder per test, removed afterwards. The environment is
// pointed into it (KESTROW_HOME, HOME, XDG_*) so nothing touches the real
// home, trash or autostart folders, and gstrAppPath becomes <root>/data/.

#include <optional>
#include <string>
#include <vector>

namespace kestrow::test {

class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Root of the temporary folder, without trailing "/".
    const std::string& path() const { return m_root; }
    // root + "/" + relative
    std::string operator/(const std::string& relative) const { return m_root + "/" + relative; }
    // The data folder (gstrAppPath), ending with "/".
    std::string dataFolder() const { return m_root + "/data/"; }

    // Writes a file (creating parent folders) and returns its full path.
    std::string writeFile(const std::string& relative, const std::string& content) const;
    std::string readFile(const std::string& relative) const;
    std::string makeDir(const std::string& relative) const;

private:
    std::string m_root;
    std::vector<std::pair<std::string, std::string>> m_savedEnv;
    std::string m_savedAppPath;
};

// Sets one environment variable for its lifetime and then puts back what was there
// (or removes it), so a test's setting cannot leak into the next test.
class ScopedEnv
{
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};

} // namespace kestrow::test
