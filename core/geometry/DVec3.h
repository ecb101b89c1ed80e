#pragma once

#include <cmath>

#include "core/scene/math/Vector3.h"

namespace qibo {

// Whether all three components are finite numbers.
inline bool IsFinite(const Vector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace qibo

// A double-precision vector for the narrow phase. GJK's termination tests
// compare squared lengths whose difference single precision loses long
// before the answer is as close as the detector's tolerances ask.
struct DVec3 {
  double x = 0.0, y = 0.0, z = 0.0;

  constexpr DVec3() = default;
  constexpr DVec3(double vx, double vy, double vz) : x(vx), y(vy), z(vz) {}
  explicit DVec3(const Vector3& v) : x(v.x), y(v.y), z(v.z) {}

  double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  DVec3 operator+(const DVec3& v) const { return {x + v.x, y + v.y, z + v.z}; }
  DVec3 operator-(const DVec3& v) const { return {x - v.x, y - v.y, z - v.z}; }
  DVec3 operator-() const { return {-x, -y, -z}; }
  DVec3 operator*(double s) const { return {x * s, y * s, z * s}; }
  DVec3& operator+=(const DVec3& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
  }
  double Dot(const DVec3& v) const { return x * v.x + y * v.y + z * v.z; }
  DVec3 Cross(const DVec3& v) const { return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x}; }
  double Length2() const { return x * x + y * y + z * z; }
  double Length() const { return std::sqrt(Length2()); }
  bool IsFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }
  Vector3 ToVector3() const { return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)}; }
};
