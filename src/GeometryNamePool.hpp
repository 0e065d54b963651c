// The names given to the collision and visual geometries of one link.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace corvane::Plugins::Urdf {

// The names of the geometries of one link: base names counted across the collision and visual
// passes, and the names already handed out, so that no two geometries of a body share a name.
struct GeometryNamePool {
    std::unordered_map<std::string, std::size_t> baseNameCounts;
    std::unordered_set<std::string> usedNames;
    // Per base name, the suffix where the last search for a free name stopped. The suffixes
    // before it were all taken and names are never released, so the next search starts there:
    // without this, names like g_1 ... g_N followed by N elements named g cost N * N look-ups.
    std::unordered_map<std::string, std::size_t> searchResumesAt;

    std::string nameFor(const std::string& baseName) {
        std::size_t& resume = searchResumesAt[baseName];
        std::size_t n = std::max(baseNameCounts[baseName]++, resume);
        std::string candidate = n == 0 ? baseName : baseName + "_" + std::to_string(n);
        while (usedNames.count(candidate) != 0) {
            ++n;
            candidate = baseName + "_" + std::to_string(n);
        }
        resume = n;
        return candidate;
    }
    void markUsed(const std::string& name) { usedNames.insert(name); }
};

}  // namespace corvane::Plugins::Urdf
