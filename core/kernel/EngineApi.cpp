#include "core/kernel/EngineApi.h"

// The engine manager does not exist yet: frames are not counted.
uint32_t qiBO_GetFrameID() { return 0; }
