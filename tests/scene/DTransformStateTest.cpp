// Flags, stamps and laziness of DTransform writes.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/scene/math/DTransform.h"
#include "tests/scene/MathReference.h"

namespace {

using T = DTransform;
using qibo::test::FullyDerived;

enum Stamp : unsigned { kPos = 1, kRot = 2, kDef = 4, kMat = 8 };

struct WriteCase {
  std::string name;
  std::function<void(DTransform&)> write;
  uint32_t cleared;
  uint32_t set;
  unsigned stamps;
};

const Matrix33 kSomeMatrix = Matrix33::FromEuler(0.1f, 0.2f, 0.3f);

std::vector<WriteCase> WriteCases() {
  return {
      {"MoveTo", [](T& t) { t.MoveTo(Vector3(4, 5, 6)); }, 0, 0x1, kPos},
      {"MoveByZ", [](T& t) { t.MoveByZ(1); }, 0, 0x1, kPos},
      {"MoveForward", [](T& t) { t.MoveForward(1); }, 0, 0x1, kPos},
      {"GetPositionRef", [](T& t) { t.GetPositionRef(); }, 0, 0x1, kPos},
      {"SetRotationMatrix", [](T& t) { t.SetRotationMatrix(kSomeMatrix); }, 0xfe18, 0x102, kRot | kMat},
      {"RotateToEl", [](T& t) { t.RotateToEl(0.2); }, 0xfe18, 0x102, kRot | kMat},
      {"RotateByTw", [](T& t) { t.RotateByTw(0.2); }, 0xfe18, 0x102, kRot | kMat},
      {"GetRotationMatrixRef", [](T& t) { t.GetRotationMatrixRef(); }, 0xfe18, 0x102, kRot | kMat},
      {"SetQuat", [](T& t) { t.SetQuat(Quaternion::RotationAz(0.5f)); }, 0xfb18, 0x402, kRot | kMat},
      {"RotateQuatByAz", [](T& t) { t.RotateQuatByAz(0.2); }, 0xfb18, 0x402, kRot | kMat},
      {"GetQuaternionRef", [](T& t) { t.GetQuaternionRef(); }, 0xfb18, 0x402, kRot | kMat},
      {"SetEuler", [](T& t) { t.SetEuler(0.1, 0.2, 0.3); }, 0xfd18, 0x700202, kRot | kMat},
      {"SetAz", [](T& t) { t.SetAz(0.9); }, 0xfd18, 0x100202, kRot | kMat},
      {"IncreaseEl", [](T& t) { t.IncreaseEl(0.1); }, 0xfd18, 0x200202, kRot | kMat},
      {"GetTwRef", [](T& t) { t.GetTwRef(); }, 0xfd18, 0x400202, kRot | kMat},
      {"SetDirection", [](T& t) { t.SetDirection(Vector3(1, 0, 1)); }, 0xf718, 0x802, kRot | kMat},
      {"LookAt", [](T& t) { t.LookAt(Vector3(0, 0, 0)); }, 0xf718, 0x802, kRot | kMat},
      {"_SetDirection", [](T& t) { t._SetDirection(Vector3(0, 0, 1)); }, 0xf718, 0x802, kRot | kMat},
      {"GetDirectionRef", [](T& t) { t.GetDirectionRef(); }, 0xf718, 0x802, kRot | kMat},
      {"ScaleTo", [](T& t) { t.ScaleTo(3.0); }, 0xd0018, 0x20004, kDef | kMat},
      {"ScaleBy", [](T& t) { t.ScaleBy(3.0); }, 0xd0018, 0x20004, kDef | kMat},
      {"ScaleToNU", [](T& t) { t.ScaleTo(1.0, 2.0, 3.0); }, 0xb0018, 0x40004, kDef | kMat},
      {"SetScaleNU", [](T& t) { t.SetScaleNU(Vector3(1, 2, 3)); }, 0xb0018, 0x40004, kDef | kMat},
      {"SetDeformationMatrix", [](T& t) { t.SetDeformationMatrix(kSomeMatrix); }, 0xe0018, 0x10004,
       kDef | kMat},
      {"GetDeformationMatrixRef", [](T& t) { t.GetDeformationMatrixRef(); }, 0xe0018, 0x10004, kDef | kMat},
      {"SetMatrix", [](T& t) { t.SetMatrix(kSomeMatrix); }, 0xfff10, 0xe, kRot | kDef | kMat},
      {"GetTotalMatrixRef", [](T& t) { t.GetTotalMatrixRef(); }, 0xfff10, 0xe, kRot | kDef | kMat},
  };
}

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class DTransformWriteTest : public ::testing::TestWithParam<WriteCase> {};

std::string CaseName(const ::testing::TestParamInfo<WriteCase>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (c == '_') c = 'X';
  }
  return name;
}

}  // namespace

