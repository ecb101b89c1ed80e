#include "demo/scenes/CTWaterTankScene.h"

#include <cstdlib>

#include "core/geometry/CTBox.h"
#include "core/geometry/CTCollisionManager.h"
#include "core/kernel/Kernel.h"
#include "demo/scenes/CTSplashController.h"
#include "demo/scenes/SceneKit.h"

QIBO_IMPLEMENT_CLASS(CTWaterTankScene, CTDemoScene, .desc = "Water tank scene", .product = "Quarndelion",
                     .build = 1)

namespace {

// 20 / 32767: a 15-bit random number spread over 20 units.
constexpr double kSpread = 0.0006103701895199438;

// Uniform in -10 .. 10 from one rand() call. Only its low 15 bits are used,
// so the spread is the same whatever the C library's RAND_MAX.
double RandomOffset() { return (std::rand() & 0x7FFF) * kSpread - 10.0; }

struct RoomBox {
  const char* name;
  Vector3 size;
  Vector3 centre;
};

// The floor's top at -1.5; the walls stand on it, 49 high.
const RoomBox kRoom[3] = {
    {"Tank floor", {100.0f, 0.5f, 100.0f}, {0.0f, -1.75f, 0.0f}},
    {"Tank wall x", {0.5f, 49.0f, 98.0f}, {-49.75f, 23.0f, 1.0f}},
    {"Tank wall z", {98.0f, 49.0f, 0.5f}, {-0.5f, 23.0f, 49.75f}},
};

}  // namespace

CTWaterTankScene::CTWaterTankScene(const char* name) : CTDemoScene(name) {}

CTWaterTankScene::~CTWaterTankScene() { Deactivate(); }

void CTWaterTankScene::DoBuild() {
  CTGroup* root = GetRoot();
  BuildRoom(root);
  // Collision volumes are kept only while the collision service runs.
  CTCollisionManager* collisions = qibo::GetService<CTCollisionManager>();

  m_water = qibo::Create<CTWaterPlane>();
  if (m_water) {
    m_water->SetSize(kWaterSize);
    m_water->SetAmplitudes(m_water->GetAmplitudeA() * kWaveScale, m_water->GetAmplitudeB() * kWaveScale);
    bool created = false;
    CTMaterial* material = qibo::demo::SceneMaterial("WaterMat", "cubes2", &created);
    if (material && created) material->SetAlpha(0.6f);
    m_waterDrawable = qibo::demo::AddDrawable(root, "Water", m_water.Get(), material, Vector3());
    if (m_waterDrawable) m_waterDrawable->SetCollisionVolume(m_water.Get());
    if (m_waterDrawable && collisions) collisions->SetEntityFlags(m_waterDrawable, kWaterGroup, kWaterGroup);
  }

  m_environment = qibo::Create<CTEnvironment>();
  if (m_environment) {
    m_environment->SetName("Water");
    m_environment->SetFogDensity(1.0f);
    m_environment->SetDensity(kWaterDensity);
    m_environment->SetAmbientColor(Vector3(0.0f, 1.0f, 1.0f));
    // Above the program's default environment wherever the two overlap.
    m_environment->SetPriority(1.0f);
    m_environment->UseBoundingVolume(m_water.Get());
    // The region says where the environment holds, not what to cull: its
    // light, a child, must not vanish with it.
    m_environment->ClearHint(CTEntity::kHintCull);
    m_environment->SetParent(root);
  }

  m_balls = qibo::Create<CTGroup>();
  if (m_balls) {
    m_balls->SetName("Balls");
    m_balls->SetParent(root);
  }
  m_ball = qibo::Create<CTSphere>();
  if (m_ball) m_ball->SetRadius(kBallRadius);
  bool created = false;
  m_ballMaterial = qibo::demo::SceneMaterial("BolMat", "cubes3", &created);
  if (m_ballMaterial && created) m_ballMaterial->m_useSpecular = true;

  AddSceneUpdate(qibo::AsUpdate(&CTWaterTankScene::Spawn), kSpawnPeriod);
}

void CTWaterTankScene::BuildRoom(CTGroup* parent) {
  bool created = false;
  CTMaterial* material = qibo::demo::SceneMaterial("ConwayMat", "cubes1", &created);
  if (material && created) material->m_power = 100.0;
  for (const RoomBox& part : kRoom) {
    Ref<CTBox> box = qibo::Create<CTBox>();
    if (!box) continue;
    box->SetDimensions(part.size);
    qibo::demo::AddDrawable(parent, part.name, box.Get(), material, part.centre);
  }
}

void CTWaterTankScene::OnActivate() {
  if (m_water) m_water->SetAnimated(true);
  if (m_environment) m_environment->RegisterWithService();
  EnableBalls(true);
}

void CTWaterTankScene::OnDeactivate() {
  if (m_water) m_water->SetAnimated(false);
  if (m_environment && m_environment->IsRegistered()) m_environment->UnregisterWithService();
  EnableBalls(false);
}

void CTWaterTankScene::Animate(int32_t elapsed) {
  m_frameRate = elapsed > 0 ? 1.0 / (elapsed * 0.001) : std::numeric_limits<double>::infinity();
  RemoveFallenBalls();
}

void CTWaterTankScene::Spawn(int32_t) {
  if (m_frameRate < kMinFrameRate && GetBallCount() > kCrowd) return;
  AddBall();
}

void CTWaterTankScene::AddBall() {
  if (!m_balls || !m_ball) return;
  const double x = RandomOffset();
  const double z = RandomOffset();
  CTDrawable* ball =
      qibo::demo::AddDrawable(m_balls.Get(), "Ball", m_ball.Get(), m_ballMaterial.Get(),
                              Vector3(static_cast<float>(x), kSpawnHeight, static_cast<float>(z)));
  if (!ball) return;
  ball->SetCollisionVolume(m_ball.Get());
  if (auto* collisions = qibo::FindService<CTCollisionManager>())
    collisions->SetEntityFlags(ball, kBallGroup, kBallGroup);
  Ref<CTSplashController> body = qibo::Create<CTSplashController>();
  if (!body) return;
  body->SetMass(kBallDensity * m_ball->CalcVolume());
  body->SetRestitution(kBallRestitution);
  body->SetSurface(m_waterDrawable, kWaterGroup);
  // A slow tumble shows the texture turning as the ball drops.
  body->SetAngularVelocity(Vector3(1.0f, 0.5f, 0.0f));
  ball->SetController(body.Get());
  if (IsActive()) body->Enable();
}

void CTWaterTankScene::RemoveFallenBalls() {
  if (!m_balls) return;
  // From the end: removing a child moves the last one into its slot, and
  // that one has been looked at already.
  for (int i = m_balls->NumChildren() - 1; i >= 0; --i) {
    CTEntity* ball = m_balls->GetChild(i);
    if (ball && ball->GetPosition().y < kRemoveBelow) ball->SetParent(nullptr);
  }
}

void CTWaterTankScene::EnableBalls(bool enable) {
  if (!m_balls) return;
  for (int i = 0; i < m_balls->NumChildren(); ++i) {
    CTEntityController* motion = m_balls->GetChild(i)->GetController();
    if (!motion) continue;
    if (enable)
      motion->Enable();
    else
      motion->Disable();
  }
}
