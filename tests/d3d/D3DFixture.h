#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/render/CTRenderTarget.h"
#include "tests/support/EngineFixture.h"

// One triangle facing a camera that looks along +z, 4 units wide, centred
// on its entity; vertex colours and texture coordinates are the test's.
class D3DTestTriangle : public CTShape {
  QIBO_CLASS(D3DTestTriangle)

 public:
  D3DTestTriangle();
  // Sends the mesh through the pipeline to be drawn as m_target asks.
  void Render(const RenderInfo_t& info, CTMaterial* material) override;
  Vector3 GetSupport(const Vector3& d) override;
  // Reverses the winding: the triangle then shows its back.
  void Flip();

  DRenderShape m_mesh;
  uint32_t m_target = 0x01000000;  // faces; 0x02000000 edges, 0x04000000 points
};

namespace qibo::test {

// Each test runs with RasterDev.plug loaded.
class D3DFixture : public EngineFixture {
 protected:
  void SetUp() override;

  // A new CTDirect3D held by the fixture.
  CTRenderTarget* MakeDevice();
  static void Set(CTRenderTarget* device, const char* property, const char* value);
  // Shows the device; the "ERROR!!" lines it printed, and in last (when
  // given) the last line it printed.
  static std::vector<std::string> ShowCapturing(CTRenderTarget* device, bool& shown,
                                                std::string* last = nullptr);
  // The pixel at (x, y) as 0xAARRGGBB; 0 when nothing can be grabbed.
  static uint32_t PixelAt(CTRenderTarget* device, int x, int y);

 public:  // the cases' set-up functions hold what they make here
  using EngineFixture::m_owned;
};

// Expects the colour within tolerance per channel.
void ExpectColor(uint32_t argb, int r, int g, int b, int tolerance, const char* what);

}  // namespace qibo::test
