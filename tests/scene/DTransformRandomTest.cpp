// Randomised comparison of DTransform against a double-precision reference built from
// explicit matrices. Every way of writing the rotation and the deformation is drawn.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "core/scene/math/DTransform.h"
#include "tests/scene/MathReference.h"

using qibo::test::DAffine;
using qibo::test::DMat;
using qibo::test::DVec;
using qibo::test::Near;
using qibo::test::ToD;

namespace {

constexpr int kCases = 3000;
constexpr double kTol = 5e-5;
constexpr double kPi = std::numbers::pi;

struct Sample {
  DTransform t;
  DAffine ref;
  std::string how;
};

class Generator {
 public:
  explicit Generator(uint32_t seed) : m_rng(seed) {}

  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(m_rng); }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
  DVec Point() { return {Uniform(-10, 10), Uniform(-10, 10), Uniform(-10, 10)}; }

  // A transform written through one randomly chosen path per part, and its reference.
  Sample Transform() {
    Sample s;
    DMat rotation, deformation;
    if (Pick(6) == 0) {
      // Only a total matrix: a scaled rotation, a row-scaled rotation or a general matrix.
      const DMat r = RandomRotation();
      const int kind = Pick(3);
      const DMat total = kind == 0 ? r * Uniform(0.5, 2.0) : kind == 1 ? Scales() * r : General();
      s.t.SetMatrix(total.ToFloat());
      s.how = "total" + std::to_string(kind);
      rotation = DMat::From(total.ToFloat());
    } else {
      rotation = WriteRotation(s.t, s.how);
      deformation = WriteDeformation(s.t, s.how);
      rotation = deformation * rotation;
    }
    s.ref.lin = rotation;
    if (Pick(4) != 0) {
      const DVec p = Point();
      s.t.MoveTo(qibo::test::ToF(p));
      s.ref.pos = DVec{static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
      s.how += "+pos";
    }
    return s;
  }

  DMat RandomRotation() { return DMat::Euler(Uniform(-kPi, kPi), Uniform(-1.5, 1.5), Uniform(-kPi, kPi)); }

 private:
  DMat WriteRotation(DTransform& t, std::string& how) {
    const double az = Uniform(-kPi, kPi), el = Uniform(-1.5, 1.5), tw = Uniform(-kPi, kPi);
    switch (Pick(5)) {
      case 0:
        how = "norot";
        return DMat();
      case 1:
        how = "euler";
        t.SetEuler(az, el, tw);
        return DMat::Euler(static_cast<float>(az), static_cast<float>(el), static_cast<float>(tw));
      case 2: {
        how = "quat";
        const Quaternion q = Quaternion::FromEuler(az, el, tw);
        t.SetQuat(q);
        return DMat::FromQuat(q.x, q.y, q.z, q.w);
      }
      case 3: {
        how = "matrix";
        const Matrix33 m = DMat::Euler(az, el, tw).ToFloat();
        t.SetRotationMatrix(m);
        return DMat::From(m);
      }
      default: {
        how = "direction";
        const DVec d{std::sin(az) * std::cos(el), -std::sin(el), std::cos(az) * std::cos(el)};
        t.SetDirection(qibo::test::ToF(d));
        return DMat::Euler(az, el, 0);  // looking along d without twist
      }
    }
  }

  DMat WriteDeformation(DTransform& t, std::string& how) {
    switch (Pick(4)) {
      case 0:
        return DMat();
      case 1: {
        const float s = static_cast<float>(Uniform(0.5, 2.0));
        t.ScaleTo(s);
        how += "+scale";
        return DMat::Diag(s, s, s);
      }
      case 2: {
        const DMat d = Scales();
        t.ScaleTo(d.m[0][0], d.m[1][1], d.m[2][2]);
        how += "+scaleNU";
        return d;
      }
      default: {
        const DMat d = DMat::From(General().ToFloat());
        t.SetDeformationMatrix(d.ToFloat());
        how += "+deform";
        return d;
      }
    }
  }

  DMat Scales() {
    return DMat::From(DMat::Diag(Uniform(0.5, 2.0), Uniform(0.5, 2.0), Uniform(0.5, 2.0)).ToFloat());
  }

  // A well-conditioned general matrix (a shear-like perturbation of a scaled identity).
  DMat General() {
    for (;;) {
      DMat m = DMat::Diag(Uniform(0.7, 1.5), Uniform(0.7, 1.5), Uniform(0.7, 1.5));
      for (auto& row : m.m) {
        for (double& v : row) v += Uniform(-0.3, 0.3);
      }
      if (std::fabs(m.Det()) > 0.3) return DMat::From(m.ToFloat());
    }
  }

  std::mt19937 m_rng;
};

}  // namespace

