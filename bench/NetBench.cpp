// Networking over loopback with the ENet device: the round trip of one
// property change between two copies (median and 99th percentile), and how
// many objects per second a host streams to one joined copy.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/devices/DefNetworkManager.h"
#include "core/devices/NetworkApi.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/scene/CTEntity.h"
#include "plugins/net/CTENetNetwork.h"

namespace {

using Clock = std::chrono::steady_clock;

// A host and a copy joined to it on loopback, run frame by frame here
// rather than by the message manager.
class Session {
 public:
  Session() {
    qiBO_RegisterClass(CTENetNetwork::_CD());
    for (Ref<DefNetworkManager>* peer : {&m_host, &m_joiner}) {
      *peer = qibo::Create<DefNetworkManager>();
      (*peer)->Start();
      (*peer)->GetNetworkDevice()->GetPropertyByName("BroadcastAddress").FromString("127.255.255.255");
    }
    if (!m_host->HostSession(-1)) return;
    const int port = m_host->GetNetworkDevice()->GetPropertyByName("SessionPort").ToInt();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    m_joiner->GetNetworkDevice()->QuerySession(DefNetworkManager::kApplicationId, address.c_str());
    if (!Until([&] { return m_joiner->GetSessionCount() > 0; }) || !m_joiner->JoinSession(0)) return;
    m_ready = Until([&] { return m_joiner->GetClientID() == 1; });
  }
  ~Session() {
    m_objects.clear();
    m_host->Stop();
    m_joiner->Stop();
  }

  bool Ready() const { return m_ready; }
  DefNetworkManager* Host() { return m_host.Get(); }
  DefNetworkManager* Joiner() { return m_joiner.Get(); }

  void Frame() {
    m_host->Update(1);
    m_joiner->Update(1);
  }
  // Frames until done holds (at most five seconds).
  template <class Done>
  bool Until(Done done) {
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (Clock::now() > limit) return false;
      Frame();
    }
    return true;
  }

  CTEntity* Shared(DefNetworkManager* owner) {
    qibo::NetworkScope scope(owner);
    Ref<CTEntity> entity = qibo::Create<CTEntity>();
    entity->SetNetID(0xFFFFFFFFu);
    m_objects.push_back(entity);
    return entity.Get();
  }

 private:
  Ref<DefNetworkManager> m_host;
  Ref<DefNetworkManager> m_joiner;
  std::vector<Ref<CTEntity>> m_objects;
  bool m_ready = false;
};

float CopyX(DefNetworkManager* at, CTEntity* original) {
  auto* copy = qibo::Cast<CTEntity>(at->FindNetworkObject(original->GetNetID()));
  return copy ? copy->GetTransform().GetPosition().x : -1.0f;
}

// The host moves its entity; the joiner, on seeing the move, moves its own
// to match; the round trip ends when the host sees that.
void BM_NetPropertyRoundTrip(benchmark::State& state) {
  Session session;
  if (!session.Ready()) return state.SkipWithError("no session on loopback");
  CTEntity* ping = session.Shared(session.Host());
  CTEntity* pong = session.Shared(session.Joiner());
  std::vector<double> samples;
  float value = 0;
  for (auto _ : state) {
    value += 1;
    const auto start = Clock::now();
    ping->MoveToX(value);
    session.Host()->SendNetworkStream(ping, 34);
    bool answered = false;
    const bool done = session.Until([&] {
      if (!answered && CopyX(session.Joiner(), ping) == value) {
        pong->MoveToX(value);
        session.Joiner()->SendNetworkStream(pong, 34);
        answered = true;
      }
      return CopyX(session.Host(), pong) == value;
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!done) return state.SkipWithError("a change did not arrive");
    state.SetIterationTime(seconds);
    samples.push_back(seconds * 1e6);
  }
  std::sort(samples.begin(), samples.end());
  if (samples.empty()) return;
  state.counters["median_us"] = samples[samples.size() / 2];
  state.counters["p99_us"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
}
BENCHMARK(BM_NetPropertyRoundTrip)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// Every frame the host streams all its objects (each moved); the frame is
// done when the joiner has the last of them where it was sent.
void BM_NetStreamObjectsToPeer(benchmark::State& state) {
  Session session;
  if (!session.Ready()) return state.SkipWithError("no session on loopback");
  std::vector<CTEntity*> objects;
  for (int64_t i = 0; i < state.range(0); ++i) objects.push_back(session.Shared(session.Host()));
  float value = 0;
  for (auto _ : state) {
    value += 1;
    for (CTEntity* object : objects) {
      object->MoveToX(value);
      session.Host()->SendNetworkStream(object, 34);
    }
    if (!session.Until([&] { return CopyX(session.Joiner(), objects.back()) == value; }))
      return state.SkipWithError("the objects did not arrive");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_NetStreamObjectsToPeer)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
