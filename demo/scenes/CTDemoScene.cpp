#include "demo/scenes/CTDemoScene.h"

#include <string>

#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTDemoScene, CTNamed, .desc = "Demo scene", .product = "Quarndelion", .build = 1)

CTDemoScene::CTDemoScene(const char* name) : CTNamed(name) {
  m_root = qibo::Create<CTGroup>();
  if (m_root) m_root->SetName((std::string(GetName()) + " root").c_str());
}

CTDemoScene::~CTDemoScene() {
  Deactivate();
  // A scene released while the world still holds its root takes its content
  // with it.
  if (m_root && m_root->GetParent()) m_root->SetParent(nullptr);
}

void CTDemoScene::Activate() {
  if (m_active) return;
  m_active = true;
  AddUpdate(qibo::AsUpdate(&CTDemoScene::OnFrame), 0, -1);
  for (const Periodic& p : m_periodic) AddUpdate(p.fn, p.period, -1);
  OnActivate();
}

void CTDemoScene::Deactivate() {
  if (!m_active) return;
  m_active = false;
  // Without a running message manager there is nothing to remove, and
  // asking for one would start it again (a scene may outlive the engine).
  if (qibo::FindService<CTUpdateManager>()) {
    RemoveUpdate(qibo::AsUpdate(&CTDemoScene::OnFrame));
    for (const Periodic& p : m_periodic) RemoveUpdate(p.fn);
  }
  OnDeactivate();
}

void CTDemoScene::Build() {
  if (m_built || !m_root) return;
  m_built = true;
  DoBuild();
}

void CTDemoScene::AddSceneUpdate(UpdateFn fn, int32_t period) {
  m_periodic.push_back({fn, period});
  if (m_active) AddUpdate(fn, period, -1);
}
