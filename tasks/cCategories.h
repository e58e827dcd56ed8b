#pragma once
// cCategory and cCategories: the program's category names (the names tasks are
// grouped under). Names compare ignoring letter case (ASCII letters); order is
// insertion order. Used on the window thread (and the CLI's only thread).

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow {

struct cCategory
{
    std::string Name;
};

class cCategories
{
public:
    cCategories() = default;
    cCategories(const cCategories&) = delete;
    cCategories& operator=(const cCategories&) = delete;

    // The categories in list order.
    const std::vector<cCategory>& Categories() const { return m_categories; }

    int32_t Count() const { return static_cast<int32_t>(m_categories.size()); }

    // Appends a category. False, silently, when one of that name (ignoring case)
    // exists; false after a report ("cCategories.Add") on any other failure. The name
    // is not validated here (callers test IsValidName and IsUniqueName).
    bool Add(const std::string& pstrCategoryName);

    // Removes the first category whose name equals `pstrKey` ignoring case. A name
    // not in the list is reported ("cCategories.Remove") and gives false.
    bool Remove(const std::string& pstrKey);

    // Remove of the old name, then, only when that succeeded, Add of the new one; the
    // result is Add's (false when the removal failed). The renamed category moves to
    // the end. Tasks are not touched.
    bool Rename(const std::string& pstrOldCategoryName, const std::string& pstrNewCategoryName);

    // Not empty after trimming blanks, and no ",".
    bool IsValidName(const std::string& pstrCategoryName) const;

    // No category's name equals the argument ignoring case (the argument untrimmed).
    bool IsUniqueName(const std::string& pstrCategoryName) const;

    // With no categories the array is left as it is; otherwise it becomes the names,
    // sorted ascending ignoring case (element 0 is the first name; a person sees it as
    // position 1).
    void GetSortedCategoryListArray(std::vector<std::string>& parrCategoryList) const;

    // 1-based position of the first category whose name equals `pstrKey` ignoring
    // case, or -1.
    int32_t GetCategoryIndexBasedOnKey(const std::string& pstrKey) const;

private:
    std::vector<cCategory> m_categories;
};

// The category list a program starts with when the options name none:
// Personal, Work, Pictures, E-mail, Financial, Documents, Settings.
const std::vector<std::string>& DefaultCategoryNames();

// The name of the category of tasks that have none; never an entry of the list.
inline constexpr const char* UnfiledCategoryName = "Unfiled";

// The program-wide list, created at start-up and released at shutdown; null before.
extern cCategories* gCategories;

} // namespace kestrow
