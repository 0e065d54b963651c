#include <fmt/format.h>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

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

// ---------------------------------------------------------------------------------------------
// The tensor

bool diagonal(const InertiaTensor& tensor) {
    const Matrix3 symmetric = symmetricPart(tensor);
    return symmetric[0][1] == 0 && symmetric[0][2] == 0 && symmetric[1][2] == 0;
}

struct InertiaFacts {
    std::array<double, 3> moments;  // principal, ascending
    double epsilon = 0;
};

// A diagonal tensor's moments are its numbers, judged exactly as a simulator sums them; those of
// any other tensor are eigenvalues, computed to a few units in the last place.
InertiaFacts inertiaFacts(const InertiaTensor& tensor) {
    if (diagonal(tensor)) {
        std::array<double, 3> moments{tensor[0][0], tensor[1][1], tensor[2][2]};
        std::sort(moments.begin(), moments.end());
        return {moments, 0};
    }
    const auto moments = principalMoments(tensor);
    return {moments,
            4 * DBL_EPSILON * (std::abs(moments[0]) + std::abs(moments[1]) + std::abs(moments[2]))};
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
                             rounded(moments[2]), meanRemedy(*check.own.inertia, true)),
                 CheckContext::inertialPlace(check.body));
    return true;
}

// True when a product is too large.
bool reportProducts(const BodyCheck& check, const InertiaFacts& facts, Findings& findings) {
    const auto products = productViolations(*check.own.inertia, facts.epsilon);
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

// "I1 + I2 < I3" of principal moments that break the inequality, to six digits where these show
// the break, in full where, near equality, they would show moments that satisfy it.
std::string brokenTriangleText(const std::array<double, 3>& moments) {
    std::array<std::string, 3> texts;
    std::array<double, 3> shown{};
    for (std::size_t i = 0; i < 3; ++i) {
        texts[i] = rounded(moments[i]);
        std::from_chars(texts[i].data(), texts[i].data() + texts[i].size(), shown[i]);
    }
    if (!(shown[0] + shown[1] < shown[2])) {
        for (std::size_t i = 0; i < 3; ++i) texts[i] = numberText(moments[i]);
    }
    return fmt::format("{} + {} < {}", texts[0], texts[1], texts[2]);
}

// True when the principal moments break the triangle inequality.
bool reportTriangle(const BodyCheck& check, const InertiaFacts& facts, bool productsTooLarge,
                    Findings& findings) {
    const auto& moments = facts.moments;
    const InertiaTensor& tensor = *check.own.inertia;
    const bool principalBreak = moments[0] + moments[1] < moments[2] - facts.epsilon;
    const auto diagonalBreak = diagonalTriangleBreak(tensor, facts.epsilon);
    // A too large product breaks the principal moments' inequality as well; it is reported as a
    // triangle fault only when the moments as written break it too.
    if (principalBreak && (!productsTooLarge || diagonalBreak)) {
        const std::string values =
            diagonalBreak ? *diagonalBreak
                          : "principal moments I1+I2 < I3: " + brokenTriangleText(moments);
        findings.add(rule("inertia-triangle"), check.subject,
                     fmt::format("inertia breaks the triangle inequality ({}); {}", values,
                                 meanRemedy(tensor, !diagonalBreak)),
                     CheckContext::inertialPlace(check.body));
    }
    return principalBreak;
}

// Every principal moment is smaller in size than the least moment a simulator takes for one: the
// tensor is 0 to it, whatever the signs of its last digits (the rules of moving bodies and of
// frames judge such a body).
bool negligible(const InertiaFacts& facts) {
    const double least = rule("moving-body-inertia-zero").threshold;
    return std::abs(facts.moments[0]) < least && std::abs(facts.moments[1]) < least &&
           std::abs(facts.moments[2]) < least;
}

// ---------------------------------------------------------------------------------------------
// The document's rounding

// What a simulator refuses of one body's mass and tensor, as the rules above judge them.
struct MassFaults {
    bool massNotPositive = false;
    bool notPositive = false;
    bool product = false;
    bool triangle = false;

    // Faults of `other` that this lacks.
    bool lacksAnyOf(const MassFaults& other) const {
        return (other.massNotPositive && !massNotPositive) || (other.notPositive && !notPositive) ||
               (other.product && !product) || (other.triangle && !triangle);
    }
};

MassFaults massFaults(double mass, const InertiaTensor& tensor) {
    MassFaults faults;
    faults.massNotPositive = !(mass > 0);
    const InertiaFacts facts = inertiaFacts(tensor);
    if (negligible(facts)) return faults;
    faults.notPositive = facts.moments[0] < -facts.epsilon;
    faults.product = !productViolations(tensor, facts.epsilon).empty();
    faults.triangle = facts.moments[0] + facts.moments[1] < facts.moments[2] - facts.epsilon;
    return faults;
}

// `value` written with `digits` decimals in fixed notation and read back, as the document does.
double roundedTo(double value, int digits) {
    const std::string text = fmt::format("{:.{}f}", value, digits);
    double parsed = value;
    std::from_chars(text.data(), text.data() + text.size(), parsed);
    return parsed;
}

InertiaTensor roundedTo(const InertiaTensor& tensor, int digits) {
    InertiaTensor out{};
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = 0; c < 3; ++c) out[r][c] = roundedTo(tensor[r][c], digits);
    }
    return out;
}

