#include <benchmark/benchmark.h>

#include <vector>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"

namespace {

class Animated : public CTNamed {
 public:
  void Step(int32_t elapsed) { m_total += elapsed; }

 private:
  int64_t m_total = 0;
};

}  // namespace

// One frame with constant frame time and 1,000 update entries firing.
static void BM_FrameWith1000Updates(benchmark::State& state) {
  CTManager* engine = qiBO_GetService(CTEngineManager::_CD());
  engine->GetPropertyByName("ConstantFrameTime").FromString("True");
  auto* messages = qibo::GetService<CTUpdateManager>();
  std::vector<Animated> objects(1000);
  for (auto& o : objects) messages->AddUpdate(&o, qibo::AsUpdate(&Animated::Step), 0, -1);
  qiBO_DoFrame();
  for (auto _ : state) benchmark::DoNotOptimize(qiBO_DoFrame());
  for (auto& o : objects) messages->RemoveAll(&o);
  qiBO_Deinit();
}
BENCHMARK(BM_FrameWith1000Updates);
