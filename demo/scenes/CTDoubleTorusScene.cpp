#include "demo/scenes/CTDoubleTorusScene.h"

#include <cmath>

#include "demo/scenes/SceneKit.h"

QIBO_IMPLEMENT_CLASS(CTDoubleTorusScene, CTDemoScene, .desc = "Double torus scene", .product = "Quarndelion",
                     .build = 1)

namespace {

struct TorusSetup {
  const char* name;
  int mode;
  const char* material;
  const char* texture;
  bool shadow;
};

constexpr TorusSetup kSetups[3] = {
    {"Centre torus", 3, "Torus1Mat", "cubes3", true},
    {"Satellite torus 1", 4, "Torus2Mat", "cubes4", false},
    {"Satellite torus 2", 5, "Torus1Mat", "cubes3", false},
};

}  // namespace

CTDoubleTorusScene::CTDoubleTorusScene(const char* name) : CTDemoScene(name) {}

void CTDoubleTorusScene::DoBuild() {
  for (int i = 0; i < 3; ++i) {
    const TorusSetup& setup = kSetups[i];
    m_tori[i] = qibo::Create<CTTorus1>();
    if (!m_tori[i]) continue;
    qibo::demo::TakeOverTorusUpdates(m_tori[i].Get());
    m_tori[i]->SetMode(setup.mode);
    // The satellites move up and down: a band fixed below them would not
    // stay on the ground.
    m_tori[i]->EnableShadow(setup.shadow);
    m_tori[i]->Build();
    m_drawables[i] =
        qibo::demo::AddDrawable(GetRoot(), setup.name, m_tori[i].Get(),
                                qibo::demo::SceneMaterial(setup.material, setup.texture), Vector3());
  }
  Place();
}

void CTDoubleTorusScene::Animate(int32_t elapsed) {
  for (const Ref<CTTorus1>& torus : m_tori)
    if (torus) torus->Update(elapsed);
  const double seconds = elapsed * 0.001;
  m_orbit += kOrbitRate * seconds;
  m_turn += kTurnRate * seconds;
  Place();
}

void CTDoubleTorusScene::Place() {
  const double a = m_tori[0] ? m_tori[0]->GetA() : 0.0;
  const double b = m_tori[0] ? m_tori[0]->GetB() : 8.0;
  if (m_drawables[0]) m_drawables[0]->SetAz(m_turn);
  const double c = std::cos(m_orbit) * kOrbitRadius, s = std::sin(m_orbit) * kOrbitRadius;
  if (m_drawables[1]) {
    m_drawables[1]->MoveTo(Vector3(static_cast<float>(c), static_cast<float>(a), static_cast<float>(s)));
    m_drawables[1]->SetAz(-m_orbit);
  }
  if (m_drawables[2]) {
    m_drawables[2]->MoveTo(
        Vector3(static_cast<float>(-c), static_cast<float>(b - 8.0), static_cast<float>(-s)));
    m_drawables[2]->SetAz(-m_orbit);
  }
}
