#include "util/ScopeExit.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace kestrow::util {
namespace {

TEST(ScopeExit, RunsOnceWhenTheScopeEndsAndNotBefore)
{
    int runs = 0;
    {
        const ScopeExit guard([&] { ++runs; });
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 1);
}

TEST(ScopeExit, RunsWhenAnExceptionLeavesTheScope)
{
    std::string value = "user's";
    try {
        const std::string saved = value;
        value = "restore's";
        const ScopeExit putBack([&] { value = saved; });
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
        EXPECT_EQ(value, "user's");
        return;
    }
    FAIL() << "the exception was lost";
}

TEST(ScopeExit, GuardsEndInReverseOrderAndADismissedOneDoesNothing)
{
    std::string order;
    {
        const ScopeExit first([&] { order += '1'; });
        ScopeExit second([&] { order += '2'; });
        const ScopeExit third([&] { order += '3'; });
        second.dismiss();
    }
    EXPECT_EQ(order, "31");
}

TEST(ScopedValue, InstallsForTheScopeAndNestedOnesUnwindInOrder)
{
    const char* installed = "default";
    {
        const ScopedValue outer(installed, "outer");
        EXPECT_STREQ(installed, "outer");
        {
            const ScopedValue inner(installed, "inner");
            EXPECT_STREQ(installed, "inner");
        }
        EXPECT_STREQ(installed, "outer");
    }
    EXPECT_STREQ(installed, "default");
}

TEST(ScopedValue, MovesWhatItHolds)
{
    std::string text = "previous";
    {
        const ScopedValue<std::string> scoped(text, std::string(1000, 'x'));
        EXPECT_EQ(text.size(), 1000u);
    }
    EXPECT_EQ(text, "previous");
}

} // namespace
} // namespace kestrow::util
