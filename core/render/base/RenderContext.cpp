#include "core/kernel/Kernel.h"
#include "core/object/CTReferenced.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/render/base/CTRenderPipelineManager.h"
#include "core/render/base/RenderInfo.h"

DRenderContext::DRenderContext() = default;
DRenderContext::DRenderContext(const DRenderContext& other) = default;
DRenderContext& DRenderContext::operator=(const DRenderContext& other) = default;
DRenderContext::~DRenderContext() = default;

CTRenderPipelineManager* DRenderContext::PreparePipeline() {
  if (!pipeline) pipeline = Ref(qibo::GetService<CTRenderPipelineManager>());
  if (pipeline && !pipeline->IsStarted() && !pipeline->Start()) return nullptr;
  return pipeline.Get();
}

CTMaterialManager* DRenderContext::PrepareMaterials() {
  if (!materials) materials = Ref(qibo::GetService<CTMaterialManager>());
  if (materials && !materials->IsStarted() && !materials->Start()) return nullptr;
  return materials.Get();
}
