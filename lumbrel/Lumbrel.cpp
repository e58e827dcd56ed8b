#include "lumbrel/Lumbrel.h"

#include "base/ErrorReporter.h"
#include "lumbrel/lumbrel.h"
#include "platform/Library.h"
#include "platform/SystemInfo.h"

#include <atomic>
#include <limits>
#include <mutex>

namespace kestrow::lumbrel {

namespace {

struct Api
{
    decltype(&::LbFreeString) LbFreeString = nullptr;
    decltype(&::ReplaceMultipleChars) ReplaceMultipleChars = nullptr;
};

std::mutex g_mutex;
platform::Library g_library;
Api g_api;
std::atomic<bool> g_loaded{false};

bool loadLocked(const std::string& programFolder, std::string& failedFile)
{
    if (g_loaded)
        return true;
    // A bare file name would send dlopen to the search path instead of the folder.
    std::string fileSpec = programFolder.empty() ? std::string("./") : programFolder;
    if (fileSpec.back() != '/')
        fileSpec += '/';
    fileSpec += kLibraryFileName;
    failedFile = kLibraryFileName;
    if (!g_library.load(fileSpec))
        return false;
    Api resolved;
    resolved.LbFreeString = reinterpret_cast<decltype(resolved.LbFreeString)>(g_library.symbol("LbFreeString"));
    resolved.ReplaceMultipleChars =
        reinterpret_cast<decltype(resolved.ReplaceMultipleChars)>(g_library.symbol("ReplaceMultipleChars"));
    if (!resolved.LbFreeString || !resolved.ReplaceMultipleChars) {
        g_library.unload();
        return false;
    }
    g_api = resolved;
    failedFile.clear();
    g_loaded = true;
    return true;
}

const Api& api()
{
    if (!g_loaded) {
        std::lock_guard lock(g_mutex);
        std::string failed;
        if (!loadLocked(platform::executableFolder(), failed))
            throw RuntimeError(errnum::FileNotFound, std::string("Error loading DLL - ") + kLibraryFileName);
    }
    return g_api;
}

LbString in(const std::string& s)
{
    if (s.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw RuntimeError(errnum::Generic, "String too long for " + std::string(kLibraryFileName));
    return {const_cast<char*>(s.data()), static_cast<int32_t>(s.size())};
}

} // namespace

bool load(const std::string& programFolder, std::string& failedFile)
{
    std::lock_guard lock(g_mutex);
    return loadLocked(programFolder, failedFile);
}

void unload()
{
    std::lock_guard lock(g_mutex);
    g_loaded = false;
    g_api = Api{};
    g_library.unload();
}

bool isLoaded()
{
    return g_loaded;
}

std::string ReplaceMultipleChars(const std::string& text, const std::string& chars,
                                 const std::string& replacements)
{
    const Api& lb = api();
    const LbString t = in(text), c = in(chars), r = in(replacements);
    const LbString result = lb.ReplaceMultipleChars(&t, &c, &r);
    struct Release
    {
        const Api& lb;
        LbString s;
        ~Release() { lb.LbFreeString(s); }
    } release{lb, result};
    if (!result.data || result.length <= 0)
        return {};
    return std::string(result.data, static_cast<size_t>(result.length));
}

} // namespace kestrow::lumbrel
