#pragma once

#include "core/object/CTInterface.h"
#include "core/scene/math/DTransform.h"

class CTShape;

// What a detector keeps of one pair from one test to the next (frame to
// frame coherence). Made and released by the detector that uses it.
struct DDetectorCache {
  virtual ~DDetectorCache() = default;
};

// The narrow phase of the collision service: tests of two convex shapes,
// each placed by its shape transform and then by the world transform
// passed with it (the owning entity's). Detectors are found by class name;
// the service uses the first that can handle a pair.
//
// A placement or support point that is not finite answers "no contact"
// (false); a detector never hands back a point that is not finite.
class CTCollisionDetector : public CTInterface {
  QIBO_CLASS(CTCollisionDetector)

 public:
  explicit CTCollisionDetector(const char* name = nullptr) : CTInterface(name) {}

  // Whether this detector can test the two shapes.
  virtual bool CanHandle(CTShape* a, CTShape* b) = 0;
  // True when the placed shapes touch or overlap. cache may be null.
  virtual bool IntersectTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                             DDetectorCache* cache) = 0;
  // The same, also giving a contact point on each shape (world space):
  // the deepest point of each inside the other.
  virtual bool ContactTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                           DDetectorCache* cache, Vector3& pointA, Vector3& pointB) = 0;
  virtual DDetectorCache* CreateCache() = 0;
  virtual void ReleaseCache(DDetectorCache* cache) = 0;
  // The distance of the placed shapes (0 when they touch) and, when asked,
  // their closest points. False when it cannot be computed.
  virtual bool Distance(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb, double& distance,
                        Vector3* pointA, Vector3* pointB) = 0;
  // For shapes that touch: the unit normal from A towards B and the depth
  // by which A moved along -normal would part them, and the deepest points.
  // False when the shapes are apart (or nothing can be computed).
  virtual bool Penetration(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                           Vector3& normal, double& depth, Vector3* pointA, Vector3* pointB) = 0;
};
