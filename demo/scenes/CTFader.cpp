#include "demo/scenes/CTFader.h"

#include <cmath>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"

QIBO_IMPLEMENT_CLASS(CTFader, CTDemoScene, .desc = "Fader", .product = "Quarndelion", .build = 1)

// The veil exists from construction: the fader needs no Build, and colour
// and level can be set at any time.
CTFader::CTFader(const char* name) : CTDemoScene(name) { MakeVeil(); }

CTFader::~CTFader() { Deactivate(); }

void CTFader::MakeVeil() {
  m_quad = qibo::Create<CTViewQuad>();
  m_material = qibo::Create<CTMaterial>();
  m_veil = qibo::Create<CTDrawable>();
  if (!m_quad || !m_material || !m_veil) return;
  m_material->SetName("FaderMat");
  m_material->m_useVertexColor = true;
  // The veil is a flat colour: fog must not tint it.
  m_material->m_noFog = true;
  m_veil->SetName("Fader veil");
  m_veil->SetShape(m_quad.Get());
  m_veil->SetMaterial(m_material.Get());
  SetColor(DColor{0.0f, 0.0f, 0.0f, 1.0f});
  ApplyLevel();
}

void CTFader::SetColor(const DColor& color) {
  if (!m_quad) return;
  m_quad->SetColor(color);
  if (m_material) m_material->SetColor(color);
}

bool CTFader::SetDuration(float seconds) {
  if (!std::isfinite(seconds) || seconds == 0.0f) {
    qiBO_Warning("Fader: a duration must be a finite number of seconds other than 0", this);
    return false;
  }
  m_duration = seconds;
  return true;
}

void CTFader::SetLevel(float level) {
  m_level = level > 0.0f ? (level < 1.0f ? level : 1.0f) : 0.0f;  // NaN fails both tests: 0
  ApplyLevel();
}

void CTFader::Animate(int32_t elapsed) {
  SetLevel(m_level + static_cast<float>(elapsed) * 0.001f / m_duration);
}

void CTFader::ApplyLevel() {
  if (!m_veil || !m_material) return;
  m_material->SetAlpha(m_level);
  if (m_level > 0.0f)
    m_veil->Show();
  else
    m_veil->Hide();
}

void CTFader::OnActivate() {
  if (!m_veil || m_onDrawList) return;
  qiBO_AddDrawable(m_veil.Get());
  m_onDrawList = true;
}

void CTFader::OnDeactivate() {
  if (!m_onDrawList) return;
  m_onDrawList = false;
  // Only a running engine has a list to leave; asking for the engine would
  // start it again.
  if (auto* engine = qibo::FindService<CTEngineManager>()) engine->RemoveDrawable(m_veil.Get());
}
