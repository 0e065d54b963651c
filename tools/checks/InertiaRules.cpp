#include <fmt/format.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"
#include "model/Geometry.hpp"

namespace corvane::tools {

namespace {

bool finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool finite(const Quaternion& q) {
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}

bool finite(const InertiaTensor& tensor) {
    for (const auto& row : tensor) {
        for (const double entry : row) {
            if (!std::isfinite(entry)) return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The tensor

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
    const Matrix3 symmetric = symmetricPart(tensor);
    std::vector<std::string> violations;
    for (const Product& product : products) {
        const double value = symmetric[product.r][product.c];
        const double moment = tensor[product.opposite][product.opposite];
        if (2 * std::abs(value) > moment + epsilon) {
            violations.push_back(fmt::format(
                "2|{}| > {}: 2*{} = {} > {}; |{}| <= {}/2 = {} satisfies it", product.name,
                product.oppositeName, numberText(std::abs(value)), numberText(2 * std::abs(value)),
                numberText(moment), product.name, product.oppositeName, rounded(moment / 2)));
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
                       numberText(d[first]), numberText(d[second]), numberText(d[largest]));
}

bool reportNotPositive(const BodyCheck& check, const InertiaFacts& facts, Findings& findings) {
    const auto& moments = facts.moments;
    if (!(moments[0] < -facts.epsilon)) return false;
    findings.add(rule("inertia-not-positive"), check.subject,
                 fmt::format("inertia tensor is not positive semi-definite (smallest principal "
                             "moment {} < 0; principal moments {}, {}, {}); {}",
                             rounded(moments[0]), rounded(moments[0]), rounded(moments[1]),
                             rounded(moments[2]), meanRemedy(*check.body.inertia, true)),
                 CheckContext::inertialPlace(check.body));
    return true;
}

// True when a product is too large.
bool reportProducts(const BodyCheck& check, const InertiaFacts& facts, Findings& findings) {
    const auto products = productViolations(*check.body.inertia, facts.epsilon);
    if (products.empty()) return false;
    std::string message = "a product of inertia is larger than the opposite moment allows (";
    for (std::size_t i = 0; i < products.size(); ++i) {
        if (i > 0) message += "; ";
        message += products[i];
    }
    findings.add(rule("inertia-product"), check.subject, message + ")",
                 CheckContext::inertialPlace(check.body));
    return true;
}

// True when the principal moments break the triangle inequality.
bool reportTriangle(const BodyCheck& check, const InertiaFacts& facts, bool productsTooLarge,
                    Findings& findings) {
    const auto& moments = facts.moments;
    const InertiaTensor& tensor = *check.body.inertia;
    const bool principalBreak = moments[0] + moments[1] < moments[2] - facts.epsilon;
    const auto diagonalBreak = diagonalTriangleBreak(tensor, facts.epsilon);
    // A too large product breaks the principal moments' inequality as well; it is reported as a
    // triangle fault only when the moments as written break it too.
    if (principalBreak && (!productsTooLarge || diagonalBreak)) {
        const std::string values =
            diagonalBreak
                ? *diagonalBreak
                : fmt::format("principal moments I1+I2 < I3: {} + {} < {}", rounded(moments[0]),
                              rounded(moments[1]), rounded(moments[2]));
        findings.add(rule("inertia-triangle"), check.subject,
                     fmt::format("inertia breaks the triangle inequality ({}); {}", values,
                                 meanRemedy(tensor, !diagonalBreak)),
                     CheckContext::inertialPlace(check.body));
    }
    return principalBreak;
}

// ---------------------------------------------------------------------------------------------
// Contact geometry extents

// Half extents along the body's axes of a box with half extents `half`, turned by `rotation`.
Vector3 turnedHalfExtents(const Vector3& half, const Quaternion& rotation) {
    const Rotation m = rotationOf(rotation);
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
        any = true;
        // A turn that is not finite gives no extents; the geometry then widens nothing.
        if (!finite(geometry.localTransform.rotation)) continue;
        const Vector3 turned = turnedHalfExtents(*half, geometry.localTransform.rotation);
        low = {std::min(low.x, at.x - turned.x), std::min(low.y, at.y - turned.y),
               std::min(low.z, at.z - turned.z)};
        high = {std::max(high.x, at.x + turned.x), std::max(high.y, at.y + turned.y),
                std::max(high.z, at.z + turned.z)};
    }
    if (!any) return std::nullopt;
    return std::max({high.x - low.x, high.y - low.y, high.z - low.z});
}

}  // namespace

bool checkInertiaTensor(const BodyCheck& check, Findings& findings) {
    if (!check.body.inertia || !finite(*check.body.inertia)) return false;
    const InertiaFacts facts = inertiaFacts(*check.body.inertia);
    // The other rules presume moments of one sign: they would only repeat the fault.
    if (reportNotPositive(check, facts, findings)) return false;
    const bool productsTooLarge = reportProducts(check, facts, findings);
    const bool triangleBroken = reportTriangle(check, facts, productsTooLarge, findings);
    return !productsTooLarge && !triangleBroken;
}

void checkInertiaBox(const BodyCheck& check, Findings& findings) {
    constexpr const Rule& inertiaBox = rule("inertia-box");
    const BodyOverview& body = check.body;
    if (!body.ownMass || !body.mass || !std::isfinite(*body.mass) || *body.mass <= 0) return;
    const auto extent = contactExtent(body);
    if (!extent || !(*extent > 0)) return;
    const double mass = *body.mass;
    const auto moments = principalMoments(*body.inertia);
    const Vector3 sides = uniformBoxEdges({moments[0], moments[1], moments[2]}, mass);
    const double longest = std::max({sides.x, sides.y, sides.z});
    if (!(longest > inertiaBox.threshold * *extent)) return;
    findings.add(
        inertiaBox, check.subject,
        fmt::format("the box of uniform density with this mass ({}) and these moments, {} x {} x "
                    "{} (volume {}), is far larger than the body's contact geometry: its longest "
                    "side, {}, is over {} times the geometry's largest extent, {} (volume at "
                    "most {}); check the units of the mass and the inertia",
                    numberText(mass), rounded(sides.x), rounded(sides.y), rounded(sides.z),
                    rounded(sides.x * sides.y * sides.z), rounded(longest),
                    numberText(inertiaBox.threshold), rounded(*extent),
                    rounded(*extent * *extent * *extent)),
        CheckContext::inertialPlace(body));
}

}  // namespace corvane::tools
