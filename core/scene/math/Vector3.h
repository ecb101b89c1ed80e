#pragma once

// The engine's small value types: Vector3, Matrix33 and Quaternion.
//
// Conventions used everywhere in the engine:
// - points and directions are row vectors multiplied on the left: p' = p x M;
// - Matrix33 is row-major, m[row][column];
// - axes are left-handed: X right, Y up, Z forward; angles are radians;
// - a quaternion (x, y, z, w) maps to the row-vector matrix given in
//   Quaternion::ToMatrix, so matrix(q x r) = matrix(r) x matrix(q).

#include <cmath>

namespace qibo {

// One tolerance decides every is-zero, is-one and equality test in the geometry code.
inline constexpr float kEpsilon = 1e-5f;

}  // namespace qibo

struct Vector3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  constexpr Vector3() = default;
  constexpr Vector3(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}

  void Set(float vx, float vy, float vz) {
    x = vx;
    y = vy;
    z = vz;
  }

  float& operator[](int i) { return (&x)[i]; }
  float operator[](int i) const { return (&x)[i]; }

  Vector3 operator+(const Vector3& v) const { return {x + v.x, y + v.y, z + v.z}; }
  Vector3 operator-(const Vector3& v) const { return {x - v.x, y - v.y, z - v.z}; }
  Vector3 operator-() const { return {-x, -y, -z}; }
  Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }
  Vector3 operator/(float s) const { return {x / s, y / s, z / s}; }
  Vector3& operator+=(const Vector3& v) {
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
  }
  Vector3& operator-=(const Vector3& v) {
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
  }
  Vector3& operator*=(float s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
  bool operator==(const Vector3& v) const { return x == v.x && y == v.y && z == v.z; }

  float Dot(const Vector3& v) const { return x * v.x + y * v.y + z * v.z; }
  Vector3 Cross(const Vector3& v) const { return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x}; }
  float SquaredLength() const { return x * x + y * y + z * z; }
  float Length() const { return std::sqrt(SquaredLength()); }

  // Scales to unit length and returns the old length; a zero vector stays zero.
  float Normalize() {
    const float len = Length();
    if (len > 0.0f) {
      const float inv = 1.0f / len;
      x *= inv;
      y *= inv;
      z *= inv;
    }
    return len;
  }
  Vector3 Normalized() const {
    Vector3 v = *this;
    v.Normalize();
    return v;
  }
};

inline Vector3 operator*(float s, const Vector3& v) { return v * s; }

