#include "checks/Checks.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <corvane/Render.hpp>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace corvane::tools {

namespace {

// A simulator refuses a moving body lighter than this.
constexpr double kLeastMovingMass = 1e-15;
// urdfdom's axes shorter than this have no direction a simulator can use.
constexpr double kLeastAxisNorm = 1e-8;
constexpr double kAxisUnitTolerance = 1e-6;
// Moving bodies whose masses differ by more than this factor make the equations stiff.
constexpr double kMassRatioLimit = 1000;
// The equivalent inertia box may be this many times longer than the contact geometry before the
// inertia is taken for a mistake (units, or another body's values): shapes that concentrate mass
// away from their centre (a ring, a hollow shell) stay well below it.
constexpr double kInertiaBoxFactor = 10;

using Element = UrdfPlace::Element;

// ---------------------------------------------------------------------------------------------
// Text

std::string number(double value) {
    return fmt::format("{}", value);
}

// Computed values (means, ratios, sides) to six significant digits.
std::string rounded(double value) {
    return fmt::format("{:.6g}", value);
}

std::string vectorText(const Vector3& v) {
    return fmt::format("({}, {}, {})", v.x, v.y, v.z);
}

// A name as host text writes it, always between single quotes: host text leaves plain
// identifiers bare and quotes, with escapes, every other name itself.
std::string quotedName(std::string_view name) {
    if (Render::isPlainIdentifier(name)) return fmt::format("'{}'", name);
    return Render::quoteName(name);
}

std::string bodySubject(const std::string& body) {
    return "body " + quotedName(body);
}

std::string interactionSubject(const std::string& interaction) {
    return "interaction " + quotedName(interaction);
}

std::string geometrySubject(const GeometryOverview& geometry, const std::string& body) {
    return "geometry " + quotedName(geometry.name) + " of body " + quotedName(body);
}

// ---------------------------------------------------------------------------------------------
// Numbers

bool finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

double norm(const Vector3& v) {
    return std::hypot(v.x, v.y, v.z);
}

bool finite(const InertiaTensor& tensor) {
    for (const auto& row : tensor) {
        for (const double entry : row) {
            if (!std::isfinite(entry)) return false;
        }
    }
    return true;
}

// The symmetric part's entry (r, c): the document holds both eRC and eCR.
double symmetricEntry(const InertiaTensor& tensor, std::size_t r, std::size_t c) {
    return (tensor[r][c] + tensor[c][r]) / 2;
}

// One rotation of the cyclic Jacobi method, zeroing entry (p, q) of the symmetric `a`.
void jacobiRotate(std::array<std::array<double, 3>, 3>& a, std::size_t p, std::size_t q) {
    const double apq = a[p][q];
    const double theta = (a[q][q] - a[p][p]) / (2 * apq);
    // For a huge theta, theta * theta would overflow: t is then 1 / (2 theta).
    const double t = std::abs(theta) > 1e150
                         ? 1 / (2 * theta)
                         : std::copysign(1.0, theta) / (std::abs(theta) + std::hypot(theta, 1.0));
    const double c = 1 / std::hypot(t, 1.0);
    const double s = t * c;
    a[p][p] -= t * apq;
    a[q][q] += t * apq;
    a[p][q] = a[q][p] = 0;
    const std::size_t r = 3 - p - q;
    const double arp = a[r][p];
    const double arq = a[r][q];
    a[r][p] = a[p][r] = c * arp - s * arq;
    a[r][q] = a[q][r] = s * arp + c * arq;
}

// ---------------------------------------------------------------------------------------------
// The URDF behind the document

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

// The collision and visual positions of the document's geometries of one body.
struct GeometryPositions {
    std::vector<std::size_t> collisions;
    std::vector<std::size_t> visuals;

