// Tracks and key-frame controllers at scale:
//  - one lookup in a 1,000-key track (vector and quaternion) at random
//    times, a tenth of them outside the keys' range;
//  - one frame of 10,000 enabled key-frame controllers, each flying its own
//    entity along a path the size of the demo's camera flight (33 position
//    and 32 rotation keys), through the message manager's tick.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/motion/CTKeyFrameController.h"
#include "core/object/Ref.h"
#include "core/scene/CTEntity.h"

namespace {

constexpr int kKeys = 1000;
constexpr int kLookups = 4096;  // random times, walked in a loop
constexpr int kControllers = 10000;

// Key times with uneven gaps of 1 to 199 ms, values that vary.
template <class Track, class MakeValue>
Ref<Track> KeyedTrack(int keys, std::mt19937& random, MakeValue value) {
  Ref<Track> track = qibo::Create<Track>();
  std::uniform_int_distribution<int32_t> gap(1, 199);
  int32_t t = 0;
  for (int i = 0; i < keys; ++i) {
    track->SetValue(t, value(i));
    t += gap(random);
  }
  track->SetOutOfRangeAfter(kOutOfRangeRepeat);
  return track;
}

std::vector<int32_t> RandomTimes(const CTTrack& track, std::mt19937& random) {
  const DRange<int32_t> range = track.GetTimeRange();
  const int32_t margin = (range.maximum - range.minimum) / 20;
  std::uniform_int_distribution<int32_t> time(range.minimum - margin, range.maximum + margin);
  std::vector<int32_t> times(kLookups);
  for (int32_t& t : times) t = time(random);
  return times;
}

template <class Track>
void RunLookups(benchmark::State& state, const Track& track, const std::vector<int32_t>& times) {
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(track.GetValue(times[i]));
    i = (i + 1) & (kLookups - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

static void BM_VectorTrackLookup1000Keys(benchmark::State& state) {
  std::mt19937 random(7);
  Ref<CTVectorTrack> track = KeyedTrack<CTVectorTrack>(kKeys, random, [](int i) {
    return Vector3(static_cast<float>(i), static_cast<float>(i % 7), static_cast<float>(-i));
  });
  RunLookups(state, *track, RandomTimes(*track, random));
}
BENCHMARK(BM_VectorTrackLookup1000Keys);

static void BM_QuatTrackLookup1000Keys(benchmark::State& state) {
  std::mt19937 random(11);
  Ref<CTQuatTrack> track = KeyedTrack<CTQuatTrack>(kKeys, random, [](int i) {
    return Quaternion::FromEuler(0.1f * i, 0.05f * (i % 13), 0.02f * (i % 5));
  });
  RunLookups(state, *track, RandomTimes(*track, random));
}
BENCHMARK(BM_QuatTrackLookup1000Keys);

static void BM_KeyFrameControllersFrame(benchmark::State& state) {
  auto* updates = qibo::GetService<CTUpdateManager>();
  std::mt19937 random(13);
  std::vector<Ref<CTEntity>> entities;
  std::vector<Ref<CTKeyFrameController>> flights;
  for (int c = 0; c < kControllers; ++c) {
    Ref<CTEntity> entity = qibo::Create<CTEntity>();
    Ref<CTKeyFrameController> flight = qibo::Create<CTKeyFrameController>();
    std::uniform_real_distribution<float> coordinate(-200.0f, 200.0f);
    for (int k = 0; k < 33; ++k) {
      flight->GetPositionTrack()->SetValue(k * 8000,
                                           {coordinate(random), coordinate(random), coordinate(random)});
      if (k < 32)
        flight->GetRotationTrack()->SetValue(k * 8000 + 100, Quaternion::RotationAz(0.2f * k + 0.001f * c));
    }
    flight->GetPositionTrack()->SetOutOfRangeAfter(kOutOfRangeRepeat);
    flight->GetRotationTrack()->SetOutOfRangeAfter(kOutOfRangeRepeat);
    flight->SetObject(entity.Get());
    flight->Enable();
    entities.push_back(std::move(entity));
    flights.push_back(std::move(flight));
  }
  updates->Tick(0);  // the pending entries join the active list
  for (auto _ : state) updates->Tick(16);
  state.SetItemsProcessed(state.iterations() * kControllers);
  for (auto& flight : flights) flight->Disable();
  flights.clear();
  entities.clear();
}
BENCHMARK(BM_KeyFrameControllersFrame)->Unit(benchmark::kMicrosecond);
