#pragma once

// A plain double-precision reference for the transform tests: explicit 3x3 matrices built
// straight from the engine's conventions (row vectors, p' = p x M + t, total = D x R).

#include <gtest/gtest.h>

#include <cmath>

#include "core/scene/math/DTransform.h"
#include "core/scene/math/Vector3.h"

namespace qibo::test {

struct DVec {
  double x = 0, y = 0, z = 0;
  DVec operator+(const DVec& o) const { return {x + o.x, y + o.y, z + o.z}; }
  DVec operator-(const DVec& o) const { return {x - o.x, y - o.y, z - o.z}; }
};

struct DMat {
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  static DMat Diag(double a, double b, double c) {
    DMat r;
    r.m[0][0] = a;
    r.m[1][1] = b;
    r.m[2][2] = c;
    return r;
  }
  static DMat Az(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {{{c, 0, -s}, {0, 1, 0}, {s, 0, c}}};
  }
  static DMat El(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {{{1, 0, 0}, {0, c, s}, {0, -s, c}}};
  }
  static DMat Tw(double a) {
    const double c = std::cos(a), s = std::sin(a);
    return {{{c, s, 0}, {-s, c, 0}, {0, 0, 1}}};
  }
  static DMat Euler(double az, double el, double tw) { return Tw(tw) * El(el) * Az(az); }
  // Row-vector matrix of the unit quaternion (x, y, z, w).
  static DMat FromQuat(double x, double y, double z, double w) {
    return {{{1 - 2 * y * y - 2 * z * z, 2 * x * y + 2 * z * w, 2 * x * z - 2 * y * w},
             {2 * x * y - 2 * z * w, 1 - 2 * x * x - 2 * z * z, 2 * y * z + 2 * x * w},
             {2 * x * z + 2 * y * w, 2 * y * z - 2 * x * w, 1 - 2 * x * x - 2 * y * y}}};
  }
  static DMat From(const Matrix33& f) {
    DMat r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r.m[i][j] = f.m[i][j];
    }
    return r;
  }
  Matrix33 ToFloat() const {
    Matrix33 r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(m[i][j]);
    }
    return r;
  }

  DMat operator*(const DMat& b) const {
    DMat r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
    }
    return r;
  }
  DMat operator*(double s) const {
    DMat r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][j] * s;
    }
    return r;
  }
  DMat Transposed() const {
    DMat r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[j][i];
    }
    return r;
  }
  double Cofactor(int i, int j) const {
    const int r0 = (i + 1) % 3, r1 = (i + 2) % 3, c0 = (j + 1) % 3, c1 = (j + 2) % 3;
    return m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
  }
  DMat Adjugate() const {
    DMat r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r.m[j][i] = Cofactor(i, j);
    }
    return r;
  }
  double Det() const {
    return m[0][0] * Cofactor(0, 0) + m[0][1] * Cofactor(0, 1) + m[0][2] * Cofactor(0, 2);
  }
  DMat Inverse() const { return Adjugate() * (1.0 / Det()); }
};

inline DVec operator*(const DVec& v, const DMat& a) {
  return {v.x * a.m[0][0] + v.y * a.m[1][0] + v.z * a.m[2][0],
          v.x * a.m[0][1] + v.y * a.m[1][1] + v.z * a.m[2][1],
          v.x * a.m[0][2] + v.y * a.m[1][2] + v.z * a.m[2][2]};
}

inline DVec ToD(const Vector3& v) { return {v.x, v.y, v.z}; }
inline Vector3 ToF(const DVec& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// An affine map p x lin + pos.
struct DAffine {
  DMat lin;
  DVec pos;
  DVec operator()(const DVec& p) const { return p * lin + pos; }
  // Applies this map first, then `outer`.
  DAffine Then(const DAffine& outer) const { return {lin * outer.lin, pos * outer.lin + outer.pos}; }
  DAffine Inverse() const {
    const DMat inv = lin.Inverse();
    return {inv, DVec{-pos.x, -pos.y, -pos.z} * inv};
  }
};

// Absolute tolerance scaled by the magnitude of the expected value.
inline ::testing::AssertionResult Near(const DVec& expected, const Vector3& actual, double tol) {
  const double scale = 1.0 + std::fabs(expected.x) + std::fabs(expected.y) + std::fabs(expected.z);
  if (std::fabs(expected.x - actual.x) <= tol * scale && std::fabs(expected.y - actual.y) <= tol * scale &&
      std::fabs(expected.z - actual.z) <= tol * scale) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "expected (" << expected.x << ", " << expected.y << ", " << expected.z << ") got (" << actual.x
         << ", " << actual.y << ", " << actual.z << ")";
}

inline ::testing::AssertionResult Near(const DMat& expected, const Matrix33& actual, double tol) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (!(std::fabs(expected.m[i][j] - actual.m[i][j]) <= tol * (1.0 + std::fabs(expected.m[i][j])))) {
        return ::testing::AssertionFailure() << "element [" << i << "][" << j << "] expected "
                                             << expected.m[i][j] << " got " << actual.m[i][j];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A transform whose every cache is filled: Euler source with all three
// angles, uniform scale, position, and all derived values computed.
inline DTransform FullyDerived() {
  DTransform t;
  t.SetEuler(0.3, -0.4, 0.5);
  t.ScaleTo(2.0);
  t.MoveTo(Vector3(1, 2, 3));
  t.GetRotationMatrix();
  t.GetQuaternion();
  t.GetDeformationMatrix();
  t.GetTotalMatrix();
  t.GetInverseMatrix();
  return t;
}

}  // namespace qibo::test