    static GeometryPositions of(const UrdfElements::Link* link) {
        if (!link) return {};
        return {mappedPositions(link->collisions), mappedPositions(link->visuals)};
    }
};

// ---------------------------------------------------------------------------------------------
// Bodies that move together

// The groups of bodies held rigidly together, by Lock interactions or kinematic locks: a
// simulator moves each group as one body. Union by size with path halving: near-linear.
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

// What one group weighs, and the body that stands for it in messages.
struct GroupMass {
    double total = 0;
    std::size_t members = 0;
    // The heaviest member (the first of equals in the order of the model).
    std::size_t representative = 0;
    double representativeMass = -1;
    bool moving = false;
    // A member has a negative or a non-finite mass: reported as such, and the total means nothing.
    bool unknown = false;
};

// The mass a simulator gives the body: its own, or the one the model assigns it from outside.
std::optional<double> massOf(const BodyOverview& body) {
    double mass = 0;
    if (body.ownMass) {
        if (!body.mass) return std::nullopt;
        mass += *body.mass;
    }
    if (body.assignedMass) {
        if (!body.assignedMassValue) return std::nullopt;
        mass += *body.assignedMassValue;
    }
    return mass;
}

// ---------------------------------------------------------------------------------------------
// Inertia

struct InertiaFacts {
    std::array<double, 3> moments;  // principal, ascending
    double epsilon = 0;
};

InertiaFacts inertiaFacts(const InertiaTensor& tensor) {
    InertiaFacts facts{principalMoments(tensor), 0};
    const double half = (facts.moments[0] + facts.moments[1] + facts.moments[2]) / 2;
    facts.epsilon = 16 * DBL_EPSILON * std::max(1.0, half);
    return facts;
}

// The remedy shared by the inertia rules: equal moments always satisfy them.
std::string meanRemedy(const InertiaTensor& tensor, bool productsToo) {
    const double mean = (tensor[0][0] + tensor[1][1] + tensor[2][2]) / 3;
    if (mean <= 0) return "give the moments positive values";
    return fmt::format("the mean of the moments, {}, for ixx, iyy and izz{} satisfies it",
                       rounded(mean), productsToo ? " with the products set to 0" : "");
}

// "2|ixy| > izz: 2*0.6 = 1.2 > 1" for every product the opposite moment cannot hold.
std::vector<std::string> productViolations(const InertiaTensor& tensor, double epsilon) {
    struct Product {
        std::size_t r, c, opposite;
        const char* name;
        const char* oppositeName;
    };
    static constexpr std::array<Product, 3> products{
        {{0, 1, 2, "ixy", "izz"}, {0, 2, 1, "ixz", "iyy"}, {1, 2, 0, "iyz", "ixx"}}};
    std::vector<std::string> violations;
    for (const Product& product : products) {
        const double value = symmetricEntry(tensor, product.r, product.c);
        const double moment = tensor[product.opposite][product.opposite];
        if (2 * std::abs(value) > moment + epsilon) {
            violations.push_back(fmt::format(
                "2|{}| > {}: 2*{} = {} > {}; |{}| <= {}/2 = {} satisfies it", product.name,
                product.oppositeName, number(std::abs(value)), number(2 * std::abs(value)),
                number(moment), product.name, product.oppositeName, rounded(moment / 2)));
        }
    }
    return violations;
}

// The diagonal's largest moment against the other two, when they do not reach it.
std::optional<std::string> diagonalTriangleBreak(const InertiaTensor& tensor, double epsilon) {
    static constexpr std::array<const char*, 3> names{"ixx", "iyy", "izz"};
    const std::array<double, 3> d{tensor[0][0], tensor[1][1], tensor[2][2]};
    const auto largest = static_cast<std::size_t>(std::max_element(d.begin(), d.end()) - d.begin());
    const std::size_t a = (largest + 1) % 3;
    const std::size_t b = (largest + 2) % 3;
    const std::size_t first = std::min(a, b);
    const std::size_t second = std::max(a, b);
    if (d[first] + d[second] >= d[largest] - epsilon) return std::nullopt;
    return fmt::format("{}+{} < {}: {} + {} < {}", names[first], names[second], names[largest],
                       number(d[first]), number(d[second]), number(d[largest]));
}

// ---------------------------------------------------------------------------------------------
// Contact geometry extents

// Half extents along the body's axes of a box with half extents `half`, turned by `rotation`.
Vector3 turnedHalfExtents(const Vector3& half, const Quaternion& rotation) {
    const double n = std::sqrt(rotation.x * rotation.x + rotation.y * rotation.y +
                               rotation.z * rotation.z + rotation.w * rotation.w);
    if (!(n > 0)) return half;
    const double x = rotation.x / n, y = rotation.y / n, z = rotation.z / n, w = rotation.w / n;
    const std::array<std::array<double, 3>, 3> m{{
        {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
        {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
        {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)},
    }};
    const std::array<double, 3> h{half.x, half.y, half.z};
    std::array<double, 3> out{};
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = 0; c < 3; ++c) out[r] += std::abs(m[r][c]) * h[c];
    }
    return {out[0], out[1], out[2]};
}

