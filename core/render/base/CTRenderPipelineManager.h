#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class DRenderShape;
struct DRenderContext;
struct RenderInfo_t;

// The render pipeline service: holds one instance of every registered
// pipeline stage and runs each render shape along the shortest chain of
// stages that brings its state to a target (for example "drawn as filled
// polygons"). The engine brackets every render context with BeginContext
// and EndContext; shapes call RenderShape in between.
class CTRenderPipelineManager : public CTManager {
  QIBO_CLASS(CTRenderPipelineManager)

 public:
  // Runs one shape until its state holds every target bit; false when no
  // route exists or a stage fails (the shape is then not drawn).
  virtual bool RenderShape(DRenderShape* shape, const RenderInfo_t& info, uint32_t target) = 0;
  // (Re)creates the stages from the class registry; their number.
  virtual int CreateStages() = 0;
  // Selects the stages that handle the context; false when none does or the
  // context lacks a camera, a render target or a viewport.
  virtual bool BeginContext(DRenderContext* context) = 0;
  virtual void EndContext(DRenderContext* context) = 0;
};
