#include "cli/VersionsFlags.h"

#include "cli/Arguments.h"
#include "engine/RootPaths.h"
#include "engine/cClone.h"

#include <charconv>

namespace kestrow::cli {

namespace {

int countValue(std::string_view option, const std::string& value)
{
    int n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size() || n < 0 || n > 1000000)
        throw UsageError{"invalid value '" + value + "' for " + std::string(option) +
                         " (use a whole number from 0 to 1000000; 0 is no limit)"};
    return n;
}

} // namespace

bool VersionsFlags::take(std::string_view arg, const std::function<std::string()>& value)
{
    if (arg == "--versions" || arg == "--no-versions") {
        keep = arg == "--versions";
    } else if (arg == "--versions-folder") {
        const std::string dir = value();
        if (dir.empty())
            throw UsageError{"--versions-folder needs a folder"};
        folder = CanonicalFolderSpec(dir);
    } else if (arg == "--keep-versions-days") {
        keepDays = countValue(arg, value());
    } else if (arg == "--keep-versions-moments") {
        keepMoments = countValue(arg, value());
    } else {
        return false;
    }
    return true;
}

void VersionsFlags::apply() const
{
    if (keep)
        gClone->setKeepVersions(*keep);
    if (folder)
        gClone->setVersionsFolder(*folder);
    if (keepDays)
        gClone->setVersionsKeepDays(*keepDays);
    if (keepMoments)
        gClone->setVersionsKeepMoments(*keepMoments);
}

const char* versionsFlagsUsage()
{
    return "  --versions, --no-versions        keep what a run deletes or replaces in a TARGET\n"
           "                                   as old versions (default: KeepVersions of\n"
           "                                   kestrow.ini, off)\n"
           "  --versions-folder DIR            keep them in DIR, a subfolder per TARGET\n"
           "                                   (default: .kestrow-versions in each TARGET)\n"
           "  --keep-versions-days N           remove versions older than N days at the end\n"
           "                                   of each run (default 30; 0 keeps every age)\n"
           "  --keep-versions-moments N        keep only the newest N moments (default 0:\n"
           "                                   any number)\n";
}

} // namespace kestrow::cli
