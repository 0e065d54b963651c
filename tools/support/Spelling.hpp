// Names that are nearly right: how far apart two names are, and the known name a misspelt one
// most likely stands for ("did you mean 'origin'?").
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace corvane::tools {

// The least number of single-character insertions, deletions, substitutions and swaps of two
// neighbours that turn `a` into `b` (the optimal string alignment distance): "orgin" is 1 from
// "origin", "xzy" 1 from "xyz".
std::size_t editDistance(std::string_view a, std::string_view b);

// The name of `known` closest to `name`, when it is near enough to be a slip rather than another
// word: at most 1 edit for names of up to 4 characters, 2 for longer ones; the first of equally
// close names. Nullopt when none is, and for a name that is itself in `known`.
std::optional<std::string_view> closestName(std::string_view name,
                                            std::span<const std::string_view> known);

}  // namespace corvane::tools
