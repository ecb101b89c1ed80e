// The render-device plug-in: the device, its seven drawing stages and the
// audio/video player (the settings page comes through its own exports).
#include "core/kernel/PlugInEntry.h"
#include "plugins/d3d/CTDirect3D.h"
#include "plugins/d3d/CTDirect_AVPlayer.h"
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
    AddClass(CTDirect_AVPlayer::_CD());
  }
};

}  // namespace

QIBO_PLUGIN_ENTRY(RasterDevLib)
