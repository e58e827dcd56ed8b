#pragma once
// The program's way into libzelcommon.so: std::string in and out, the counted
// strings of the C ABI created and freed here. The library is loaded with dlopen
// from the program folder; every call goes through the loaded library.

#include "base/AppState.h"

#include <cstdint>
#include <string>

namespace kestrow::zc {

inline constexpr const char* kLibraryFileName = kZelcommonFileName;

// Loads the library from `programFolder` (ending with "/"). Returns false when
// the file cannot be loaded or lacks an export; `failedFile` then names the file.
// Loading twice is harmless.
bool load(const std::string& programFolder, std::string& failedFile);
void unload();
bool isLoaded();

// Each throws kestrow::RuntimeError when the library is not loaded.
int16_t GetNextSlashPos(const std::string& path, int16_t start);
std::string GetLastItemInPath(const std::string& path);
std::string NormalizePath(const std::string& path);
std::string RemainingString(const std::string& text, const std::string& delimiter);
std::string ExtractString(const std::string& text, const std::string& delimiter);
std::string ReplaceString(const std::string& text, const std::string& find, const std::string& replacement);
std::string ToggleCase(const std::string& text);
std::string ProperCase(const std::string& text);
std::string RemoveInternalSpaces(const std::string& text);
std::string StripNull(const std::string& text);
std::string GetFilenameExtension(const std::string& name);
std::string RemoveFilenameExtension(const std::string& name);
std::string ReplaceFileName(const std::string& name, const std::string& newBaseName);
std::string ReplaceExtension(const std::string& name, const std::string& newExtension);
std::string AddSuffixToFileName(const std::string& name, const std::string& suffix);
std::string ConvertLongToBinaryString(int32_t value);
std::string ConvertBytesToCorrectByteTypeString(int64_t countTimes10000);
bool IsBitSet(int32_t value, int16_t bit);
bool PBFileExists(const std::string& path);
bool PBFolderExists(const std::string& path);
bool APIFileExists(const std::string& path);
bool APIFolderExists(const std::string& path);

} // namespace kestrow::zc
