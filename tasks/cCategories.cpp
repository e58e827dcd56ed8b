#include "tasks/cCategories.h"

#include "base/ErrorReporter.h"
#include "engine/Filters.h"
#include "util/AsciiCase.h"
#include "util/Trim.h"

#include <algorithm>

namespace kestrow {

cCategories* gCategories = nullptr;

const std::vector<std::string>& DefaultCategoryNames()
{
    static const std::vector<std::string> names{"Personal",  "Work",      "Pictures", "E-mail",
                                                "Financial", "Documents", "Settings"};
    return names;
}

bool cCategories::Add(const std::string& pstrCategoryName)
{
    return Guarded("cCategories.Add", false, [&] {
        if (GetCategoryIndexBasedOnKey(pstrCategoryName) != -1)
            return false;
        m_categories.push_back(cCategory{pstrCategoryName});
        return true;
    });
}

bool cCategories::Remove(const std::string& pstrKey)
{
    return Guarded("cCategories.Remove", false, [&] {
        const auto it = std::find_if(m_categories.begin(), m_categories.end(), [&](const cCategory& c) {
            return util::equalsIgnoringCase(c.Name, pstrKey);
        });
        if (it == m_categories.end())
            throw RuntimeError(errnum::Generic, "Invalid procedure call or argument");
        m_categories.erase(it);
        return true;
    });
}

bool cCategories::Rename(const std::string& pstrOldCategoryName, const std::string& pstrNewCategoryName)
{
    return Guarded("cCategories.Rename", false, [&] {
        if (!Remove(pstrOldCategoryName))
            return false;
        return Add(pstrNewCategoryName);
    });
}

bool cCategories::IsValidName(const std::string& pstrCategoryName) const
{
    return !util::onlySpaces(pstrCategoryName) && pstrCategoryName.find(',') == std::string::npos;
}

bool cCategories::IsUniqueName(const std::string& pstrCategoryName) const
{
    return std::none_of(m_categories.begin(), m_categories.end(), [&](const cCategory& c) {
        return util::equalsIgnoringCase(c.Name, pstrCategoryName);
    });
}

void cCategories::GetSortedCategoryListArray(std::vector<std::string>& parrCategoryList) const
{
    Guarded("cCategories.GetSortedCategoryListArray", [&] {
        if (m_categories.empty())
            return;
        std::vector<std::string> names;
        names.reserve(m_categories.size());
        for (const cCategory& c : m_categories)
            names.push_back(c.Name);
        QuickSortStringArray(names);
        parrCategoryList = std::move(names);
    });
}

int32_t cCategories::GetCategoryIndexBasedOnKey(const std::string& pstrKey) const
{
    return Guarded("cCategories.GetCategoryIndexBasedOnKey", int32_t{-1}, [&] {
        for (size_t i = 0; i < m_categories.size(); ++i) {
            if (util::equalsIgnoringCase(m_categories[i].Name, pstrKey))
                return static_cast<int32_t>(i + 1);
        }
        return int32_t{-1};
    });
}

} // namespace kestrow
