#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "core/scene/math/DFrustum.h"

class CTCamera;
class CTEntity;
class CTEnvironment;
class CTMaterialManager;
class CTReferenced;
class CTRenderPipelineManager;
class CTRenderTarget;
class DRenderShape;
class DTransform;
class DViewport;

// A colour as 0xAARRGGBB.
using ColorARGB8888 = uint32_t;

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

// The state word of a render shape: where its vertices are, what has been
// done to them, and (in the top eight bits) what this run drew.
namespace qibo::state {
constexpr uint32_t kNoClip = 0x00000001;
constexpr uint32_t kLit = 0x00000002;
constexpr uint32_t kTwoSided = 0x00000004;
constexpr uint32_t kShared = 0x00000010;     // clone before changing
constexpr uint32_t kTemporary = 0x00000040;  // a clone deleted at the end of the run
constexpr uint32_t kLocal = 0x00000100;
constexpr uint32_t kWorld = 0x00000200;
constexpr uint32_t kCamera = 0x00000400;
constexpr uint32_t kView = 0x00001000;
constexpr uint32_t kScreen = 0x00002000;
constexpr uint32_t kDrawnFilled = 0x01000000;
constexpr uint32_t kDrawnEdges = 0x02000000;
constexpr uint32_t kDrawnPoints = 0x04000000;
constexpr uint32_t kDrawnVertexNormals = 0x10000000;
constexpr uint32_t kDrawnFaceNormals = 0x20000000;
constexpr uint32_t kPerRun = 0xFF000000;  // cleared at the end of every run
}  // namespace qibo::state

// What one viewport renders: filled by the viewport, handed to the engine,
// read by every entity and stage of the pass. The three services are held
// with counted references, fetched on first use; copying the record takes
// new references.
struct DRenderContext {
  DRenderContext();
  DRenderContext(const DRenderContext& other);
  DRenderContext& operator=(const DRenderContext& other);
  ~DRenderContext();

  // The pipeline manager, fetched and started on first use; null when the
  // service does not exist.
  CTRenderPipelineManager* PreparePipeline();
  // The material service, fetched and started on first use.
  CTMaterialManager* PrepareMaterials();

  Ref<CTRenderPipelineManager> pipeline;
  Ref<CTMaterialManager> materials;
  Ref<CTReferenced> spare;  // left empty by the engine
  DViewport* viewport = nullptr;
  DFrustum frustum;  // in world space
  CTCamera* camera = nullptr;
  CTRenderTarget* target = nullptr;
  uint32_t words[4] = {};                // the device's, cleared before each render
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

// One shape's run through the pipeline, on the stack of RenderShape and
// handed to every stage. A stage may put another shape into it (a clone, a
// line shape) and change the target.
struct DRenderPacket {
  DRenderContext* context = nullptr;
  const DTransform* world = nullptr;
  uint32_t clipMask = 0;
  DRenderShape* shape = nullptr;
  DRenderContext* stageContext = nullptr;  // the one stages test with HandlesContext
  uint32_t startState = 0;
  uint32_t target = 0;
  int steps = 0;
};
