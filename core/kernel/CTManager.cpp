#include "core/kernel/CTManager.h"

#include <algorithm>

QIBO_IMPLEMENT_CLASS(CTManager, CTLogged, .desc = "Manager-Base", .build = 1)

CTManager::~CTManager() { ReleaseDependents(); }

void CTManager::DoAddProperties() {
  CTLogged::DoAddProperties();
  AddPropertyRO(DProperty(m_started, "Started"), CTManager::_CD());
}

void CTManager::Delete() {
  if (m_started) Stop();
  CTNamed::Delete();
}

bool CTManager::Start() {
  if (m_started) return true;
  if (!DoStart()) return false;
  m_started = true;
  InfoMsgF(2, "%s started", GetName());
  NoError();
  return true;
}

bool CTManager::Stop() {
  if (!m_started) return true;
  // By index: stopping a dependent may run arbitrary code.
  for (size_t i = 0; i < m_dependents.size(); ++i)
    if (!m_dependents[i]->Stop()) return false;
  if (!DoStop()) return false;
  m_started = false;
  ReleaseDependents();
  InfoMsgF(2, "%s stopped", GetName());
  NoError();
  return true;
}

void CTManager::AddDependency(CTManager* dependent) {
  if (!dependent || std::find(m_dependents.begin(), m_dependents.end(), dependent) != m_dependents.end())
    return;
  m_dependents.emplace_back(dependent);
}

void CTManager::ReleaseDependents() {
  // Last first, each taken out of the list before it may go away.
  while (!m_dependents.empty()) {
    Ref<CTManager> last = std::move(m_dependents.back());
    m_dependents.pop_back();
  }
}
