#include "core/geometry/DSupportMap.h"

#include "core/geometry/CTShape.h"

bool DSupportMap::Set(CTShape* shape, const DTransform& world) {
  m_shape = nullptr;
  if (!shape) return false;
  // Shape transform, then world transform: p S + s, then (.) W + w.
  const DTransform& own = shape->GetTransform();
  const bool ownLinear = own.UpdateTotalMatrix();
  const bool worldLinear = world.UpdateTotalMatrix();
  Matrix33 m;
  if (ownLinear && worldLinear)
    m = own._TotalMatrix() * world._TotalMatrix();
  else if (ownLinear)
    m = own._TotalMatrix();
  else if (worldLinear)
    m = world._TotalMatrix();
  const Vector3 origin = own.HasPosition() ? own.GetPosition() : Vector3();
  const Vector3 t = world.TransformPoint(origin);
  double check = t.x + t.y + t.z;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      m_m[i][j] = m.m[i][j];
      check += m_m[i][j];
    }
  if (!std::isfinite(check)) return false;
  m_t = DVec3(t);
  m_shape = shape;
  return true;
}

DVec3 DSupportMap::Support(const DVec3& d) const {
  // The direction in shape space is M d (a column vector); its length does
  // not matter to a support mapping, but shapes treat tiny directions as
  // none (a sphere answers its centre), so it is handed over at unit length.
  DVec3 local(m_m[0][0] * d.x + m_m[0][1] * d.y + m_m[0][2] * d.z,
              m_m[1][0] * d.x + m_m[1][1] * d.y + m_m[1][2] * d.z,
              m_m[2][0] * d.x + m_m[2][1] * d.y + m_m[2][2] * d.z);
  const double length = local.Length();
  local = length > 0.0 && std::isfinite(length) ? local * (1.0 / length) : DVec3(1.0, 0.0, 0.0);
  const DVec3 s(m_shape->GetSupport(local.ToVector3()));
  return DVec3(s.x * m_m[0][0] + s.y * m_m[1][0] + s.z * m_m[2][0] + m_t.x,
               s.x * m_m[0][1] + s.y * m_m[1][1] + s.z * m_m[2][1] + m_t.y,
               s.x * m_m[0][2] + s.y * m_m[1][2] + s.z * m_m[2][2] + m_t.z);
}

void DSupportMap::Bounds(DVec3& low, DVec3& high) const {
  high = DVec3(Support(DVec3(1, 0, 0)).x, Support(DVec3(0, 1, 0)).y, Support(DVec3(0, 0, 1)).z);
  low = DVec3(Support(DVec3(-1, 0, 0)).x, Support(DVec3(0, -1, 0)).y, Support(DVec3(0, 0, -1)).z);
}
