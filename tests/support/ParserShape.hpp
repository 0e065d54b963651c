// The element tree that TinyXML, the parser under urdfdom, builds from a text: how deep its
// elements nest and how many are named "link". The reference the nesting guard is checked against.
// For the tests that compile the guard in (they have TinyXML and the plugin's sources).
#pragma once

#include <tinyxml.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "NestingGuard.hpp"

namespace corvane::testing {

// `input` as parserInput prepared it; only for texts shallow enough to parse safely. The parser
// keeps what it read up to an error.
inline Plugins::Urdf::DocumentShape parsedShape(const std::string& input) {
    TiXmlDocument document;
    document.Parse(input.c_str());
    Plugins::Urdf::DocumentShape shape;
    std::vector<std::pair<const TiXmlNode*, std::size_t>> pending{{&document, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        shape.depth = std::max(shape.depth, depth);
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            if (!child->ToElement()) continue;
            if (child->ValueStr() == "link") ++shape.linkElements;
            pending.emplace_back(child, depth + 1);
        }
    }
    return shape;
}

}  // namespace corvane::testing
