#include "demo/scenes/CTInterlude.h"

#include <cstdlib>
#include <vector>

QIBO_IMPLEMENT_CLASS(CTInterlude, CTDemoScene, .desc = "Life interlude", .product = "Quarndelion", .build = 1)

CTInterlude::CTInterlude(const char* name) : CTDemoScene(name) {}

CTInterlude::~CTInterlude() { Deactivate(); }

void CTInterlude::DoBuild() {
  // Through the descriptor, so the instance count is kept; the default
  // exponent is the interlude's.
  static_assert(ConwayField::kDefaultExponent == kFieldExponent);
  m_field = qibo::Create<ConwayField>();
  if (m_field) m_field->Build(GetRoot());
  m_grain = qibo::Create<CTFilmGrain>();
  if (m_grain) m_grain->Build();
}

void CTInterlude::OnActivate() {
  if (m_grain) m_grain->Show();
  // While closing the interlude runs the field itself.
  if (m_field && !m_closing) m_field->Start();
}

void CTInterlude::OnDeactivate() {
  if (m_grain) m_grain->Hide();
  if (m_field) m_field->Stop();
}

void CTInterlude::BeginClosing() {
  if (m_closing) return;
  m_closing = true;
  if (m_field) m_field->Stop();
  AddSceneUpdate(qibo::AsUpdate(&CTInterlude::ClosingGeneration), kGenerationPeriod);
}

void CTInterlude::Animate(int32_t elapsed) {
  if (m_closing && m_field) m_field->Animate(elapsed);
}

void CTInterlude::ClosingGeneration(int32_t) {
  if (!m_field || !m_field->IsBuilt()) return;
  const int cells = m_field->GetCellCount();
  const std::vector<uint8_t> previous(m_field->GetCurrent(), m_field->GetCurrent() + cells);
  std::vector<uint8_t> next(previous.size());
  ConwayField::NextGeneration(previous.data(), next.data(), m_field->GetExponent());
  int live = 0;
  for (int i = 0; i < cells; ++i) {
    const bool survives = previous[static_cast<size_t>(i)] && next[static_cast<size_t>(i)];
    m_field->SetAlive(i, survives);
    live += survives ? 1 : 0;
  }
  // From a random cell on to the next live one, wrapping: each kill takes
  // one rand() call however few cells are left.
  for (int kills = live > 0 ? live / kClosingCull + 1 : 0; kills > 0 && live > 0; --kills, --live) {
    int cell = std::rand() % cells;
    while (!m_field->IsAlive(cell)) cell = (cell + 1) % cells;
    m_field->SetAlive(cell, false);
  }
}

int CTInterlude::GetLiveCount() const {
  if (!m_field) return 0;
  int live = 0;
  for (int i = 0; i < m_field->GetCellCount(); ++i) live += m_field->IsAlive(i) ? 1 : 0;
  return live;
}
