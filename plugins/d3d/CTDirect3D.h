#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/object/CTBasicPtr.h"
#include "core/object/QIBO_String.h"
#include "core/object/Ref.h"
#include "core/render/CTRenderTarget.h"
#include "plugins/d3d/DGlBatches.h"
#include "plugins/d3d/DGlCaches.h"
#include "plugins/d3d/DGlRenderer.h"
#include "plugins/d3d/DGlWindow.h"

class CTMaterial;
class DRenderShape;
class DOverlay;
struct DRenderPacket;

// How a drawing stage wants its shapes drawn (see D3DStages.h).
struct DStageMode {
  enum Space { kLocal, kWorld, kCamera, kView, kScreen };
  Space space = kLocal;
  bool lit = false;
  bool depthTest = true;
};

// The render device: a window (or the full screen) with an OpenGL 3.3 core
// context, drawing what the seven Direct3D stages hand it. SDL gives the
// window, the displays, their modes and the events; the device's shaders
// stand in for the fixed-function pipeline.
//
// DoShow runs the set-up, trying the attempts of the configuration in turn;
// each failed attempt prints "ERROR!!: <step>" and releases what it made.
// A visible device pumps window events every engine update: closing the
// window or Escape hides it, F12 saves a snapshot.
//
// With "BatchDrawing" (the default), opaque shapes drawn from their GPU
// copies in the local-space stages are gathered instead of drawn at once:
// copies of one shape that share the material, the stage and the culling go
// out in one instanced draw when something that depends on the order of
// drawing comes (any other shape, the end of the scene, a grab); and the
// transparent faces, sorted back to front, go out in triangle lists of
// neighbours set up alike. The read-only "DrawCalls" and "MaterialSwitches"
// count the last scene's.
//
// All calls come from the engine's thread, which owns the GL context.
class CTDirect3D : public CTRenderTarget {
  QIBO_CLASS(CTDirect3D)

 public:
  CTDirect3D();
  ~CTDirect3D() override;

  void DoAddProperties() override;

  bool DoShow() override;
  bool DoHide() override;
  LFB* GrabLFB(int x, int y, int width, int height) override;
  bool ShowLFB(LFB* lfb, int x, int y) override;
  bool BeginScene(DRenderContext* context) override;
  bool EndScene(DRenderContext* context) override;
  void Present() override;
  bool Preload(CTTexture* texture) override;
  bool GetResolution(int& width, int& height) override;

  // Draws the packet's shape for a stage; always true (see D3DStages.h).
  bool DrawPacket(DRenderPacket* packet, const DStageMode& mode);
  // The device viewport for a context: the whole output, depth 0 to 1.
  void PrepareViewport();
  // Saves the picture as "<SnapshotPath>snap_NNN.tga"; false when nothing
  // could be written.
  bool TakeSnapshot();
  int GetMaterialSwitches() const { return m_materialSwitches; }
  // The device's own background picture, made on first request: while it
  // exists it is drawn behind every context in place of the viewport's
  // picture. A video player writes its frames into it (and marks it
  // changed); the device copies it to the GPU when it changed.
  CTTexture* GetBackgroundSurface();
  void ReleaseBackgroundSurface();

  // Settings (persistent properties).
  int m_configurationMode = 0;
  int m_displayNo = 0;
  bool m_fullScreen = false;
  int m_xRes = 640;
  int m_yRes = 480;
  int m_pixelDepth = 16;
  int m_width = 400;
  int m_height = 480;
  uint8_t m_ddrawAdapter[16] = {};
  uint8_t m_d3dDriver[16] = {};
  QIBO_String m_snapshotPath = ".\\";
  bool m_waitForVerticalSync = false;
  bool m_useWBuffer = false;
  bool m_specularHighlights = false;
  bool m_useAutomaticUV = true;
  bool m_showStatistics = false;
  bool m_batchDrawing = true;

 protected:
  bool StartDevice() override;
  bool StopDevice() override;

