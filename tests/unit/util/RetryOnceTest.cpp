// "Make it writable and try again, once": at most two attempts, the second only after
// a repair that changed something.

#include "util/RetryOnce.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace kestrow::util {
namespace {

struct RetryRow
{
    const char* what;
    std::vector<int> results; // of the attempts, in order
    bool repairChanges;
    int attempts, repairs, result;
};

TEST(RetryOnce, TriesAgainOnlyAfterARepairThatChangedSomething)
{
    const RetryRow rows[] = {
        {"done at once", {0}, true, 1, 0, 0},
        {"refused, repaired, done", {EACCES, 0}, true, 2, 1, 0},
        {"refused, nothing to repair", {EACCES, 0}, false, 1, 1, EACCES},
        {"another error is not retried", {ENOENT, 0}, true, 1, 0, ENOENT},
        {"refused twice: no third attempt", {EACCES, EACCES, 0}, true, 2, 1, EACCES},
        {"refused, then another error", {EACCES, EIO}, true, 2, 1, EIO},
    };
    for (const RetryRow& row : rows) {
        SCOPED_TRACE(row.what);
        int attempts = 0, repairs = 0;
        const int result =
            retryOnce([&] { return row.results.at(attempts++); }, [](int err) { return err == EACCES; },
                      [&] {
                          ++repairs;
                          return row.repairChanges;
                      });
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(attempts, row.attempts);
        EXPECT_EQ(repairs, row.repairs);
    }
}

TEST(RetryOnce, AFirstAttemptMadeElsewhereIsNotMadeAgainUnlessRetried)
{
    int attempts = 0;
    auto again = [&] {
        ++attempts;
        return 0;
    };
    auto refused = [](int err) { return err == EACCES; };
    EXPECT_EQ(retryOnceAfter(EIO, again, refused, [] { return true; }), EIO);
    EXPECT_EQ(attempts, 0);
    EXPECT_EQ(retryOnceAfter(EACCES, again, refused, [] { return false; }), EACCES);
    EXPECT_EQ(attempts, 0);
    EXPECT_EQ(retryOnceAfter(EACCES, again, refused, [] { return true; }), 0);
    EXPECT_EQ(attempts, 1);
}

} // namespace
} // namespace kestrow::util
