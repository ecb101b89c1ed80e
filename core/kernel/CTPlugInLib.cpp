#include "core/kernel/CTPlugInLib.h"

#include <algorithm>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTPlugInLib, CTReferenced, .desc = "Plug-in library", .isAbstract = true)

CTPlugInLib::~CTPlugInLib() { UnregisterClasses(); }

void CTPlugInLib::AddClass(ClassDesc* cd) {
  if (cd && std::find(m_classes.begin(), m_classes.end(), cd) == m_classes.end()) m_classes.push_back(cd);
}

ClassDesc* CTPlugInLib::GetClassNo(int i) const {
  return i >= 0 && i < GetClassCount() ? m_classes[static_cast<size_t>(i)] : nullptr;
}

void CTPlugInLib::RegisterClasses() {
  m_classes.clear();
  AddClasses();
  if (m_classes.empty()) return;
  if (auto* classes = qibo::FindService<CTClassManager>())
    for (ClassDesc* cd : m_classes) classes->RegisterClass(cd);
}

void CTPlugInLib::UnregisterClasses() {
  if (m_classes.empty()) return;
  if (auto* classes = qibo::FindService<CTClassManager>())
    for (ClassDesc* cd : m_classes) classes->UnregisterClass(cd);
}

int CTPlugInLib::GetInstancesCount() const {
  int count = 0;
  for (const ClassDesc* cd : m_classes)
    if (cd->GetInstances() >= 1) count += cd->GetInstances();
  return count;
}
