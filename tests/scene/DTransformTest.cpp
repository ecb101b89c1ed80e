#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/scene/math/DTransform.h"
#include "tests/scene/MathReference.h"

using qibo::test::DMat;
using qibo::test::DVec;
using qibo::test::FullyDerived;
using qibo::test::Near;
using qibo::test::ToD;

namespace {

using T = DTransform;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Identity and the simple derivations

TEST(DTransformTest, Fresh_IsIdentity) {
  const DTransform t;
  EXPECT_TRUE(t.IsIdentity());
  EXPECT_EQ(t.TransformPoint(Vector3(1, -2, 3)), Vector3(1, -2, 3));
  const Quaternion q = t.GetQuaternion();
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_EQ(q.y, 0.0f);
  EXPECT_EQ(q.z, 0.0f);
  EXPECT_EQ(q.w, 1.0f);
  EXPECT_EQ(t.GetAz(), 0.0);
  EXPECT_TRUE(DTransform::I.IsIdentity());
  EXPECT_EQ(DTransform::I.TransformPoint(Vector3(4, 5, 6)), Vector3(4, 5, 6));
}

TEST(DTransformTest, SetAz_GivesAzimuthMatrixAndDirection) {
  DTransform t;
  t.SetAz(0.5);
  const double c = std::cos(0.5), s = std::sin(0.5);
  EXPECT_TRUE(Near(DMat{{{c, 0, -s}, {0, 1, 0}, {s, 0, c}}}, t.GetRotationMatrix(), 1e-6));
  DTransform d;
  d.SetAz(0.5);
  EXPECT_TRUE(Near(DVec{s, 0, c}, d.GetDirection(), 1e-6));
}

TEST(DTransformTest, SetEuler_AllRepresentationsAgree) {
  DTransform t;
  t.SetEuler(0.7, -0.6, 1.1);
  const DMat expected = DMat::Euler(0.7, -0.6, 1.1);
  EXPECT_TRUE(Near(expected, t.GetRotationMatrix(), 1e-6));
  DTransform q;
  q.SetEuler(0.7, -0.6, 1.1);
  EXPECT_TRUE(Near(expected, q.GetQuaternion().ToMatrix(), 1e-6));
  DTransform back;
  back.SetRotationMatrix(t.GetRotationMatrix());
  EXPECT_NEAR(back.GetAz(), 0.7, 1e-5);
  EXPECT_NEAR(back.GetEl(), -0.6, 1e-5);
  EXPECT_NEAR(back.GetTw(), 1.1, 1e-5);
}

TEST(DTransformTest, GetTw_ReportsAngleBeyondQuarterTurnInItsOwnRange) {
  // Tw is reported in [-pi/2, 3pi/2): a twist of -2.5 comes back as 2pi - 2.5.
  DTransform t;
  t.SetRotationMatrix(DMat::Euler(0.2, 0.3, -2.5).ToFloat());
  EXPECT_NEAR(t.GetTw(), 2 * std::numbers::pi - 2.5, 1e-5);
  EXPECT_NEAR(t.GetAz(), 0.2, 1e-5);
}

TEST(DTransformTest, TinyAngle_CountsAsZero) {
  DTransform zero;
  zero.SetEuler(0, 0, 0);
  EXPECT_TRUE(zero.HasRotation());  // not known before the first derivation
  zero.GetRotationMatrix();
  EXPECT_FALSE(zero.HasRotation());

  DTransform almost;
  almost.SetEuler(5e-6, 0.3, -4e-6);
  EXPECT_EQ(almost.GetRotationMatrix(), Matrix33::RotationEl(0.3f));
  EXPECT_EQ(almost._Flags() & T::kEulerParts, T::kElPart);
}

TEST(DTransformTest, SetDirection_NormalisesButRawFormDoesNot) {
  DTransform t;
  t.SetDirection(Vector3(0, 0, 5));
  EXPECT_EQ(t._Direction(), Vector3(0, 0, 1));
  t._SetDirection(Vector3(0, 0, 5));
  EXPECT_EQ(t._Direction(), Vector3(0, 0, 5));
}

TEST(DTransformTest, LookAtStraightUp_KeepsPreviousRightAxis) {
  DTransform t;
  t.MoveTo(Vector3(1, 1, 1));
  t.SetAz(0.7);
  const Vector3 right = t.GetRotationMatrix().Row(0);
  t.LookAt(Vector3(1, 11, 1));
  const Matrix33& r = t.GetRotationMatrix();
  EXPECT_EQ(r.Row(0), right);
  EXPECT_EQ(r.Row(2), Vector3(0, 1, 0));
  EXPECT_TRUE(Near(ToD(Vector3(0, 1, 0).Cross(right)), r.Row(1), 1e-6));
}

TEST(DTransformTest, LookAtStraightUp_WithNonUnitRightAxisUsesX) {
  DTransform t;
  t.SetRotationMatrix(Matrix33::RotationAz(0.7f) * 2.0f);
  t.LookAt(Vector3(0, -3, 0));
  EXPECT_EQ(t.GetRotationMatrix().Row(0), Vector3(1, 0, 0));
  EXPECT_EQ(t.GetRotationMatrix().Row(2), Vector3(0, -1, 0));
}

TEST(DTransformTest, LookAtOwnPosition_ChangesNothing) {
  DTransform t;
  t.MoveTo(Vector3(2, 3, 4));
  t.SetAz(0.4);
  const uint32_t before = t.LastChange();
  t.LookAt(Vector3(2, 3, 4));
  EXPECT_FALSE(t.HasChangedSince(before));
  EXPECT_NEAR(t.GetAz(), 0.4, 1e-6);
}

// ---------------------------------------------------------------------------------------------
// Deformation

TEST(DTransformTest, Scale_PresenceAndNonUniformity) {
  DTransform one;
  one.ScaleTo(1.0);
  one.GetDeformationMatrix();
  EXPECT_FALSE(one.HasDeformation());

  DTransform uniform;
  uniform.ScaleTo(Vector3(2, 2, 2));
  EXPECT_EQ(uniform.GetDeformationMatrix(), Matrix33::Diagonal(2, 2, 2));
  EXPECT_TRUE(uniform.HasDeformation());
  EXPECT_FALSE(uniform.HasNUDeform());

  DTransform nonUniform;
  nonUniform.ScaleTo(1.0, 2.0, 1.0);
  nonUniform.GetDeformationMatrix();
  EXPECT_TRUE(nonUniform.HasNUDeform());
}

TEST(DTransformTest, ScaleBy_MultipliesWhicheverScaleIsTheSource) {
  DTransform t;
  t.ScaleBy(3.0);  // no scale yet: becomes the scale
  EXPECT_EQ(t._Scale(), 3.0f);
  t.ScaleBy(2.0);
  EXPECT_EQ(t._Scale(), 6.0f);
  t.ScaleBy(Vector3(1, 2, 3));  // uniform becomes non-uniform
  EXPECT_EQ(t._ScaleNU(), Vector3(6, 12, 18));
  t.ScaleBy(0.5);
  EXPECT_EQ(t._ScaleNU(), Vector3(3, 6, 9));
  EXPECT_EQ(t.GetDeformationMatrix(), Matrix33::Diagonal(3, 6, 9));
}

TEST(DTransformTest, ScaleBy_ScalesAGeneralDeformationAsAWhole) {
  const Matrix33 shear(1, 0.5f, 0, 0, 1, 0, 0, 0, 1);
  DTransform t;
  t.SetDeformationMatrix(shear);
  t.ScaleBy(2.0);
  EXPECT_EQ(t.GetDeformationMatrix(), shear * 2.0f);
  t.ScaleBy(1.0, 3.0, 1.0);
  EXPECT_EQ(t.GetDeformationMatrix(), Matrix33(2, 1, 0, 0, 6, 0, 0, 0, 2));
  EXPECT_TRUE(t._Flags() & T::kDeformationMatrixValid);
}

// ---------------------------------------------------------------------------------------------
// The total matrix and its split

TEST(DTransformTest, SetMatrix_ScaledRotationSplitsIntoScaleAndRotation) {
  const Matrix33 r = Matrix33::FromEuler(0.4f, 0.2f, -0.3f);
  DTransform t;
  t.SetMatrix(r * 2.0f);
  EXPECT_TRUE(Near(DMat::From(r), t.GetRotationMatrix(), 1e-6));
  EXPECT_NEAR(t._Scale(), 2.0f, 1e-6f);
  EXPECT_TRUE(t._Flags() & T::kScaleValid);
  EXPECT_TRUE(t.HasDeformation());
  EXPECT_FALSE(t.HasNUDeform());
}

TEST(DTransformTest, SetMatrix_PureRotationHasNoDeformation) {
  DTransform t;
  t.SetMatrix(Matrix33::RotationTw(0.9f));
  t.GetQuaternion();
  EXPECT_TRUE(t.HasRotation());
  EXPECT_FALSE(t.HasDeformation());
  EXPECT_NEAR(t.GetTw(), 0.9, 1e-6);
}

TEST(DTransformTest, SetMatrix_ShearBecomesDeformationWithoutRotation) {
  const Matrix33 shear(1, 0.5f, 0, 0, 1, 0, 0, 0, 1);
  DTransform t;
  t.SetMatrix(shear);
  EXPECT_EQ(t.GetDeformationMatrix(), shear);
  EXPECT_FALSE(t.HasRotation());
  EXPECT_TRUE(t.HasNUDeform());
  EXPECT_EQ(t.GetRotationMatrix(), Matrix33());
}

TEST(DTransformTest, SetMatrix_ThenRotationWriteKeepsTheScale) {
  DTransform t;
  t.SetMatrix(Matrix33::RotationAz(0.3f) * 2.0f);
  t.SetEuler(0, 0, 0.6);
  EXPECT_TRUE(Near(DMat::Tw(0.6) * 2.0, t.GetTotalMatrix(), 1e-6));
  DTransform s;
  s.SetMatrix(Matrix33::RotationAz(0.3f) * 2.0f);
  s.ScaleTo(3.0);
  EXPECT_TRUE(Near(DMat::Az(0.3) * 3.0, s.GetTotalMatrix(), 1e-6));
}

TEST(DTransformTest, ResetDeformation_OfTotalMatrixKeepsItsRotation) {
  DTransform t;
  const Matrix33 r = Matrix33::FromEuler(0.1f, 0.2f, 0.3f);
  t.SetMatrix(Matrix33::Diagonal(2, 3, 4) * r);
  t.ResetDeformation();
  EXPECT_FALSE(t.HasDeformation());
  EXPECT_FALSE(t.HasNUDeform());
  EXPECT_TRUE(Near(DMat::From(r), t.GetTotalMatrix(), 1e-6));
}

TEST(DTransformTest, Resets_ClearTheirPartOnly) {
  DTransform t = FullyDerived();
  t.ResetPosition();
  EXPECT_FALSE(t.HasPosition());
  EXPECT_EQ(t.GetPosition(), Vector3());
  EXPECT_TRUE(t.HasRotation() && t.HasDeformation());
  t.ResetMatrix();
  EXPECT_EQ(t._Flags(), 0u);
  EXPECT_TRUE(t.IsIdentity());
  t = FullyDerived();
  t.Reset();
  EXPECT_TRUE(t.IsIdentity());
  EXPECT_EQ(t.TransformPoint(Vector3(1, 2, 3)), Vector3(1, 2, 3));
}

// ---------------------------------------------------------------------------------------------
// Relative writes

TEST(DTransformTest, RotateBy_TurnsAboutParentAxisAfterCurrentRotation) {
  DTransform t;
  t.SetEuler(0.2, 0.3, 0.4);
  t.RotateByAz(0.5);
  EXPECT_TRUE(Near(DMat::Euler(0.2, 0.3, 0.4) * DMat::Az(0.5), t.GetRotationMatrix(), 1e-6));
  t.RotateToTw(0.25);
  EXPECT_EQ(t.GetRotationMatrix(), Matrix33::RotationTw(0.25f));
}

TEST(DTransformTest, RotateQuatBy_TurnsAboutOwnAxis) {
  DTransform t;
  t.SetEuler(0.2, 0.3, 0.4);
  t.RotateQuatByEl(0.5);
  EXPECT_TRUE(Near(DMat::El(0.5) * DMat::Euler(0.2, 0.3, 0.4), t.GetRotationMatrix(), 1e-6));
}

TEST(DTransformTest, IncreaseAz_KeepsTheOtherAngles) {
  DTransform t;
  t.SetRotationMatrix(DMat::Euler(0.2, 0.3, 0.4).ToFloat());
  t.IncreaseAz(0.1);
  EXPECT_TRUE(Near(DMat::Euler(0.3, 0.3, 0.4), t.GetRotationMatrix(), 1e-5));
  t.SetEl(-0.2);
  EXPECT_TRUE(Near(DMat::Euler(0.3, -0.2, 0.4), t.GetRotationMatrix(), 1e-5));
}

TEST(DTransformTest, IncreaseTw_AfterLookingStraightUpKeepsTheAzimuth) {
  DTransform t;
  t.SetAz(1.0);
  t.GetRotationMatrix();
  t.SetDirection(Vector3(0, 1, 0));
  EXPECT_NEAR(t.GetEl(), -std::numbers::pi / 2, 1e-6);
  EXPECT_EQ(t._Flags() & T::kEulerParts, T::kElPart);  // azimuth undefined, stored value kept
  EXPECT_TRUE(Near(DVec{std::cos(1.0), 0, -std::sin(1.0)}, t.GetRotationMatrix().Row(0), 1e-6));
  t.IncreaseTw(0.3);
  EXPECT_TRUE(Near(DMat::Euler(1.0, -std::numbers::pi / 2, 0.3), t.GetRotationMatrix(), 1e-5));
}

TEST(DTransformTest, MoveAlongOwnAxes) {
  DTransform t;
  t.SetAz(std::numbers::pi / 2);  // forward = +X, right = -Z
  t.MoveForward(2);
  EXPECT_TRUE(Near(DVec{2, 0, 0}, t.GetPosition(), 1e-6));
  t.MoveRight(1);
  EXPECT_TRUE(Near(DVec{2, 0, -1}, t.GetPosition(), 1e-6));
  t.MoveDown(3);
  EXPECT_TRUE(Near(DVec{2, -3, -1}, t.GetPosition(), 1e-6));
  t.MoveBack(2);
  t.MoveLeft(1);
  t.MoveUp(3);
  EXPECT_TRUE(Near(DVec{0, 0, 0}, t.GetPosition(), 1e-6));
  t.MoveByY(2);
  t.MoveToX(5);
  EXPECT_TRUE(Near(DVec{5, 2, 0}, t.GetPosition(), 1e-6));
}

// ---------------------------------------------------------------------------------------------
// Point and normal transforms

namespace {

DTransform Placed() {
  DTransform t;
  t.SetEuler(0.4, -0.3, 0.2);
  t.ScaleTo(1.5, 0.5, 2.0);
  t.MoveTo(Vector3(1, -2, 3));
  return t;
}

}  // namespace

TEST(DTransformTest, TransformNormals_UseRotationOrNormalisedTotal) {
  const DTransform t = Placed();
  const Vector3 n(0, 1, 0);
  const DMat r = DMat::Euler(0.4, -0.3, 0.2);
  EXPECT_TRUE(Near(ToD(n) * r, t.TransformNormal(n), 1e-6));
  EXPECT_TRUE(Near(ToD(n) * r.Transposed(), t.BackTransformNormal(n), 1e-6));
  const Vector3 best = t.TransformNormalBest(n);
  EXPECT_NEAR(best.Length(), 1.0f, 1e-6f);
  EXPECT_TRUE(Near(ToD((n * t.GetTotalMatrix()).Normalized()), best, 1e-6));

  Vector3 normals[2] = {n, Vector3(1, 0, 0)};
  t.TransformNormalsBest(normals, 2);
  EXPECT_EQ(normals[0], best);
  DTransform rotationOnly;
  rotationOnly.SetEuler(0.4, -0.3, 0.2);
  Vector3 rotated[1] = {n};
  rotationOnly.TransformNormalsBest(rotated, 1);
  EXPECT_EQ(rotated[0], rotationOnly.TransformNormal(n));
}

TEST(DTransformTest, TransformPoints_PackedStridedAndPointerFormsAgree) {
  const DTransform t = Placed();
  struct Padded {
    Vector3 p;
    float tag;
  };
  std::vector<Vector3> packed;
  std::vector<Padded> strided;
  std::vector<Vector3> pointed;
  for (int i = 0; i < 9; ++i) {
    const Vector3 p(i * 0.5f, 1.0f - i, i * i * 0.1f);
    packed.push_back(p);
    strided.push_back({p, 100.0f + i});
    pointed.push_back(p);
  }
  std::vector<Vector3*> pointers;
  for (auto& p : pointed) pointers.push_back(&p);

  t.UpdateTotal();
  EXPECT_EQ(t(packed[3]), t.TransformPoint(packed[3]));
  t.TransformPoints(packed.data(), 9, 0);
  t.TransformPoints(&strided[0].p, 9, sizeof(Padded));
  t.TransformPoints(pointers.data(), 9);
  for (int i = 0; i < 9; ++i) {
    const Vector3 expected = t.TransformPoint(Vector3(i * 0.5f, 1.0f - i, i * i * 0.1f));
    EXPECT_EQ(packed[i], expected);
    EXPECT_EQ(strided[i].p, expected);
    EXPECT_EQ(strided[i].tag, 100.0f + i);  // bytes between the vectors are left alone
    EXPECT_EQ(pointed[i], expected);
  }

  t.BackTransformPoints(packed.data(), 9);
  t.BackTransformPoints(&strided[0].p, 9, sizeof(Padded));
  for (int i = 0; i < 9; ++i) {
    EXPECT_TRUE(Near(DVec{i * 0.5, 1.0 - i, i * i * 0.1}, packed[i], 1e-5));
    EXPECT_EQ(strided[i].p, packed[i]);
  }
}

TEST(DTransformTest, TransformPoints_PositionOnlyTranslatesAndIdentitySkips) {
  DTransform t;
  t.MoveTo(Vector3(1, 2, 3));
  Vector3 points[2] = {Vector3(1, 1, 1), Vector3(-1, 0, 2)};
  t.TransformPoints(points, 2);
  EXPECT_EQ(points[0], Vector3(2, 3, 4));
  EXPECT_EQ(points[1], Vector3(0, 2, 5));
  t.BackTransformPoints(points, 2);
  EXPECT_EQ(points[1], Vector3(-1, 0, 2));
  DTransform::I.TransformPoints(points, 2);
  EXPECT_EQ(points[0], Vector3(1, 1, 1));
}

// ---------------------------------------------------------------------------------------------
// Composition and inversion

TEST(DTransformTest, Combine_IntoOneOfItsArguments) {
  const DTransform a = Placed();
  DTransform b;
  b.SetEuler(0.1, 0.2, 0.3);
  b.MoveTo(Vector3(5, 5, 5));
  DTransform expected;
  expected.Combine(a, b);
  DTransform inner = a;
  inner.Combine(inner, b);
  DTransform outer = b;
  outer.Combine(a, outer);
  const Vector3 p(1, 2, 3);
  EXPECT_EQ(inner.TransformPoint(p), expected.TransformPoint(p));
  EXPECT_EQ(outer.TransformPoint(p), expected.TransformPoint(p));
}

TEST(DTransformTest, CombineParts_WriteOnlyTheirPart) {
  const DTransform a = Placed();
  DTransform b;
  b.SetEuler(0.5, 0, 0);
  b.ScaleTo(2.0);
  b.MoveTo(Vector3(0, 0, 1));
  DTransform c;
  c.MoveTo(Vector3(9, 9, 9));
  c.CombineRotation(a, b);
  EXPECT_EQ(c.GetPosition(), Vector3(9, 9, 9));
  EXPECT_FALSE(c.HasDeformation());
  EXPECT_TRUE(Near(DMat::Euler(0.4, -0.3, 0.2) * DMat::Az(0.5), c.GetRotationMatrix(), 1e-6));
  c.CombinePosition(a, b);
  // b's scale does not apply to the position here.
  EXPECT_TRUE(Near(DVec{1, -2, 3} * DMat::Az(0.5) + DVec{0, 0, 1}, c.GetPosition(), 1e-6));
  c.CombineDeformation(a, b);
  EXPECT_TRUE(c.HasNUDeform());
  DTransform full;
  full.Combine(a, b);
  EXPECT_TRUE(Near(DMat::From(full.GetTotalMatrix()), c.GetTotalMatrix(), 1e-6));

  DTransform none;
  c.CombineRotation(none, none);
  EXPECT_FALSE(c.HasRotation());
  c.CombinePosition(none, none);
  EXPECT_FALSE(c.HasPosition());
  EXPECT_EQ(c.GetPosition(), Vector3());
}

TEST(DTransformTest, InvertTwice_RestoresTheTransform) {
  DTransform t = Placed();
  const Vector3 p(0.3f, -0.7f, 2.0f);
  const Vector3 moved = t.TransformPoint(p);
  t.Invert();
  EXPECT_TRUE(Near(ToD(p), t.TransformPoint(moved), 1e-5));
  t.Invert();
  EXPECT_TRUE(Near(ToD(moved), t.TransformPoint(p), 1e-5));
  EXPECT_TRUE(Near(ToD(p), t.BackTransformPoint(t.TransformPoint(p)), 1e-5));
}

TEST(DTransformTest, InverseOfIdentityAndOfPositionOnly) {
  DTransform t = Placed();
  t.SetInverse(DTransform::I);
  EXPECT_TRUE(t.IsIdentity());
  EXPECT_EQ(t._Flags(), 0u);
  DTransform moved;
  moved.MoveTo(Vector3(1, 2, 3));
  t = Placed();
  t.SetInverse(moved);
  EXPECT_EQ(t._Flags(), T::kHasPosition);
  EXPECT_EQ(t.TransformPoint(Vector3(1, 2, 3)), Vector3());
  moved.Invert();
  EXPECT_EQ(moved.GetPosition(), Vector3(-1, -2, -3));
  EXPECT_FALSE(moved.HasRotation() || moved.HasDeformation());
}

TEST(DTransformTest, SetInverse_OfRotationIsItsTranspose) {
  DTransform r;
  r.SetEuler(0.3, 0.2, 0.1);
  r.MoveTo(Vector3(0, 0, 4));
  DTransform t;
  t.SetInverse(r);
  EXPECT_FALSE(t.HasDeformation());
  EXPECT_TRUE(t._Flags() & T::kRotationMatrixValid);
  EXPECT_EQ(t._RotationMatrix(), r.GetRotationMatrix().Transposed());
  EXPECT_TRUE(Near(DVec{0, 0, 0}, t.TransformPoint(Vector3(0, 0, 4)), 1e-6));
}

TEST(DTransformTest, OperatorTimesEquals_LeavesTransformUnchanged) {
  DTransform t = Placed();
  const Matrix33 total = t.GetTotalMatrix();
  const uint32_t last = t.LastChange();
  t *= Placed();
  EXPECT_EQ(t.GetTotalMatrix(), total);
  EXPECT_FALSE(t.HasChangedSince(last));
}

TEST(DTransformTest, EulerReadOfSteepDirection_DoesNotBendTheDirection) {
  // Above dy = 0.999 the derived angles drop the azimuth; the matrix must still look along d.
  const Vector3 d = Vector3(0.02f, 0.9995f, 0.02f).Normalized();
  DTransform t;
  t.SetDirection(d);
  t.GetEl();
  EXPECT_TRUE(Near(ToD(d), t.GetRotationMatrix().Row(2), 1e-6));
  EXPECT_TRUE(Near(ToD(d), t.GetQuaternion().ToMatrix().Row(2), 1e-5));
}
