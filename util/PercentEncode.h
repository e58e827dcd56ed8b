#pragma once
// Percent-encoding of a path for a file URL or a trash info file: every byte but the
// unreserved ASCII characters and "/" becomes %XX (upper-case hex). ASCII only: a
// byte's class never depends on the locale.

#include <string>
#include <string_view>

namespace kestrow::util {

std::string percentEncodePath(std::string_view path);

} // namespace kestrow::util