TEST(DTransformRandomTest, TransformPoint_MatchesReference) {
  Generator gen(1234);
  for (int i = 0; i < kCases; ++i) {
    const Sample s = gen.Transform();
    const DVec p = gen.Point();
    const Vector3 fp = qibo::test::ToF(p);
    EXPECT_TRUE(Near(s.ref(ToD(fp)), s.t.TransformPoint(fp), kTol)) << "case " << i << " " << s.how;
    EXPECT_TRUE(Near(s.ref.lin, s.t.GetTotalMatrix(), kTol)) << "case " << i << " " << s.how;
    Vector3 inPlace = fp;
    s.t.TransformPoints(&inPlace, 1);
    EXPECT_EQ(inPlace, s.t.TransformPoint(fp)) << "case " << i;
  }
}

TEST(DTransformRandomTest, BackTransformPoint_MatchesReferenceInverse) {
  Generator gen(99);
  for (int i = 0; i < kCases; ++i) {
    const Sample s = gen.Transform();
    const Vector3 p = qibo::test::ToF(gen.Point());
    EXPECT_TRUE(Near(s.ref.Inverse()(ToD(p)), s.t.BackTransformPoint(p), 2e-4))
        << "case " << i << " " << s.how;
  }
}

TEST(DTransformRandomTest, Combine_MatchesMatrixProduct) {
  Generator gen(4321);
  for (int i = 0; i < kCases; ++i) {
    const Sample a = gen.Transform();
    const Sample b = gen.Transform();
    DTransform c;
    c.Combine(a.t, b.t);
    const DAffine expected = a.ref.Then(b.ref);
    const Vector3 p = qibo::test::ToF(gen.Point());
    const std::string how = a.how + " then " + b.how;
    EXPECT_TRUE(Near(expected(ToD(p)), c.TransformPoint(p), 2e-4)) << "case " << i << " " << how;
    EXPECT_TRUE(Near(expected.lin, c.GetTotalMatrix(), 2e-4)) << "case " << i << " " << how;
    EXPECT_EQ(c.HasPosition(), a.t.HasPosition() || b.t.HasPosition()) << "case " << i;
    // Splitting the combined result still reproduces it.
    EXPECT_TRUE(Near(expected.lin, c.GetDeformationMatrix() * c.GetRotationMatrix(), 2e-4))
        << "case " << i << " " << how;
  }
}

TEST(DTransformRandomTest, InvertAndSetInverse_MatchReferenceInverse) {
  Generator gen(777);
  for (int i = 0; i < kCases; ++i) {
    Sample s = gen.Transform();
    if (i % 2) s.t.GetInverseMatrix();  // both with and without a cached inverse
    const DAffine expected = s.ref.Inverse();
    DTransform viaSet;
    viaSet.SetInverse(s.t);
    DTransform inverted = s.t;
    inverted.Invert();
    const Vector3 p = qibo::test::ToF(gen.Point());
    EXPECT_TRUE(Near(expected(ToD(p)), viaSet.TransformPoint(p), 2e-4)) << "case " << i << " " << s.how;
    EXPECT_TRUE(Near(expected(ToD(p)), inverted.TransformPoint(p), 2e-4)) << "case " << i << " " << s.how;
    EXPECT_TRUE(Near(expected.lin, inverted.GetTotalMatrix(), 2e-4)) << "case " << i << " " << s.how;
    // The inverted transform's parts still describe it.
    EXPECT_TRUE(Near(expected.lin, inverted.GetDeformationMatrix() * inverted.GetRotationMatrix(), 2e-4))
        << "case " << i << " " << s.how;
  }
}

