// The render-device plug-in: the device and its seven drawing stages.
#include "core/kernel/PlugInEntry.h"
#include "plugins/d3d/CTDirect3D.h"
#include "plugins/d3d/D3DStages.h"

namespace {

class RasterDevLib : public CTPlugInLib {
 protected:
  void AddClasses() override {
    AddClass(CTDirect3D::_CD());
    AddClass(CTD3DStageLocal::_CD());
    AddClass(CTD3DStageLocalLight::_CD());
    AddClass(CTD3DStageWorld::_CD());
    AddClass(CTD3DStageWorldLight::_CD());
    AddClass(CTD3DStageCamera::_CD());
    AddClass(CTD3DStageView::_CD());
    AddClass(CTD3DStageScreen::_CD());
  }
};

}  // namespace

QIBO_PLUGIN_ENTRY(RasterDevLib)
