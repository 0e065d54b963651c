#include "checks/CheckContext.hpp"

#include <fmt/format.h>

#include <cmath>
#include <string_view>
#include <utility>

#include "checks/RuleText.hpp"
#include "checks/Rules.hpp"

namespace corvane::tools {

namespace {

using Element = UrdfPlace::Element;

// The groups of bodies held rigidly together, by Lock interactions or kinematic locks. Union by
// size with path halving: near-linear.
class BodyGroups {
  public:
    explicit BodyGroups(std::size_t bodies) : parent_(bodies), size_(bodies, 1) {
        for (std::size_t i = 0; i < bodies; ++i) parent_[i] = i;
    }

    std::size_t find(std::size_t body) {
        while (parent_[body] != body) {
            parent_[body] = parent_[parent_[body]];
            body = parent_[body];
        }
        return body;
    }

    void unite(std::size_t a, std::size_t b) {
        a = find(a);
        b = find(b);
        if (a == b) return;
        if (size_[a] < size_[b]) std::swap(a, b);
        parent_[b] = a;
        size_[a] += size_[b];
    }

  private:
    std::vector<std::size_t> parent_;
    std::vector<std::size_t> size_;
};

// The tensor of an inertial element as the document lays it out, eRC = eCR.
InertiaTensor tensorOf(const UrdfElements::Inertial& inertial) {
    return {{{inertial.ixx, inertial.ixy, inertial.ixz},
             {inertial.ixy, inertial.iyy, inertial.iyz},
             {inertial.ixz, inertial.iyz, inertial.izz}}};
}

// The mass of the body as the robot has it: none for a body without one of its own.
std::optional<double> ownMassOf(const BodyOverview& body, const BodyMass& own) {
    if (!body.ownMass && !own.mass) return 0.0;
    return own.mass;
}

// The positions within the link of the elements the import made a geometry of, in order. The
// document's geometries carry no trace of the elements it skipped (one without a geometry, or of
// a kind it does not know), so the positions are counted on the link element.
std::vector<std::size_t> mappedPositions(const std::vector<UrdfElements::Part>& parts) {
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].mapped) positions.push_back(i);
    }
    return positions;
}

}  // namespace

CheckContext::CheckContext(const CheckInput& input)
    : model_(input.model),
      urdf_(input.urdf),
      meshes_(input.meshes),
      precision_(input.precision),
      sources_(input.sources),
      bodyNonFinite_(input.model.bodies.size()),
      interactionNonFinite_(input.model.interactions.size()) {
    readOwnMasses();
    indexInteractions();
    groupBodies();
    weighGroups();
    markRoots();
    findMassExtremes();
    sortNonFinite();
}

std::optional<std::size_t> CheckContext::bodyAt(const std::string& name) const {
    const BodyOverview* body = model_.body(name);
    if (!body) return std::nullopt;
    return static_cast<std::size_t>(body - model_.bodies.data());
}

std::optional<std::size_t> CheckContext::interactionOfConnector(
    const std::string& connector) const {
    const auto found = connectorInteraction_.find(connector);
    if (found == connectorInteraction_.end()) return std::nullopt;
    return found->second;
}

void CheckContext::readOwnMasses() {
    own_.reserve(model_.bodies.size());
    for (const BodyOverview& body : model_.bodies) {
        const UrdfElements::Link* link = urdf_.link(body.name);
        if (link != nullptr && link->inertial && body.ownMass) {
            own_.push_back({link->inertial->mass, tensorOf(*link->inertial)});
        } else if (body.ownMass) {
            own_.push_back({body.mass, body.inertia});
        } else {
            own_.push_back({});
        }
    }
}

void CheckContext::markRoots() {
    for (const std::string& name : urdf_.rootLinks()) {
        const auto body = bodyAt(name);
        if (!body) continue;
        GroupMass& group = groupMass_[groupRoot_[*body]];
        group.root = true;
        group.worldRoot = group.worldRoot || name == "world";
    }
}

void CheckContext::indexInteractions() {
    for (std::size_t i = 0; i < model_.interactions.size(); ++i) {
        const InteractionOverview& interaction = model_.interactions[i];
        interactionIndex_.try_emplace(interaction.name, i);
        if (interaction.range) interactionIndex_.try_emplace(interaction.range->name, i);
        if (interaction.actuator) interactionIndex_.try_emplace(interaction.actuator->name, i);
        connectorInteraction_.try_emplace(interaction.parentConnector, i);
        connectorInteraction_.try_emplace(interaction.childConnector, i);
    }
}

void CheckContext::groupBodies() {
    BodyGroups groups(model_.bodies.size());
    for (const InteractionOverview& interaction : model_.interactions) {
        if (interaction.kind != InteractionKind::Lock) continue;
        const auto parent = bodyAt(interaction.parentBody);
        const auto child = bodyAt(interaction.childBody);
        if (parent && child) groups.unite(*parent, *child);
    }
    for (const LockOverview& lock : model_.locks) {
        std::optional<std::size_t> first;
        for (const std::string& name : lock.bodies) {
            const auto body = bodyAt(name);
            if (!body) continue;
            if (first) groups.unite(*first, *body);
            first = first.value_or(*body);
        }
    }
    groupRoot_.resize(model_.bodies.size());
    for (std::size_t i = 0; i < model_.bodies.size(); ++i) groupRoot_[i] = groups.find(i);
}

