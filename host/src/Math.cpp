#include "corvane/Math.hpp"

#include <algorithm>
#include <cmath>

namespace corvane::Math {

std::shared_ptr<Vec3> Vec3::from_xyz(double x, double y, double z) {
    return std::make_shared<Vec3>(x, y, z);
}

std::shared_ptr<Vec3> Vec3::get_orthogonal_unit_vector() const {
    // Worked on the vector scaled to a largest component of magnitude 1, so that the squares below
    // neither underflow for very short vectors nor overflow for very long ones.
    const double scale = std::max({std::fabs(x_), std::fabs(y_), std::fabs(z_)});
    // Every unit vector is orthogonal to the zero vector.
    if (scale == 0.0) return std::make_shared<Vec3>(0.0, 1.0, 0.0);
    const double x = x_ / scale;
    const double y = y_ / scale;
    const double z = z_ / scale;
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    const double az = std::fabs(z);
    // Crossing with the axis of the smallest component keeps the result well away from zero: its
    // length is at least 1, as it keeps the largest component. A non-finite input has no
    // meaningful answer and yields what the arithmetic gives.
    double cx = 0.0;
    double cy = 0.0;
    double cz = 0.0;
    if (ax <= ay && ax <= az) {  // this x (1, 0, 0)
        cy = z;
        cz = -y;
    } else if (ay <= az) {  // this x (0, 1, 0)
        cx = -z;
        cz = x;
    } else {  // this x (0, 0, 1)
        cx = y;
        cy = -x;
    }
    const double length = std::sqrt(cx * cx + cy * cy + cz * cz);
    // Adding 0.0 turns a negative zero into zero, so an exact zero is always written as one.
    return std::make_shared<Vec3>(cx / length + 0.0, cy / length + 0.0, cz / length + 0.0);
}

}  // namespace corvane::Math
