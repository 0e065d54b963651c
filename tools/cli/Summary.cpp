#include "cli/Summary.hpp"

#include <algorithm>
#include <corvane/Render.hpp>
#include <cstddef>
#include <optional>
#include <string_view>

#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

// Items are indented by two spaces, their details by four.
constexpr const char* indent = "  ";
constexpr const char* detailIndent = "    ";

// "3 (a, b, c)", at most `namesShown` names, then ", ...".
std::string countWithNames(const std::vector<std::optional<std::string>>& names,
                           const std::string& unnamed) {
    std::string text = std::to_string(names.size()) + " (";
    for (std::size_t i = 0; i < names.size() && i < namesShown; ++i) {
        if (i > 0) text += ", ";
        text += names[i] ? Render::quoteName(*names[i]) : unnamed;
    }
    if (names.size() > namesShown) text += ", ...";
    return text + ")";
}

// "4 (box 1, cylinder 3)": the kinds that occur, in a fixed order, then any others.
std::string geometryLine(std::string_view what, const GeometryCounts& counts) {
    std::size_t total = 0;
    for (const auto& [kind, count] : counts) total += count;
    std::string line = std::string(indent) + std::string(what) + ": " + std::to_string(total);
    if (total == 0) return line + "\n";
    std::string parts;
    auto appendPart = [&parts](const std::string& kind, std::size_t count) {
        if (!parts.empty()) parts += ", ";
        parts += visibleText(kind) + " " + std::to_string(count);
    };
    static const std::vector<std::string> usualKinds{"sphere", "box", "cylinder", "mesh"};
    for (const auto& kind : usualKinds) {
        if (const auto found = counts.find(kind); found != counts.end()) {
            appendPart(kind, found->second);
        }
    }
    for (const auto& [kind, count] : counts) {
        if (std::find(usualKinds.begin(), usualKinds.end(), kind) == usualKinds.end()) {
            appendPart(kind, count);
        }
    }
    return line + " (" + parts + ")\n";
}

void addCounts(GeometryCounts& total, const GeometryCounts& counts) {
    for (const auto& [kind, count] : counts) total[kind] += count;
}

std::string bodiesLine(const ModelOverview& model) {
    std::size_t withMass = 0;
    for (const auto& body : model.bodies) withMass += body.ownMass ? 1 : 0;
    return std::string(indent) + "bodies: " + std::to_string(model.bodies.size()) + " (" +
           std::to_string(withMass) + " with mass, " +
           std::to_string(model.bodies.size() - withMass) + " massless)\n";
}

std::string interactionsLine(const ModelOverview& model) {
    std::size_t hinges = 0;
    std::size_t prismatics = 0;
    std::size_t locks = 0;
    for (const auto& interaction : model.interactions) {
        switch (interaction.kind) {
            case InteractionKind::Hinge:
                ++hinges;
                break;
            case InteractionKind::Prismatic:
                ++prismatics;
                break;
            case InteractionKind::Lock:
                ++locks;
                break;
        }
    }
    return std::string(indent) + "interactions: " + std::to_string(model.interactions.size()) +
           " (hinge " + std::to_string(hinges) + ", prismatic " + std::to_string(prismatics) +
           ", lock " + std::to_string(locks) + ")\n";
}

std::string modelLines(const ModelOverview& model) {
    GeometryCounts contact;
    GeometryCounts visual;
    for (const auto& body : model.bodies) {
        addCounts(contact, body.contactCounts);
        addCounts(visual, body.visualCounts);
    }
    return bodiesLine(model) + geometryLine("contact geometries", contact) +
           geometryLine("visual geometries", visual) + interactionsLine(model) +
           std::string(indent) + "ranges: " + std::to_string(model.ranges) + "\n" +
           std::string(indent) + "actuators: " + std::to_string(model.actuators) + "\n" +
           std::string(indent) + "kinematic locks: " + std::to_string(model.locks.size()) + "\n";
}

// Joints urdfdom read that became no interaction, with the plugin's errors, which say why.
std::string skippedJointLines(const ImportFacts& facts) {
    const std::size_t mapped = facts.model.interactions.size();
    const std::size_t skipped =
        facts.description.joints > mapped ? facts.description.joints - mapped : 0;
    std::string lines = std::string(indent) + "joints skipped: " + std::to_string(skipped) + "\n";
    for (const auto& message : facts.messages) {
        if (message.error) {
            lines += std::string(detailIndent) + visibleText(message.text) + "\n";
        }
    }
    return lines;
}

// The plugin's warnings: joints renamed, limits that found no place.
std::string warningLines(const ImportFacts& facts) {
    std::string listed;
    std::size_t count = 0;
    for (const auto& message : facts.messages) {
        if (message.error) continue;
        ++count;
        listed += std::string(detailIndent) + visibleText(message.text) + "\n";
    }
    if (count == 0) return {};
    return std::string(indent) + "import warnings: " + std::to_string(count) + "\n" + listed;
}

std::string withoutMassLine(const ModelOverview& model) {
    std::vector<std::optional<std::string>> names;
    for (const auto& body : model.bodies) {
        if (body.withoutAnyMass()) names.emplace_back(body.name);
    }
    if (names.empty()) return std::string(indent) + "bodies without any mass: 0\n";
    return std::string(indent) + "bodies without any mass: " + countWithNames(names, "") +
           ": no inertial data and in no kinematic lock; a simulator will refuse them\n";
}

std::string leftBehindLines(const DescriptionFacts& description) {
    if (description.leftBehind.empty()) return std::string(indent) + "not carried over: nothing\n";
    std::string lines = std::string(indent) + "not carried over:\n";
    for (const auto& item : description.leftBehind) {
        lines += std::string(detailIndent) + item.what + ": " +
                 countWithNames(item.names, item.unnamed) + "\n";
    }
    return lines;
}

}  // namespace

std::string formatSummary(const ImportFacts& facts) {
    return visibleText(facts.inputName) + ": summary of model " +
           Render::quoteName(facts.model.modelName) + "\n" + modelLines(facts.model) +
           skippedJointLines(facts) + warningLines(facts) + withoutMassLine(facts.model) +
           leftBehindLines(facts.description);
}

}  // namespace corvane::tools
