#pragma once

#include "core/render/CTPipelineStage.h"

// The three stages that move a shape's positions (as points) and normals
// into another space, in place. They never see a shared shape: the clone
// stage runs first.

// Local -> world, by the entity's world transform.
class CTPipelineStage_LocalToWorld : public CTPipelineStage {
  QIBO_CLASS(CTPipelineStage_LocalToWorld)

 public:
  CTPipelineStage_LocalToWorld();

 protected:
  bool DoProcess(DRenderPacket* packet) override;
};

// World -> camera, by the viewport's camera transform.
class CTPipelineStage_WorldToCamera : public CTPipelineStage {
  QIBO_CLASS(CTPipelineStage_WorldToCamera)

 public:
  CTPipelineStage_WorldToCamera();

 protected:
  bool DoProcess(DRenderPacket* packet) override;
};

// World -> view (projected, before the division by depth), by the
// viewport's view transform.
class CTPipelineStage_WorldToView : public CTPipelineStage {
  QIBO_CLASS(CTPipelineStage_WorldToView)

 public:
  CTPipelineStage_WorldToView();

 protected:
  bool DoProcess(DRenderPacket* packet) override;
};
