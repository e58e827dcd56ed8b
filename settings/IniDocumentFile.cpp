// The file side of IniDocument, kept apart so the parser builds without the platform
// layer (the fuzz target compiles IniDocument.cpp on its own).

#include "settings/IniDocument.h"

#include "platform/TextFile.h"

#include <cerrno>

namespace kestrow {

IniDocument IniDocument::load(const std::string& path, int& err)
{
    err = 0;
    int readErr = 0;
    const std::string text = platform::readDataFile(path, readErr);
    IniDocument doc(readErr == 0 ? std::string_view(text) : std::string_view{});
    if (readErr != 0 && readErr != ENOENT && readErr != ENOTDIR)
        err = readErr;
    doc.m_filePath = path;
    return doc;
}

int IniDocument::save() const
{
    if (m_filePath.empty())
        return EINVAL;
    return saveAs(m_filePath);
}

int IniDocument::saveAs(const std::string& path) const
{
    return platform::writeFileAtomically(path, text());
}

} // namespace kestrow
