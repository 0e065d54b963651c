#include "support/Spelling.hpp"

#include <algorithm>
#include <vector>

namespace corvane::tools {

std::size_t editDistance(std::string_view a, std::string_view b) {
    // Three rows of the distance table: the swap of neighbours looks two rows back.
    const std::size_t columns = b.size() + 1;
    std::vector<std::size_t> older(columns), previous(columns), current(columns);
    for (std::size_t j = 0; j < columns; ++j) previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j < columns; ++j) {
            const std::size_t substitution = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] =
                std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + substitution});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                current[j] = std::min(current[j], older[j - 2] + 1);
            }
        }
        std::swap(older, previous);
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::optional<std::string_view> closestName(std::string_view name,
                                            std::span<const std::string_view> known) {
    const std::size_t allowed = name.size() <= 4 ? 1 : 2;
    std::optional<std::string_view> closest;
    std::size_t best = allowed + 1;
    for (const std::string_view candidate : known) {
        if (candidate == name) return std::nullopt;
        // Names whose lengths differ by more than the allowance cannot be near enough.
        const std::size_t gap = candidate.size() > name.size() ? candidate.size() - name.size()
                                                               : name.size() - candidate.size();
        if (gap > allowed) continue;
        const std::size_t distance = editDistance(name, candidate);
        if (distance < best) {
            best = distance;
            closest = candidate;
        }
    }
    return closest;
}

}  // namespace corvane::tools
