#include "log/OneLine.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kestrow {
namespace {

TEST(OneLineTest, ControlCharactersAndBackslashesAreWrittenVisibly)
{
    struct Row
    {
        std::string name, form;
    };
    const Row rows[] = {
        {"plain name.txt", "plain name.txt"},
        {"a\nb", "a\\nb"},
        {"a\r\nb", "a\\r\\nb"},
        {"tab\there", "tab\\there"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {std::string("\x01\x1f\x7f", 3), "\\x01\\x1f\\x7f"},
        {"back\\slash", "back\\\\slash"},
        {"a\\nb", "a\\\\nb"},                     // a backslash and an "n": not a line feed
        {"caf\xc3\xa9 \xff", "caf\xc3\xa9 \xff"}, // bytes beyond ASCII are kept as they are
    };
    for (const Row& row : rows) {
        EXPECT_EQ(OneLineForm(row.name), row.form) << row.form;
        EXPECT_EQ(NeedsOneLineForm(row.name), row.name != row.form) << row.form;
    }
}

TEST(OneLineTest, NoFormHoldsAControlCharacterAndNoTwoNamesShareOne)
{
    std::set<std::string> forms;
    size_t names = 0;
    for (int a = 1; a < 256; ++a) {
        for (const char* tail : {"", "n", "\\", "x1b", "\n"}) {
            const std::string name = std::string(1, static_cast<char>(a)) + tail;
            const std::string form = OneLineForm(name);
            for (const char c : form)
                ASSERT_FALSE((c >= 0x01 && c <= 0x1f) || c == 0x7f) << "from byte " << a;
            forms.insert(form);
            ++names;
        }
    }
    EXPECT_EQ(forms.size(), names);
}

} // namespace
} // namespace kestrow