// The fewest decimals, from `from` on, at which the rounded numbers have no fault the URDF's lack.
std::optional<int> keepingPrecision(double mass, const InertiaTensor& tensor, const MassFaults& own,
                                    int from) {
    constexpr int mostDigits = 40;
    for (int digits = std::max(from, 0); digits <= mostDigits; ++digits) {
        if (!own.lacksAnyOf(massFaults(roundedTo(mass, digits), roundedTo(tensor, digits)))) {
            return digits;
        }
    }
    return std::nullopt;
}

std::string brokenText(const MassFaults& own, const MassFaults& rounded) {
    std::vector<std::string> what;
    if (rounded.massNotPositive && !own.massNotPositive) what.emplace_back("the mass turns 0");
    if (rounded.notPositive && !own.notPositive) what.emplace_back("the tensor turns indefinite");
    if (rounded.product && !own.product) {
        what.emplace_back("a product of inertia outgrows its opposite moment");
    }
    if (rounded.triangle && !own.triangle) {
        what.emplace_back("the moments break the triangle inequality");
    }
    std::string text;
    for (std::size_t i = 0; i < what.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == what.size() ? " and " : ", ") + what[i];
    }
    return text;
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

bool allFinite(const InertiaTensor& tensor) {
    for (const auto& row : tensor) {
        for (const double entry : row) {
            if (!std::isfinite(entry)) return false;
        }
    }
    return true;
}

bool judgedIndefinite(const InertiaTensor& tensor) {
    const InertiaFacts facts = inertiaFacts(tensor);
    return !negligible(facts) && facts.moments[0] < -facts.epsilon;
}

bool checkInertiaTensor(const BodyCheck& check, Findings& findings) {
    if (!check.own.inertia || !allFinite(*check.own.inertia)) return false;
    const InertiaFacts facts = inertiaFacts(*check.own.inertia);
    if (negligible(facts)) return true;
    // The other rules presume moments of one sign: they would only repeat the fault.
    if (reportNotPositive(check, facts, findings)) return false;
    const bool productsTooLarge = reportProducts(check, facts, findings);
    const bool triangleBroken = reportTriangle(check, facts, productsTooLarge, findings);
    return !productsTooLarge && !triangleBroken;
}

void checkInertiaBox(const BodyCheck& check, Findings& findings) {
    constexpr const Rule& inertiaBox = rule("inertia-box");
    const BodyOverview& body = check.body;
    if (!check.own.mass || !std::isfinite(*check.own.mass) || *check.own.mass <= 0) return;
    const auto extent = contactExtent(body);
    if (!extent || !(*extent > 0)) return;
    const double mass = *check.own.mass;
    const auto moments = principalMoments(*check.own.inertia);
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

void checkPrecisionLoss(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    const BodyOverview& body = check.body;
    if (!check.own.mass || !check.own.inertia || !body.mass || !body.inertia) return;
    const double mass = *check.own.mass;
    const InertiaTensor& tensor = *check.own.inertia;
    if (!std::isfinite(mass) || !allFinite(tensor) || !std::isfinite(*body.mass) ||
        !allFinite(*body.inertia)) {
        return;
    }
    const MassFaults own = massFaults(mass, tensor);
    const MassFaults written = massFaults(*body.mass, *body.inertia);
    if (!own.lacksAnyOf(written)) return;
    // A negative precision writes six decimals, as fixed formatting does without one.
    const int digits = context.precision() < 0 ? 6 : context.precision();
    const auto keeping = keepingPrecision(mass, tensor, own, digits + 1);
    const std::string remedy = keeping
                                   ? fmt::format("-p {} keeps it", *keeping)
                                   : "no fixed-point precision keeps it; scale the robot's units";
    findings.add(rule("precision-loss"), check.subject,
                 fmt::format("written with {} decimals, {} in the document (mass {}), though "
                             "the URDF's numbers (mass {}) are sound; {}",
                             digits, brokenText(own, written), numberText(*body.mass),
                             numberText(mass), remedy),
                 CheckContext::inertialPlace(body));
}

}  // namespace corvane::tools
