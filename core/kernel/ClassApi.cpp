#include "core/kernel/ClassApi.h"

#include "core/kernel/CTClassManager.h"
#include "core/kernel/ServiceCache.h"

namespace {

CTClassManager* Classes() {
  return static_cast<CTClassManager*>(
      qibo::GetCachedService(qibo::CachedService::Class, CTClassManager::_CD()->ID()));
}

}  // namespace

void qiBO_RegisterClass(ClassDesc* cd) {
  if (CTClassManager* classes = Classes(); classes && cd) classes->RegisterClass(cd);
}

void qiBO_UnregisterClass(ClassDesc* cd) {
  if (CTClassManager* classes = Classes(); classes && cd) classes->UnregisterClass(cd);
}

ClassDesc* qiBO_FindClassDesc(uint32_t id) {
  CTClassManager* classes = Classes();
  return classes ? classes->FindClassDesc(id) : nullptr;
}

ClassDesc* qiBO_FindClassDescByName(const char* name) {
  CTClassManager* classes = Classes();
  return classes ? classes->FindClassDescByName(name) : nullptr;
}

ClassDesc* qiBO_FindClassDescByNameIC(const char* name) {
  CTClassManager* classes = Classes();
  return classes ? classes->FindClassDescByNameIC(name) : nullptr;
}

CTBasic* qiBO_CreateClass(uint32_t id) {
  CTClassManager* classes = Classes();
  return classes ? classes->CreateClass(id) : nullptr;
}

CTBasic* qiBO_CreateClassByName(const char* name) {
  CTClassManager* classes = Classes();
  return classes ? classes->CreateClassByName(name) : nullptr;
}

CTBasic* qiBO_CreateClassByNameIC(const char* name) {
  CTClassManager* classes = Classes();
  return classes ? classes->CreateClassByNameIC(name) : nullptr;
}

int qiBO_GetClassDescCount() {
  CTClassManager* classes = Classes();
  return classes ? classes->GetClassDescCount() : 0;
}

ClassDesc* qiBO_GetClassDescNo(int index) {
  CTClassManager* classes = Classes();
  return classes ? classes->GetClassDescNo(index) : nullptr;
}

QIBO_String qiBO_GetClassName(uint32_t id) {
  CTClassManager* classes = Classes();
  return classes ? classes->GetClassName(id) : QIBO_String::Format("0x%08X", id);
}

uint32_t qiBO_GetClassID(const char* name) {
  CTClassManager* classes = Classes();
  return classes ? classes->GetClassID(name) : 0;
}
