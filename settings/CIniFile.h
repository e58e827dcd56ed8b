#pragma once
// CIniFile: reads and writes one value at a time in an INI file. Each use makes a
// fresh object, sets the file (Path, Name), then for each value sets Section and Key
// and calls one operation. Every value operation is one complete read-modify-write
// of the file, made under the file's update lock (platform::UpdateLock) so that
// programs changing one file at once never lose each other's values. The object
// holds no open file and caches nothing. For many values in
// one go use IniDocument directly (one read, one atomic write).
//
// The file format and matching rules are those of IniDocument.

#include <cstdint>
#include <string>

namespace kestrow {

class CIniFile
{
public:
    // Path starts as gstrAppPath; Name, Section and Key empty.
    CIniFile();

    // The file name, without folder. It can be set once: setting it while it is not
    // empty keeps the old name and shows "CIniFile Error" / "This IniFile Object is
    // already in use by <file spec>" (exclamation icon, OK).
    const std::string& Name() const { return m_Name; }
    void setName(const std::string& value);

    // The folder, always stored ending with "/" (one is added when missing).
    const std::string& Path() const { return m_Path; }
    void setPath(const std::string& value);

    const std::string& Section() const { return m_Section; }
    void setSection(const std::string& value) { m_Section = value; }
    const std::string& Key() const { return m_Key; }
    void setKey(const std::string& value) { m_Key = value; }

    // Path + Name: the file every operation works on.
    const std::string& FileSpec() const { return m_FileSpec; }

    // Operations below first check, in this order, that Path, Name, Section and (except
    // DeleteSection) Key are set. The first one missing shows "CIniFile Error" with
    // "<Property> property must be set first" (critical icon, OK; the writing
    // operations end the Section and Key texts with a full stop) and the operation does
    // nothing: reads return 0 or "". An unexpected error is reported as
    // "cIniFile.<operation>()" and gives the same results (DeleteINI: false).

    // The value as a decimal integer (leading number, else 0), the low 16 bits of it;
    // `pDefaultValue` when the file, section, key or value is missing or empty.
    int16_t GetIntegerValue(int16_t pDefaultValue);

    // The value, cut to 16383 characters; `pDefaultValue` when the file, section, key or
    // value is missing or empty. An unreadable file reads as missing.
    std::string GetStringValue(const std::string& pDefaultValue);

    // Writes Key=pNewValue in Section, creating the file, section or key as needed and
    // replacing an existing value in place. Write failures are not detected; a file
    // that exists but cannot be read is left alone.
    void SetStringValue(const std::string& pNewValue);

    // Removes Key from Section. The file is not written when there is no such key.
    void DeleteKey();

    // Removes Section with all its keys. The file is not written when there is no such
    // section.
    void DeleteSection();

    // Deletes the file. True when it was deleted. No preconditions are checked.
    bool DeleteINI();

private:
    enum class Punctuation
    {
        None,
        FullStop
    };
    enum class NeedsKey
    {
        No,
        Yes
    };

    // Shows the message of the first missing property; returns whether all are set.
    bool PropertiesSet(Punctuation sectionAndKey, NeedsKey needsKey) const;

    std::string m_Name;
    std::string m_Path;
    std::string m_Section;
    std::string m_Key;
    std::string m_FileSpec;
};

} // namespace kestrow