// Half extents of a sphere, box or cylinder in its own frame (a cylinder runs along its y);
// nullopt for any other kind or for sizes that are not positive and finite.
std::optional<Vector3> ownHalfExtents(const GeometryOverview& geometry) {
    const auto positive = [](double v) { return std::isfinite(v) && v > 0; };
    switch (geometry.shape) {
        case GeometryShape::Sphere:
            if (!geometry.radius || !positive(*geometry.radius)) return std::nullopt;
            return Vector3{*geometry.radius, *geometry.radius, *geometry.radius};
        case GeometryShape::Box:
            if (!geometry.size || !positive(geometry.size->x) || !positive(geometry.size->y) ||
                !positive(geometry.size->z)) {
                return std::nullopt;
            }
            return Vector3{geometry.size->x / 2, geometry.size->y / 2, geometry.size->z / 2};
        case GeometryShape::Cylinder:
            if (!geometry.radius || !geometry.height || !positive(*geometry.radius) ||
                !positive(*geometry.height)) {
                return std::nullopt;
            }
            return Vector3{*geometry.radius, *geometry.height / 2, *geometry.radius};
        case GeometryShape::Mesh:
        case GeometryShape::Other:
            break;
    }
    return std::nullopt;
}

// The largest side of the box in the body's frame that holds all of the body's contact
// geometries; nullopt when it has none, or one whose size is not known without reading a file
// (meshes are skipped: reading every mesh to measure it would cost far more than the check).
std::optional<double> contactExtent(const BodyOverview& body) {
    bool any = false;
    Vector3 low{HUGE_VAL, HUGE_VAL, HUGE_VAL};
    Vector3 high{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const GeometryOverview& geometry : body.geometries) {
        if (!geometry.contact) continue;
        const auto half = ownHalfExtents(geometry);
        const Vector3& at = geometry.localTransform.position;
        if (!half || !finite(at)) return std::nullopt;
        const Vector3 turned = turnedHalfExtents(*half, geometry.localTransform.rotation);
        low = {std::min(low.x, at.x - turned.x), std::min(low.y, at.y - turned.y),
               std::min(low.z, at.z - turned.z)};
        high = {std::max(high.x, at.x + turned.x), std::max(high.y, at.y + turned.y),
                std::max(high.z, at.z + turned.z)};
        any = true;
    }
    if (!any) return std::nullopt;
    return std::max({high.x - low.x, high.y - low.y, high.z - low.z});
}

// ---------------------------------------------------------------------------------------------
// The checker

class ModelChecker {
  public:
    explicit ModelChecker(const CheckInput& input)
        : model_(input.model),
          urdf_(input.urdf),
          meshes_(input.meshes),
          groups_(input.model.bodies.size()),
          bodyNonFinite_(input.model.bodies.size()),
          interactionNonFinite_(input.model.interactions.size()) {
        indexBodiesAndInteractions();
        groupBodies();
        sortNonFinite();
    }

    std::vector<Finding> run() && {
        for (std::size_t i = 0; i < model_.bodies.size(); ++i) checkBody(i);
        for (std::size_t i = 0; i < model_.interactions.size(); ++i) checkInteraction(i);
        for (const NonFiniteNumber* number : modelNonFinite_) {
            add(Severity::Error, "model " + quotedName(model_.modelName),
                nonFiniteMessage(*number, true), "non-finite", {Element::Robot, {}, 0, false});
        }
        return std::move(findings_);
    }

  private:
    // --- set-up ----------------------------------------------------------------------------

    void indexBodiesAndInteractions() {
        for (std::size_t i = 0; i < model_.bodies.size(); ++i) {
            bodyIndex_.try_emplace(model_.bodies[i].name, i);
        }
        for (std::size_t i = 0; i < model_.interactions.size(); ++i) {
            const InteractionOverview& interaction = model_.interactions[i];
            interactionIndex_.try_emplace(interaction.name, i);
            if (interaction.range) interactionIndex_.try_emplace(interaction.range->name, i);
            if (interaction.actuator) interactionIndex_.try_emplace(interaction.actuator->name, i);
            connectorInteraction_.try_emplace(interaction.parentConnector, i);
            connectorInteraction_.try_emplace(interaction.childConnector, i);
        }
    }

    std::optional<std::size_t> bodyAt(const std::string& name) const {
        const auto found = bodyIndex_.find(name);
        if (found == bodyIndex_.end()) return std::nullopt;
        return found->second;
    }

