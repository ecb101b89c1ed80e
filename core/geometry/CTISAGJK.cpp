#include "core/geometry/CTISAGJK.h"

#include <cmath>

#include "core/geometry/CTShape.h"
#include "core/geometry/DEpa.h"
#include "core/kernel/Logging.h"

QIBO_IMPLEMENT_CLASS(CTISAGJK, CTCollisionDetector, .desc = "ISA-GJK Collision Detector")

namespace {

// The separating axis of the last test of a pair, or the direction of its
// closest points while they touched: the next test starts from it.
struct GjkCache final : DDetectorCache {
  DVec3 axis;
};

DVec3 CachedAxis(DDetectorCache* cache) {
  auto* own = dynamic_cast<GjkCache*>(cache);
  return own ? own->axis : DVec3();
}

void KeepAxis(DDetectorCache* cache, const DVec3& axis) {
  auto* own = dynamic_cast<GjkCache*>(cache);
  if (own && axis.IsFinite()) own->axis = axis;
}

}  // namespace

void CTISAGJK::DoAddProperties() {
  CTCollisionDetector::DoAddProperties();
  const ClassDesc* cd = CTISAGJK::_CD();
  AddProperty(DProperty(m_maxIterations, "MaxIterations"), cd);
  AddProperty(DProperty(m_relativeError, "RelativeError"), cd);
  AddProperty(DProperty(m_absoluteError, "AbsoluteError"), cd);
}

void CTISAGJK::OnPropertyChanged(DProperty& property) {
  if (property.ID() == &m_maxIterations) {
    if (!SetMaxIterations(m_maxIterations)) m_maxIterations = m_settings.maxIterations;
  } else if (property.ID() == &m_relativeError || property.ID() == &m_absoluteError) {
    if (!SetErrors(m_relativeError, m_absoluteError)) {
      m_relativeError = m_settings.relativeError;
      m_absoluteError = m_settings.absoluteError;
    }
  }
  CTCollisionDetector::OnPropertyChanged(property);
}

bool CTISAGJK::SetMaxIterations(int iterations) {
  if (iterations < 1) {
    qiBO_Warning(
        QIBO_String::Format("%s: MaxIterations %d refused (at least 1)", GetName(), iterations).c_str(),
        this);
    return false;
  }
  m_settings.maxIterations = m_maxIterations = iterations;
  return true;
}

bool CTISAGJK::SetErrors(double relative, double absolute) {
  if (!(relative >= 0.0) || !(absolute >= 0.0) || !std::isfinite(relative) || !std::isfinite(absolute)) {
    qiBO_Warning(
        QIBO_String::Format("%s: errors %g (relative), %g (absolute) refused", GetName(), relative, absolute)
            .c_str(),
        this);
    return false;
  }
  m_settings.relativeError = m_relativeError = relative;
  m_settings.absoluteError = m_absoluteError = absolute;
  return true;
}

bool CTISAGJK::CanHandle(CTShape* a, CTShape* b) { return a && b && a->IsConvex() && b->IsConvex(); }

DDetectorCache* CTISAGJK::CreateCache() { return new GjkCache(); }

void CTISAGJK::ReleaseCache(DDetectorCache* cache) { delete cache; }

bool CTISAGJK::IntersectTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                             DDetectorCache* cache) {
  DSupportMap mapA, mapB;
  if (!mapA.Set(a, ta) || !mapB.Set(b, tb)) return false;
  DVec3 axis = CachedAxis(cache);
  const bool touching = qibo::gjk::Intersect(mapA, mapB, m_settings, axis);
  KeepAxis(cache, axis);
  return touching;
}

bool CTISAGJK::Contact(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                       DDetectorCache* cache, qibo::gjk::Penetration& contact) {
  DSupportMap mapA, mapB;
  if (!mapA.Set(a, ta) || !mapB.Set(b, tb)) return false;
  DVec3 axis = CachedAxis(cache);
  qibo::gjk::Simplex simplex;
  const bool touching = qibo::gjk::Intersect(mapA, mapB, m_settings, axis, &simplex);
  KeepAxis(cache, axis);
  if (!touching) return false;
  if (qibo::gjk::Penetrate(mapA, mapB, m_settings, simplex, contact)) return true;
  // They only graze: a contact of no depth at the closest points.
  qibo::gjk::Result closest;
  if (!qibo::gjk::Distance(mapA, mapB, m_settings, axis, closest)) return false;
  contact.depth = 0.0;
  contact.pointA = closest.pointA;
  contact.pointB = closest.pointB;
  const DVec3 between = closest.pointB - closest.pointA;
  const DVec3 fallback = axis.Length2() > 0.0 ? -axis : DVec3(0.0, -1.0, 0.0);
  const DVec3 direction = between.Length2() > 0.0 ? between : fallback;
  const double length = direction.Length();
  contact.normal = length > 0.0 && std::isfinite(length) ? direction * (1.0 / length) : DVec3(0.0, -1.0, 0.0);
  return contact.pointA.IsFinite() && contact.pointB.IsFinite();
}

bool CTISAGJK::ContactTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                           DDetectorCache* cache, Vector3& pointA, Vector3& pointB) {
  qibo::gjk::Penetration contact;
  if (!Contact(a, ta, b, tb, cache, contact)) return false;
  const Vector3 deepestA = contact.pointA.ToVector3(), deepestB = contact.pointB.ToVector3();
  if (!qibo::IsFinite(deepestA) || !qibo::IsFinite(deepestB)) return false;
  pointA = deepestA;
  pointB = deepestB;
  return true;
}

bool CTISAGJK::Penetration(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                           Vector3& normal, double& depth, Vector3* pointA, Vector3* pointB) {
  qibo::gjk::Penetration contact;
  if (!Contact(a, ta, b, tb, nullptr, contact)) return false;
  const Vector3 deepestA = contact.pointA.ToVector3(), deepestB = contact.pointB.ToVector3();
  if (!qibo::IsFinite(deepestA) || !qibo::IsFinite(deepestB)) return false;
  normal = contact.normal.ToVector3();
  depth = contact.depth;
  if (pointA) *pointA = deepestA;
  if (pointB) *pointB = deepestB;
  return true;
}

bool CTISAGJK::Distance(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb, double& distance,
                        Vector3* pointA, Vector3* pointB) {
  DSupportMap mapA, mapB;
  if (!mapA.Set(a, ta) || !mapB.Set(b, tb)) return false;
  qibo::gjk::Result result;
  if (!qibo::gjk::Distance(mapA, mapB, m_settings, DVec3(), result)) return false;
  const Vector3 closestA = result.pointA.ToVector3(), closestB = result.pointB.ToVector3();
  if (!std::isfinite(result.distance) || !qibo::IsFinite(closestA) || !qibo::IsFinite(closestB)) return false;
  distance = result.distance;
  if (pointA) *pointA = closestA;
  if (pointB) *pointB = closestB;
  return true;
}
