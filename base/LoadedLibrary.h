#pragma once
// The shared libraries the program loads from its own folder (libzelcommon.so,
// liblumbrel.so) through the C ABI: each loaded once with every export found, or not
// at all, and the errors the program gives for them. Their wrappers keep only their
// list of exports and the calls.

#include "platform/Library.h"
#include "platform/SystemInfo.h"
#include "util/ScopeExit.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>

namespace kestrow {

// `folder` (empty for the working folder) + `fileName`: never a bare file name, which
// would send dlopen to the search path instead of the folder.
std::string LibraryFileSpec(const std::string& folder, const char* fileName);

// RuntimeError "Error loading DLL - " + `fileName` (file not found).
[[noreturn]] void ThrowLibraryNotLoaded(const char* fileName);

// RuntimeError "String too long for " + `fileName`.
[[noreturn]] void ThrowStringTooLong(const char* fileName);

// `Api` holds the library's function pointers; `resolve` fills it from the loaded
// library and gives false when an export is missing.
template <typename Api> class LoadedLibrary
{
public:
    using Resolve = bool (*)(const platform::Library& library, Api& api);

    constexpr LoadedLibrary(const char* fileName, Resolve resolve) : m_fileName(fileName), m_resolve(resolve)
    {
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // Loads the library from `programFolder`. False when the file cannot be loaded or
    // lacks an export; `failedFile` then names the file. Loading twice is harmless.
    bool load(const std::string& programFolder, std::string& failedFile)
    {
        std::lock_guard lock(m_mutex);
        return loadLocked(programFolder, failedFile);
    }

    void unload()
    {
        std::lock_guard lock(m_mutex);
        m_loaded = false;
        m_api = Api{};
        m_library.unload();
    }

    bool isLoaded() const { return m_loaded; }

    // The exports. A program that never loaded the library explicitly (a test, a
    // tool) gets it from its own folder on first use; failing that, throws.
    const Api& api()
    {
        if (!m_loaded) {
            std::lock_guard lock(m_mutex);
            std::string failed;
            if (!loadLocked(platform::executableFolder(), failed))
                ThrowLibraryNotLoaded(m_fileName);
        }
        return m_api;
    }

    // A counted string of the C ABI ({data, length}) for `s`; the library never
    // writes through an argument. Throws when `s` is too long for the length.
    template <typename CString> CString in(const std::string& s) const
    {
        if (s.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
            ThrowStringTooLong(m_fileName);
        return {const_cast<char*>(s.data()), static_cast<int32_t>(s.size())};
    }

private:
    bool loadLocked(const std::string& programFolder, std::string& failedFile)
    {
        if (m_loaded)
            return true;
        failedFile = m_fileName;
        if (!m_library.load(LibraryFileSpec(programFolder, m_fileName)))
            return false;
        Api resolved;
        if (!m_resolve(m_library, resolved)) {
            m_library.unload();
            return false;
        }
        m_api = resolved;
        failedFile.clear();
        m_loaded = true;
        return true;
    }

    const char* m_fileName;
    Resolve m_resolve;
    std::mutex m_mutex;
    platform::Library m_library;
    Api m_api;
    std::atomic<bool> m_loaded{false};
};

// A string the library returned, copied; the library's `freeString` releases it, also
// when the copy throws.
template <typename CString, typename Free> std::string TakeLibraryString(CString s, Free freeString)
{
    const util::ScopeExit release([&] { freeString(s); });
    if (!s.data || s.length <= 0)
        return {};
    return std::string(s.data, static_cast<size_t>(s.length));
}

} // namespace kestrow