    void groupBodies() {
        for (const InteractionOverview& interaction : model_.interactions) {
            if (interaction.kind != InteractionKind::Lock) continue;
            const auto parent = bodyAt(interaction.parentBody);
            const auto child = bodyAt(interaction.childBody);
            if (parent && child) groups_.unite(*parent, *child);
        }
        for (const LockOverview& lock : model_.locks) {
            std::optional<std::size_t> first;
            for (const std::string& name : lock.bodies) {
                const auto body = bodyAt(name);
                if (!body) continue;
                if (first) groups_.unite(*first, *body);
                first = first.value_or(*body);
            }
        }
        groupMass_.resize(model_.bodies.size());
        for (std::size_t i = 0; i < model_.bodies.size(); ++i) {
            GroupMass& group = groupMass_[groups_.find(i)];
            const auto mass = massOf(model_.bodies[i]);
            ++group.members;
            if (!mass || !std::isfinite(*mass) || *mass < 0) {
                group.unknown = true;
                continue;
            }
            group.total += *mass;
            if (*mass > group.representativeMass) {
                group.representativeMass = *mass;
                group.representative = i;
            }
        }
        for (const InteractionOverview& interaction : model_.interactions) {
            if (interaction.kind == InteractionKind::Lock) continue;
            for (const std::string* name : {&interaction.parentBody, &interaction.childBody}) {
                if (const auto body = bodyAt(*name)) groupMass_[groups_.find(*body)].moving = true;
            }
        }
        findMassExtremes();
    }

    bool massless(const GroupMass& group) const {
        return group.moving && !group.unknown && group.total < kLeastMovingMass;
    }

    // The lightest and the heaviest of the moving groups that have a usable mass.
    void findMassExtremes() {
        for (std::size_t i = 0; i < groupMass_.size(); ++i) {
            const GroupMass& group = groupMass_[i];
            if (group.members == 0 || !group.moving || group.unknown || massless(group)) continue;
            if (!lightest_ || group.total < groupMass_[*lightest_].total) lightest_ = i;
            if (!heaviest_ || group.total > groupMass_[*heaviest_].total) heaviest_ = i;
        }
    }

    void sortNonFinite() {
        for (const NonFiniteNumber& number : model_.nonFinite) {
            if (const auto body = bodyAt(number.declaration)) {
                bodyNonFinite_[*body].push_back(&number);
            } else if (const auto found = interactionIndex_.find(number.declaration);
                       found != interactionIndex_.end()) {
                interactionNonFinite_[found->second].push_back(&number);
            } else {
                modelNonFinite_.push_back(&number);
            }
        }
    }

    // --- findings --------------------------------------------------------------------------

    void add(Severity severity, std::string subject, std::string message, const char* rule,
             UrdfPlace place) {
        findings_.push_back(
            {severity, std::move(subject), std::move(message), rule, std::move(place)});
    }

