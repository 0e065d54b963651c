// Checks the nesting guard against the XML parser it protects: for every text the guard must count
// at least as deep as the parser nests elements, and at least as many link elements as the parser
// reads; exactly as many where the parser reads the whole text without error (more there would
// refuse a good file). Where the parser reads the whole text without error, the robot's link and
// joint names the guard collects on its way must be the parser's, unless the guard marked them as
// not plain (then the full parse decides). Texts nested too deep for the guard are not handed to
// the parser: that is the recursion the guard exists to prevent.
#include <spdlog/spdlog.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "LinkTreeCheck.hpp"
#include "NestingGuard.hpp"

namespace {

using corvane::Plugins::Urdf::DocumentShape;
using corvane::Plugins::Urdf::isKeptTree;
using corvane::Plugins::Urdf::JointLinks;
using corvane::Plugins::Urdf::kMaxElementDepth;
using corvane::Plugins::Urdf::LinkTreeFacts;
using corvane::Plugins::Urdf::linkTreeFactsOf;
using corvane::Plugins::Urdf::linkTreeProblem;
using corvane::Plugins::Urdf::measureDocument;
using corvane::Plugins::Urdf::parserInput;

// The element tree the parser built (it keeps what it read up to an error).
DocumentShape shapeOf(const TiXmlNode& root) {
    struct Entry {
        const TiXmlNode* node;
        std::size_t depth;
    };
    std::vector<Entry> pending{{&root, 0}};
    DocumentShape shape;
    while (!pending.empty()) {
        const Entry entry = pending.back();
        pending.pop_back();
        shape.depth = std::max(shape.depth, entry.depth);
        for (const TiXmlNode* child = entry.node->FirstChild(); child;
             child = child->NextSibling()) {
            if (!child->ToElement()) continue;
            if (child->ValueStr() == "link") ++shape.linkElements;
            pending.push_back({child, entry.depth + 1});
        }
    }
    return shape;
}

bool sameJoints(const std::vector<JointLinks>& a, const std::vector<JointLinks>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const JointLinks& x, const JointLinks& y) {
                          return x.name == y.name && x.parent == y.parent && x.child == y.child;
                      });
}

void checkLinkTreeFacts(const LinkTreeFacts& scanned, const TiXmlDocument& document,
                        const char* input) {
    // A tree the scan lets through must be one the full parse lets through, whatever the text.
    if (scanned.plain && isKeptTree(scanned) && linkTreeProblem(input)) {
        std::fprintf(stderr, "guard keeps a tree the full parse refuses: %s\n",
                     linkTreeProblem(input)->c_str());
        std::abort();
    }
    if (!scanned.plain || document.Error()) return;
    const LinkTreeFacts parsed = linkTreeFactsOf(document);
    if (scanned.links == parsed.links && sameJoints(scanned.joints, parsed.joints) &&
        scanned.unnamedJoint == parsed.unnamedJoint) {
        return;
    }
    std::fprintf(stderr, "guard reads %zu links and %zu joints, parser %zu and %zu\n",
                 scanned.links.size(), scanned.joints.size(), parsed.links.size(),
                 parsed.joints.size());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    spdlog::set_level(spdlog::level::off);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input =
        parserInput(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string_view text(input.c_str());
    LinkTreeFacts facts;
    const DocumentShape guarded = measureDocument(text, &facts);
    if (guarded.depth > kMaxElementDepth) return 0;

    TiXmlDocument document;
    document.Parse(input.c_str());
    const DocumentShape parsed = shapeOf(document);
    // A first declaration whose encoding holds a character reference is read both ways.
    const bool exact = !document.Error() && text.find('&') == std::string_view::npos;
    const auto agrees = [exact](std::size_t guard, std::size_t parser) {
        return exact ? guard == parser : guard >= parser;
    };
    if (!agrees(guarded.depth, parsed.depth) ||
        !agrees(guarded.linkElements, parsed.linkElements)) {
        std::fprintf(stderr,
                     "guard counts depth %zu and %zu links, parser %zu and %zu (error: %s)\n",
                     guarded.depth, guarded.linkElements, parsed.depth, parsed.linkElements,
                     document.Error() ? document.ErrorDesc() : "none");
        std::abort();
    }
    checkLinkTreeFacts(facts, document, input.c_str());
    return 0;
}
