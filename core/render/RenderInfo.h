#pragma once

#include <cstdint>

#include "core/render/DFrustum.h"

class CTCamera;
class CTEntity;
class CTEnvironment;
class CTRenderTarget;
class DTransform;
class DViewport;

// Pass bits of ProcessInfo_t::flags (the kind bits of the entities a pass
// is for) and the clip-mask values every culling test shares.
namespace qibo {
constexpr uint32_t kPassDraw = 0x00010000;
constexpr uint32_t kPassSound = 0x00020000;
constexpr uint32_t kPassLight = 0x00040000;
constexpr uint32_t kPassMask = 0x00FF0000;
constexpr uint32_t kClipAll = 0x3FFFFFFF;      // every plane still to be tested
constexpr uint32_t kClipOutside = 0x40000000;  // culled
constexpr uint32_t kClipNone = 0x80000000;     // wholly inside: no more tests
}  // namespace qibo

// What one viewport renders: filled by the viewport, handed to the engine,
// read by every entity and stage of the pass. Not owned by the entities.
struct DRenderContext {
  DViewport* viewport = nullptr;
  DFrustum frustum;  // in world space
  CTCamera* camera = nullptr;
  CTRenderTarget* target = nullptr;
  uint32_t words[4] = {};
  CTEnvironment* environment = nullptr;  // the one that holds the camera
};

// Passed to a shape's Render: where it is drawn and what is left to clip.
struct RenderInfo_t {
  DRenderContext* context = nullptr;
  const DTransform* world = nullptr;  // of the entity being drawn
  uint32_t clipMask = qibo::kClipAll;
  CTEntity* reference = nullptr;  // the listener of a sound pass
  uint32_t spare = 0;
};

// Passed down the scene graph, by reference, once per pass and context.
struct ProcessInfo_t {
  uint32_t flags = 0;  // pass bits in qibo::kPassMask
  RenderInfo_t render;
};
