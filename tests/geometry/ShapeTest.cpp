// Shapes as bounding volumes: the frustum test's clip mask and the choice of
// bounding volume (each primitive's own tests are in ShapesTest.cpp).

#include <gtest/gtest.h>

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTBox.h"
#include "core/geometry/CTSphere.h"
#include "core/object/Ref.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/math/DFrustum.h"

namespace {

// A shape that cannot answer half-space tests.
class MuteShape : public CTShape {
 public:
  intersect_t CheckWithHalfspace(const Plane3&, const DTransform*) override { return kIntersectUnknown; }
};

}  // namespace

// The clip mask: planes a shape is wholly inside are dropped, a shape
// outside one plane is culled, one that cannot tell is retested below.
TEST(ShapeTest, FrustumTestKeepsTheClipMask) {
  DFrustum frustum(3);
  frustum[0] = {Vector3(1, 0, 0), 5};     // x <= 5
  frustum[1] = {Vector3(-1, 0, 0), 5};    // x >= -5
  frustum[2] = {Vector3(0, 0, 1), 0.5f};  // z <= 0.5
  CTSphere sphere;                        // radius 0.5
  DTransform at;
  struct Case {
    Vector3 where;
    uint32_t clipIn;
    intersect_t expected;
    uint32_t clipOut;
  } cases[] = {
      {Vector3(0, 0, -5), qibo::kClipAll, kIntersectInside, qibo::kClipNone},
      {Vector3(0, 0, 0.4f), qibo::kClipAll, kIntersectPartly, 0x4},
      {Vector3(9, 0, 0), qibo::kClipAll, kIntersectOutside, qibo::kClipOutside},
      {Vector3(9, 0, 0), 0x6, kIntersectInside, qibo::kClipNone},  // plane 0 already passed
      {Vector3(9, 0, 0), qibo::kClipNone, kIntersectInside, qibo::kClipNone},
  };
  for (const Case& c : cases) {
    at.MoveTo(c.where);
    uint32_t clip = c.clipIn;
    EXPECT_EQ(sphere.CheckAgainstFrustum(frustum, &at, &clip), c.expected) << c.where.x << " " << c.where.z;
    EXPECT_EQ(clip, c.clipOut);
  }
  MuteShape mute;
  uint32_t clip = 0x7;
  EXPECT_EQ(mute.CheckAgainstFrustum(frustum, nullptr, &clip), kIntersectUnknown);
  EXPECT_EQ(clip, qibo::kClipAll);
}

TEST(ShapeTest, BoundingVolumeIsTheSmallerEnclosingShape) {
  Ref<CTBox> box = qibo::Create<CTBox>();
  box->SetDimensions(Vector3(4, 1, 1));
  EXPECT_EQ(box->GetBoundingVolume().Get(), box.Get());  // a box is its own
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  sphere->SetRadius(2);
  Ref<CTShape> volume = sphere->GetBoundingVolume();
  // Box 4x4x4 = 64 against a sphere of radius sqrt(12) (about 174): the box.
  ASSERT_NE(qibo::Cast<CTBBox>(volume.Get()), nullptr);
  EXPECT_EQ(static_cast<CTBox*>(volume.Get())->GetDimensions(), Vector3(4, 4, 4));
  Ref<CTShape> copy(box->Copy());
  EXPECT_STREQ(copy->GetName(), "Copy of Cube");
}
