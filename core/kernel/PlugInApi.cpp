#include "core/kernel/PlugInApi.h"

#include <cstring>

#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ServiceCache.h"

namespace {

CTPlugInManager* PlugIns() {
  return static_cast<CTPlugInManager*>(
      qibo::GetCachedService(qibo::CachedService::PlugIn, CTPlugInManager::_CD()->ID()));
}

}  // namespace

bool qiBO_LoadPlugIn(const char* name) {
  CTPlugInManager* plugIns = PlugIns();
  return plugIns && plugIns->LoadPlugIn(name);
}

void qiBO_LoadAllPlugIns() {
  if (CTPlugInManager* plugIns = PlugIns()) plugIns->LoadAllPlugIns();
}

int qiBO_GetPlugInCount() {
  CTPlugInManager* plugIns = PlugIns();
  return plugIns ? plugIns->GetPlugInCount() : 0;
}

QIBO_String qiBO_GetPlugInName(int index) {
  CTPlugInManager* plugIns = PlugIns();
  return plugIns ? plugIns->GetPlugInName(index) : QIBO_String();
}

namespace qibo {

bool LoadPlugInForClass(const char* url) {
  if (!url || !url[0]) return false;
  QIBO_String name(url);
  const int length = name.Length();
  if (length > 4 && EqualsIC(name.c_str() + length - 4, ".dll")) {
    name.Buffer()[length - 4] = '\0';
    name += ".plug";
  }
  return qiBO_LoadPlugIn(name.c_str());
}

}  // namespace qibo