    // The URDF joint an interaction comes from. The import names the interaction of joint X
    // "joint_X" when a link is also named X; the joint's child link tells the two apart.
    std::string urdfJointName(const InteractionOverview& interaction) const {
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

    static std::string nonFiniteMessage(const NonFiniteNumber& number, bool withDeclaration) {
        const std::string where =
            withDeclaration ? number.declaration + (number.path.empty() ? "" : ".") + number.path
                            : number.path;
        return fmt::format("{} is {}: a simulator cannot compute with a non-finite number", where,
                           number.lexeme);
    }

    // --- bodies ----------------------------------------------------------------------------

    void checkBody(std::size_t index) {
        const BodyOverview& body = model_.bodies[index];
        // Geometry places are counted on the link element: see mappedPositions.
        const GeometryPositions positions = GeometryPositions::of(urdf_.link(body.name));

        for (const NonFiniteNumber* number : bodyNonFinite_[index]) {
            bodyNonFinite(body, *number, positions);
        }
        const GroupMass& group = groupMass_[groups_.find(index)];
        checkMass(body, massless(group));
        const bool inertiaSound = checkInertia(body);
        if (inertiaSound) checkInertiaBox(body);
        checkMovingMass(index, group);
        checkMassRatio(index);

        std::size_t contact = 0;
        std::size_t visual = 0;
        for (const GeometryOverview& geometry : body.geometries) {
            const std::size_t nth = geometry.contact ? contact++ : visual++;
            const auto& mapped = geometry.contact ? positions.collisions : positions.visuals;
            checkGeometry(body, geometry, nth < mapped.size() ? mapped[nth] : nth);
        }
    }

    UrdfPlace inertialPlace(const BodyOverview& body) const {
        return {Element::Inertial, body.name, 0, false};
    }

    void bodyNonFinite(const BodyOverview& body, const NonFiniteNumber& number,
                       const GeometryPositions& positions) {
        const std::string_view path = number.path;
        const std::string first(path.substr(0, path.find('.')));
        UrdfPlace place{Element::Link, body.name, 0, false};
        if (path.starts_with("inertia.") || path.starts_with("kinematics.")) {
            place = inertialPlace(body);
        } else if (const auto connector = connectorInteraction_.find(first);
                   connector != connectorInteraction_.end()) {
            const bool axis = path.find(".main_axis.") != std::string_view::npos ||
                              path.find(".normal.") != std::string_view::npos;
            place = {axis ? Element::Axis : Element::Joint,
                     urdfJointName(model_.interactions[connector->second]), 0, false};
        } else {
            place = geometryPlaceByName(body, first, positions).value_or(place);
        }
        add(Severity::Error, bodySubject(body.name), nonFiniteMessage(number, false), "non-finite",
            std::move(place));
    }

    std::optional<UrdfPlace> geometryPlaceByName(const BodyOverview& body, const std::string& name,
                                                 const GeometryPositions& positions) const {
        std::size_t contact = 0;
        std::size_t visual = 0;
        for (const GeometryOverview& geometry : body.geometries) {
            const std::size_t nth = geometry.contact ? contact++ : visual++;
            if (geometry.name != name) continue;
            const auto& mapped = geometry.contact ? positions.collisions : positions.visuals;
            return geometryPlace(body, geometry, nth < mapped.size() ? mapped[nth] : nth);
        }
        return std::nullopt;
    }

    static UrdfPlace geometryPlace(const BodyOverview& body, const GeometryOverview& geometry,
                                   std::size_t position) {
        return {geometry.contact ? Element::Collision : Element::Visual, body.name, position,
                !geometry.contact};
    }

    void checkMass(const BodyOverview& body, bool reportedMassless) {
        if (!body.ownMass || !body.mass || !std::isfinite(*body.mass)) return;
        const double mass = *body.mass;
        if (mass < 0) {
            add(Severity::Error, bodySubject(body.name),
                fmt::format("mass is negative ({}): a simulator refuses it; give the link's "
                            "<inertial> a positive mass",
                            number(mass)),
                "mass-negative", inertialPlace(body));
        } else if (mass == 0 && body.inertia && !reportedMassless) {
            // A moving body without mass gets the error of moving-body-massless instead.
            add(Severity::Warning, bodySubject(body.name),
                "mass is 0 while an inertia tensor is given: the tensor acts on nothing; give "
                "the body a positive mass",
                "mass-zero", inertialPlace(body));
        }
    }

    // The three tensor rules; true when the tensor passes them all.
    bool checkInertia(const BodyOverview& body) {
        if (!body.inertia || !finite(*body.inertia)) return false;
        const InertiaTensor& tensor = *body.inertia;
        const InertiaFacts facts = inertiaFacts(tensor);
        const auto& moments = facts.moments;
        const std::string subject = bodySubject(body.name);
        if (moments[0] < -facts.epsilon) {
            // The other rules presume moments of one sign: they would only repeat the fault.
            add(Severity::Error, subject,
                fmt::format("inertia tensor is not positive semi-definite (smallest principal "
                            "moment {} < 0; principal moments {}, {}, {}); {}",
                            rounded(moments[0]), rounded(moments[0]), rounded(moments[1]),
                            rounded(moments[2]), meanRemedy(tensor, true)),
                "inertia-not-positive", inertialPlace(body));
            return false;
        }
        const auto products = productViolations(tensor, facts.epsilon);
        if (!products.empty()) {
            std::string message =
                "a product of inertia is larger than the opposite moment allows (";
            for (std::size_t i = 0; i < products.size(); ++i) {
                if (i > 0) message += "; ";
                message += products[i];
            }
            add(Severity::Error, subject, message + ")", "inertia-product", inertialPlace(body));
        }
        const bool principalBreak = moments[0] + moments[1] < moments[2] - facts.epsilon;
        const auto diagonalBreak = diagonalTriangleBreak(tensor, facts.epsilon);
        // A too large product breaks the principal moments' inequality as well; it is reported
        // as a triangle fault only when the moments as written break it too.
        if (principalBreak && (products.empty() || diagonalBreak)) {
            const std::string values =
                diagonalBreak
                    ? *diagonalBreak
                    : fmt::format("principal moments I1+I2 < I3: {} + {} < {}", rounded(moments[0]),
                                  rounded(moments[1]), rounded(moments[2]));
            add(Severity::Error, subject,
                fmt::format("inertia breaks the triangle inequality ({}); {}", values,
                            meanRemedy(tensor, !diagonalBreak)),
                "inertia-triangle", inertialPlace(body));
        }
        return products.empty() && !principalBreak;
    }

    void checkInertiaBox(const BodyOverview& body) {
        if (!body.ownMass || !body.mass || !std::isfinite(*body.mass) || *body.mass <= 0) return;
        const auto extent = contactExtent(body);
        if (!extent || !(*extent > 0)) return;
        const double mass = *body.mass;
        const auto moments = principalMoments(*body.inertia);
        std::array<double, 3> sides{};
        for (std::size_t i = 0; i < 3; ++i) {
            const double sum = moments[(i + 1) % 3] + moments[(i + 2) % 3] - moments[i];
            sides[i] = std::sqrt(6 * std::max(0.0, sum) / mass);
        }
        const double longest = std::max({sides[0], sides[1], sides[2]});
        if (!(longest > kInertiaBoxFactor * *extent)) return;
        add(Severity::Warning, bodySubject(body.name),
            fmt::format("the box of uniform density with this mass ({}) and these moments, {} x {} "
                        "x {} (volume {}), is far larger than the body's contact geometry: its "
                        "longest side, {}, is over {} times the geometry's largest extent, {} "
                        "(volume at most {}); check the units of the mass and the inertia",
                        number(mass), rounded(sides[0]), rounded(sides[1]), rounded(sides[2]),
                        rounded(sides[0] * sides[1] * sides[2]), rounded(longest),
                        number(kInertiaBoxFactor), rounded(*extent),
                        rounded(*extent * *extent * *extent)),
            "inertia-box", inertialPlace(body));
    }

    // A group's total is a sum, shown rounded: the negligible masses of kinematic locks would
    // otherwise show as noise in the last digits.
    std::string groupText(const GroupMass& group, double mass) const {
        if (group.members <= 1) return fmt::format("mass {}", number(mass));
        const std::size_t others = group.members - 1;
        return fmt::format("mass {} with the {} {} locked to it", rounded(mass), others,
                           others == 1 ? "body" : "bodies");
    }

    void checkMovingMass(std::size_t index, const GroupMass& group) {
        if (!massless(group) || group.representative != index) return;
        const BodyOverview& body = model_.bodies[index];
        const std::string what = body.withoutAnyMass() && group.members <= 1
                                     ? std::string("has no mass")
                                     : "has " + groupText(group, group.total);
        add(Severity::Error, bodySubject(body.name),
            fmt::format("moving body {}, below {}: the simulator refuses it; give the link an "
                        "<inertial> with a positive mass",
                        what, number(kLeastMovingMass)),
            "moving-body-massless",
            body.ownMass ? inertialPlace(body) : UrdfPlace{Element::Link, body.name, 0, false});
    }

    void checkMassRatio(std::size_t index) {
        if (!lightest_ || !heaviest_ || groupMass_[*lightest_].representative != index) return;
        const GroupMass& light = groupMass_[*lightest_];
        const GroupMass& heavy = groupMass_[*heaviest_];
        const double ratio = heavy.total / light.total;
        if (!(ratio > kMassRatioLimit)) return;
        const BodyOverview& body = model_.bodies[index];
        add(Severity::Warning, bodySubject(body.name),
            fmt::format("the heaviest moving body, {} ({}), is {} times as heavy as this one ({}), "
                        "over {}: a stiff simulation, which needs small time steps",
                        bodySubject(model_.bodies[heavy.representative].name),
                        groupText(heavy, heavy.total), rounded(ratio),
                        groupText(light, light.total), number(kMassRatioLimit)),
            "mass-ratio",
            body.ownMass ? inertialPlace(body) : UrdfPlace{Element::Link, body.name, 0, false});
    }

    // --- geometries ------------------------------------------------------------------------

    void checkGeometry(const BodyOverview& body, const GeometryOverview& geometry,
                       std::size_t position) {
        const std::string subject = geometrySubject(geometry, body.name);
        if (const auto fault = sizeFault(geometry)) {
            add(Severity::Error, subject, *fault, "geometry-size",
                geometryPlace(body, geometry, position));
        }
        if (geometry.shape != GeometryShape::Mesh) return;
        const UrdfPlace meshPlace{Element::Mesh, body.name, position, !geometry.contact};
        const Vector3& scale = geometry.scale;
        if (finite(scale)) {
            if (scale.x == 0 || scale.y == 0 || scale.z == 0) {
                add(Severity::Error, subject,
                    fmt::format("mesh scale {} has a zero factor: the mesh collapses flat",
                                vectorText(scale)),
                    "mesh-scale-zero", meshPlace);
            } else if (scale.x * scale.y * scale.z < 0) {
                add(Severity::Warning, subject,
                    fmt::format("mesh scale {} mirrors the mesh (the product of its factors is "
                                "negative): its faces are turned inside out",
                                vectorText(scale)),
                    "mesh-mirrored", meshPlace);
            }
        }
        checkMeshFile(subject, geometry, meshPlace);
    }

    static std::optional<std::string> sizeFault(const GeometryOverview& geometry) {
        const auto bad = [](const std::optional<double>& v) { return v && *v <= 0; };
        switch (geometry.shape) {
            case GeometryShape::Sphere:
                if (bad(geometry.radius)) {
                    return fmt::format("sphere radius {} is not positive",
                                       number(*geometry.radius));
                }
                break;
            case GeometryShape::Box:
                if (geometry.size &&
                    (geometry.size->x <= 0 || geometry.size->y <= 0 || geometry.size->z <= 0)) {
                    return fmt::format("box size {} is not positive in every direction",
                                       vectorText(*geometry.size));
                }
                break;
            case GeometryShape::Cylinder:
                if (bad(geometry.radius) || bad(geometry.height)) {
                    return fmt::format("cylinder radius {} and length {} are not both positive",
                                       number(geometry.radius.value_or(0)),
                                       number(geometry.height.value_or(0)));
                }
                break;
            case GeometryShape::Mesh:
            case GeometryShape::Other:
                break;
        }
        return std::nullopt;
    }

    void checkMeshFile(const std::string& subject, const GeometryOverview& geometry,
                       const UrdfPlace& place) {
        if (!meshes_ || !geometry.meshPath) return;
        // Robots name the same mesh in a collision and a visual element: each is looked for once.
        auto found = meshLocations_.find(*geometry.meshPath);
        if (found == meshLocations_.end()) {
            found = meshLocations_.emplace(*geometry.meshPath, meshes_->locate(*geometry.meshPath))
                        .first;
        }
        const MeshLocation& location = found->second;
        switch (location.problem) {
            case MeshProblem::None:
                return;
            case MeshProblem::NotFound:
            case MeshProblem::BadUri:
                add(Severity::Error, subject, location.message(), "mesh-not-found", place);
                return;
            case MeshProblem::NotARegularFile:
            case MeshProblem::Empty:
            case MeshProblem::Unreadable:
                add(Severity::Error, subject, location.message(), "mesh-unreadable", place);
                return;
        }
    }

    // --- interactions ----------------------------------------------------------------------

    void checkInteraction(std::size_t index) {
        const InteractionOverview& interaction = model_.interactions[index];
        const std::string joint = urdfJointName(interaction);
        const std::string subject = interactionSubject(interaction.name);
        for (const NonFiniteNumber* number : interactionNonFinite_[index]) {
            const bool limit =
                number->declaration != interaction.name || number->path.starts_with("initial_");
            add(Severity::Error, subject, nonFiniteMessage(*number, true), "non-finite",
                {limit ? Element::Limit : Element::Joint, joint, 0, false});
        }
        if (interaction.kind == InteractionKind::Lock) return;
        checkAxis(interaction, joint, subject);
        checkRange(interaction, joint, subject);
        checkActuator(interaction, joint, subject);
    }

    // Whether a connector of the interaction holds a non-finite number: reported as such, so
    // its axis is not judged again.
    bool axisNonFinite(const InteractionOverview& interaction) const {
        for (const std::string* body : {&interaction.parentBody, &interaction.childBody}) {
            const auto found = bodyAt(*body);
            if (!found) continue;
            for (const NonFiniteNumber* number : bodyNonFinite_[*found]) {
                const std::string_view path = number->path;
                if (path.substr(0, path.find('.')) == interaction.childConnector ||
                    path.substr(0, path.find('.')) == interaction.parentConnector) {
                    return true;
                }
            }
        }
        return false;
    }

    void checkAxis(const InteractionOverview& interaction, const std::string& joint,
                   const std::string& subject) {
        if (axisNonFinite(interaction)) return;
        const UrdfPlace place{Element::Axis, joint, 0, false};
        // The document cannot show a zero axis: the import writes (1, 0, 0) in its place.
        // The file gives the axis as it stands.
        if (const UrdfElements::Joint* found = urdf_.joint(joint); found && found->axis) {
            const auto& a = *found->axis;
            const Vector3 axis{a[0], a[1], a[2]};
            const double length = norm(axis);
            if (length < kLeastAxisNorm) {
                const std::string outcome = length == 0
                                                ? "the import replaced it by (1, 0, 0)"
                                                : "the joint has no direction a simulator can use";
                add(Severity::Warning, subject,
                    fmt::format("joint axis {} has norm {}, below {}: {}", vectorText(axis),
                                number(length), number(kLeastAxisNorm), outcome),
                    "axis-zero", place);
                return;
            }
        }
        // The child's main axis is the URDF axis unchanged.
        const auto child = bodyAt(interaction.childBody);
        if (!child) return;
        const ConnectorOverview* connector =
            model_.bodies[*child].connector(interaction.childConnector);
        if (!connector) return;
        const Vector3& axis = connector->mainAxis;
        const double length = norm(axis);
        if (!std::isfinite(length) || !(std::abs(length - 1) > kAxisUnitTolerance)) return;
        add(Severity::Warning, subject,
            fmt::format("joint axis {} has length {}, not 1 (off by more than {}): the host "
                        "takes it as written; normalise it to ({}, {}, {})",
                        vectorText(axis), number(length), number(kAxisUnitTolerance),
                        rounded(axis.x / length), rounded(axis.y / length),
                        rounded(axis.z / length)),
            "axis-not-unit", place);
    }

    void checkRange(const InteractionOverview& interaction, const std::string& joint,
                    const std::string& subject) {
        if (!interaction.range) return;
        const double start = interaction.range->start;
        const double end = interaction.range->end;
        if (!std::isfinite(start) || !std::isfinite(end)) return;
        const UrdfPlace place{Element::Limit, joint, 0, false};
        if (start > end) {
            add(Severity::Error, subject,
                fmt::format("range from {} to {}: the lower limit is above the upper one; swap "
                            "them",
                            number(start), number(end)),
                "range-inverted", place);
        } else if (start == end) {
            add(Severity::Warning, subject,
                fmt::format("range from {} to {} is empty: the joint is frozen; widen the limits "
                            "or make the joint fixed",
                            number(start), number(end)),
                "range-empty", place);
        } else if ((start > 0 || end < 0) && interaction.initialValue) {
            add(Severity::Note, subject,
                fmt::format("initial {} is {}, the {} limit: 0 lies outside the range [{}, {}]",
                            interaction.kind == InteractionKind::Hinge ? "angle" : "position",
                            number(*interaction.initialValue), start > 0 ? "lower" : "upper",
                            number(start), number(end)),
                "initial-clamped", place);
        }
    }

    void checkActuator(const InteractionOverview& interaction, const std::string& joint,
                       const std::string& subject) {
        if (!interaction.actuator) return;
        // max_effort holds the URDF effort, min_effort its negation.
        const double effort = interaction.actuator->maxEffort;
        if (!std::isfinite(effort)) return;
        const UrdfPlace place{Element::Limit, joint, 0, false};
        if (effort < 0) {
            add(Severity::Error, subject,
                fmt::format("effort limit {} is negative: the actuator's bounds are inverted "
                            "(min_effort {} > max_effort {}); give a positive effort",
                            number(effort), number(interaction.actuator->minEffort),
                            number(effort)),
                "effort-negative", place);
        } else if (effort == 0) {
            add(Severity::Warning, subject,
                "effort limit is 0: the joint cannot be driven; give the <limit> a positive "
                "effort",
                "effort-zero", place);
        }
    }

    const ModelOverview& model_;
    const UrdfElements& urdf_;
    const MeshLocator* meshes_;
    BodyGroups groups_;
    std::vector<GroupMass> groupMass_;  // by the group's root body
    std::optional<std::size_t> lightest_;
    std::optional<std::size_t> heaviest_;
    std::unordered_map<std::string, std::size_t> bodyIndex_;
    // Interactions by their own name and by the names of their range and actuator.
    std::unordered_map<std::string, std::size_t> interactionIndex_;
    std::unordered_map<std::string, std::size_t> connectorInteraction_;
    std::vector<std::vector<const NonFiniteNumber*>> bodyNonFinite_;
    std::vector<std::vector<const NonFiniteNumber*>> interactionNonFinite_;
    std::vector<const NonFiniteNumber*> modelNonFinite_;
    std::unordered_map<std::string, MeshLocation> meshLocations_;
    std::vector<Finding> findings_;
};

}  // namespace

