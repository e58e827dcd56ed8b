#include "tests/support/Mount.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrow::test {

std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> mountPoints()
{
    std::vector<std::string> points;
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        // id parent major:minor root mount-point ...; blanks and the like come as \ooo
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        fields >> id >> parent >> device >> root >> mountPoint;
        std::string unescaped;
        for (size_t i = 0; i < mountPoint.size(); ++i) {
            if (mountPoint[i] == '\\' && i + 3 < mountPoint.size()) {
                unescaped += static_cast<char>(std::stoi(mountPoint.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else {
                unescaped += mountPoint[i];
            }
        }
        points.push_back(std::move(unescaped));
    }
    return points;
}

bool isMountPoint(const std::string& path)
{
    std::string wanted = path;
    while (wanted.size() > 1 && wanted.ends_with('/'))
        wanted.pop_back();
    const std::vector<std::string> points = mountPoints();
    return std::find(points.begin(), points.end(), wanted) != points.end();
}

ScopedMount::ScopedMount(const std::string& mountCommand, const std::string& mountPoint,
                         const std::string& unmountCommand)
    : m_mountPoint(mountPoint), m_unmountCommand(unmountCommand)
{
    const std::string command = mountCommand + " " + shellQuoted(mountPoint) + " >/dev/null 2>&1";
    // Some FUSE drivers report success before they find they cannot mount.
    m_mounted = std::system(command.c_str()) == 0 && isMountPoint(mountPoint);
}

ScopedMount::~ScopedMount()
{
    if (m_mounted && !unmount())
        std::system(("umount -l " + shellQuoted(m_mountPoint) + " >/dev/null 2>&1").c_str());
}

bool ScopedMount::unmount()
{
    const std::string command = m_unmountCommand + " " + shellQuoted(m_mountPoint) + " >/dev/null 2>&1";
    if (m_mounted && std::system(command.c_str()) == 0)
        m_mounted = false;
    return !m_mounted;
}

} // namespace kestrow::test
