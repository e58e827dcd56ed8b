#include "base/LoadedLibrary.h"

#include "base/ErrorReporter.h"

namespace kestrow {

std::string LibraryFileSpec(const std::string& folder, const char* fileName)
{
    std::string fileSpec = folder.empty() ? std::string("./") : folder;
    if (fileSpec.back() != '/')
        fileSpec += '/';
    return fileSpec + fileName;
}

void ThrowLibraryNotLoaded(const char* fileName)
{
    throw RuntimeError(errnum::FileNotFound, std::string("Error loading DLL - ") + fileName);
}

void ThrowStringTooLong(const char* fileName)
{
    throw RuntimeError(errnum::Generic, "String too long for " + std::string(fileName));
}

} // namespace kestrow
