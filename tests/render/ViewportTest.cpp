#include <gtest/gtest.h>

#include "core/geometry/CTBox.h"
#include "core/render/DViewport.h"
#include "core/scene/CTCamera.h"
#include "tests/render/RenderFixture.h"

namespace qibo::test {
namespace {

class ViewportTest : public RenderFixture {
 protected:
  void SetUp() override {
    RenderFixture::SetUp();
    m_target = Make<TestTarget>();
    m_target->Show();
  }
  void TearDown() override {
    m_viewport.SetDevice(nullptr);
    RenderFixture::TearDown();
  }

  TestTarget* m_target = nullptr;
  DViewport m_viewport;
};

struct RectCase {
  const char* name;
  void (*setup)(DViewport&);
  int device[4];    // left, top, right, bottom
  float unit[4];    // x min, y min, x max, y max
  float camera[4];  // h min, v min, h max, v max
};

const RectCase kRects[] = {
    {"default", [](DViewport&) {}, {-320, -240, 320, 240}, {-1, -1, 1, 1}, {-1, -0.75f, 1, 0.75f}},
    {"normalised rectangle ordered and clamped",
     [](DViewport& v) { v.SetViewportRect(0.5f, 0, -0.5f, 2); },
     {-160, 0, 160, 240},
     {-0.5f, 0, 0.5f, 1},
     {-1, -0.75f, 1, 0.75f}},
    {"horizontal range given",
     [](DViewport& v) { v.SetHorCameraRect(1, -1); },
     {-320, -240, 320, 240},
     {-1, -1, 1, 1},
     {-1, -0.75f, 1, 0.75f}},
    {"vertical range given",
     [](DViewport& v) { v.SetVerCameraRect(-1, 1); },
     {-320, -240, 320, 240},
     {-1, -1, 1, 1},
     {-4.0f / 3, -1, 4.0f / 3, 1}},
    {"both ranges given",
     [](DViewport& v) { v.SetCameraRect(-0.5f, -0.25f, 0.5f, 0.25f); },
     {-320, -240, 320, 240},
     {-1, -1, 1, 1},
     {-0.5f, -0.25f, 0.5f, 0.25f}},
};

TEST_F(ViewportTest, Rectangles_FollowFromEachOtherAndTheAspect) {
  for (const RectCase& c : kRects) {
    SCOPED_TRACE(c.name);
    DViewport viewport;
    viewport.SetDevice(m_target);
    c.setup(viewport);
    int device[4] = {};
    ASSERT_TRUE(viewport.GetDeviceRect(device[0], device[1], device[2], device[3]));
    float unit[4];
    viewport.GetViewportRect(unit[0], unit[1], unit[2], unit[3]);
    ASSERT_TRUE(viewport.UpdateCameraRect());
    float camera[4];
    viewport.GetCameraRect(camera[0], camera[1], camera[2], camera[3]);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(device[i], c.device[i]) << i;
      EXPECT_NEAR(unit[i], c.unit[i], 1e-6f) << i;
      EXPECT_NEAR(camera[i], c.camera[i], 1e-5f) << i;
    }
    viewport.SetDevice(nullptr);
  }
}

TEST_F(ViewportTest, CameraRect_NeedsAVisibleTargetWithAnAspect) {
  m_viewport.SetHorCameraRect(-1, 1);
  EXPECT_FALSE(m_viewport.UpdateCameraRect());  // no target
  m_viewport.SetDevice(m_target);
  m_target->Close();
  EXPECT_FALSE(m_viewport.UpdateCameraRect());  // not visible
  m_target->Show();
  m_target->m_height = 0;
  EXPECT_EQ(m_target->GetAspectRatio(), 0.0);
  EXPECT_FALSE(m_viewport.UpdateCameraRect());
  m_target->m_height = 480;
  EXPECT_TRUE(m_viewport.UpdateCameraRect());
}

// A 90-degree camera at place, looking along look, clipping at 1 and 100,
// on the 640 x 480 target: 45 degrees to either side, atan(0.75) up and
// down.
struct CullCase {
  const char* name;
  Vector3 place;
  Vector3 look;
  Vector3 point;
  bool inside;
};

const CullCase kPoints[] = {
    {"ahead", {0, 0, 0}, {0, 0, 1}, {0, 0, 10}, true},
    {"behind", {0, 0, 0}, {0, 0, 1}, {0, 0, -10}, false},
    {"nearer than near", {0, 0, 0}, {0, 0, 1}, {0, 0, 0.5f}, false},
    {"farther than far", {0, 0, 0}, {0, 0, 1}, {0, 0, 101}, false},
    {"on the far plane", {0, 0, 0}, {0, 0, 1}, {0, 0, 100}, true},
    {"just inside the left edge", {0, 0, 0}, {0, 0, 1}, {-9.9f, 0, 10}, true},
    {"past the left edge", {0, 0, 0}, {0, 0, 1}, {-11, 0, 10}, false},
    {"past the right edge", {0, 0, 0}, {0, 0, 1}, {11, 0, 10}, false},
    {"inside the top edge", {0, 0, 0}, {0, 0, 1}, {0, 7, 10}, true},
    {"above the top edge", {0, 0, 0}, {0, 0, 1}, {0, 8, 10}, false},
    {"below the bottom edge", {0, 0, 0}, {0, 0, 1}, {0, -8, 10}, false},
    {"ahead of a moved camera", {100, 0, 0}, {0, 0, 1}, {100, 0, 10}, true},
    {"beside a moved camera", {100, 0, 0}, {0, 0, 1}, {0, 0, 10}, false},
    {"ahead of a turned camera", {0, 0, 0}, {1, 0, 0}, {10, 0, 0}, true},
    {"beside a turned camera", {0, 0, 0}, {1, 0, 0}, {0, 0, 10}, false},
};

struct BoxCase {
  const char* name;
  Vector3 centre;
  intersect_t result;
};

const BoxCase kBoxes[] = {
    {"ahead", {0, 0, 10}, kIntersectInside},
    {"behind", {0, 0, -10}, kIntersectOutside},
    {"across the near plane", {0, 0, 1}, kIntersectPartly},
    {"across the left edge", {-10, 0, 10}, kIntersectPartly},
    {"far to the left", {-30, 0, 10}, kIntersectOutside},
};

TEST_F(ViewportTest, Frustum_CullsPointsAndBoxesOfAKnownCamera) {
  auto* camera = Make<CTCamera>("Eye");
  camera->SetFOV(90);
  camera->SetNearDist(1);
  camera->SetFarDist(100);
  m_viewport.SetCamera(camera);
  m_viewport.SetDevice(m_target);
  for (const CullCase& c : kPoints) {
    SCOPED_TRACE(c.name);
    camera->MoveTo(c.place);
    camera->SetDirection(c.look);
    ASSERT_TRUE(m_viewport.UpdateFrustum());
    EXPECT_EQ(m_viewport.GetRenderContext()->frustum.CheckVector(c.point), c.inside);
  }
  camera->MoveTo(Vector3(0, 0, 0));
  camera->SetDirection(Vector3(0, 0, 1));
  ASSERT_TRUE(m_viewport.UpdateFrustum());
  CTBox box(2.0);
  for (const BoxCase& c : kBoxes) {
    SCOPED_TRACE(c.name);
    DTransform place;
    place.SetPosition(c.centre);
    uint32_t clip = qibo::kClipAll;
    EXPECT_EQ(box.CheckAgainstFrustum(m_viewport.GetRenderContext()->frustum, &place, &clip), c.result);
  }
  // Without the camera's near clipping the near plane is not tested.
  camera->UseNearClip(false);
  ASSERT_TRUE(m_viewport.UpdateFrustum());
  EXPECT_TRUE(m_viewport.GetRenderContext()->frustum.CheckVector(Vector3(0, 0, 0.5f)));
}

TEST_F(ViewportTest, FrustumMask_CoversExistingPlanesOnly) {
  DFrustum three(3);
  EXPECT_EQ(three.GetMask(), 7u);
  three.EnablePlane(5, true);
  EXPECT_EQ(three.GetMask(), 7u);
  three.EnablePlane(1, false);
  EXPECT_EQ(three.GetMask(), 5u);
}

}  // namespace
}  // namespace qibo::test
