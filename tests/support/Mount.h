#pragma once
// The one mount helper of every test that mounts (media, bind and loop mounts, small
// or FAT Targets): a mount counts only once the mount table shows it.

#include <string>
#include <vector>

namespace kestrow::test {

// Mounts a file system for the length of a test and takes it away again (lazily
// if it is still busy). Mounting needs root, or FUSE access for a FUSE driver.
class ScopedMount
{
public:
    // Runs `mountCommand` followed by the quoted mount point, for example
    // "mount -t tmpfs -o size=1m x"; `unmountCommand` is run the same way.
    ScopedMount(const std::string& mountCommand, const std::string& mountPoint,
                const std::string& unmountCommand = "umount");
    ~ScopedMount();
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    bool mounted() const { return m_mounted; }
    // Unmounts now; returns whether that worked.
    bool unmount();

private:
    std::string m_mountPoint;
    std::string m_unmountCommand;
    bool m_mounted = false;
};

// Whether a file system is mounted right at `path`.
bool isMountPoint(const std::string& path);
// Every mount point of this process's mount table, unescaped, in the table's order.
std::vector<std::string> mountPoints();

// A path quoted for the shell.
std::string shellQuoted(const std::string& text);

} // namespace kestrow::test
