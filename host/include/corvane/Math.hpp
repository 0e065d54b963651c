// Small vector arithmetic of the host.
#pragma once

#include <memory>

namespace corvane::Math {

class Vec3 {
  public:
    Vec3(double x, double y, double z) : x_(x), y_(y), z_(z) {}

    static std::shared_ptr<Vec3> from_xyz(double x, double y, double z);

    // A unit vector orthogonal to this one, the same for the same input: the cross product with
    // the coordinate axis along which this vector has its smallest magnitude (the first such axis
    // on ties), normalised.
    std::shared_ptr<Vec3> get_orthogonal_unit_vector() const;

    double x() const { return x_; }
    double y() const { return y_; }
    double z() const { return z_; }

  private:
    double x_;
    double y_;
    double z_;
};

}  // namespace corvane::Math
