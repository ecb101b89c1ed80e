// Collision detection. The broad phase for 10,000 moving boxes a frame:
// the sort and sweep the collision service runs, beside the all-pairs test
// it stands in for, in a cube of a world and a flat one; the service's
// whole broad phase for 10,000 moving entities (their boxes made again
// from their world transforms, pairs made and dropped); and one narrow
// phase test of two turned boxes, apart with a warm cache, cold, touching,
// and with contact points. "pairs" counts the pairs found per frame.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/geometry/CTISAGJK.h"
#include "core/geometry/collision/DSweepAndPrune.h"
#include "core/geometry/collision/DefCollisionManager.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "core/scene/CTEntity.h"

namespace {

constexpr int kBoxes = 10000;

// Boxes of 0.5 to 1.5 drifting at up to 0.1 a frame in a world of the
// given size, turning back at its walls.
struct MovingBoxes {
  std::vector<DBroadBox> boxes;
  std::vector<float> velocity;  // three per box

  MovingBoxes(float sx, float sy, float sz) : boxes(kBoxes), velocity(3 * kBoxes), m_size{sx, sy, sz} {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < kBoxes; ++i) {
      DBroadBox& box = boxes[static_cast<size_t>(i)];
      box.flags = 0;
      for (int axis = 0; axis < 3; ++axis) {
        const float extent = 0.5f + unit(random);
        box.min[axis] = unit(random) * (m_size[axis] - extent);
        box.max[axis] = box.min[axis] + extent;
        velocity[static_cast<size_t>(3 * i + axis)] = (unit(random) - 0.5f) * 0.2f;
      }
    }
  }
  void Move() {
    for (int i = 0; i < kBoxes; ++i) {
      DBroadBox& box = boxes[static_cast<size_t>(i)];
      for (int axis = 0; axis < 3; ++axis) {
        float& v = velocity[static_cast<size_t>(3 * i + axis)];
        if (box.min[axis] + v < 0.0f || box.max[axis] + v > m_size[axis]) v = -v;
        box.min[axis] += v;
        box.max[axis] += v;
      }
    }
  }

 private:
  float m_size[3];
};

