#include <benchmark/benchmark.h>

#include "core/object/CTStreamed.h"

namespace {

class BenchHolder : public CTReferenced {};

}  // namespace

// Levels 3 to 6 below CTStreamed (level 2).
class BenchLevel3 : public CTStreamed {
  QIBO_CLASS(BenchLevel3)
};
class BenchLevel4 : public BenchLevel3 {
  QIBO_CLASS(BenchLevel4)
};
class BenchLevel5 : public BenchLevel4 {
  QIBO_CLASS(BenchLevel5)
};
class BenchLevel6 : public BenchLevel5 {
  QIBO_CLASS(BenchLevel6)
};
QIBO_IMPLEMENT_CLASS(BenchLevel3, CTStreamed)
QIBO_IMPLEMENT_CLASS(BenchLevel4, BenchLevel3)
QIBO_IMPLEMENT_CLASS(BenchLevel5, BenchLevel4)
QIBO_IMPLEMENT_CLASS(BenchLevel6, BenchLevel5)

static void BM_AnonymousAddRemoveRef(benchmark::State& state) {
  CTReferenced object;
  object.AddRef(nullptr);  // keeps it above zero
  for (auto _ : state) {
    object.AddRef(nullptr);
    benchmark::DoNotOptimize(object.RemoveRef(nullptr));
  }
}
BENCHMARK(BM_AnonymousAddRemoveRef);

static void BM_NamedAddRemoveRef(benchmark::State& state) {
  CTReferenced object;
  BenchHolder holders[4];
  for (auto& h : holders) object.AddRef(&h);  // a few other holders, as in real use
  BenchHolder holder;
  for (auto _ : state) {
    object.AddRef(&holder);
    benchmark::DoNotOptimize(object.RemoveRef(&holder));
  }
  for (auto& h : holders) object.RemoveRef(&h);
}
BENCHMARK(BM_NamedAddRemoveRef);

static void BM_DynamicCastSixLevels(benchmark::State& state) {
  BenchLevel6 object;
  CTBasic* base = &object;
  benchmark::DoNotOptimize(base);
  const uint32_t root = CTBasic::_CD()->ID();
  if (BenchLevel6::_CD()->GetLevel() != 6) state.SkipWithError("class is not six levels deep");
  for (auto _ : state) benchmark::DoNotOptimize(base->DynamicCast(root));
}
BENCHMARK(BM_DynamicCastSixLevels);