std::array<double, 3> principalMoments(const InertiaTensor& tensor) {
    std::array<std::array<double, 3>, 3> a{};
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = 0; c < 3; ++c) a[r][c] = symmetricEntry(tensor, r, c);
    }
    static constexpr std::array<std::pair<std::size_t, std::size_t>, 3> pairs{
        {{0, 1}, {0, 2}, {1, 2}}};
    // Cyclic Jacobi: each rotation zeroes one off-diagonal entry; a few sweeps leave them
    // negligible next to the diagonal, which then holds the eigenvalues to rounding.
    for (int sweep = 0; sweep < 50; ++sweep) {
        bool rotated = false;
        for (const auto& [p, q] : pairs) {
            const double apq = a[p][q];
            if (apq == 0) continue;
            if (std::abs(a[p][p]) + 100 * std::abs(apq) == std::abs(a[p][p]) &&
                std::abs(a[q][q]) + 100 * std::abs(apq) == std::abs(a[q][q])) {
                a[p][q] = a[q][p] = 0;
                continue;
            }
            jacobiRotate(a, p, q);
            rotated = true;
        }
        if (!rotated) break;
    }
    std::array<double, 3> moments{a[0][0], a[1][1], a[2][2]};
    std::sort(moments.begin(), moments.end());
    return moments;
}

std::vector<Finding> checkModel(const CheckInput& input) {
    return ModelChecker(input).run();
}

}  // namespace corvane::tools
