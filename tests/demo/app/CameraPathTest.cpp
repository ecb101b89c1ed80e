#include <gtest/gtest.h>

#include <cmath>

#include "core/motion/CTQuatTrack.h"
#include "core/motion/CTVectorTrack.h"
#include "core/object/Ref.h"
#include "demo/app/CameraPath.h"
#include "demo/app/DemoRecorder.h"

namespace {

using qibo::demo::CameraTarget;

constexpr double kDegrees = 57.29577951308232;

// The path keyed into two tracks, as the application does.
class CameraPathTest : public ::testing::Test {
 protected:
  void SetUp() override { qibo::demo::KeyCameraPath(*m_positions, *m_rotations); }

  Vector3 Position(int32_t t) const { return m_positions->GetValue(t); }
  // The camera's forward axis: row 2 of its rotation.
  Vector3 Forward(int32_t t) const {
    const Matrix33 m = m_rotations->GetValue(t).ToMatrix();
    return {m.m[2][0], m.m[2][1], m.m[2][2]};
  }

  Ref<CTVectorTrack> m_positions{new CTVectorTrack("positions")};
  Ref<CTQuatTrack> m_rotations{new CTQuatTrack("rotations")};
};

double Length(const Vector3& v) {
  return std::sqrt(double{v.x} * v.x + double{v.y} * v.y + double{v.z} * v.z);
}

double AngleDegrees(const Vector3& a, const Vector3& b) {
  const double c = (double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z) / (Length(a) * Length(b));
  return std::acos(std::fmax(-1.0, std::fmin(1.0, c))) * kDegrees;
}

}  // namespace

TEST_F(CameraPathTest, KeysStartAndCutWhereTheTimelineChangesScene) {
  ASSERT_EQ(m_positions->GetKeyCount(), 33);
  ASSERT_EQ(m_rotations->GetKeyCount(), 32);
  EXPECT_EQ(m_positions->GetKeyTime(32), qibo::demo::kCameraPathEnd);
  EXPECT_EQ(m_rotations->GetKeyTime(31), qibo::demo::kCameraPathEnd);

  const struct {
    int32_t time;
    Vector3 position;
  } starts[] = {{0, {0, 150, -80}}, {10000, {0, 150, -40}}, {20000, {-30, 110, -80}}};
  for (const auto& key : starts) {
    SCOPED_TRACE(key.time);
    ASSERT_NE(m_positions->GetKey(key.time), nullptr);
    EXPECT_EQ(Position(key.time).x, key.position.x);
    EXPECT_EQ(Position(key.time).y, key.position.y);
    EXPECT_EQ(Position(key.time).z, key.position.z);
  }
  for (int32_t t : {0, 10000}) {
    const Quaternion q = m_rotations->GetValue(t);
    EXPECT_EQ(q.w, 1.0f) << t;
  }
  // At 20000 a turn about the vertical axis only.
  const Quaternion turn = m_rotations->GetValue(20000);
  EXPECT_EQ(turn.x, 0.0f);
  EXPECT_EQ(turn.z, 0.0f);
  EXPECT_GT(std::fabs(turn.y), 0.05f);

  // A cut: two keys 100 ms apart with a jump between them in both tracks.
  for (int32_t cut : {55000, 90000, 110000, 161000, 180000, 230000}) {
    SCOPED_TRACE(cut);
    ASSERT_NE(m_positions->GetKey(cut), nullptr);
    ASSERT_NE(m_positions->GetKey(cut + 100), nullptr);
    EXPECT_GT(Length(Position(cut + 100) - Position(cut)), 20.0);
    EXPECT_GT(AngleDegrees(Forward(cut), Forward(cut + 100)), 10.0);
  }
}

// While the timeline shows a scene (count n at about n + 1 s), its centre
// stays in the picture (60 degrees of field of view) at a distance that
// suits its size.
TEST_F(CameraPathTest, EveryShownSceneStaysInTheFrame) {
  const struct {
    CameraTarget scene;
    int32_t from, to;  // ms, once the camera has turned to the scene
    double nearest, farthest;
  } shows[] = {
      {CameraTarget::kTorus, 14000, 31000, 35, 95},        {CameraTarget::kInterlude, 32000, 55000, 25, 70},
      {CameraTarget::kDoubleTorus, 56000, 90000, 35, 95},  {CameraTarget::kInterlude, 91000, 110000, 25, 70},
      {CameraTarget::kWaterTank, 111000, 161000, 90, 180}, {CameraTarget::kInterlude, 162000, 180000, 25, 70},
      {CameraTarget::kBoxes, 181000, 221000, 25, 70},      {CameraTarget::kInterlude, 223000, 260000, 25, 70},
  };
  for (const auto& show : shows) {
    for (int32_t t = show.from; t <= show.to; t += 250) {
      const Vector3 toScene = qibo::demo::SceneCentre(show.scene) - Position(t);
      SCOPED_TRACE(t);
      EXPECT_LT(AngleDegrees(Forward(t), toScene), 30.0);
      EXPECT_GE(Length(toScene), show.nearest);
      EXPECT_LE(Length(toScene), show.farthest);
    }
  }
}

// fps frames always make one second, whatever the rate.
TEST(DemoRecorderClock, FramesOfOneSecondAddUpExactly) {
  for (int fps : {1, 10, 24, 25, 30, 60, 144}) {
    SCOPED_TRACE(fps);
    int64_t total = 0;
    for (int64_t k = 0; k < 3 * fps; ++k) {
      const int32_t length = qibo::demo::DemoRecorder::FrameLength(k, fps);
      EXPECT_GE(length, 1000 / fps);
      EXPECT_LE(length, 1000 / fps + 1);
      total += length;
      if ((k + 1) % fps == 0) {
        EXPECT_EQ(total, (k + 1) / fps * 1000);
      }
    }
  }
}
