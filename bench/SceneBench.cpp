// The scene graph at scale: a tree of 100,000 entities over 10 levels
// (fan-out 2 to 4 by level), drawables at the bottom.
//  - one drawing pass when nothing moved;
//  - moving the root, then reading every world transform, against a plain
//    loop that multiplies the matrices along each root-to-leaf path;
//  - the tree to and from a memory stream.

#include <benchmark/benchmark.h>

#include <vector>

#include "core/geometry/CTBox.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "core/persist/MemoryStream.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"

namespace {

constexpr int kFanOut[10] = {4, 3, 3, 3, 4, 4, 3, 3, 2, 2};
constexpr int kEntities = 100000;

struct SceneTree {
  Ref<CTGroup> root;
  std::vector<CTEntity*> entities;  // depth first
  std::vector<CTDrawable*> leaves;
};

// Depth first, so that each subtree lies together in memory as a loaded
// scene would.
void Grow(SceneTree& tree, CTGroup* group, int level, CTShape* shape) {
  for (int i = 0; i < kFanOut[level] && static_cast<int>(tree.entities.size()) < kEntities; ++i) {
    CTEntity* child = nullptr;
    if (level + 1 == 9) {
      Ref<CTDrawable> leaf = qibo::Create<CTDrawable>();
      leaf->SetShape(shape);
      leaf->SetParent(group);
      tree.leaves.push_back(leaf.Get());
      child = leaf.Get();
    } else {
      Ref<CTGroup> inner = qibo::Create<CTGroup>();
      inner->SetParent(group);
      child = inner.Get();
    }
    child->MoveTo(Vector3(static_cast<float>(i), 1.0f, 0.5f));
    child->RotateToAz(0.1 * i);
    tree.entities.push_back(child);
    if (auto* inner = qibo::Cast<CTGroup>(child)) Grow(tree, inner, level + 1, shape);
  }
}

SceneTree& Tree() {
  static SceneTree* tree = [] {
    auto* t = new SceneTree;
    t->root = qibo::Create<CTGroup>();
    Ref<CTBox> shape = qibo::Create<CTBox>();
    // Keep growing rounds until the tree holds 100,000 entities.
    while (static_cast<int>(t->entities.size()) < kEntities) Grow(*t, t->root.Get(), 0, shape.Get());
    return t;
  }();
  return *tree;
}

void BM_SceneDrawPassNothingMoved(benchmark::State& state) {
  SceneTree& tree = Tree();
  DRenderContext context;
  context.frustum = DFrustum(0);
  for (auto _ : state) {
    ProcessInfo_t info;
    info.flags = qibo::kPassDraw;
    info.render.context = &context;
    tree.root->Process(info);
  }
  state.counters["entities"] = static_cast<double>(tree.entities.size());
}
BENCHMARK(BM_SceneDrawPassNothingMoved)->Unit(benchmark::kMillisecond);

void BM_SceneMoveRootReadAllWorlds(benchmark::State& state) {
  SceneTree& tree = Tree();
  float x = 0;
  for (auto _ : state) {
    tree.root->MoveToX(x += 1.0f);
    for (CTEntity* e : tree.entities) {
      e->UpdateWorldSpace();
      benchmark::DoNotOptimize(e->GetWorldTransform().GetPosition());
    }
  }
}
BENCHMARK(BM_SceneMoveRootReadAllWorlds)->Unit(benchmark::kMillisecond);

// The same work without the scene graph: for every entity, the product of
// the local matrices and positions along its path from the root.
void BM_SceneMoveRootPlainLoop(benchmark::State& state) {
  SceneTree& tree = Tree();
  struct Local {
    Matrix33 m;
    Vector3 p;
    int parent;  // index, -1 for the root's children
  };
  std::vector<Local> locals;
  std::vector<int> index(tree.entities.size());
  for (size_t i = 0; i < tree.entities.size(); ++i) {
    CTEntity* e = tree.entities[i];
    int parent = -1;
    for (size_t j = 0; j < i; ++j)
      if (tree.entities[i - 1 - j] == e->GetParent()) {
        parent = static_cast<int>(i - 1 - j);
        break;
      }
    locals.push_back({e->GetTransform().GetRotationMatrix(), e->GetTransform().GetPosition(), parent});
  }
  float x = 0;
  for (auto _ : state) {
    const Vector3 rootPosition(x += 1.0f, 0, 0);
    for (size_t i = 0; i < locals.size(); ++i) {
      Matrix33 m = locals[i].m;
      Vector3 p = locals[i].p;
      for (int up = locals[i].parent; up >= 0; up = locals[static_cast<size_t>(up)].parent) {
        p = locals[static_cast<size_t>(up)].m.Transform(p) + locals[static_cast<size_t>(up)].p;
        m = m * locals[static_cast<size_t>(up)].m;
      }
      p += rootPosition;
      benchmark::DoNotOptimize(p);
      benchmark::DoNotOptimize(m);
    }
  }
}
BENCHMARK(BM_SceneMoveRootPlainLoop)->Unit(benchmark::kMillisecond);

std::vector<uint8_t>& SavedTree() {
  static std::vector<uint8_t>* saved = [] {
    auto* bytes = new std::vector<uint8_t>(64u << 20);
    MemoryStream stream;
    stream.CreateStream(bytes->data(), static_cast<int>(bytes->size()));
    stream.WriteObject(Tree().root.Get());
    bytes->resize(stream.GetPos());
    stream.CloseStream();
    return bytes;
  }();
  return *saved;
}

void BM_SceneSaveToMemory(benchmark::State& state) {
  SceneTree& tree = Tree();
  std::vector<uint8_t> buffer(64u << 20);
  for (auto _ : state) {
    MemoryStream stream;
    stream.CreateStream(buffer.data(), static_cast<int>(buffer.size()));
    stream.WriteObject(tree.root.Get());
    benchmark::DoNotOptimize(stream.GetPos());
    stream.CloseStream();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(tree.entities.size() + 1));
}
BENCHMARK(BM_SceneSaveToMemory)->Unit(benchmark::kMillisecond);

void BM_SceneLoadFromMemory(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = SavedTree();
  for (auto _ : state) {
    auto* stream = new MemoryStream;
    stream->Read(bytes.data(), static_cast<int>(bytes.size()));
    benchmark::DoNotOptimize(stream->GetObjectCount());
    state.PauseTiming();
    delete stream;  // the teardown is not loading
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Tree().entities.size() + 1));
}
BENCHMARK(BM_SceneLoadFromMemory)->Unit(benchmark::kMillisecond);

}  // namespace
