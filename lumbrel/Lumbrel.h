#pragma once
// The program's way into liblumbrel.so, loaded with dlopen from the program
// folder like libzelcommon.so.

#include <string>

namespace kestrow::lumbrel {

inline constexpr const char* kLibraryFileName = "liblumbrel.so";

// Loads the library from `programFolder` (ending with "/"). Returns false when
// the file cannot be loaded or lacks an export; `failedFile` then names the file.
// Loading twice is harmless.
bool load(const std::string& programFolder, std::string& failedFile);
void unload();
bool isLoaded();

// `text` with each byte listed in `chars` replaced by the byte at the same
// position of `replacements` (a listed byte without a counterpart stays).
// Throws kestrow::RuntimeError when the library is not loaded and cannot be
// loaded from the executable's folder.
std::string ReplaceMultipleChars(const std::string& text, const std::string& chars,
                                 const std::string& replacements);

} // namespace kestrow::lumbrel
