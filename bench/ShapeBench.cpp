// Culling: the frustum test (CTShape::CheckAgainstFrustum) of 10,000 boxes,
// each with a placement of its own, against a six-plane view frustum (90
// degrees, near 1, far 100, looking along +Z). Boxes are spread so that
// some lie inside, some outside and some across a plane. Placements that
// only move, and placements that also turn and scale. The "ns_per_box"
// counter is the time of one test.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/object/Ref.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/math/DFrustum.h"
#include "core/scene/math/DTransform.h"

namespace {

constexpr int kBoxes = 10000;

DFrustum ViewFrustum() {
  const float s = std::sqrt(0.5f);
  DFrustum frustum(6);
  frustum[0] = {{s, 0, -s}, 0};  // right: x <= z
  frustum[1] = {{-s, 0, -s}, 0};
  frustum[2] = {{0, s, -s}, 0};
  frustum[3] = {{0, -s, -s}, 0};
  frustum[4] = {{0, 0, -1}, -1};  // near: z >= 1
  frustum[5] = {{0, 0, 1}, 100};  // far
  return frustum;
}

struct Boxes {
  std::vector<Ref<CTBox>> shapes;
  std::vector<DTransform> placements;
};

Boxes MakeBoxes(bool turned) {
  Boxes boxes;
  std::mt19937 random(5);
  std::uniform_real_distribution<float> unit(-1, 1);
  boxes.placements.resize(kBoxes);
  for (int i = 0; i < kBoxes; ++i) {
    Ref<CTBox> box = qibo::Create<CTBox>();
    box->SetDimensions(Vector3(1 + unit(random) * 0.5f, 1 + unit(random) * 0.5f, 1 + unit(random) * 0.5f));
    boxes.shapes.push_back(box);
    DTransform& t = boxes.placements[static_cast<size_t>(i)];
    if (turned) {
      t.SetEuler(unit(random) * 3, unit(random) * 3, unit(random) * 3);
      t.ScaleTo(1.5 + unit(random));
    }
    t.MoveTo(Vector3(unit(random) * 80, unit(random) * 80, 50 + unit(random) * 70));
  }
  return boxes;
}

void RunCulling(benchmark::State& state, bool turned) {
  const DFrustum frustum = ViewFrustum();
  Boxes boxes = MakeBoxes(turned);
  int answers[4] = {};
  for (auto _ : state) {
    for (int i = 0; i < kBoxes; ++i) {
      uint32_t clip = qibo::kClipAll;
      const intersect_t r = boxes.shapes[static_cast<size_t>(i)]->CheckAgainstFrustum(
          frustum, &boxes.placements[static_cast<size_t>(i)], &clip);
      ++answers[r & 3];
      benchmark::DoNotOptimize(clip);
    }
  }
  state.SetItemsProcessed(state.iterations() * kBoxes);
  state.counters["ns_per_box"] = benchmark::Counter(
      kBoxes * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  // The share of each answer, so that the mix is known.
  const double tests = static_cast<double>(state.iterations()) * kBoxes;
  state.counters["inside"] = answers[kIntersectInside] / tests;
  state.counters["outside"] = answers[kIntersectOutside] / tests;
  state.counters["across"] = answers[kIntersectPartly] / tests;
}

void BM_CullBoxesMoved(benchmark::State& state) { RunCulling(state, false); }
BENCHMARK(BM_CullBoxesMoved)->Unit(benchmark::kMicrosecond);

void BM_CullBoxesTurnedAndScaled(benchmark::State& state) { RunCulling(state, true); }
BENCHMARK(BM_CullBoxesTurnedAndScaled)->Unit(benchmark::kMicrosecond);

}  // namespace
