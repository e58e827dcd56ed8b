#include "util/PercentEncode.h"

#include <gtest/gtest.h>

namespace kestrow::util {
namespace {

TEST(PercentEncode, KeepsUnreservedAsciiAndSlashesEscapesTheRest)
{
    const struct
    {
        std::string path, encoded;
    } rows[] = {
        {"/home/u/a-b_c.d~e/Z9", "/home/u/a-b_c.d~e/Z9"},
        {"/my file#1?%", "/my%20file%231%3F%25"},
        {"/caf\xc3\xa9", "/caf%C3%A9"},
        // A Latin-1 byte is escaped whatever the locale calls it.
        {"/\xe9t\xe9", "/%E9t%E9"},
        {std::string("/a\nb\0", 5), "/a%0Ab%00"},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(percentEncodePath(row.path), row.encoded) << ::testing::PrintToString(row.path);
}

} // namespace
} // namespace kestrow::util