void RunSweep(benchmark::State& state, MovingBoxes scene) {
  DSweepAndPrune sweep;
  std::vector<DBoxPair> pairs;
  sweep.FindPairs(scene.boxes, pairs);  // the first sort, as at a scene's start
  size_t found = 0;
  for (auto _ : state) {
    scene.Move();
    sweep.FindPairs(scene.boxes, pairs);
    found += pairs.size();
  }
  state.counters["pairs"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}

void BM_BroadPhaseSweep_CubeWorld(benchmark::State& state) { RunSweep(state, MovingBoxes(100, 100, 100)); }
BENCHMARK(BM_BroadPhaseSweep_CubeWorld)->Unit(benchmark::kMicrosecond);

void BM_BroadPhaseSweep_FlatWorld(benchmark::State& state) { RunSweep(state, MovingBoxes(300, 10, 300)); }
BENCHMARK(BM_BroadPhaseSweep_FlatWorld)->Unit(benchmark::kMicrosecond);

void BM_BroadPhaseAllPairs_CubeWorld(benchmark::State& state) {
  MovingBoxes scene(100, 100, 100);
  std::vector<DBoxPair> pairs;
  size_t found = 0;
  for (auto _ : state) {
    scene.Move();
    DSweepAndPrune::FindPairsAllPairs(scene.boxes, pairs);
    found += pairs.size();
  }
  state.counters["pairs"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BroadPhaseAllPairs_CubeWorld)->Unit(benchmark::kMillisecond)->Iterations(5);

// The service's broad phase over entities: a tenth of them ask for
// reports, so that overlapping pairs are made and dropped as they drift.
void BM_CollisionServiceBroadPhase_MovingEntities(benchmark::State& state) {
  auto* collisions = qibo::Cast<DefCollisionManager>(qibo::GetService<CTCollisionManager>());
  if (!collisions) {
    state.SkipWithError("no collision service");
    return;
  }
  MovingBoxes scene(100, 100, 100);
  std::vector<Ref<CTEntity>> entities;
  std::vector<Ref<CTBox>> volumes;
  for (int i = 0; i < kBoxes; ++i) {
    const DBroadBox& box = scene.boxes[static_cast<size_t>(i)];
    Ref<CTBox> volume = qibo::Create<CTBox>();
    volume->SetDimensions(Vector3(box.max[0] - box.min[0], box.max[1] - box.min[1], box.max[2] - box.min[2]));
    Ref<CTEntity> entity = qibo::Create<CTEntity>();
    entity->MoveTo(Vector3((box.min[0] + box.max[0]) * 0.5f, (box.min[1] + box.max[1]) * 0.5f,
                           (box.min[2] + box.max[2]) * 0.5f));
    entity->SetCollisionVolume(volume.Get());
    if (i % 10 == 0) collisions->SetReports(entity.Get(), true);
    entities.push_back(entity);
    volumes.push_back(volume);
  }
  collisions->RunBroadPhase();
  for (auto _ : state) {
    for (int i = 0; i < kBoxes; ++i) {
      const float* v = &scene.velocity[static_cast<size_t>(3 * i)];
      entities[static_cast<size_t>(i)]->MoveBy(Vector3(v[0] * 0.5f, v[1] * 0.5f, v[2] * 0.5f));
      if (i % 2 == 0) scene.velocity[static_cast<size_t>(3 * i)] = -v[0];  // back and forth
    }
    collisions->RunBroadPhase();
  }
  state.counters["pairs"] = collisions->GetPairCount();
  collisions->RemoveAll();
}
BENCHMARK(BM_CollisionServiceBroadPhase_MovingEntities)->Unit(benchmark::kMicrosecond);

// Two unit boxes, each turned, their centres 1.8 apart (apart) or 1.2
// apart (touching).
struct BoxPair {
  Ref<CTBox> a = qibo::Create<CTBox>(), b = qibo::Create<CTBox>();
  DTransform ta, tb;
  explicit BoxPair(float distance) {
    a->SetDimensions(1.0);
    b->SetDimensions(1.0);
    ta.SetEuler(0.3, 0.5, 0.1);
    tb.SetEuler(-0.4, 0.2, 0.7);
    tb.MoveTo(Vector3(distance, 0.1f, -0.05f));
  }
};

void RunNarrow(benchmark::State& state, float distance, bool cached, bool contact) {
  Ref<CTISAGJK> gjk = qibo::Create<CTISAGJK>();
  BoxPair pair(distance);
  DDetectorCache* cache = cached ? gjk->CreateCache() : nullptr;
  Vector3 pa, pb;
  int touching = 0;
  float wobble = 0.001f;
  for (auto _ : state) {
    // Coherent motion: a little back and forth between tests.
    pair.tb.MoveByY(wobble);
    wobble = -wobble;
    touching += contact ? gjk->ContactTest(pair.a.Get(), pair.ta, pair.b.Get(), pair.tb, cache, pa, pb)
                        : gjk->IntersectTest(pair.a.Get(), pair.ta, pair.b.Get(), pair.tb, cache);
  }
  benchmark::DoNotOptimize(pa);
  state.counters["touching"] = static_cast<double>(touching) / static_cast<double>(state.iterations());
  if (cache) gjk->ReleaseCache(cache);
}

void BM_GjkBoxesApart_WarmCache(benchmark::State& state) { RunNarrow(state, 1.8f, true, false); }
BENCHMARK(BM_GjkBoxesApart_WarmCache);

void BM_GjkBoxesApart_NoCache(benchmark::State& state) { RunNarrow(state, 1.8f, false, false); }
BENCHMARK(BM_GjkBoxesApart_NoCache);

void BM_GjkBoxesTouching_WarmCache(benchmark::State& state) { RunNarrow(state, 1.2f, true, false); }
BENCHMARK(BM_GjkBoxesTouching_WarmCache);

void BM_GjkBoxesTouching_ContactPoints(benchmark::State& state) { RunNarrow(state, 1.2f, true, true); }
BENCHMARK(BM_GjkBoxesTouching_ContactPoints);

}  // namespace
