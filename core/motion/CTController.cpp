#include "core/motion/CTController.h"

QIBO_IMPLEMENT_CLASS(CTController, CTInterface, .desc = "Abstract controller", .isAbstract = true)
static_assert(qibo::ClassId("CTController") == 0x50A81E1A);

void CTController::DoAddProperties() {
  CTInterface::DoAddProperties();
  AddPropertyRO(DProperty(m_enabled, "Enabled"), CTController::_CD());
}

bool CTController::Enable() {
  if (m_enabled) return true;
  if (!DoEnable()) return false;
  m_enabled = true;
  return true;
}

void CTController::Disable() {
  if (!m_enabled) return;
  DoDisable();
  m_enabled = false;
}
