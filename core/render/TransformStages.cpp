#include "core/render/TransformStages.h"

#include "core/geometry/DRenderShape.h"
#include "core/render/DViewport.h"
#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(CTPipelineStage_LocalToWorld, CTPipelineStage, .desc = "LocalToWorld",
                     .url = "qibo_stages", .product = "qiBO Stages")
QIBO_IMPLEMENT_CLASS(CTPipelineStage_WorldToCamera, CTPipelineStage, .desc = "WorldToCamera",
                     .url = "qibo_stages")
QIBO_IMPLEMENT_CLASS(CTPipelineStage_WorldToView, CTPipelineStage, .desc = "WorldToView",
                     .url = "qibo_stages")

using namespace qibo::state;

CTPipelineStage_LocalToWorld::CTPipelineStage_LocalToWorld()
    : CTPipelineStage(kShared, kLocal, kLocal, kWorld) {}

bool CTPipelineStage_LocalToWorld::DoProcess(DRenderPacket* packet) {
  // Without a world transform the entity sits at the origin, unturned.
  if (packet->world) packet->shape->Transform(*packet->world);
  return true;
}

CTPipelineStage_WorldToCamera::CTPipelineStage_WorldToCamera()
    : CTPipelineStage(kShared, kWorld, kWorld, kCamera) {}

bool CTPipelineStage_WorldToCamera::DoProcess(DRenderPacket* packet) {
  const DViewport* viewport = packet->context ? packet->context->viewport : nullptr;
  if (!viewport) return false;
  packet->shape->Transform(viewport->GetCameraTransform());
  return true;
}

CTPipelineStage_WorldToView::CTPipelineStage_WorldToView()
    : CTPipelineStage(kShared, kWorld, kWorld, kView) {}

bool CTPipelineStage_WorldToView::DoProcess(DRenderPacket* packet) {
  const DViewport* viewport = packet->context ? packet->context->viewport : nullptr;
  if (!viewport) return false;
  packet->shape->Transform(viewport->GetViewTransform());
  return true;
}
