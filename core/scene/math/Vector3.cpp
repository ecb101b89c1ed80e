#include "core/scene/math/Vector3.h"

#include <cmath>

Matrix33 Matrix33::FromEuler(float az, float el, float tw) {
  return FromEulerCosSin(std::cos(az), std::sin(az), std::cos(el), std::sin(el), std::cos(tw), std::sin(tw));
}

Matrix33 Matrix33::FromEulerCosSin(float ca, float sa, float ce, float se, float ct, float st) {
  // El x Az has rows (ca, 0, -sa), (se sa, ce, se ca), (ce sa, -se, ce ca); Tw mixes the first two.
  const float sesa = se * sa, seca = se * ca;
  // clang-format off
  return {ct * ca + st * sesa, st * ce, st * seca - ct * sa,
          ct * sesa - st * ca, ct * ce, ct * seca + st * sa,
          ce * sa,             -se,     ce * ca};
  // clang-format on
}

void Matrix33::SetProductTransposed(const Matrix33& a, const Matrix33& b) {
  Matrix33 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[j][0] + a.m[i][1] * b.m[j][1] + a.m[i][2] * b.m[j][2];
    }
  }
  *this = r;
}

Matrix33 Matrix33::operator*(float s) const {
  Matrix33 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][j] * s;
  }
  return r;
}

Matrix33& Matrix33::operator/=(float s) {
  const float inv = 1.0f / s;
  for (auto& row : m) {
    for (float& v : row) v *= inv;
  }
  return *this;
}

void Matrix33::Transpose() {
  float t = m[0][1];
  m[0][1] = m[1][0];
  m[1][0] = t;
  t = m[0][2];
  m[0][2] = m[2][0];
  m[2][0] = t;
  t = m[1][2];
  m[1][2] = m[2][1];
  m[2][1] = t;
}

Matrix33 Matrix33::Transposed() const {
  return {m[0][0], m[1][0], m[2][0], m[0][1], m[1][1], m[2][1], m[0][2], m[1][2], m[2][2]};
}

float Matrix33::Determinant() const {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Matrix33 Matrix33::Inverse() const {
  Matrix33 adj(m[1][1] * m[2][2] - m[1][2] * m[2][1], m[0][2] * m[2][1] - m[0][1] * m[2][2],
               m[0][1] * m[1][2] - m[0][2] * m[1][1],  //
               m[1][2] * m[2][0] - m[1][0] * m[2][2], m[0][0] * m[2][2] - m[0][2] * m[2][0],
               m[0][2] * m[1][0] - m[0][0] * m[1][2],  //
               m[1][0] * m[2][1] - m[1][1] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1],
               m[0][0] * m[1][1] - m[0][1] * m[1][0]);
  const float det = m[0][0] * adj.m[0][0] + m[0][1] * adj.m[1][0] + m[0][2] * adj.m[2][0];
  if (det != 0.0f) adj /= det;
  return adj;
}

void Matrix33::NormalizeRows() {
  for (auto& row : m) {
    const float len = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
    if (len > 0.0f) {
      const float inv = 1.0f / len;
      row[0] *= inv;
      row[1] *= inv;
      row[2] *= inv;
    }
  }
}

bool Matrix33::operator==(const Matrix33& o) const {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (m[i][j] != o.m[i][j]) return false;
    }
  }
  return true;
}

Quaternion Quaternion::FromEuler(float az, float el, float tw) {
  return RotationAz(az) * RotationEl(el) * RotationTw(tw);
}

Quaternion Quaternion::FromMatrix(const Matrix33& mat) {
  const auto& m = mat.m;
  const float trace = m[0][0] + m[1][1] + m[2][2];
  if (trace > 0.0f) {
    const float s = std::sqrt(trace + 1.0f);
    const float h = 0.5f / s;
    return {(m[1][2] - m[2][1]) * h, (m[2][0] - m[0][2]) * h, (m[0][1] - m[1][0]) * h, s * 0.5f};
  }
  int i = m[1][1] > m[0][0] ? 1 : 0;
  if (m[2][2] > m[i][i]) i = 2;
  const int j = (i + 1) % 3;
  const int k = (j + 1) % 3;
  float q[3];
  float s = std::sqrt(m[i][i] - m[j][j] - m[k][k] + 1.0f);
  q[i] = s * 0.5f;
  if (s != 0.0f) s = 0.5f / s;
  const float w = (m[j][k] - m[k][j]) * s;
  q[j] = (m[i][j] + m[j][i]) * s;
  q[k] = (m[i][k] + m[k][i]) * s;
  return {q[0], q[1], q[2], w};
}

Quaternion Quaternion::Slerp(const Quaternion& q0, const Quaternion& q1, float t) {
  float c = q0.Dot(q1);
  Quaternion b = q1;
  if (c < 0.0f) {
    c = -c;
    b = {-q1.x, -q1.y, -q1.z, -q1.w};
  }
  float k0, k1;
  if (c <= 0.99f) {
    const float omega = std::acos(c);
    const float inv = 1.0f / std::sin(omega);
    k0 = std::sin((1.0f - t) * omega) * inv;
    k1 = std::sin(t * omega) * inv;
  } else {
    k0 = 1.0f - t;
    k1 = t;
  }
  return {q0.x * k0 + b.x * k1, q0.y * k0 + b.y * k1, q0.z * k0 + b.z * k1, q0.w * k0 + b.w * k1};
}

void Quaternion::Normalize() {
  const float len = std::sqrt(x * x + y * y + z * z + w * w);
  if (len > 0.0f) {
    const float inv = 1.0f / len;
    x *= inv;
    y *= inv;
    z *= inv;
    w *= inv;
  }
}

Matrix33 Quaternion::ToMatrix() const {
  const float xx = x * x, yy = y * y, zz = z * z;
  const float xy = x * y, xz = x * z, yz = y * z;
  const float xw = x * w, yw = y * w, zw = z * w;
  // clang-format off
  return {1 - 2 * (yy + zz), 2 * (xy + zw),     2 * (xz - yw),
          2 * (xy - zw),     1 - 2 * (xx + zz), 2 * (yz + xw),
          2 * (xz + yw),     2 * (yz - xw),     1 - 2 * (xx + yy)};
  // clang-format on
}
