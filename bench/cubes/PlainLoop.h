#pragma once

#include "bench/cubes/CubeScene.h"

namespace qibo::cubes {

// The reference: its own SDL window and OpenGL 3.3 core context, a minimal
// shader with the device's lighting model (emissive-free: ambient plus one
// directional light, times the texture), and one glDrawElements with a
// per-cube model-matrix upload for every cube, every frame; no culling on
// the CPU. Each frame ends with a swap and glFinish. warmup frames run
// first and are not timed.
LoopResult RunPlainLoop(int n, int frames, int warmup);

}  // namespace qibo::cubes
