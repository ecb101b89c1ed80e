#include "demo/scenes/CTTorusScene.h"

#include "core/io/CTBitmapIO.h"
#include "demo/scenes/Backdrop.h"
#include "demo/scenes/SceneKit.h"

QIBO_IMPLEMENT_CLASS(CTTorusScene, CTDemoScene, .desc = "Torus scene", .product = "Quarndelion", .build = 1)

CTTorusScene::CTTorusScene(const char* name) : CTDemoScene(name) {}

CTTorusScene::~CTTorusScene() { Deactivate(); }

void CTTorusScene::DoBuild() {
  m_torus = qibo::Create<CTTorus1>();
  if (m_torus) {
    qibo::demo::TakeOverTorusUpdates(m_torus.Get());
    m_torus->EnableShadow(true);
    m_torus->Build();
    m_drawable = qibo::demo::AddDrawable(GetRoot(), "Torus", m_torus.Get(),
                                         qibo::demo::SceneMaterial("Torus0Mat", "cubes2"), Vector3());
  }
  if (Ref<CTBitmapIO> importer = qibo::Create<CTBitmapIO>(); importer && importer->Import(kPictureFile))
    m_picture = Ref<CTTexture>(importer->GetTexture());
}

void CTTorusScene::OnActivate() {
  if (m_picture) ShowBackdrop(m_picture.Get());
}

void CTTorusScene::OnDeactivate() {
  if (m_picture && GetBackdrop() == m_picture.Get()) ShowBackdrop(nullptr);
}

void CTTorusScene::Animate(int32_t elapsed) {
  if (!m_torus) return;
  m_torus->Update(elapsed);
  m_angle += kTurnRate * elapsed * 0.001;
  if (m_drawable) m_drawable->SetAz(m_angle);
}
