// What the rules of one check share, worked out once before any rule runs: the bodies held
// together (a simulator moves each group as one body) and what each group weighs, the non-finite
// numbers sorted by the body or interaction they are in, and where in the URDF text each body,
// geometry and interaction stands.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "checks/Checks.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"
#include "model/UrdfElements.hpp"

namespace corvane::tools {

// What one group of bodies held rigidly together weighs, and the body that stands for it in
// messages.
struct GroupMass {
    double total = 0;
    std::size_t members = 0;
    // The heaviest member (the first of equals in the order of the model).
    std::size_t representative = 0;
    double representativeMass = -1;
    bool moving = false;
    // A member has a negative or a non-finite mass: reported as such, and the total means nothing.
    bool unknown = false;
    // How many members have a mass above 0 of their own in the URDF.
    std::size_t withMass = 0;
    // The group holds the robot's root link, or a root link named "world".
    bool root = false;
    bool worldRoot = false;
};

// A body's mass and tensor as the rules judge them: the URDF's own numbers where the link has an
// <inertial> (the document holds them rounded at the import's precision), the document's
// otherwise. A link without <inertial> has neither: the negligible mass and tensor the import
// gives it when it locks it to another body are no mass of the robot.
struct BodyMass {
    std::optional<double> mass;
    std::optional<InertiaTensor> inertia;
};

// One body as its rules see it.
struct BodyCheck {
    std::size_t index;
    const BodyOverview& body;
    std::string subject;
    const BodyMass& own;
    // Parallel to body.geometries: the position of each within its link's collision or visual
    // elements (see CheckContext::geometryPositions).
    std::vector<std::size_t> positions;
};

// One geometry of a body as its rules see it.
struct GeometryCheck {
    const BodyOverview& body;
    const GeometryOverview& geometry;
    std::size_t position;  // within the link's collision or visual elements
    std::string subject;
};

// One interaction as its rules see it.
struct InteractionCheck {
    std::size_t index;
    const InteractionOverview& interaction;
    std::string joint;  // the URDF joint it comes from
    std::string subject;
};

class CheckContext {
  public:
    explicit CheckContext(const CheckInput& input);

    const ModelOverview& model() const { return model_; }
    const UrdfElements& urdf() const { return urdf_; }
    // Null: mesh files are not looked for.
    const MeshLocator* meshes() const { return meshes_; }
    int precision() const { return precision_; }

    BodyCheck bodyCheck(std::size_t index) const;
    GeometryCheck geometryCheck(const BodyCheck& body, std::size_t geometry) const;
    InteractionCheck interactionCheck(std::size_t index) const;

    // The position in the model of the body named `name`.
    std::optional<std::size_t> bodyAt(const std::string& name) const;
    // The interaction one of whose connectors is named `connector`.
    std::optional<std::size_t> interactionOfConnector(const std::string& connector) const;

    const GroupMass& groupOf(std::size_t body) const { return groupMass_[groupRoot_[body]]; }
    const GroupMass& group(std::size_t root) const { return groupMass_[root]; }
    std::size_t groupRootOf(std::size_t body) const { return groupRoot_[body]; }
    // A moving group with a known mass too small for a simulator (not the group of a root link
    // named "world", which root-world reports).
    bool massless(const GroupMass& group) const;
    // The lightest and the heaviest of the moving groups that have a usable mass.
    const GroupMass* lightest() const;
    const GroupMass* heaviest() const;

    std::span<const NonFiniteNumber* const> bodyNonFinite(std::size_t body) const {
        return bodyNonFinite_[body];
    }
    std::span<const NonFiniteNumber* const> interactionNonFinite(std::size_t interaction) const {
        return interactionNonFinite_[interaction];
    }
    // Those of no body and no interaction.
    std::span<const NonFiniteNumber* const> modelNonFinite() const { return modelNonFinite_; }

    // The URDF joint an interaction comes from. The import names the interaction of joint X
    // "joint_X" when a link is also named X; the joint's child link tells the two apart.
    std::string urdfJointName(const InteractionOverview& interaction) const;

    // Where a message says the URDF element `place` stands: "line 12", or for a xacro input the
    // place of the xacro element that wrote it, "arm.xacro:12"; nothing when the text has no such
    // element.
    std::optional<std::string> placeText(const UrdfPlace& place) const;

    static UrdfPlace inertialPlace(const BodyOverview& body);
    static UrdfPlace linkPlace(const BodyOverview& body);
    static UrdfPlace geometryPlace(const GeometryCheck& geometry);
    // The <mesh> element of a mesh geometry.
    static UrdfPlace meshPlace(const GeometryCheck& geometry);

  private:
    void readOwnMasses();
    void markRoots();
    void indexInteractions();
    void groupBodies();
    void weighGroups();
    void findMassExtremes();
    void sortNonFinite();
    std::vector<std::size_t> geometryPositions(const BodyOverview& body) const;

    const ModelOverview& model_;
    const UrdfElements& urdf_;
    const MeshLocator* meshes_;
    int precision_;
    const SourceMap* sources_;
    std::vector<BodyMass> own_;
    // The root of each body's group, and the groups' masses by root.
    std::vector<std::size_t> groupRoot_;
    std::vector<GroupMass> groupMass_;
    std::optional<std::size_t> lightest_;
    std::optional<std::size_t> heaviest_;
    // Interactions by their own name and by the names of their range and actuator.
    std::unordered_map<std::string, std::size_t> interactionIndex_;
    std::unordered_map<std::string, std::size_t> connectorInteraction_;
    std::vector<std::vector<const NonFiniteNumber*>> bodyNonFinite_;
    std::vector<std::vector<const NonFiniteNumber*>> interactionNonFinite_;
    std::vector<const NonFiniteNumber*> modelNonFinite_;
};

}  // namespace corvane::tools
