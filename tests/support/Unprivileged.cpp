#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <iostream>

#include <ftw.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrow::test {

namespace {

int handOver(const char* path, const struct stat*, int, struct FTW*)
{
    return ::lchown(path, kNobodyId, kNobodyId) == 0 ? 0 : -1;
}

[[noreturn]] void runInChild(const std::vector<std::string>& trees, const std::function<void()>& check)
{
    for (const std::string& tree : trees) {
        if (::nftw(tree.c_str(), handOver, 32, FTW_PHYS) != 0) {
            std::cerr << "could not hand " << tree << " to user " << kNobodyId << '\n';
            ::_exit(2);
        }
    }
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobodyId, kNobodyId, kNobodyId) != 0 ||
        ::setresuid(kNobodyId, kNobodyId, kNobodyId) != 0 || ::geteuid() == 0) {
        std::cerr << "could not become user " << kNobodyId << '\n';
        ::_exit(2);
    }
    try {
        check();
    } catch (const std::exception& e) {
        std::cerr << "exception as user " << kNobodyId << ": " << e.what() << '\n';
        ::_exit(3);
    } catch (...) {
        ::_exit(3);
    }
    std::fflush(nullptr);
    // _exit: the parent's objects (and the test's tree) are the parent's to clean up.
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
}

} // namespace

void asUnprivilegedUser(const std::vector<std::string>& trees, const std::function<void()>& check)
{
    if (::geteuid() != 0) {
        check();
        return;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << "fork failed";
    if (child == 0)
        runInChild(trees, check);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the check as user " << kNobodyId << " ended by signal "
                                   << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check as user " << kNobodyId
                                      << " failed (its messages are above; 2: could not become the user, "
                                         "3: an exception)";
}

} // namespace kestrow::test
