// Transform math: the per-entity, per-frame paths.

#include <benchmark/benchmark.h>

#include <vector>

#include "core/scene/math/DTransform.h"

namespace {

constexpr int kPointCount = 1 << 20;  // about one million packed points

DTransform Placed(double az, double el, double tw, const Vector3& scale, const Vector3& position) {
  DTransform t;
  t.SetEuler(az, el, tw);
  t.ScaleTo(scale);
  t.MoveTo(position);
  return t;
}

std::vector<Vector3> MakePoints() {
  std::vector<Vector3> points(kPointCount);
  for (int i = 0; i < kPointCount; ++i) points[i] = Vector3(i % 101 * 0.1f, i % 37 * -0.2f, i % 53 * 0.05f);
  return points;
}

void BM_SetEulerThenGetRotationMatrix(benchmark::State& state) {
  DTransform t;
  double az = 0.1;
  for (auto _ : state) {
    t.SetEuler(az, 0.3, -0.2);
    benchmark::DoNotOptimize(t.GetRotationMatrix());
    az += 1e-3;
  }
}
BENCHMARK(BM_SetEulerThenGetRotationMatrix);

void BM_Combine(benchmark::State& state) {
  const bool uniform = state.range(0) != 0;
  const DTransform a = Placed(0.3, 0.2, 0.1, uniform ? Vector3(2, 2, 2) : Vector3(1, 2, 3), Vector3(1, 2, 3));
  const DTransform b =
      Placed(-0.5, 0.4, 0.9, uniform ? Vector3(3, 3, 3) : Vector3(0.5, 1, 2), Vector3(-4, 0, 7));
  DTransform c;
  c.Combine(a, b);  // derive the inputs' caches once, as a scene graph would between frames
  for (auto _ : state) {
    c.Combine(a, b);
    benchmark::DoNotOptimize(c);
    benchmark::ClobberMemory();
  }
  state.SetLabel(uniform ? "uniform scale" : "non-uniform scale");
}
BENCHMARK(BM_Combine)->Arg(1)->Arg(0);

// Rotation and position only, so points stay bounded when transformed in place over and over.
DTransform PointsTransform() {
  DTransform t;
  t.SetEuler(0.3, -0.2, 0.1);
  t.MoveTo(Vector3(0.5f, -1.0f, 2.0f));
  return t;
}

void BM_TransformPoints(benchmark::State& state) {
  std::vector<Vector3> points = MakePoints();
  const DTransform t = PointsTransform();
  for (auto _ : state) {
    t.TransformPoints(points.data(), kPointCount, 0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPointCount);
}
BENCHMARK(BM_TransformPoints);

// The same work written as a plain loop over the same matrix and position.
void BM_TransformPointsPlainLoop(benchmark::State& state) {
  std::vector<Vector3> points = MakePoints();
  const DTransform t = PointsTransform();
  const Matrix33 m = t.GetTotalMatrix();
  const Vector3 pos = t.GetPosition();
  for (auto _ : state) {
    for (Vector3& p : points) {
      p = Vector3(p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + pos.x,
                  p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + pos.y,
                  p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + pos.z);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPointCount);
}
BENCHMARK(BM_TransformPointsPlainLoop);

}  // namespace
