#pragma once
// Tests of what a user without privileges meets (a folder they may not read, a file
// they may not open) cannot be seen as root, who passes every permission check. Run
// as root, the check runs in a forked child that owns the test's tree and has become
// the user "nobody"; run as anybody else it runs in place. Either way its failures
// count as the test's own.

#include <functional>
#include <string>
#include <vector>

namespace kestrow::test {

// The user and group the child becomes.
inline constexpr unsigned kNobodyId = 65534;

// Runs `check` as an unprivileged user. `trees` (with everything in them) are handed
// to that user first, so the check can make and change what it needs; give the
// test's temporary folder. Modes are left as they are.
void asUnprivilegedUser(const std::vector<std::string>& trees, const std::function<void()>& check);

} // namespace kestrow::test
