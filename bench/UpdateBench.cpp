#include <benchmark/benchmark.h>

#include <vector>

#include "core/kernel/DefUpdateManager.h"

// A target whose update does the least a real one would: touch its own state.
class BenchUpdTarget : public CTNamed {
  QIBO_CLASS(BenchUpdTarget)

 public:
  void Step(int32_t elapsed) { m_total += elapsed; }
  int64_t m_total = 0;
};
QIBO_IMPLEMENT_CLASS(BenchUpdTarget, CTNamed, .desc = "Update bench target")

namespace {

constexpr int kTargets = 1000;

// One manager with `entries` update entries spread over kTargets targets,
// every entry firing on every tick (period 0) or waiting (long period).
class TickFixture {
 public:
  TickFixture(int entries, int32_t period) {
    m_manager = static_cast<DefUpdateManager*>(static_cast<CTBasic*>(DefUpdateManager::_CD()->Create()));
    m_manager->AddRef(nullptr);
    m_manager->Start();
    for (int i = 0; i < kTargets; ++i) {
      auto* t = static_cast<BenchUpdTarget*>(static_cast<CTBasic*>(BenchUpdTarget::_CD()->Create()));
      t->AddRef(nullptr);
      m_targets.push_back(t);
    }
    const UpdateFn step = qibo::AsUpdate(&BenchUpdTarget::Step);
    for (int i = 0; i < entries; ++i)
      m_manager->AddUpdate(m_targets[static_cast<size_t>(i % kTargets)], step, period, -1);
    m_manager->Tick(0);  // moves the pending entries into the active list
  }
  ~TickFixture() {
    m_manager->Stop();
    m_manager->RemoveRef(nullptr);
    for (BenchUpdTarget* t : m_targets) t->RemoveRef(nullptr);
  }
  DefUpdateManager* Manager() const { return m_manager; }

 private:
  DefUpdateManager* m_manager = nullptr;
  std::vector<BenchUpdTarget*> m_targets;
};

void Run(benchmark::State& state, int32_t period) {
  const auto entries = static_cast<int>(state.range(0));
  TickFixture fixture(entries, period);
  for (auto _ : state) fixture.Manager()->Tick(16);
  state.SetItemsProcessed(state.iterations() * entries);
  // Reported per entry: invert the rate to read nanoseconds per entry.
  state.counters["ns_per_entry"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * entries,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

// Every entry fires: one member-function call per entry.
static void BM_TickFiringUpdates(benchmark::State& state) { Run(state, 0); }
BENCHMARK(BM_TickFiringUpdates)->Arg(100000)->Unit(benchmark::kMicrosecond);

// No entry is due: only the countdown.
static void BM_TickWaitingUpdates(benchmark::State& state) { Run(state, 1 << 30); }
BENCHMARK(BM_TickWaitingUpdates)->Arg(100000)->Unit(benchmark::kMicrosecond);
