#pragma once
// One running instance per data folder: an advisory lock (flock) on a lock file in
// the folder. The lock belongs to the open file, so it ends with the process however
// the process ends; a lock file left behind by a crash is simply locked again.

#include <string>

namespace kestrow::platform {

class InstanceLock
{
public:
    InstanceLock() = default;
    // Releases the lock (the lock file stays).
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result
    {
        Acquired,
        HeldElsewhere, // another process (or another InstanceLock of this one) holds it
        Failed,        // the lock file cannot be opened or locked: errno in error()
    };

    // Takes the lock on `lockFile` without waiting, creating the file (mode 0600) when
    // missing; its folder must exist. Another holder: HeldElsewhere, and the existing
    // file is neither written nor touched.
    Result acquire(const std::string& lockFile);

    // Whether the lock on `lockFile` is held by someone now, without taking it and
    // without creating the file.
    static bool isHeld(const std::string& lockFile);

    void release();
    bool held() const { return m_fd >= 0; }
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// The lock file of a data folder (ending with "/"): folder + ".kestrow.lock".
std::string instanceLockFile(const std::string& dataFolder);

// The lock file that keeps two runs off one Target: in the data folder's
// "target-locks" folder (made when missing), named by a hash of the Target's
// resolved path, so every spelling of one folder meets the same lock. "" when
// that folder cannot be made (errno in `err`).
std::string targetLockFile(const std::string& dataFolder, const std::string& resolvedTarget, int& err);

} // namespace kestrow::platform
