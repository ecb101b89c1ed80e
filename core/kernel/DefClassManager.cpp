#include "core/kernel/DefClassManager.h"

#include <algorithm>

#include "core/kernel/BuiltinClasses.h"

QIBO_IMPLEMENT_CLASS(CTClassManager, CTManager, .desc = "Class manager", .isAbstract = true)
QIBO_IMPLEMENT_CLASS(DefClassManager, CTClassManager, .desc = "Class manager", .product = "qiBO DefMgr")

namespace {
// Lookups that find nothing say so below the default verbose level.
constexpr int kLookupInfoLevel = 2;
}  // namespace

void DefClassManager::RegisterClass(ClassDesc* cd) {
  for (ClassDesc* d = cd; d; d = d->GetInheritedCD()) RegisterOne(d);
}

void DefClassManager::UnregisterClass(ClassDesc* cd) {
  for (ClassDesc* d = cd; d; d = d->GetInheritedCD()) UnregisterOne(d);
}

void DefClassManager::RegisterOne(ClassDesc* cd) {
  for (Registration& r : m_registrations) {
    if (r.first == cd) {
      ++r.second;
      return;
    }
  }
  m_registrations.emplace_back(cd, 1);

  const uint32_t id = cd->ID();
  auto same =
      std::find_if(m_registry.begin(), m_registry.end(), [&](ClassDesc* e) { return e->CheckID(id); });
  if (same == m_registry.end()) {
    m_registry.push_back(cd);
    return;
  }
  const QIBO_String name = cd->GetName();
  if (!((*same)->GetName() == name)) {
    ErrorMsgF("Differing classes with equal IDs: %s and %s", name.c_str(), (*same)->GetName().c_str());
    return;
  }
  if (cd->GetBuild() > (*same)->GetBuild()) {
    InfoMsgF(0, "Newer build detected of %s", name.c_str());
    *same = cd;
  } else if (cd->GetBuild() == (*same)->GetBuild()) {
    *same = cd;
  } else {
    WarningMsgF(0, "Older build detected of %s", name.c_str());
  }
}

void DefClassManager::UnregisterOne(ClassDesc* cd) {
  auto reg = std::find_if(m_registrations.begin(), m_registrations.end(),
                          [&](const Registration& r) { return r.first == cd; });
  if (reg == m_registrations.end() || --reg->second > 0) return;
  *reg = m_registrations.back();
  m_registrations.pop_back();

  auto active = std::find(m_registry.begin(), m_registry.end(), cd);
  if (active == m_registry.end()) return;
  m_registry.erase(active);

  // An older build of the same class that is still registered comes back.
  ClassDesc* best = nullptr;
  for (const Registration& r : m_registrations)
    if (r.first->CheckID(cd->ID()) && (!best || r.first->GetBuild() > best->GetBuild())) best = r.first;
  if (best) m_registry.push_back(best);
}

int32_t DefClassManager::GetRegistrationCount(const ClassDesc* cd) const {
  for (const Registration& r : m_registrations)
    if (r.first == cd) return r.second;
  return 0;
}

ClassDesc* DefClassManager::FindClassDesc(uint32_t id) {
  for (ClassDesc* cd : m_registry)
    if (cd->CheckID(id)) return cd;
  InfoMsgF(kLookupInfoLevel, "Not a registered class ID: 0x%08X", id);
  return nullptr;
}

ClassDesc* DefClassManager::NotFound(const char* name) {
  InfoMsgF(kLookupInfoLevel, "Not a registered class: \"%s\"", name ? name : "");
  return nullptr;
}

ClassDesc* DefClassManager::FindClassDescByName(const char* name) {
  if (name)
    for (ClassDesc* cd : m_registry)
      if (cd->CheckName(name)) return cd;
  return NotFound(name);
}

namespace {

// Compares with a descriptor's name or description without copying it where
// the descriptor offers the text.
bool NameEqualsIC(const ClassDesc* cd, const char* text) {
  return cd->NameText() ? qibo::EqualsIC(cd->NameText(), text) : cd->GetName().EqualsIC(text);
}

bool DescEqualsIC(const ClassDesc* cd, const char* text) {
  return cd->DescText() ? qibo::EqualsIC(cd->DescText(), text) : cd->GetDesc().EqualsIC(text);
}

}  // namespace

ClassDesc* DefClassManager::FindClassDescByNameIC(const char* name) {
  const QIBO_String wanted(name);
  QIBO_String prefixed("CT");
  for (const char* c = wanted.c_str(); *c; ++c) prefixed += qibo::ToUpperAscii(*c);
  for (ClassDesc* cd : m_registry)
    if (NameEqualsIC(cd, wanted.c_str())) return cd;
  for (ClassDesc* cd : m_registry)
    if (NameEqualsIC(cd, prefixed.c_str())) return cd;
  for (ClassDesc* cd : m_registry)
    if (DescEqualsIC(cd, wanted.c_str())) return cd;
  return NotFound(wanted.c_str());
}

CTBasic* DefClassManager::CreateClass(uint32_t id) {
  ClassDesc* cd = FindClassDesc(id);
  return cd ? static_cast<CTBasic*>(cd->Create()) : nullptr;
}

CTBasic* DefClassManager::CreateClassByName(const char* name) {
  ClassDesc* cd = FindClassDescByName(name);
  return cd ? static_cast<CTBasic*>(cd->Create()) : nullptr;
}

CTBasic* DefClassManager::CreateClassByNameIC(const char* name) {
  ClassDesc* cd = FindClassDescByNameIC(name);
  return cd ? static_cast<CTBasic*>(cd->Create()) : nullptr;
}

ClassDesc* DefClassManager::GetClassDescNo(int index) {
  if (index < 0 || index >= GetClassDescCount()) return nullptr;
  return m_registry[static_cast<size_t>(index)];
}

QIBO_String DefClassManager::GetClassName(uint32_t id) {
  ClassDesc* cd = FindClassDesc(id);
  return cd ? cd->GetName() : QIBO_String::Format("0x%08X", id);
}

uint32_t DefClassManager::GetClassID(const char* name) {
  ClassDesc* cd = FindClassDescByName(name);
  return cd ? cd->ID() : 0;
}

bool DefClassManager::DoStart() {
  for (ClassDesc* cd : qibo::BuiltinClasses()) RegisterClass(cd);
  return true;
}

bool DefClassManager::DoStop() {
  m_registry.clear();
  m_registry.shrink_to_fit();
  m_registrations.clear();
  m_registrations.shrink_to_fit();
  return true;
}