TEST_P(DTransformWriteTest, FlagsFollowTheWriteTable) {
  DTransform t = FullyDerived();
  const uint32_t before = t._Flags();
  GetParam().write(t);
  EXPECT_EQ(t._Flags(), (before & ~GetParam().cleared) | GetParam().set)
      << std::hex << "before 0x" << before << " after 0x" << t._Flags();
}

TEST_P(DTransformWriteTest, RenewsExactlyItsStampsOnce) {
  DTransform t = FullyDerived();
  const uint32_t before = DTransform::timeid;
  GetParam().write(t);
  EXPECT_EQ(DTransform::timeid, before + 1);
  EXPECT_EQ(t.LastChange(), before);
  EXPECT_TRUE(t.HasChangedSince(before - 1));
  EXPECT_FALSE(t.HasChangedSince(before));
  const unsigned s = GetParam().stamps;
  EXPECT_EQ(t.HasPositionChangedSince(before - 1), (s & kPos) != 0);
  EXPECT_EQ(t.HasRotationChangedSince(before - 1), (s & kRot) != 0);
  EXPECT_EQ(t.HasDeformationChangedSince(before - 1), (s & kDef) != 0);
  EXPECT_EQ(t.HasMatrixChangedSince(before - 1), (s & kMat) != 0);
}

INSTANTIATE_TEST_SUITE_P(AllWrites, DTransformWriteTest, ::testing::ValuesIn(WriteCases()), CaseName);

TEST(DTransformStampTest, ReadsNeverStamp) {
  DTransform t;
  t.SetEuler(0.1, 0.2, 0.3);
  t.ScaleTo(1.0, 2.0, 3.0);
  const uint32_t last = t.LastChange();
  const uint32_t counter = DTransform::timeid;
  t.GetQuaternion();
  t.GetInverseMatrix();
  t.TransformPoint(Vector3(1, 1, 1));
  t.GetDirection();
  EXPECT_EQ(DTransform::timeid, counter);
  EXPECT_EQ(t.LastChange(), last);
  EXPECT_FALSE(t.HasChangedSince(last));
}

TEST(DTransformStampTest, ChangeTestsSurviveCounterWrap) {
  DTransform::timeid = 0xfffffff0u;
  DTransform t;
  uint32_t seen = t.LastChange();
  for (int i = 0; i < 40; ++i) {
    t.MoveByX(1);
    EXPECT_TRUE(t.HasChangedSince(seen)) << "write " << i << " at stamp " << t.LastChange();
    EXPECT_TRUE(t.HasPositionChangedSince(seen));
    EXPECT_FALSE(t.HasChangedSince(t.LastChange()));
    seen = t.LastChange();
  }
  EXPECT_LT(DTransform::timeid, 0x100u);  // the counter really wrapped
  // A stamp from before the wrap is older than one after it.
  DTransform::timeid = 0xfffffffeu;
  DTransform early;
  DTransform::timeid = 3;
  DTransform late;
  EXPECT_TRUE(late.HasChangedSince(early.LastChange()));
  EXPECT_FALSE(early.HasChangedSince(late.LastChange()));
}

TEST(DTransformStampTest, CopyHasNewerStamps) {
  DTransform source = FullyDerived();
  const DTransform copy(source);
  EXPECT_TRUE(copy.HasChangedSince(source.LastChange()));
  EXPECT_TRUE(copy.HasPositionChangedSince(source.LastChange()));
  EXPECT_TRUE(copy.HasRotationChangedSince(source.LastChange()));
  EXPECT_TRUE(copy.HasDeformationChangedSince(source.LastChange()));
  EXPECT_TRUE(copy.HasMatrixChangedSince(source.LastChange()));
  EXPECT_EQ(copy._Flags(), source._Flags());

  DTransform assigned;
  const uint32_t sourceStamp = source.LastChange();
  assigned = source;
  EXPECT_TRUE(assigned.HasChangedSince(sourceStamp));
  EXPECT_EQ(assigned.GetTotalMatrix(), source.GetTotalMatrix());
}

TEST(DTransformStampTest, ResetsRenewOnlyTheirStamps) {
  DTransform t = FullyDerived();
  uint32_t now = DTransform::timeid;
  t.ResetPosition();
  EXPECT_TRUE(t.HasPositionChangedSince(now - 1));
  EXPECT_FALSE(t.HasRotationChangedSince(now - 1));
  now = DTransform::timeid;
  t.ResetRotation();
  EXPECT_TRUE(t.HasRotationChangedSince(now - 1));
  EXPECT_TRUE(t.HasMatrixChangedSince(now - 1));
  EXPECT_FALSE(t.HasDeformationChangedSince(now - 1));
  now = DTransform::timeid;
  t.ResetDeformation();
  EXPECT_TRUE(t.HasDeformationChangedSince(now - 1));
  EXPECT_FALSE(t.HasRotationChangedSince(now - 1));
  now = DTransform::timeid;
  t.Reset();
  EXPECT_TRUE(t.HasPositionChangedSince(now - 1) && t.HasRotationChangedSince(now - 1) &&
              t.HasDeformationChangedSince(now - 1) && t.HasMatrixChangedSince(now - 1));
}

