#pragma once
// The folder layout the C++ benchmarks build their trees in: the top folder and five
// levels below it, four sub-folders ("dir0".."dir3") each, 1,365 folders in all.

#include <filesystem>
#include <string>
#include <vector>

namespace kestrow::bench {

// Every folder of the layout under `top`, top first, then depth first (the order
// files are dealt out in). Creates nothing.
inline std::vector<std::filesystem::path> treeFolders(const std::filesystem::path& top)
{
    constexpr int kLevels = 5;
    constexpr int kFanOut = 4;
    std::vector<std::filesystem::path> out;
    auto visit = [&](auto& self, const std::filesystem::path& folder, int level) -> void {
        out.push_back(folder);
        if (level == kLevels)
            return;
        for (int i = 0; i < kFanOut; ++i)
            self(self, folder / ("dir" + std::to_string(i)), level + 1);
    };
    visit(visit, top, 0);
    return out;
}

} // namespace kestrow::bench
