#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTFrontEndManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/DProperty.h"

static void BM_PropertyIntegerFromString(benchmark::State& state) {
  int value = 0;
  DProperty p(value, "Value");
  const char* texts[] = {"12345", "-678"};
  int i = 0;
  for (auto _ : state) {
    p.FromString(texts[i ^= 1]);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_PropertyIntegerFromString);

static void BM_PropertyIntegerToString(benchmark::State& state) {
  int value = 123456;
  DProperty p(value, "Value");
  for (auto _ : state) benchmark::DoNotOptimize(p.ToString());
}
BENCHMARK(BM_PropertyIntegerToString);

static void BM_PropertyFloatFromString(benchmark::State& state) {
  float value = 0;
  DProperty p(value, "Value");
  const char* texts[] = {"0.5", "123.25"};
  int i = 0;
  for (auto _ : state) {
    p.FromString(texts[i ^= 1]);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_PropertyFloatFromString);

static void BM_PropertyFloatToString(benchmark::State& state) {
  float value = 123.25f;
  DProperty p(value, "Value");
  for (auto _ : state) benchmark::DoNotOptimize(p.ToString());
}
BENCHMARK(BM_PropertyFloatToString);

// The services that need no engine, running as in a program.
static void StartDefaultServices() {
  qiBO_GetService(CTErrorManager::_CD());
  qiBO_GetService(CTFrontEndManager::_CD());
  qiBO_GetService(CTUpdateManager::_CD());
}

static void BM_GetServiceById(benchmark::State& state) {
  StartDefaultServices();
  const uint32_t id = CTUpdateManager::_CD()->ID();
  for (auto _ : state) benchmark::DoNotOptimize(qiBO_GetService(id));
  qiBO_Deinit();
}
BENCHMARK(BM_GetServiceById);

// Stand-ins for the classes later subsystems add, so the registry has the
// size of a full engine (about 120 classes).
static void RegisterStandIns() {
  struct StandIn : public CTBasic {};
  static char names[100][24];
  static char descriptions[100][24];
  static std::vector<qibo::ClassDescOf<StandIn>> descriptors = [] {
    std::vector<qibo::ClassDescOf<StandIn>> list;
    list.reserve(100);
    for (int i = 0; i < 100; ++i) {
      snprintf(names[i], sizeof(names[i]), "CTStandIn%03d", i);
      snprintf(descriptions[i], sizeof(descriptions[i]), "Stand-in class %03d", i);
      list.emplace_back(
          names[i], 0u, CTBasic::_CD(),
          qibo::ClassInfo{.desc = descriptions[i], .fixedId = 0xB0000000u + static_cast<uint32_t>(i)});
    }
    return list;
  }();
  for (auto& cd : descriptors) qiBO_RegisterClass(&cd);
}

// A description matches only in the third pass, after two full scans of the
// registry by name.
static void BM_FindClassDescByNameICThirdPass(benchmark::State& state) {
  StartDefaultServices();
  RegisterStandIns();
  const int count = qiBO_GetClassDescCount();
  const ClassDesc* last = qiBO_GetClassDescNo(count - 1);
  const QIBO_String description = last->GetDesc();
  if (qiBO_FindClassDescByNameIC(description.c_str()) == nullptr) state.SkipWithError("not found");
  for (auto _ : state) benchmark::DoNotOptimize(qiBO_FindClassDescByNameIC(description.c_str()));
  state.counters["classes"] = count;
  qiBO_Deinit();
}
BENCHMARK(BM_FindClassDescByNameICThirdPass);
