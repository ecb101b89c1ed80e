#pragma once

#include <cstdint>

#include "core/geometry/CTCollisionDetector.h"
#include "core/geometry/DGjk.h"

namespace qibo::gjk {
struct Penetration;
}  // namespace qibo::gjk

// The default narrow phase: ISA-GJK on the shapes' support functions
// (CTShape::GetSupport), so it tests any pair of convex shapes. Intersection
// tests stop at the first separating axis and keep it in the pair's cache,
// so a pair that stays apart costs one support point of each shape per
// test. Contact points come from the expanding polytope on the simplex
// that found the contact.
//
// Properties: "MaxIterations" (int, 10) bounds the GJK steps of one test;
// "RelativeError" and "AbsoluteError" (doubles, 1e-6) end the search once
// the distance is known that well (relative to it, or in world units).
// Values that make no sense (a bound below 1, errors that are negative or
// not finite) are refused with a warning and the previous value stays.
class CTISAGJK : public CTCollisionDetector {
  QIBO_CLASS(CTISAGJK)

 public:
  explicit CTISAGJK(const char* name = "ISA-GJK") : CTCollisionDetector(name) {}

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;

  bool SetMaxIterations(int iterations);
  bool SetErrors(double relative, double absolute);
  const qibo::gjk::Settings& GetSettings() const { return m_settings; }

  bool CanHandle(CTShape* a, CTShape* b) override;
  bool IntersectTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                     DDetectorCache* cache) override;
  bool ContactTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb, DDetectorCache* cache,
                   Vector3& pointA, Vector3& pointB) override;
  DDetectorCache* CreateCache() override;
  void ReleaseCache(DDetectorCache* cache) override;
  bool Distance(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb, double& distance,
                Vector3* pointA, Vector3* pointB) override;
  bool Penetration(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb, Vector3& normal,
                   double& depth, Vector3* pointA, Vector3* pointB) override;

 private:
  // The deepest points of two touching shapes; false when they are apart.
  bool Contact(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb, DDetectorCache* cache,
               qibo::gjk::Penetration& contact);

  qibo::gjk::Settings m_settings;
  // The property fields; a refused write falls back to m_settings.
  int32_t m_maxIterations = 10;
  double m_relativeError = 1e-6;
  double m_absoluteError = 1e-6;
};
