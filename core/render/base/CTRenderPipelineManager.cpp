#include "core/render/base/CTRenderPipelineManager.h"

QIBO_IMPLEMENT_CLASS(CTRenderPipelineManager, CTManager, .desc = "Pipeline Manager", .build = 1,
                     .isAbstract = true)
