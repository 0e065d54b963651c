#include "corvane/Math.hpp"

#include <cmath>

namespace corvane::Math {

std::shared_ptr<Vec3> Vec3::from_xyz(double x, double y, double z) {
    return std::make_shared<Vec3>(x, y, z);
}

std::shared_ptr<Vec3> Vec3::get_orthogonal_unit_vector() const {
    const double ax = std::fabs(x_);
    const double ay = std::fabs(y_);
    const double az = std::fabs(z_);
    // Crossing with the axis of the smallest component keeps the result well away from zero.
    double cx = 0.0;
    double cy = 0.0;
    double cz = 0.0;
    if (ax <= ay && ax <= az) {  // this x (1, 0, 0)
        cy = z_;
        cz = -y_;
    } else if (ay <= az) {  // this x (0, 1, 0)
        cx = -z_;
        cz = x_;
    } else {  // this x (0, 0, 1)
        cx = y_;
        cy = -x_;
    }
    const double length = std::sqrt(cx * cx + cy * cy + cz * cz);
    // Every unit vector is orthogonal to the zero vector; a non-finite input gives NaNs.
    if (length == 0.0) return std::make_shared<Vec3>(0.0, 1.0, 0.0);
    return std::make_shared<Vec3>(cx / length, cy / length, cz / length);
}

}  // namespace corvane::Math