// ---------------------------------------------------------------------------------------------
// Setters only store: derived values stay as they were until the next read.

TEST(DTransformLazyTest, RotationWritesLeaveDerivedValuesUntouched) {
  DTransform t = FullyDerived();
  const Matrix33 rotation = t._RotationMatrix();
  const Matrix33 total = t._TotalMatrix();
  const Matrix33 inverse = t._InverseMatrix();
  const Quaternion q = t._Quaternion();

  t.SetEuler(1.0, 0.5, -0.5);
  t.SetEuler(0.2, 0.1, 0.7);
  EXPECT_EQ(t._RotationMatrix(), rotation);
  EXPECT_EQ(t._TotalMatrix(), total);
  EXPECT_EQ(t._InverseMatrix(), inverse);
  EXPECT_EQ(t._Quaternion().x, q.x);
  EXPECT_EQ(t._Quaternion().w, q.w);

  t.SetQuat(Quaternion::RotationTw(0.4f));
  EXPECT_EQ(t._RotationMatrix(), rotation);
  EXPECT_EQ(t._Az(), 0.2f);
  EXPECT_EQ(t._Tw(), 0.7f);

  t.SetDirection(Vector3(0, 1, 1));
  EXPECT_EQ(t._RotationMatrix().Row(0), rotation.Row(0));  // only the shared direction row is written
  EXPECT_EQ(t._RotationMatrix().Row(1), rotation.Row(1));
  EXPECT_EQ(t._Quaternion().z, Quaternion::RotationTw(0.4f).z);
}

TEST(DTransformLazyTest, DeformationAndTotalWritesLeaveDerivedValuesUntouched) {
  DTransform t = FullyDerived();
  const Matrix33 deformation = t._DeformationMatrix();
  const Matrix33 rotation = t._RotationMatrix();
  const Matrix33 inverse = t._InverseMatrix();
  t.ScaleTo(5.0);
  t.ScaleTo(1.0, 2.0, 3.0);
  EXPECT_EQ(t._DeformationMatrix(), deformation);
  t.SetMatrix(Matrix33::Diagonal(3, 3, 3));
  EXPECT_EQ(t._RotationMatrix(), rotation);
  EXPECT_EQ(t._DeformationMatrix(), deformation);
  EXPECT_EQ(t._InverseMatrix(), inverse);
}

TEST(DTransformLazyTest, SecondReadReusesTheCache) {
  DTransform t;
  t.SetEuler(0.3, 0.2, 0.1);
  const Matrix33& first = t.GetRotationMatrix();
  t.GetRotationMatrixRef().m[0][0] = 42.0f;  // edit in place: becomes the source
  EXPECT_EQ(first.m[0][0], 42.0f);
  EXPECT_EQ(t.GetRotationMatrix().m[0][0], 42.0f);
  EXPECT_EQ(t.GetTotalMatrix().m[0][0], 42.0f);
}

// Every read, after the total matrix was derived from a transform with no
// linear part, leaves presence as it was: identity stays identity, a
// position stays the only thing present, and an inversion adds nothing.
TEST(DTransformLazyTest, ReadsOfAnAbsentRotationAddNoPresence) {
  const std::vector<std::pair<const char*, std::function<void(DTransform&)>>> reads = {
      {"GetQuaternion", [](T& t) { t.GetQuaternion(); }},
      {"GetAz", [](T& t) { t.GetAz(); }},
      {"GetRotationMatrix", [](T& t) { t.GetRotationMatrix(); }},
      {"GetDirection", [](T& t) { t.GetDirection(); }},
      {"GetDeformationMatrix", [](T& t) { t.GetDeformationMatrix(); }},
      {"GetInverseMatrix", [](T& t) { t.GetInverseMatrix(); }},
      {"Invert", [](T& t) { t.Invert(); }},
  };
  for (const auto& [name, read] : reads) {
    for (const bool withPosition : {false, true}) {
      SCOPED_TRACE(std::string(name) + (withPosition ? " after a position" : " on a fresh transform"));
      DTransform t;
      if (withPosition) t.MoveTo(Vector3(1, 2, 3));
      t.TransformPoint(Vector3(4, 5, 6));  // derives the total matrix from nothing
      read(t);
      EXPECT_FALSE(t.HasRotation());
      EXPECT_FALSE(t.HasDeformation());
      EXPECT_EQ(t.IsIdentity(), !withPosition);
      const Vector3 moved = t.TransformPoint(Vector3(4, 5, 6));
      const float sign = name == std::string("Invert") ? -1.0f : 1.0f;
      EXPECT_EQ(moved, withPosition ? Vector3(4, 5, 6) + Vector3(1, 2, 3) * sign : Vector3(4, 5, 6));
    }
  }
}
