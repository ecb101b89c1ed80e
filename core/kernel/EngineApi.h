#pragma once

#include <cstdint>

// The engine's exported frame functions. Each reaches the engine manager
// through the library's cached reference (created and started on first
// use); without an engine manager they do nothing and answer 0.

// The current frame counter.
uint32_t qiBO_GetFrameID();
