// The render shape's mesh algorithms on a 200,000-face mesh, as an importer
// hands it over: a rolling height field of 317 x 317 cells, two triangles a
// cell, every face with its own three positions, normals and vertices, so
// that Optimize merges 600,000 of each down to about 100,000.
//  - Optimize, then BuildEdges (the importer's path);
//  - each on its own;
//  - ApplySmoothingGroups on the merged mesh (every face in every group).
// Each iteration starts from a fresh copy, made outside the timing.

#include <benchmark/benchmark.h>

#include <cmath>

#include "core/geometry/DRenderShape.h"

namespace {

constexpr int kCells = 317;  // 2 x 317^2 = 200,978 faces

Vector3 Height(int i, int j) {
  const float x = static_cast<float>(i) / kCells, z = static_cast<float>(j) / kCells;
  return Vector3(x, 0.1f * std::sin(9.0f * x) * std::cos(7.0f * z), z);
}

Vector3 Normal(int i, int j) {
  const Vector3 dx = Height(i + 1, j) - Height(i - 1, j), dz = Height(i, j + 1) - Height(i, j - 1);
  return dz.Cross(dx).Normalized();
}

void AddCorner(DRenderShape& s, int i, int j) {
  const int vertex = s.AddVertex(Height(i, j));
  DVertex& v = s.GetVertices()[vertex];
  v.normal = s.AddNormal(Normal(i, j));
  v.u = static_cast<float>(i) / kCells;
  v.v = static_cast<float>(j) / kCells;
  v.r = v.g = v.b = v.a = 1.0f;
}

const DRenderShape& SeparateFaces() {
  static DRenderShape* shape = [] {
    auto* s = new DRenderShape;
    const int corners[2][3][2] = {{{0, 0}, {1, 0}, {1, 1}}, {{1, 1}, {0, 1}, {0, 0}}};
    for (int i = 0; i < kCells; ++i) {
      for (int j = 0; j < kCells; ++j) {
        for (const auto& triangle : corners) {
          const int first = s->GetVertexCount();
          for (const auto& c : triangle) AddCorner(*s, i + c[0], j + c[1]);
          s->AddFace()->SetVertices(first, first + 1, first + 2);
        }
      }
    }
    return s;
  }();
  return *shape;
}

const DRenderShape& SharedVertices() {
  static DRenderShape* shape = [] {
    auto* s = new DRenderShape;
    s->CopyFrom(SeparateFaces());
    s->Optimize();
    return s;
  }();
  return *shape;
}

template <class Work>
void Run(benchmark::State& state, const DRenderShape& source, Work work) {
  DRenderShape s;
  for (auto _ : state) {
    state.PauseTiming();
    s.CopyFrom(source);
    state.ResumeTiming();
    work(s);
    benchmark::DoNotOptimize(s.GetEdgeCount());
  }
  state.counters["faces"] = static_cast<double>(s.GetFaceCount());
  state.counters["vertices"] = static_cast<double>(s.GetVertexCount());
}

void BM_RenderShapeOptimizeAndBuildEdges(benchmark::State& state) {
  Run(state, SeparateFaces(), [](DRenderShape& s) {
    s.Optimize();
    s.BuildEdges();
  });
}
BENCHMARK(BM_RenderShapeOptimizeAndBuildEdges)->Unit(benchmark::kMillisecond);

void BM_RenderShapeOptimize(benchmark::State& state) {
  Run(state, SeparateFaces(), [](DRenderShape& s) { s.Optimize(); });
}
BENCHMARK(BM_RenderShapeOptimize)->Unit(benchmark::kMillisecond);

void BM_RenderShapeBuildEdges(benchmark::State& state) {
  Run(state, SharedVertices(), [](DRenderShape& s) { s.BuildEdges(); });
}
BENCHMARK(BM_RenderShapeBuildEdges)->Unit(benchmark::kMillisecond);

void BM_RenderShapeApplySmoothingGroups(benchmark::State& state) {
  Run(state, SharedVertices(), [](DRenderShape& s) { s.ApplySmoothingGroups(); });
}
BENCHMARK(BM_RenderShapeApplySmoothingGroups)->Unit(benchmark::kMillisecond);

}  // namespace
