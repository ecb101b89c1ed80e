// The plug-in's property-page exports (see core/kernel/DPropertyPage.h):
// one page, the render device's settings.
#include <cstdint>
#include <new>

#include "plugins/d3d/CDirect3DPP.h"
#include "plugins/d3d/CTDirect3D.h"

#define QIBO_EXPORT extern "C" __attribute__((visibility("default")))

QIBO_EXPORT int qiBO_InitPropertyPageLib() { return 1; }

QIBO_EXPORT uint32_t qiBO_GetPropertyPageClassID(int index) {
  return index == 0 ? CTDirect3D::_CD()->ID() : 0;
}

QIBO_EXPORT DPropertyPage* qiBO_CreatePropertyPage(int index) {
  return index == 0 ? new (std::nothrow) CDirect3DPP() : nullptr;
}

QIBO_EXPORT void qiBO_DeletePropertyPage(DPropertyPage* page) { delete page; }
