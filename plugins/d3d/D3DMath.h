#pragma once

#include "core/scene/math/DTransform.h"

namespace qibo::d3d {

// Matrices are 16 floats, row after row, for row vectors (p' = p x M).
inline void SetIdentity(float m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// The transform as a matrix: the linear part in the top three rows, the
// position in the fourth.
inline void FromTransform(const DTransform& t, float m[16]) {
  SetIdentity(m);
  if (t.UpdateTotalMatrix()) {
    const Matrix33& total = t.GetTotalMatrix();
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) m[r * 4 + c] = total.m[r][c];
  }
  const Vector3& p = t.GetPosition();
  if (t.HasPosition()) {
    m[12] = p.x;
    m[13] = p.y;
    m[14] = p.z;
  }
}

// p x M for a point, the fourth component dropped.
inline Vector3 TransformPoint(const float m[16], const Vector3& p) {
  return Vector3(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                 p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]);
}

}  // namespace qibo::d3d
