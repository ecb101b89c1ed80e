#include "demo/scenes/CTInterlude.h"

#include <algorithm>
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
  m_closingStartCount = GetLiveCount();
  m_closingGeneration = 0;
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
  // The live cells, those the life rule would kill first, each group in a
  // random order.
  std::vector<int> doomed, survivors;
  for (int i = 0; i < cells; ++i) {
    if (!previous[static_cast<size_t>(i)]) continue;
    (next[static_cast<size_t>(i)] ? survivors : doomed).push_back(i);
  }
  auto shuffle = [](std::vector<int>& list) {
    for (size_t i = list.size(); i > 1; --i)
      std::swap(list[i - 1], list[static_cast<size_t>(std::rand()) % i]);
  };
  shuffle(doomed);
  shuffle(survivors);
  doomed.insert(doomed.end(), survivors.begin(), survivors.end());
  const int live = static_cast<int>(doomed.size());
  m_closingGeneration = std::min(m_closingGeneration + 1, kClosingGenerations);
  const int ceiling = static_cast<int>(static_cast<int64_t>(m_closingStartCount) *
                                       (kClosingGenerations - m_closingGeneration) / kClosingGenerations);
  const int kills = live > 0 ? std::max(1, live - ceiling) : 0;
  for (int k = 0; k < kills && k < live; ++k) m_field->SetAlive(doomed[static_cast<size_t>(k)], false);
}

int CTInterlude::GetLiveCount() const {
  if (!m_field) return 0;
  int live = 0;
  for (int i = 0; i < m_field->GetCellCount(); ++i) live += m_field->IsAlive(i) ? 1 : 0;
  return live;
}