 private:
  std::vector<DShowRequest> BuildAttempts() const;
  bool SetUp(const DShowRequest& request);
  bool Fail(const char* step);
  void Release();
  void PumpMessages(int32_t elapsed);
  void SetFog(DRenderContext* context);
  void SetProjection(DRenderContext* context);
  void DrawStatistics();

  // Drawing (CTDirect3D_Draw.cpp).
  void SetSpace(const DStageMode& mode, const DRenderPacket& packet);
  void SetLight(DRenderContext* context);
  bool ApplyMaterial(CTMaterial* material, uint32_t shapeState, DRenderContext* context);
  CTMaterial* FaceMaterial(const DRenderShape& shape, int face, DRenderContext* context) const;
  // Gathers the packet's shape (drawn from copy) for an instanced draw when
  // it can wait; whether it did.
  bool Gather(const DRenderPacket& packet, const DStageMode& mode, uint32_t target,
              DGlShapeCache::Entry* copy);
  // Draws what was gathered (see DGlBatches).
  void FlushBatches();
  // The shape's copy on the GPU (uploaded now when it held still since it
  // was last seen, kept when its stamp moved but not its arrays), or null:
  // then it goes through the streaming buffer.
  DGlShapeCache::Entry* GpuCopy(const DRenderShape& shape);
  void DrawTriangles(const DRenderShape& shape, const DRenderPacket& packet, bool lit,
                     const DGlShapeCache::Entry* copy);
  // An indexed triangle list through the streaming buffer; false when the
  // shape is too large for it.
  bool DrawStreamed(const DRenderShape& shape);
  // The shape's vertices as the device draws them and its valid faces'
  // vertex indices, made once for the packet being drawn.
  void MakeArrays(const DRenderShape& shape);
  void DrawFaceByFace(const DRenderShape& shape, const DRenderPacket& packet, bool lit);
  void DrawLines(const DRenderShape& shape);
  void DrawPoints(const DRenderShape& shape);
  DGlVertex MakeVertex(const DRenderShape& shape, int vertex) const;
  void DeferFace(const DRenderShape& shape, int face, CTMaterial* material, bool lit);
  void DrawDeferred();
  // Brings the kept copy of the viewport's background picture up to date;
  // whether there is one to draw.
  bool UpdateBackground(CTTexture* picture);

  DGlWindow m_window;
  DGlRenderer m_renderer;
  DGlTextureCache m_textures;
  DGlShapeCache m_shapes;
  DGlBatches m_batches;
  // MakeArrays' arrays, kept for their storage; made is reset per packet.
  struct {
    std::vector<DGlVertex> vertices;
    std::vector<uint32_t> indices;
    bool made = false;
  } m_arrays;
  std::unique_ptr<DOverlay> m_overlay;
  bool m_pumping = false;
  DRenderContext* m_context = nullptr;
  // The background picture on the GPU came from this texture, as it was at
  // this change.
  SmartPtr<CTTexture> m_backgroundSource;
  uint32_t m_backgroundChange = 0;
  Ref<CTTexture> m_backgroundSurface;
  float m_projection[16] = {};
  float m_screen[16] = {};
  float m_camera[16] = {};
  // The current material and what made its set-up.
  CTMaterial* m_material = nullptr;
  uint32_t m_materialState = 0;
  uint32_t m_materialChange = 0;
  int m_materialSwitches = 0;
  int m_drawCalls = 0;
  bool m_fogEnabled = false;
  uint32_t m_frame = 0;
  // Frame-rate measurement.
  int m_frames = 0;
  uint32_t m_lastMeasure = 0;
  double m_fps = 0.0;
  // Faces with alpha, drawn back to front at EndScene.
  struct DeferredFace {
    CTMaterial* material;
    uint32_t state;
    float world[16];
    float view[16];
    float proj[16];
    bool lit;
    float depth;
    DGlVertex vertices[3];
  };
  std::vector<DeferredFace> m_deferred;
};
