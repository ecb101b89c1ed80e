#include "core/scene/Vector3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "tests/scene/MathReference.h"

using qibo::test::DMat;
using qibo::test::DVec;
using qibo::test::Near;

namespace {

constexpr double kTol = 2e-5;
constexpr float kPi = std::numbers::pi_v<float>;

DMat RandomMatrix(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  DMat m;
  for (auto& row : m.m) {
    for (double& v : row) v = u(rng);
  }
  return DMat::From(m.ToFloat());  // exactly representable in both precisions
}

Quaternion RandomUnitQuaternion(std::mt19937& rng) {
  std::normal_distribution<float> n;
  Quaternion q(n(rng), n(rng), n(rng), n(rng));
  q.Normalize();
  return q;
}

float AbsDot(const Quaternion& a, const Quaternion& b) { return std::fabs(a.Dot(b)); }

}  // namespace

TEST(Vector3Test, CrossFollowsLeftHandedAxes) {
  // Forward x right is up: the direction-derived basis relies on this.
  EXPECT_EQ(Vector3(0, 0, 1).Cross(Vector3(1, 0, 0)), Vector3(0, 1, 0));
  EXPECT_EQ(Vector3(1, 0, 0).Cross(Vector3(0, 1, 0)), Vector3(0, 0, 1));
}

TEST(Vector3Test, Normalize_ReturnsLengthAndLeavesZeroVectorAlone) {
  Vector3 v(3, 0, 4);
  EXPECT_FLOAT_EQ(v.Normalize(), 5.0f);
  EXPECT_TRUE(Near(DVec{0.6, 0, 0.8}, v, 1e-7));
  Vector3 zero;
  EXPECT_EQ(zero.Normalize(), 0.0f);
  EXPECT_EQ(zero, Vector3());
}

TEST(Matrix33Test, RowVectorTimesMatrixUsesColumns) {
  const Matrix33 m(1, 2, 3, 4, 5, 6, 7, 8, 9);
  EXPECT_EQ(Vector3(1, 0, 0) * m, Vector3(1, 2, 3));
  EXPECT_EQ(m.TransformTransposed(Vector3(1, 0, 0)), Vector3(1, 4, 7));
  EXPECT_EQ(Vector3(1, 1, 1) * m, Vector3(12, 15, 18));
}

TEST(Matrix33Test, Products_MatchReference) {
  std::mt19937 rng(7);
  for (int i = 0; i < 500; ++i) {
    const DMat a = RandomMatrix(rng), b = RandomMatrix(rng);
    const Matrix33 fa = a.ToFloat(), fb = b.ToFloat();
    EXPECT_TRUE(Near(a * b, fa * fb, kTol));
    Matrix33 t;
    t.SetProductTransposed(fa, fb);
    EXPECT_TRUE(Near(a * b.Transposed(), t, kTol));
    Matrix33 inPlace = fa;
    inPlace *= fb;
    EXPECT_TRUE(Near(a * b, inPlace, kTol));
    inPlace = fa;
    inPlace.MultiplyTransposed(fb);
    EXPECT_TRUE(Near(a * b.Transposed(), inPlace, kTol));
    inPlace = fa;
    inPlace.Transpose();
    EXPECT_EQ(inPlace, fa.Transposed());
    EXPECT_TRUE(Near(a.Transposed(), inPlace, 0));
  }
}

TEST(Matrix33Test, ProductTransposed_IsSafeWhenAliased) {
  Matrix33 m(1, 2, 3, 4, 5, 6, 7, 8, 10);
  const DMat expected = DMat::From(m) * DMat::From(m).Transposed();
  m.SetProductTransposed(m, m);
  EXPECT_TRUE(Near(expected, m, 1e-6));
}

TEST(Matrix33Test, Inverse_MatchesReference) {
  std::mt19937 rng(11);
  for (int i = 0; i < 2000; ++i) {
    const DMat a = RandomMatrix(rng);
    if (std::fabs(a.Det()) < 0.5) continue;  // keep float error bounded
    EXPECT_TRUE(Near(a.Inverse(), a.ToFloat().Inverse(), 1e-4)) << "case " << i;
  }
}

TEST(Matrix33Test, Inverse_OfSingularMatrixIsTheAdjugate) {
  const Matrix33 singular(1, 2, 3, 2, 4, 6, 1, 0, 1);
  ASSERT_EQ(singular.Determinant(), 0.0f);
  const Matrix33 inv = singular.Inverse();
  EXPECT_TRUE(Near(DMat::From(singular).Adjugate(), inv, 0));
  for (const auto& row : inv.m) {
    for (float v : row) EXPECT_TRUE(std::isfinite(v));
  }
}

TEST(Matrix33Test, DivisionAndRowNormalisation) {
  Matrix33 m(2, 0, 0, 0, 0, 3, 0, -4, 0);
  m.NormalizeRows();
  EXPECT_EQ(m, Matrix33(1, 0, 0, 0, 0, 1, 0, -1, 0));
  Matrix33 d(2, 4, 6, 8, 10, 12, 14, 16, 18);
  d /= 2.0f;
  EXPECT_EQ(d, Matrix33(1, 2, 3, 4, 5, 6, 7, 8, 9));
}

