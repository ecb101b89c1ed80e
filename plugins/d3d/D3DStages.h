#pragma once

#include "core/render/CTPipelineStage.h"
#include "plugins/d3d/CTDirect3D.h"

// The seven stages that draw a render shape with a CTDirect3D. Each ends
// every route (it sets the three drawn bits); they differ in the space they
// accept, whether the device lights the shape and whether depth is tested.
// A stage works only in contexts whose target is a CTDirect3D.
class CTD3DStage : public CTPipelineStage {
  QIBO_CLASS(CTD3DStage)

 public:
  bool HandlesContext(DRenderContext* context) const override;

 protected:
  CTD3DStage(uint32_t forbidden, uint32_t required, DStageMode mode);
  void PrepareContext(DRenderContext* context) override;
  bool DoProcess(DRenderPacket* packet) override;

 private:
  DStageMode m_mode;
};

#define QIBO_D3D_STAGE(Name)       \
  class Name : public CTD3DStage { \
    QIBO_CLASS(Name)               \
                                   \
   public:                         \
    Name();                        \
  };

QIBO_D3D_STAGE(CTD3DStageLocal)
QIBO_D3D_STAGE(CTD3DStageLocalLight)
QIBO_D3D_STAGE(CTD3DStageWorld)
QIBO_D3D_STAGE(CTD3DStageWorldLight)
QIBO_D3D_STAGE(CTD3DStageCamera)
QIBO_D3D_STAGE(CTD3DStageView)
QIBO_D3D_STAGE(CTD3DStageScreen)

#undef QIBO_D3D_STAGE
