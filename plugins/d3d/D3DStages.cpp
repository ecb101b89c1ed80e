#include "plugins/d3d/D3DStages.h"

#include "core/render/base/RenderInfo.h"

#define QIBO_D3D_STAGE_CLASS(Name, Id)                                                               \
  QIBO_IMPLEMENT_CLASS(Name, CTD3DStage, .desc = "Direct3D pipeline stage", .url = "RasterDev.plug", \
                       .product = "qiBO Devices", .fixedId = Id)

QIBO_IMPLEMENT_CLASS(CTD3DStage, CTPipelineStage, .desc = "Direct3D pipeline stage", .url = "RasterDev.plug",
                     .product = "qiBO Devices", .isAbstract = true)
QIBO_D3D_STAGE_CLASS(CTD3DStageLocal, 0xB6D3A1EE)
QIBO_D3D_STAGE_CLASS(CTD3DStageLocalLight, 0xC32D1BCE)
QIBO_D3D_STAGE_CLASS(CTD3DStageWorld, 0x07723845)
QIBO_D3D_STAGE_CLASS(CTD3DStageWorldLight, 0x21F6B3C9)
QIBO_D3D_STAGE_CLASS(CTD3DStageCamera, 0xE92C6ED1)
QIBO_D3D_STAGE_CLASS(CTD3DStageView, 0x23417ACB)
QIBO_D3D_STAGE_CLASS(CTD3DStageScreen, 0x0D7CE1E4)

namespace {
constexpr uint32_t kDrawn = qibo::state::kDrawnFilled | qibo::state::kDrawnEdges | qibo::state::kDrawnPoints;
using Space = DStageMode::Space;
}  // namespace

CTD3DStage::CTD3DStage(uint32_t forbidden, uint32_t required, DStageMode mode)
    : CTPipelineStage(forbidden, required, 0, kDrawn), m_mode(mode) {}

bool CTD3DStage::HandlesContext(DRenderContext* context) const {
  return context && qibo::Cast<CTDirect3D>(context->target) != nullptr;
}

void CTD3DStage::PrepareContext(DRenderContext* context) {
  if (auto* device = context ? qibo::Cast<CTDirect3D>(context->target) : nullptr) device->PrepareViewport();
}

bool CTD3DStage::DoProcess(DRenderPacket* packet) {
  DRenderContext* context =
      packet ? (packet->stageContext ? packet->stageContext : packet->context) : nullptr;
  auto* device = context ? qibo::Cast<CTDirect3D>(context->target) : nullptr;
  if (device) device->DrawPacket(packet, m_mode);
  return true;
}

CTD3DStageLocal::CTD3DStageLocal() : CTD3DStage(0x3600, 0x0102, {Space::kLocal, false, true}) {}
CTD3DStageLocalLight::CTD3DStageLocalLight() : CTD3DStage(0x3602, 0x0100, {Space::kLocal, true, true}) {}
CTD3DStageWorld::CTD3DStageWorld() : CTD3DStage(0x3500, 0x0202, {Space::kWorld, false, true}) {}
CTD3DStageWorldLight::CTD3DStageWorldLight() : CTD3DStage(0x3502, 0x0200, {Space::kWorld, true, true}) {}
CTD3DStageCamera::CTD3DStageCamera() : CTD3DStage(0x3300, 0x0402, {Space::kCamera, false, true}) {}
CTD3DStageView::CTD3DStageView() : CTD3DStage(0x2700, 0x1002, {Space::kView, false, false}) {}
CTD3DStageScreen::CTD3DStageScreen() : CTD3DStage(0x1700, 0x2002, {Space::kScreen, false, false}) {}
