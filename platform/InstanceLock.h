#pragma once
// One running instance per data folder: an advisory lock (flock) on a lock file in
// the folder. The lock belongs to the open file, so it ends with the process however
// the process ends; a lock file left behind by a crash is simply locked again.

#include "platform/Fd.h"

#include <string>
#include <string_view>

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
    // file is neither written nor touched. The file is opened as openDataFile opens it:
    // a symbolic link at its name fails with ELOOP, a FIFO or device with EINVAL.
    Result acquire(const std::string& lockFile);

    // Whether the lock on `lockFile` is held by someone now, without taking it and
    // without creating the file. False when a link or anything but a regular file is there.
    static bool isHeld(const std::string& lockFile);

    void release();
    bool held() const { return m_fd.valid(); }
    int error() const { return m_error; }

private:
    Fd m_fd;
    int m_error = 0;
};

// The lock file of a data folder (ending with "/"): folder + ".kestrow.lock".
std::string instanceLockFile(const std::string& dataFolder);

// The lock file that keeps two runs off one Target: in the data folder's
// "target-locks" folder (made when missing), named by a hash of the Target's
// resolved path, so every spelling of one folder meets the same lock. "" when
// that folder cannot be made (errno in `err`), or when something other than a
// folder is in its place (a symbolic link: ELOOP; anything else: ENOTDIR).
std::string targetLockFile(const std::string& dataFolder, const std::string& resolvedTarget, int& err);

// Orders the read-modify-write saves of one file among every process and thread
// that makes them (the desktop program, the daemon, kestrow-cli run): while one
// holds the lock, the others wait, so none of them writes back a copy read before
// another's save. The lock is an advisory flock on a sidecar file beside the data
// file (see updateLockFile), because the data file itself is replaced by rename on
// every save. Taking it again on a thread that already holds it for the same file
// nests (an event handled during a save may save again) instead of deadlocking.
// The sidecar exists only while the lock is held: the holder removes it as it lets
// go, so nothing stays beside the data file (a killed holder's sidecar is simply
// locked and removed by the next one). When the sidecar cannot be made (a missing
// or read-only folder) the lock is not held and the save goes ahead unordered: no
// worse than without the lock, and the save itself reports the folder's fault. The
// sidecar is opened as openDataFile opens it: a symbolic link planted at its name is
// refused (error() ELOOP), and the callers then refuse the save.
class UpdateLock
{
public:
    // Waits until the lock for `dataFile` is held (or cannot be had).
    explicit UpdateLock(const std::string& dataFile);
    ~UpdateLock();
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

    bool held() const { return m_held; }
    // errno when the sidecar could not be opened or locked, else 0.
    int error() const { return m_error; }
    // The sidecar (updateLockFile of the data file).
    const std::string& lockFile() const { return m_lockFile; }

private:
    std::string m_lockFile;
    bool m_held = false;
    int m_error = 0;
};

// The sidecar lock file of `dataFile`: in the same folder, "." + its name + ".lock"
// ("/d/Tasks.kwt" gives "/d/.Tasks.kwt.lock").
std::string updateLockFile(std::string_view dataFile);

} // namespace kestrow::platform
