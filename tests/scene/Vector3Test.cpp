#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "core/scene/math/Vector3.h"
#include "tests/scene/MathReference.h"

using qibo::test::DMat;
using qibo::test::Near;

namespace {

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

}  // namespace

TEST(Matrix33Test, ProductsAndInverse_MatchReference) {
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const DMat a = RandomMatrix(rng), b = RandomMatrix(rng);
    const Matrix33 fa = a.ToFloat(), fb = b.ToFloat();
    Matrix33 m = fa;
    m *= fb;
    EXPECT_TRUE(Near(a * b, m, 2e-5));
    m = fa;
    m.MultiplyTransposed(fb);
    EXPECT_TRUE(Near(a * b.Transposed(), m, 2e-5));
    EXPECT_TRUE(Near(qibo::test::DVec{1, 2, 3} * a, Vector3(1, 2, 3) * fa, 2e-5));  // row vector x matrix
    if (std::fabs(a.Det()) > 0.5) {
      EXPECT_TRUE(Near(a.Inverse(), fa.Inverse(), 1e-4)) << "case " << i;
    }
  }
}

TEST(Matrix33Test, Inverse_OfSingularMatrixIsTheAdjugate) {
  const Matrix33 singular(1, 2, 3, 2, 4, 6, 1, 0, 1);
  ASSERT_EQ(singular.Determinant(), 0.0f);
  EXPECT_TRUE(Near(DMat::From(singular).Adjugate(), singular.Inverse(), 0));
}

TEST(Matrix33Test, NormalizeRowsAndDivide) {
  Matrix33 m(2, 0, 0, 0, 0, 3, 0, -4, 0);
  m.NormalizeRows();
  EXPECT_EQ(m, Matrix33(1, 0, 0, 0, 0, 1, 0, -1, 0));
  Matrix33 d(2, 4, 6, 8, 10, 12, 14, 16, 18);
  d /= 2.0f;
  EXPECT_EQ(d, Matrix33(1, 2, 3, 4, 5, 6, 7, 8, 9));
}

TEST(QuaternionTest, HamiltonProduct_ComposesMatricesInReverse) {
  std::mt19937 rng(13);
  for (int i = 0; i < 500; ++i) {
    const Quaternion q = RandomUnitQuaternion(rng), r = RandomUnitQuaternion(rng);
    EXPECT_TRUE(Near(DMat::FromQuat(q.x, q.y, q.z, q.w), q.ToMatrix(), 2e-5));
    Quaternion p = q;
    p *= r;
    EXPECT_TRUE(Near(DMat::From(r.ToMatrix()) * DMat::From(q.ToMatrix()), p.ToMatrix(), 1e-5));
  }
}

TEST(QuaternionTest, FromMatrix_RoundTripsEveryBranch) {
  std::mt19937 rng(19);
  for (int i = 0; i < 3000; ++i) {
    const Quaternion q = RandomUnitQuaternion(rng);
    EXPECT_GT(std::fabs(q.Dot(Quaternion::FromMatrix(q.ToMatrix()))), 1.0f - 1e-5f) << "case " << i;
  }
  // Half turns have trace -1 and take the largest-diagonal branch, one per axis.
  constexpr float kPi = std::numbers::pi_v<float>;
  for (const Matrix33& half :
       {Matrix33::RotationEl(kPi), Matrix33::RotationAz(kPi), Matrix33::RotationTw(kPi)}) {
    EXPECT_TRUE(Near(DMat::From(half), Quaternion::FromMatrix(half).ToMatrix(), 1e-6));
  }
}

TEST(QuaternionTest, Slerp_InterpolatesTheAngleAlongTheShorterArc) {
  const Quaternion q1 = Quaternion::RotationAz(2.0f);
  const Quaternion mid = Quaternion::Slerp(Quaternion(), q1, 0.25f);
  EXPECT_NEAR(mid.Dot(mid), 1.0f, 1e-6f);
  EXPECT_GT(mid.Dot(Quaternion::RotationAz(0.5f)), 1.0f - 1e-6f);
  const Quaternion flipped(-q1.x, -q1.y, -q1.z, -q1.w);
  EXPECT_GT(Quaternion::Slerp(Quaternion(), flipped, 0.25f).Dot(mid), 1.0f - 1e-6f);
}

TEST(QuaternionTest, Slerp_NearlyParallelIsLinearAndNotRenormalised) {
  const Quaternion q1 = Quaternion::RotationAz(0.1f);  // cosine 0.99875
  const Quaternion r = Quaternion::Slerp(Quaternion(), q1, 0.5f);
  EXPECT_FLOAT_EQ(r.y, 0.5f * q1.y);
  EXPECT_FLOAT_EQ(r.w, 0.5f * (1.0f + q1.w));
  EXPECT_LT(r.Dot(r), 1.0f - 1e-7f);
}
