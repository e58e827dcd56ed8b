#include "log/StringAppend.h"

#include <gtest/gtest.h>

namespace kestrow {
namespace {

TEST(StringAppendTest, NewBuilderIsEmpty)
{
    clsStringAppend builder;
    EXPECT_EQ(builder.CurrentString(), "");
    EXPECT_EQ(builder.Length(), 0);
    EXPECT_EQ(builder.StringByteSize(), 0);
}

TEST(StringAppendTest, AppendsInOrderAndResetEmpties)
{
    clsStringAppend builder;
    builder.Append("one ");
    builder.Append("");
    builder.Append("two");
    EXPECT_EQ(builder.CurrentString(), "one two");
    EXPECT_EQ(builder.Length(), 7);

    builder.Reset();
    EXPECT_EQ(builder.CurrentString(), "");
    builder.Append("three");
    EXPECT_EQ(builder.CurrentString(), "three");
}

TEST(StringAppendTest, ByteSizeCountsUtf8Bytes)
{
    clsStringAppend builder;
    builder.Append("Z\xc3\xbcrich"); // "Zürich": 6 characters, 7 bytes
    EXPECT_EQ(builder.StringByteSize(), 7);
}

} // namespace
} // namespace kestrow
