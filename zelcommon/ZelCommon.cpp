#include "zelcommon/ZelCommon.h"

#include "base/LoadedLibrary.h"
#include "zelcommon/zelcommon.h"

namespace kestrow::zc {

namespace {

// clang-format off
#define KESTROW_ZC_EXPORTS(X)                                                                       \
    X(ZcFreeString)                                                                                 \
    X(LIBMAIN) X(GetNextSlashPos) X(GetLastItemInPath) X(NormalizePath) X(RemainingString)          \
    X(ExtractString) X(ReplaceString) X(ToggleCase) X(ProperCase) X(RemoveInternalSpaces)           \
    X(StripNull) X(GetFilenameExtension) X(RemoveFilenameExtension) X(ReplaceFileName)              \
    X(ReplaceExtension) X(AddSuffixToFileName) X(ConvertLongToBinaryString)                         \
    X(ConvertBytesToCorrectByteTypeString) X(IsBitSet) X(PBFileExists) X(PBFolderExists)            \
    X(APIFileExists) X(APIFolderExists)
// clang-format on

struct Api
{
#define KESTROW_ZC_MEMBER(name) decltype(&::name) name = nullptr;
    KESTROW_ZC_EXPORTS(KESTROW_ZC_MEMBER)
#undef KESTROW_ZC_MEMBER
};

bool resolve(const platform::Library& library, Api& api)
{
    bool complete = true;
#define KESTROW_ZC_RESOLVE(name) complete = library.find(#name, api.name) && complete;
    KESTROW_ZC_EXPORTS(KESTROW_ZC_RESOLVE)
#undef KESTROW_ZC_RESOLVE
    return complete;
}

LoadedLibrary<Api> g_library(kLibraryFileName, resolve);

const Api& api()
{
    return g_library.api();
}

ZcString in(const std::string& s)
{
    return g_library.in<ZcString>(s);
}

// Copies a result and frees the library's string, also when the copy throws.
std::string out(const Api& zc, ZcString s)
{
    return TakeLibraryString(s, zc.ZcFreeString);
}

template <typename Fn, typename... Args> std::string callString(Fn Api::*fn, const Args&... args)
{
    const Api& zc = api();
    return out(zc, (zc.*fn)(args...));
}

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

int16_t GetNextSlashPos(const std::string& path, int16_t start)
{
    const ZcString p = in(path);
    return api().GetNextSlashPos(&p, start);
}

std::string GetLastItemInPath(const std::string& path)
{
    const ZcString p = in(path);
    return callString(&Api::GetLastItemInPath, &p);
}

std::string NormalizePath(const std::string& path)
{
    const ZcString p = in(path);
    return callString(&Api::NormalizePath, &p);
}

std::string RemainingString(const std::string& text, const std::string& delimiter)
{
    const ZcString t = in(text), d = in(delimiter);
    return callString(&Api::RemainingString, &t, &d);
}

std::string ExtractString(const std::string& text, const std::string& delimiter)
{
    const ZcString t = in(text), d = in(delimiter);
    return callString(&Api::ExtractString, &t, &d);
}

std::string ReplaceString(const std::string& text, const std::string& find, const std::string& replacement)
{
    const ZcString t = in(text), f = in(find), r = in(replacement);
    return callString(&Api::ReplaceString, &t, &f, &r);
}

std::string ToggleCase(const std::string& text)
{
    const ZcString t = in(text);
    return callString(&Api::ToggleCase, &t);
}

std::string ProperCase(const std::string& text)
{
    const ZcString t = in(text);
    return callString(&Api::ProperCase, &t);
}

std::string RemoveInternalSpaces(const std::string& text)
{
    const ZcString t = in(text);
    return callString(&Api::RemoveInternalSpaces, &t);
}

std::string StripNull(const std::string& text)
{
    const ZcString t = in(text);
    return callString(&Api::StripNull, &t);
}

std::string GetFilenameExtension(const std::string& name)
{
    const ZcString n = in(name);
    return callString(&Api::GetFilenameExtension, &n);
}

std::string RemoveFilenameExtension(const std::string& name)
{
    const ZcString n = in(name);
    return callString(&Api::RemoveFilenameExtension, &n);
}

std::string ReplaceFileName(const std::string& name, const std::string& newBaseName)
{
    const ZcString n = in(name), b = in(newBaseName);
    return callString(&Api::ReplaceFileName, &n, &b);
}

std::string ReplaceExtension(const std::string& name, const std::string& newExtension)
{
    const ZcString n = in(name), e = in(newExtension);
    return callString(&Api::ReplaceExtension, &n, &e);
}

std::string AddSuffixToFileName(const std::string& name, const std::string& suffix)
{
    const ZcString n = in(name), s = in(suffix);
    return callString(&Api::AddSuffixToFileName, &n, &s);
}

std::string ConvertLongToBinaryString(int32_t value)
{
    return callString(&Api::ConvertLongToBinaryString, value);
}

std::string ConvertBytesToCorrectByteTypeString(int64_t countTimes10000)
{
    return callString(&Api::ConvertBytesToCorrectByteTypeString, countTimes10000);
}

bool IsBitSet(int32_t value, int16_t bit)
{
    return api().IsBitSet(value, bit) != 0;
}

bool PBFileExists(const std::string& path)
{
    const ZcString p = in(path);
    return api().PBFileExists(&p) != 0;
}

bool PBFolderExists(const std::string& path)
{
    const ZcString p = in(path);
    return api().PBFolderExists(&p) != 0;
}

bool APIFileExists(const std::string& path)
{
    const Api& zc = api();
    // The export reads a C string: a path holding a NUL would be cut short and
    // could name a different file.
    if (path.find('\0') != std::string::npos)
        return false;
    return zc.APIFileExists(path.c_str()) != 0;
}

bool APIFolderExists(const std::string& path)
{
    const ZcString p = in(path);
    return api().APIFolderExists(&p) != 0;
}

} // namespace kestrow::zc