TEST(DTransformRandomTest, RotationRepresentations_ConvertIntoEachOther) {
  Generator gen(2024);
  for (int i = 0; i < kCases; ++i) {
    const double az = gen.Uniform(-kPi, kPi), el = gen.Uniform(-1.5, 1.5), tw = gen.Uniform(-kPi, kPi);
    const DMat expected = DMat::Euler(static_cast<float>(az), static_cast<float>(el), static_cast<float>(tw));

    DTransform euler;
    euler.SetEuler(az, el, tw);
    const Quaternion q = euler.GetQuaternion();
    EXPECT_TRUE(Near(expected, q.ToMatrix(), kTol)) << "case " << i;
    EXPECT_TRUE(Near(DVec{expected.m[2][0], expected.m[2][1], expected.m[2][2]}, euler.GetDirection(), kTol));
    EXPECT_TRUE(Near(expected, euler.GetRotationMatrix(), kTol)) << "case " << i;

    // Quaternion back to Euler angles, through its matrix.
    DTransform fromQuat;
    fromQuat.SetQuat(q);
    const DMat rebuilt = DMat::Euler(fromQuat.GetAz(), fromQuat.GetEl(), fromQuat.GetTw());
    EXPECT_TRUE(Near(expected, rebuilt.ToFloat(), 2e-4)) << "case " << i;
    EXPECT_NEAR(fromQuat.GetEl(), el, 2e-3) << "case " << i;

    // Matrix to quaternion and back.
    DTransform fromMatrix;
    fromMatrix.SetRotationMatrix(expected.ToFloat());
    EXPECT_GT(std::fabs(fromMatrix.GetQuaternion().Dot(q)), 1.0f - 1e-5f) << "case " << i;

    // Direction to Euler: no twist, the same forward axis.
    DTransform fromDirection;
    fromDirection.SetDirection(euler.GetDirection());
    EXPECT_NEAR(fromDirection.GetTw(), 0.0, 1e-12);
    const DMat untwisted = DMat::Euler(fromDirection.GetAz(), fromDirection.GetEl(), 0);
    EXPECT_TRUE(Near(DMat::Euler(az, el, 0), fromDirection.GetRotationMatrix(), kTol)) << "case " << i;
    EXPECT_TRUE(Near(untwisted, fromDirection.GetRotationMatrix(), 2e-4)) << "case " << i;
  }
}

TEST(DTransformRandomTest, TotalMatrixSplit_ReproducesTheMatrix) {
  Generator gen(555);
  for (int i = 0; i < kCases; ++i) {
    const DMat r = gen.RandomRotation();
    const int kind = i % 3;
    const double s = gen.Uniform(0.5, 2.0);
    const DMat scales = DMat::Diag(gen.Uniform(0.5, 2.0), gen.Uniform(0.5, 2.0), gen.Uniform(0.5, 2.0));
    const DMat total = kind == 0 ? r * s : kind == 1 ? scales * r : scales * r * scales;
    DTransform t;
    t.SetMatrix(total.ToFloat());
    const DMat d = DMat::From(t.GetDeformationMatrix()), rot = DMat::From(t.GetRotationMatrix());
    EXPECT_TRUE(Near(total, (d * rot).ToFloat(), kTol)) << "case " << i << " kind " << kind;
    if (t.HasRotation()) {
      EXPECT_TRUE(Near(DMat(), (rot * rot.Transposed()).ToFloat(), 1e-5)) << "case " << i;
    }
    if (kind == 0) {
      EXPECT_NEAR(t._Scale(), s, 1e-5 * s) << "case " << i;
      EXPECT_TRUE(Near(r, t.GetRotationMatrix(), kTol)) << "case " << i;
    } else if (kind == 1) {
      EXPECT_TRUE(Near(DVec{scales.m[0][0], scales.m[1][1], scales.m[2][2]}, t._ScaleNU(), kTol))
          << "case " << i;
      EXPECT_TRUE(Near(r, t.GetRotationMatrix(), kTol)) << "case " << i;
    }
    // Resetting one half keeps the other.
    DTransform noRotation;
    noRotation.SetMatrix(total.ToFloat());
    noRotation.ResetRotation();
    EXPECT_TRUE(Near(d, noRotation.GetTotalMatrix(), kTol)) << "case " << i;
  }
}
