#include "core/kernel/Kernel.h"
#include "core/object/CTReferenced.h"
#include "core/render/CTRenderPipelineManager.h"
#include "core/render/RenderInfo.h"

DRenderContext::DRenderContext() = default;
DRenderContext::DRenderContext(const DRenderContext& other) = default;
DRenderContext& DRenderContext::operator=(const DRenderContext& other) = default;
DRenderContext::~DRenderContext() = default;

CTRenderPipelineManager* DRenderContext::PreparePipeline() {
  if (!pipeline) pipeline = Ref(qibo::GetService<CTRenderPipelineManager>());
  if (pipeline && !pipeline->IsStarted() && !pipeline->Start()) return nullptr;
  return pipeline.Get();
}

CTManager* DRenderContext::PrepareMaterials() {
  // No material service is registered in the core yet; stages then work
  // with the materials the shapes carry.
  return materials.Get();
}
