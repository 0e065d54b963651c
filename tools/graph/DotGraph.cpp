#include "graph/DotGraph.hpp"

#include <cstddef>
#include <unordered_map>
#include <unordered_set>

#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

constexpr std::string_view graphStyle =
    "  graph [rankdir=LR, labelloc=t, fontname=\"Helvetica\", charset=\"UTF-8\"];\n"
    "  node [shape=box, style=\"rounded,filled\", fillcolor=\"#dbe9f6\", color=\"#3b6ea5\", "
    "fontname=\"Helvetica\"];\n"
    "  edge [fontname=\"Helvetica\", fontsize=10, color=\"#555555\"];\n";

constexpr std::string_view masslessStyle =
    ", style=\"rounded,filled,dashed\", fillcolor=\"#fff8e1\", color=\"#8a6d3b\"";
constexpr std::string_view withoutMassStyle =
    ", fillcolor=\"#f8d7da\", color=\"#b02a37\", fontcolor=\"#b02a37\", penwidth=2";
constexpr std::string_view lockClusterStyle =
    "    style=\"rounded,dashed\"; color=\"#8a6d3b\"; fontcolor=\"#8a6d3b\";\n";

std::string nameId(std::string_view name) {
    return dotString(visibleText(name));
}

// A label of the name over a second line, such as "massless".
std::string labelWithNote(std::string_view name, std::string_view note) {
    std::string label = dotString(visibleText(name));
    if (note.empty()) return label;
    label.pop_back();  // the closing quote
    label += "\\n";
    label += note;
    label += '"';
    return label;
}

std::string bodyLine(const BodyOverview& body, std::string_view indent) {
    std::string line(indent);
    line += nameId(body.name);
    if (body.ownMass) {
        line += " [label=" + labelWithNote(body.name, "") + "];\n";
    } else if (body.withoutAnyMass()) {
        line += " [label=" + labelWithNote(body.name, "no mass") + std::string(withoutMassStyle) +
                "];\n";
    } else {
        line +=
            " [label=" + labelWithNote(body.name, "massless") + std::string(masslessStyle) + "];\n";
    }
    return line;
}

std::string edgeLine(const InteractionOverview& interaction) {
    std::string line = "  " + nameId(interaction.parentBody) + " -> " +
                       nameId(interaction.childBody) +
                       " [label=" + labelWithNote(interaction.name, kindName(interaction.kind));
    if (interaction.kind == InteractionKind::Lock) line += ", style=dashed";
    return line + "];\n";
}

// For every body that a lock names, the first such lock.
std::unordered_map<std::string, std::size_t> firstLockOfBodies(const ModelOverview& overview) {
    std::unordered_map<std::string, std::size_t> firstLock;
    for (std::size_t lock = 0; lock < overview.locks.size(); ++lock) {
        for (const auto& body : overview.locks[lock].bodies) firstLock.try_emplace(body, lock);
    }
    return firstLock;
}

void appendLockClusters(std::string& dot, const ModelOverview& overview,
                        const std::unordered_map<std::string, std::size_t>& firstLock) {
    for (std::size_t lock = 0; lock < overview.locks.size(); ++lock) {
        dot += "  subgraph \"cluster_lock_" + std::to_string(lock) + "\" {\n";
        dot += "    label=" + nameId(overview.locks[lock].name) + ";\n";
        dot += lockClusterStyle;
        std::unordered_set<std::string> drawn;
        for (const auto& name : overview.locks[lock].bodies) {
            const BodyOverview* body = overview.body(name);
            if (body == nullptr || firstLock.at(name) != lock) continue;
            if (drawn.insert(name).second) dot += bodyLine(*body, "    ");
        }
        dot += "  }\n";
    }
}

}  // namespace

std::string dotString(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string toDot(const ModelOverview& overview) {
    std::string dot = "digraph " + nameId(overview.modelName) + " {\n";
    dot += graphStyle;
    dot += "  label=" + labelWithNote("model " + overview.modelName, "") + ";\n";
    const auto firstLock = firstLockOfBodies(overview);
    appendLockClusters(dot, overview, firstLock);
    for (const auto& body : overview.bodies) {
        if (!firstLock.contains(body.name)) dot += bodyLine(body, "  ");
    }
    for (const auto& interaction : overview.interactions) {
        if (interaction.parentBody.empty() || interaction.childBody.empty()) continue;
        dot += edgeLine(interaction);
    }
    dot += "}\n";
    return dot;
}

}  // namespace corvane::tools
