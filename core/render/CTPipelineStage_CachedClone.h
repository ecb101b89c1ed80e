#pragma once

#include "core/geometry/DRenderShape.h"
#include "core/render/CTPipelineStage.h"

// Makes a shared shape (state bit 0x10) safe to change: copies its pools
// into a clone the stage keeps and borrows its faces, so that the later
// stages of the run transform and light the clone and never the shape an
// entity owns. The clone's pools only grow, so steady frames allocate
// nothing.
class CTPipelineStage_CachedClone : public CTPipelineStage {
  QIBO_CLASS(CTPipelineStage_CachedClone)

 public:
  CTPipelineStage_CachedClone();

 protected:
  bool DoProcess(DRenderPacket* packet) override;

 private:
  DRenderShape m_clone;
};
