// The token lists that the nodes of one import share.
#pragma once

#include <corvane/Builders.hpp>
#include <corvane/Syntax.hpp>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvane::Plugins::Urdf {

// Token lists of the fixed attribute paths and type names that recur in every body and joint,
// made once per import and shared by all the nodes with that target or type.
class SharedTokenLists {
  public:
    // The identifier tokens of `dotted` split at ".".
    TokenList of(std::string_view dotted) {
        auto found = lists_.find(dotted);
        if (found == lists_.end()) {
            found = lists_
                        .emplace(std::string(dotted),
                                 makeTokenList(NodeBuilder::dottedIdentifiers(dotted)))
                        .first;
        }
        return found->second;
    }
    void clear() { lists_.clear(); }

  private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_map<std::string, TokenList, TextHash, std::equal_to<>> lists_;
};

}  // namespace corvane::Plugins::Urdf
