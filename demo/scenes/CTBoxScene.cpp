#include "demo/scenes/CTBoxScene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/scene/CTDrawable.h"
#include "demo/scenes/SceneKit.h"

QIBO_IMPLEMENT_CLASS(CTBoxScene, CTDemoScene, .desc = "Box scene", .product = "Quarndelion", .build = 1)

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kRingTurnRate = 0.25;     // radians per second
constexpr double kClusterTurnRate = 0.4;   // radians per second about the vertical
constexpr double kClusterRollRate = 0.15;  // radians per second about the right axis
constexpr double kLightRate = 0.7;         // radians per second

const Vector3 kLightColors[3] = {{1.0f, 0.3f, 0.3f}, {0.3f, 1.0f, 0.3f}, {0.3f, 0.3f, 1.0f}};

Vector3 V(double x, double y, double z) {
  return Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

}  // namespace

CTBoxScene::CTBoxScene(const char* name) : CTDemoScene(name) {}

void CTBoxScene::DoBuild() {
  CTGroup* root = GetRoot();
  BuildCluster(root);
  BuildRing(root);
  for (int i = 0; i < 3; ++i) {
    m_lights[i] = qibo::Create<CTLight>();
    if (!m_lights[i]) continue;
    m_lights[i]->SetName("Box scene light");
    m_lights[i]->SetColor(kLightColors[i]);
    m_lights[i]->SetParent(root);
  }
  PlaceCluster();
  PlaceLights();
  AddSceneUpdate(qibo::AsUpdate(&CTBoxScene::Reinsert), kReinsertPeriod);
}

void CTBoxScene::BuildCluster(CTGroup* root) {
  m_cluster = qibo::Create<CTGroup>();
  Ref<CTBox> box = qibo::Create<CTBox>();
  if (!m_cluster || !box) return;
  m_cluster->SetName("Box cluster");
  m_cluster->SetParent(root);
  box->SetDimensions(2.0);
  CTMaterial* material = qibo::demo::SceneMaterial("BoxMat", "cubes1");
  for (int i = 0; i < kClusterSide * kClusterSide * kClusterSide; ++i)
    qibo::demo::AddDrawable(m_cluster.Get(), "Cluster box", box.Get(), material, Vector3());
}

void CTBoxScene::BuildRing(CTGroup* root) {
  m_ring = qibo::Create<CTGroup>();
  Ref<CTBox> box = qibo::Create<CTBox>();
  if (!m_ring || !box) return;
  m_ring->SetName("Blaat ring");
  m_ring->SetParent(root);
  box->SetDimensions(1.5);
  CTMaterial* material = qibo::demo::SceneMaterial("Blaat", "cubes2");
  for (int i = 0; i < kRingCount; ++i)
    qibo::demo::AddDrawable(m_ring.Get(), "Blaat box", box.Get(), material, RingSlot(i));
}

Vector3 CTBoxScene::RingSlot(int i) const {
  const double angle = kTwoPi * i / kRingCount;
  return V(kRingRadius * std::cos(angle), 1.5 * std::sin(3.0 * angle), kRingRadius * std::sin(angle));
}

void CTBoxScene::Animate(int32_t elapsed) {
  m_time += elapsed;
  PlaceCluster();
  PlaceLights();
  if (!m_ring) return;
  // The slots stand still in the ring group, which turns: the boxes settle
  // on them instead of trailing behind.
  m_ring->SetAz(kRingTurnRate * m_time * 0.001);
  const double share = std::min(1.0, kGlideRate * elapsed);
  for (int i = 0; i < m_ring->NumChildren(); ++i) {
    CTEntity* box = m_ring->GetChild(i);
    const Vector3 position = box->GetPosition();
    box->MoveTo(position + (RingSlot(i) - position) * static_cast<float>(share));
    box->SetEuler(m_time * 0.002, m_time * 0.001, 0.0);
  }
}

void CTBoxScene::PlaceCluster() {
  if (!m_cluster) return;
  const double seconds = m_time * 0.001;
  const double spacing = 3.0 + 1.5 * std::sin(kTwoPi * m_time / kBreathPeriod);
  const int n = kClusterSide;
  for (int i = 0; i < m_cluster->NumChildren(); ++i) {
    const int x = i % n - n / 2, y = (i / n) % n - n / 2, z = i / (n * n) - n / 2;
    m_cluster->GetChild(i)->MoveTo(V(x * spacing, y * spacing, z * spacing));
  }
  m_cluster->SetEuler(kClusterTurnRate * seconds, kClusterRollRate * seconds, 0.0);
}

void CTBoxScene::PlaceLights() {
  const double seconds = m_time * 0.001;
  for (int i = 0; i < 3; ++i) {
    if (!m_lights[i]) continue;
    const double angle = kLightRate * seconds + kTwoPi * i / 3.0;
    const Vector3 position =
        V(kLightRadius * std::cos(angle), 6.0 * std::sin(2.0 * angle + i), kLightRadius * std::sin(angle));
    m_lights[i]->MoveTo(position);
    m_lights[i]->SetDirection(-position);
  }
}

void CTBoxScene::Reinsert(int32_t) {
  if (!m_ring) return;
  std::vector<Ref<CTEntity>> boxes;
  for (int i = 0; i < m_ring->NumChildren(); ++i) boxes.emplace_back(m_ring->GetChild(i));
  for (const Ref<CTEntity>& box : boxes) box->SetParent(nullptr);
  for (size_t i = boxes.size(); i > 1; --i)
    std::swap(boxes[i - 1], boxes[static_cast<size_t>(std::rand()) % i]);
  for (const Ref<CTEntity>& box : boxes) box->SetParent(m_ring.Get());
}
