#include "lumbrel/Lumbrel.h"

#include "base/LoadedLibrary.h"
#include "lumbrel/lumbrel.h"

namespace kestrow::lumbrel {

namespace {

struct Api
{
    decltype(&::LbFreeString) LbFreeString = nullptr;
    decltype(&::ReplaceMultipleChars) ReplaceMultipleChars = nullptr;
};

bool resolve(const platform::Library& library, Api& api)
{
    return library.find("LbFreeString", api.LbFreeString) &&
           library.find("ReplaceMultipleChars", api.ReplaceMultipleChars);
}

LoadedLibrary<Api> g_library(kLibraryFileName, resolve);

} // namespace

bool load(const std::string& programFolder, std::string& failedFile)
{
    return g_library.load(programFolder, failedFile);
}

void unload()
{
    g_library.unload();
}

bool isLoaded()
{
    return g_library.isLoaded();
}

std::string ReplaceMultipleChars(const std::string& text, const std::string& chars,
                                 const std::string& replacements)
{
    const Api& lb = g_library.api();
    const LbString t = g_library.in<LbString>(text), c = g_library.in<LbString>(chars),
                   r = g_library.in<LbString>(replacements);
    return TakeLibraryString(lb.ReplaceMultipleChars(&t, &c, &r), lb.LbFreeString);
}

} // namespace kestrow::lumbrel