void CheckContext::weighGroups() {
    groupMass_.resize(model_.bodies.size());
    for (std::size_t i = 0; i < model_.bodies.size(); ++i) {
        GroupMass& group = groupMass_[groupRoot_[i]];
        const auto mass = ownMassOf(model_.bodies[i], own_[i]);
        ++group.members;
        if (!mass || !std::isfinite(*mass) || *mass < 0) {
            group.unknown = true;
            continue;
        }
        group.total += *mass;
        if (*mass > 0) ++group.withMass;
        if (*mass > group.representativeMass) {
            group.representativeMass = *mass;
            group.representative = i;
        }
    }
    for (const InteractionOverview& interaction : model_.interactions) {
        if (interaction.kind == InteractionKind::Lock) continue;
        for (const std::string* name : {&interaction.parentBody, &interaction.childBody}) {
            if (const auto body = bodyAt(*name)) groupMass_[groupRoot_[*body]].moving = true;
        }
    }
}

bool CheckContext::massless(const GroupMass& group) const {
    return group.moving && !group.unknown && !group.worldRoot &&
           group.total < rule("moving-body-massless").threshold;
}

void CheckContext::findMassExtremes() {
    for (std::size_t i = 0; i < groupMass_.size(); ++i) {
        const GroupMass& group = groupMass_[i];
        if (group.members == 0 || !group.moving || group.unknown ||
            group.total < rule("moving-body-massless").threshold) {
            continue;
        }
        if (!lightest_ || group.total < groupMass_[*lightest_].total) lightest_ = i;
        if (!heaviest_ || group.total > groupMass_[*heaviest_].total) heaviest_ = i;
    }
}

const GroupMass* CheckContext::lightest() const {
    return lightest_ ? &groupMass_[*lightest_] : nullptr;
}

const GroupMass* CheckContext::heaviest() const {
    return heaviest_ ? &groupMass_[*heaviest_] : nullptr;
}

void CheckContext::sortNonFinite() {
    for (const NonFiniteNumber& nonFinite : model_.nonFinite) {
        if (const auto body = bodyAt(nonFinite.declaration)) {
            bodyNonFinite_[*body].push_back(&nonFinite);
        } else if (const auto found = interactionIndex_.find(nonFinite.declaration);
                   found != interactionIndex_.end()) {
            interactionNonFinite_[found->second].push_back(&nonFinite);
        } else {
            modelNonFinite_.push_back(&nonFinite);
        }
    }
}

std::vector<std::size_t> CheckContext::geometryPositions(const BodyOverview& body) const {
    const UrdfElements::Link* link = urdf_.link(body.name);
    const std::vector<std::size_t> collisions =
        link ? mappedPositions(link->collisions) : std::vector<std::size_t>{};
    const std::vector<std::size_t> visuals =
        link ? mappedPositions(link->visuals) : std::vector<std::size_t>{};
    std::vector<std::size_t> positions;
    positions.reserve(body.geometries.size());
    std::size_t contact = 0;
    std::size_t visual = 0;
    for (const GeometryOverview& geometry : body.geometries) {
        const std::size_t nth = geometry.contact ? contact++ : visual++;
        const auto& mapped = geometry.contact ? collisions : visuals;
        positions.push_back(nth < mapped.size() ? mapped[nth] : nth);
    }
    return positions;
}

BodyCheck CheckContext::bodyCheck(std::size_t index) const {
    const BodyOverview& body = model_.bodies[index];
    return {index, body, bodySubject(body.name), own_[index], geometryPositions(body)};
}

GeometryCheck CheckContext::geometryCheck(const BodyCheck& body, std::size_t geometry) const {
    const GeometryOverview& overview = body.body.geometries[geometry];
    return {body.body, overview, body.positions[geometry],
            geometrySubject(overview, body.body.name)};
}

InteractionCheck CheckContext::interactionCheck(std::size_t index) const {
    const InteractionOverview& interaction = model_.interactions[index];
    return {index, interaction, urdfJointName(interaction), interactionSubject(interaction.name)};
}

std::string CheckContext::urdfJointName(const InteractionOverview& interaction) const {
    const auto matches = [&](const std::string& name) {
        const UrdfElements::Joint* joint = urdf_.joint(name);
        return joint != nullptr && joint->childLink == interaction.childBody;
    };
    constexpr std::string_view prefix = "joint_";
    if (interaction.name.starts_with(prefix)) {
        std::string original = interaction.name.substr(prefix.size());
        if (matches(original)) return original;
    }
    return interaction.name;
}

std::optional<std::string> CheckContext::placeText(const UrdfPlace& place) const {
    const int line = urdf_.lineOf(place);
    if (line <= 0) return std::nullopt;
    if (const xacro::SourceOrigin* origin = sources_ ? sources_->originOf(line) : nullptr) {
        return fmt::format("{}:{}", origin->file, origin->line);
    }
    return fmt::format("line {}", line);
}

UrdfPlace CheckContext::inertialPlace(const BodyOverview& body) {
    return {Element::Inertial, body.name, 0, false};
}

UrdfPlace CheckContext::linkPlace(const BodyOverview& body) {
    return {Element::Link, body.name, 0, false};
}

UrdfPlace CheckContext::geometryPlace(const GeometryCheck& geometry) {
    return {geometry.geometry.contact ? Element::Collision : Element::Visual, geometry.body.name,
            geometry.position, !geometry.geometry.contact};
}

UrdfPlace CheckContext::meshPlace(const GeometryCheck& geometry) {
    return {Element::Mesh, geometry.body.name, geometry.position, !geometry.geometry.contact};
}

}  // namespace corvane::tools
