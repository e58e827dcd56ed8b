#include "settings/CIniFile.h"

#include "base/AppState.h"
#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "platform/InstanceLock.h"
#include "platform/TextFile.h"
#include "settings/IniDocument.h"

namespace kestrow {

namespace {

constexpr const char* ErrorTitle = "CIniFile Error";

void ShowMissing(const std::string& text)
{
    ui().messageBox(ErrorTitle, text, MsgIcon::Critical, MsgButtons::Ok);
}

} // namespace

// gstrAppPath already ends with "/". Taken as it is, so a data folder that was never
// set leaves Path empty, which the operations refuse.
CIniFile::CIniFile() : m_Path(gstrAppPath), m_FileSpec(gstrAppPath) {}

void CIniFile::setName(const std::string& value)
{
    if (!m_Name.empty()) {
        ui().messageBox(ErrorTitle,
                        "This IniFile Object is already in use by " + m_FileSpec + "\n" +
                            "Create a new object.",
                        MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    m_Name = value;
    m_FileSpec = m_Path + m_Name;
}

void CIniFile::setPath(const std::string& value)
{
    m_Path = value;
    if (m_Path.empty() || m_Path.back() != '/')
        m_Path += '/';
    m_FileSpec = m_Path + m_Name;
}

bool CIniFile::PropertiesSet(Punctuation sectionAndKey, NeedsKey needsKey) const
{
    const char* stop = sectionAndKey == Punctuation::FullStop ? "." : "";
    if (m_Path.empty()) {
        ShowMissing("Path property must be set first");
        return false;
    }
    if (m_Name.empty()) {
        ShowMissing("Name property must be set first");
        return false;
    }
    if (m_Section.empty()) {
        ShowMissing(std::string("Section property must be set first") + stop);
        return false;
    }
    if (needsKey == NeedsKey::Yes && m_Key.empty()) {
        ShowMissing(std::string("Key property must be set first") + stop);
        return false;
    }
    return true;
}

int16_t CIniFile::GetIntegerValue(int16_t pDefaultValue)
{
    return Guarded("cIniFile.GetIntegerValue()", int16_t{0}, [&]() -> int16_t {
        if (!PropertiesSet(Punctuation::None, NeedsKey::Yes))
            return 0;
        int err = 0;
        const IniDocument doc = IniDocument::load(m_FileSpec, err);
        const int32_t value = doc.getInt(m_Section, m_Key, pDefaultValue);
        return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
    });
}

std::string CIniFile::GetStringValue(const std::string& pDefaultValue)
{
    return Guarded("cIniFile.GetStringValue()", std::string(), [&]() -> std::string {
        if (!PropertiesSet(Punctuation::None, NeedsKey::Yes))
            return {};
        int err = 0;
        const IniDocument doc = IniDocument::load(m_FileSpec, err);
        return doc.getString(m_Section, m_Key, pDefaultValue);
    });
}

void CIniFile::SetStringValue(const std::string& pNewValue)
{
    Guarded("cIniFile.SetStringValue()", [&] {
        if (!PropertiesSet(Punctuation::FullStop, NeedsKey::Yes))
            return;
        const platform::UpdateLock lock(m_FileSpec);
        int err = 0;
        IniDocument doc = IniDocument::load(m_FileSpec, err);
        // Writing without having read the file would throw its other contents away.
        if (err != 0)
            return;
        doc.setString(m_Section, m_Key, pNewValue);
        if (doc.modified())
            doc.save();
    });
}

void CIniFile::DeleteKey()
{
    Guarded("cIniFile.DeleteKey()", [&] {
        if (!PropertiesSet(Punctuation::FullStop, NeedsKey::Yes))
            return;
        const platform::UpdateLock lock(m_FileSpec);
        int err = 0;
        IniDocument doc = IniDocument::load(m_FileSpec, err);
        if (err == 0 && doc.deleteKey(m_Section, m_Key))
            doc.save();
    });
}

void CIniFile::DeleteSection()
{
    Guarded("cIniFile.DeleteSection()", [&] {
        if (!PropertiesSet(Punctuation::FullStop, NeedsKey::No))
            return;
        const platform::UpdateLock lock(m_FileSpec);
        int err = 0;
        IniDocument doc = IniDocument::load(m_FileSpec, err);
        if (err == 0 && doc.deleteSection(m_Section))
            doc.save();
    });
}

bool CIniFile::DeleteINI()
{
    return Guarded("cIniFile.DeleteINI()", false, [&] { return platform::removeFile(m_FileSpec) == 0; });
}

} // namespace kestrow
