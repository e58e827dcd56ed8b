#pragma once
// The options of old versions that `clone` and `run` share, and how they
// override what kestrow.ini says for this run.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrow::cli {

struct VersionsFlags
{
    std::optional<bool> keep;
    std::optional<std::string> folder;
    std::optional<int> keepDays, keepMoments;

    // Takes `arg` when it is one of these options (`value` reads its value);
    // false when it is not. UsageError for a bad value.
    bool take(std::string_view arg, const std::function<std::string()>& value);
    // Into gClone.
    void apply() const;
};

// The lines of a command's usage that describe them.
const char* versionsFlagsUsage();

} // namespace kestrow::cli