struct Matrix33 {
  float m[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

  constexpr Matrix33() = default;
  constexpr Matrix33(float m00, float m01, float m02, float m10, float m11, float m12, float m20, float m21,
                     float m22)
      : m{{m00, m01, m02}, {m10, m11, m12}, {m20, m21, m22}} {}

  static constexpr Matrix33 Identity() { return Matrix33(); }
  static constexpr Matrix33 Diagonal(float a, float b, float c) { return {a, 0, 0, 0, b, 0, 0, 0, c}; }
  static Matrix33 FromRows(const Vector3& r0, const Vector3& r1, const Vector3& r2) {
    return {r0.x, r0.y, r0.z, r1.x, r1.y, r1.z, r2.x, r2.y, r2.z};
  }
  // Single-axis rotations from the angle's cosine and sine (left-handed, row vectors).
  static constexpr Matrix33 AzFromCosSin(float c, float s) { return {c, 0, -s, 0, 1, 0, s, 0, c}; }
  static constexpr Matrix33 ElFromCosSin(float c, float s) { return {1, 0, 0, 0, c, s, 0, -s, c}; }
  static constexpr Matrix33 TwFromCosSin(float c, float s) { return {c, s, 0, -s, c, 0, 0, 0, 1}; }
  static Matrix33 RotationAz(float a) { return AzFromCosSin(std::cos(a), std::sin(a)); }
  static Matrix33 RotationEl(float a) { return ElFromCosSin(std::cos(a), std::sin(a)); }
  static Matrix33 RotationTw(float a) { return TwFromCosSin(std::cos(a), std::sin(a)); }
  // Tw(tw) x El(el) x Az(az) in closed form.
  static Matrix33 FromEuler(float az, float el, float tw);
  static Matrix33 FromEulerCosSin(float ca, float sa, float ce, float se, float ct, float st);

  void SetIdentity() { *this = Matrix33(); }

  Vector3 Row(int i) const { return {m[i][0], m[i][1], m[i][2]}; }
  void SetRow(int i, const Vector3& v) {
    m[i][0] = v.x;
    m[i][1] = v.y;
    m[i][2] = v.z;
  }
  Vector3& RowRef(int i) { return *reinterpret_cast<Vector3*>(m[i]); }
  const Vector3& RowRef(int i) const { return *reinterpret_cast<const Vector3*>(m[i]); }

  // v x M (row vector times matrix).
  Vector3 Transform(const Vector3& v) const {
    return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
            v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
  }
  // v x transpose(M), which is M x v as a column vector.
  Vector3 TransformTransposed(const Vector3& v) const {
    return {v.x * m[0][0] + v.y * m[0][1] + v.z * m[0][2], v.x * m[1][0] + v.y * m[1][1] + v.z * m[1][2],
            v.x * m[2][0] + v.y * m[2][1] + v.z * m[2][2]};
  }

  // this = a x b and this = a x transpose(b); both are safe when this aliases a or b.
  void SetProduct(const Matrix33& a, const Matrix33& b) { *this = a * b; }
  void SetProductTransposed(const Matrix33& a, const Matrix33& b);

  Matrix33 operator*(const Matrix33& b) const {
    Matrix33 r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
      }
    }
    return r;
  }
  Matrix33& operator*=(const Matrix33& n) { return *this = *this * n; }
  // this = this x transpose(n).
  Matrix33& MultiplyTransposed(const Matrix33& n) {
    SetProductTransposed(*this, n);
    return *this;
  }
  Matrix33 operator*(float s) const;
  Matrix33& operator/=(float s);

  void Transpose();
  Matrix33 Transposed() const;

  float Determinant() const;
  // Adjugate divided by the determinant; a determinant of exactly 0 yields the unscaled adjugate.
  Matrix33 Inverse() const;
  void Invert() { *this = Inverse(); }

  // Scales each row to unit length; zero rows stay zero.
  void NormalizeRows();

  bool operator==(const Matrix33& o) const;
};

inline Vector3 operator*(const Vector3& v, const Matrix33& m) { return m.Transform(v); }

struct Quaternion {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 1.0f;

  constexpr Quaternion() = default;
  constexpr Quaternion(float qx, float qy, float qz, float qw) : x(qx), y(qy), z(qz), w(qw) {}

  static constexpr Quaternion Identity() { return Quaternion(); }
  // Single-axis rotations: Az about Y, El about X, Tw about Z.
  static Quaternion RotationAz(float a) { return {0.0f, std::sin(a * 0.5f), 0.0f, std::cos(a * 0.5f)}; }
  static Quaternion RotationEl(float a) { return {std::sin(a * 0.5f), 0.0f, 0.0f, std::cos(a * 0.5f)}; }
  static Quaternion RotationTw(float a) { return {0.0f, 0.0f, std::sin(a * 0.5f), std::cos(a * 0.5f)}; }
  // qAz x qEl x qTw, whose matrix is Tw x El x Az.
  static Quaternion FromEuler(float az, float el, float tw);
  static Quaternion FromMatrix(const Matrix33& m);
  // Spherical interpolation along the shorter arc; nearly parallel inputs
  // (cosine above 0.99) are interpolated linearly and not renormalised.
  static Quaternion Slerp(const Quaternion& q0, const Quaternion& q1, float t);

  void SetIdentity() { *this = Quaternion(); }
  float Dot(const Quaternion& q) const { return x * q.x + y * q.y + z * q.z + w * q.w; }
  void Normalize();

  // Hamilton product this x r (r is applied first in column convention).
  Quaternion operator*(const Quaternion& r) const {
    return {w * r.x + x * r.w + y * r.z - z * r.y, w * r.y - x * r.z + y * r.w + z * r.x,
            w * r.z + x * r.y - y * r.x + z * r.w, w * r.w - x * r.x - y * r.y - z * r.z};
  }
  Quaternion& operator*=(const Quaternion& r) { return *this = *this * r; }

  Matrix33 ToMatrix() const;
  void SetFromMatrix(const Matrix33& m) { *this = FromMatrix(m); }
  void SetFromEuler(float az, float el, float tw) { *this = FromEuler(az, el, tw); }
};