TEST(Matrix33Test, FromEuler_IsTwistThenElevationThenAzimuth) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  for (int i = 0; i < 500; ++i) {
    const double az = angle(rng), el = angle(rng), tw = angle(rng);
    EXPECT_TRUE(Near(DMat::Euler(az, el, tw), Matrix33::FromEuler(az, el, tw), kTol));
  }
  // A positive azimuth turns forward towards +X, a positive elevation towards -Y.
  EXPECT_GT((Vector3(0, 0, 1) * Matrix33::RotationAz(0.3f)).x, 0.0f);
  EXPECT_LT((Vector3(0, 0, 1) * Matrix33::RotationEl(0.3f)).y, 0.0f);
  EXPECT_GT((Vector3(1, 0, 0) * Matrix33::RotationTw(0.3f)).y, 0.0f);
}

TEST(QuaternionTest, ToMatrix_MatchesReferenceMapping) {
  std::mt19937 rng(5);
  for (int i = 0; i < 500; ++i) {
    const Quaternion q = RandomUnitQuaternion(rng);
    EXPECT_TRUE(Near(DMat::FromQuat(q.x, q.y, q.z, q.w), q.ToMatrix(), kTol));
  }
}

TEST(QuaternionTest, HamiltonProduct_ComposesMatricesInReverse) {
  std::mt19937 rng(13);
  for (int i = 0; i < 500; ++i) {
    const Quaternion q = RandomUnitQuaternion(rng), r = RandomUnitQuaternion(rng);
    Quaternion p = q;
    p *= r;
    EXPECT_TRUE(Near(DMat::From(r.ToMatrix()) * DMat::From(q.ToMatrix()), p.ToMatrix(), 1e-5));
  }
}

TEST(QuaternionTest, FromEuler_MatchesEulerMatrix) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  for (int i = 0; i < 500; ++i) {
    const double az = angle(rng), el = angle(rng), tw = angle(rng);
    EXPECT_TRUE(Near(DMat::Euler(az, el, tw), Quaternion::FromEuler(az, el, tw).ToMatrix(), kTol));
  }
  const Quaternion az = Quaternion::RotationAz(0.8f);
  EXPECT_FLOAT_EQ(az.y, std::sin(0.4f));
  EXPECT_FLOAT_EQ(az.w, std::cos(0.4f));
}

TEST(QuaternionTest, FromMatrix_RoundTripsEveryBranch) {
  std::mt19937 rng(19);
  for (int i = 0; i < 3000; ++i) {
    const Quaternion q = RandomUnitQuaternion(rng);
    EXPECT_GT(AbsDot(q, Quaternion::FromMatrix(q.ToMatrix())), 1.0f - 1e-5f) << "case " << i;
  }
  // Half turns have trace -1 and take the largest-diagonal branch, one per axis.
  for (const Matrix33& half : {Matrix33::RotationEl(kPi), Matrix33::RotationAz(kPi), Matrix33::RotationTw(kPi)}) {
    const Quaternion q = Quaternion::FromMatrix(half);
    EXPECT_TRUE(Near(DMat::From(half), q.ToMatrix(), 1e-6));
  }
}

TEST(QuaternionTest, Slerp_KeepsUnitLengthAndInterpolatesAngle) {
  const Quaternion q0;
  const Quaternion q1 = Quaternion::RotationAz(2.0f);
  const Quaternion mid = Quaternion::Slerp(q0, q1, 0.25f);
  EXPECT_NEAR(mid.Dot(mid), 1.0f, 1e-6f);
  EXPECT_GT(AbsDot(mid, Quaternion::RotationAz(0.5f)), 1.0f - 1e-6f);
  EXPECT_GT(AbsDot(Quaternion::Slerp(q0, q1, 0.0f), q0), 1.0f - 1e-6f);
  EXPECT_GT(AbsDot(Quaternion::Slerp(q0, q1, 1.0f), q1), 1.0f - 1e-6f);
}

TEST(QuaternionTest, Slerp_TakesTheShorterArc) {
  const Quaternion q0 = Quaternion::RotationAz(0.2f);
  const Quaternion q1 = Quaternion::RotationAz(0.6f);
  const Quaternion flipped(-q1.x, -q1.y, -q1.z, -q1.w);
  const Quaternion r = Quaternion::Slerp(q0, flipped, 0.5f);
  EXPECT_GT(r.Dot(Quaternion::RotationAz(0.4f)), 1.0f - 1e-6f);
}

TEST(QuaternionTest, Slerp_NearlyParallelIsLinearAndNotRenormalised) {
  const Quaternion q0;
  const Quaternion q1 = Quaternion::RotationAz(0.1f);  // cosine of the half angle 0.99875
  const Quaternion r = Quaternion::Slerp(q0, q1, 0.5f);
  EXPECT_FLOAT_EQ(r.y, 0.5f * q1.y);
  EXPECT_FLOAT_EQ(r.w, 0.5f * (1.0f + q1.w));
  EXPECT_LT(r.Dot(r), 1.0f - 1e-7f);
}
