#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "plugins/d3d/DGlCaches.h"
#include "plugins/d3d/DGlProgram.h"
#include "plugins/d3d/DGlRenderer.h"
#include "plugins/d3d/DGlWindow.h"
#include "tests/d3d/GlLayerFixture.h"

namespace qibo::test {
namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 32;
constexpr uint32_t kClear = 0xFF203040u;

class D3DShaderPartsTest : public GlLayerFixture {
 protected:
  D3DShaderPartsTest() : GlLayerFixture(kWidth, kHeight) {}
};

// One draw over the whole output: what the uniforms, the texture's and the
// vertices' alpha are, whether the alpha test must drop it, and which
// fragment-shader parts the program it went through has.
struct PartsCase {
  const char* name;
  uint32_t texel;        // 0: no texture
  uint32_t vertexColor;  // bytes R, G, B, A
  int lighting;
  float materialAlpha;
  int fog;
  bool dropped;
  uint32_t parts;
};
using namespace qibo::gl;
const PartsCase kPartsCases[] = {
    {"opaque vertices, nothing else", 0, 0xFF0000FFu, 0, 1.0f, 0, false, 0},
    {"vertex alpha 10 is dropped", 0, 0x0A0000FFu, 0, 1.0f, 0, true, kShaderAlphaTest},
    {"vertex alpha 11 passes, tested", 0, 0x0B0000FFu, 0, 1.0f, 0, false, kShaderAlphaTest},
    {"opaque texture", 0xFF00FF00u, 0xFFFFFFFFu, 0, 1.0f, 0, false, kShaderTexture},
    {"texel alpha 10 is dropped", 0x0A00FF00u, 0xFFFFFFFFu, 0, 1.0f, 0, true,
     kShaderTexture | kShaderAlphaTest},
    {"opaque texture, vertex alpha 10 dropped", 0xFF00FF00u, 0x0A0000FFu, 0, 1.0f, 0, true,
     kShaderTexture | kShaderAlphaTest},
    {"lit, material alpha 0.02 is dropped", 0, 0xFFFFFFFFu, 1, 0.02f, 0, true, kShaderAlphaTest},
    {"lit, opaque material, vertex alpha ignored", 0, 0x00FFFFFFu, 1, 1.0f, 0, false, 0},
    {"fog", 0, 0xFF0000FFu, 0, 1.0f, 1, false, kShaderFog},
};

TEST_F(D3DShaderPartsTest, Draw_LeavesOutOnlyTheShaderPartsThatCannotChangeTheResult) {
  for (const PartsCase& c : kPartsCases) {
    SCOPED_TRACE(c.name);
    Ref<CTTexture> texture;
    GLuint name = 0;
    bool opaque = false;
    if (c.texel) {
      texture = qibo::Create<CTTexture>();
      auto picture = std::make_unique<LFB>(4, 4);
      for (int i = 0; i < 16; ++i) picture->SetPixel(i % 4, i / 4, c.texel);
      ASSERT_TRUE(texture->SetData(std::move(picture)));
      name = m_textures.Get(texture.Get(), m_renderer.GetMaxTextureSize(), &opaque);
      ASSERT_NE(name, 0u);
      EXPECT_EQ(opaque, (c.texel >> 24) >= DGlRenderer::kOpaqueAlpha);
    }
    m_renderer.ApplyStates(0);
    m_renderer.Clear(kClear, true);
    DGlUniforms& u = m_renderer.Uniforms();
    u = DGlUniforms();
    u.textureOn = name ? 1 : 0;
    u.modulate = 1;
    u.lighting = c.lighting;
    u.lightColor[0] = u.lightColor[1] = u.lightColor[2] = 0.0f;
    u.matEmissive[0] = 1.0f;  // lit: red
    u.matDiffuse[3] = c.materialAlpha;
    u.fogOn = c.fog;
    u.fogColor[0] = u.fogColor[1] = u.fogColor[2] = 1.0f;
    u.fogRange[0] = -2.0f,
    u.fogRange[1] = -1.0f;  // eye z 0 is past the end: all fog
    m_renderer.BindTexture(name, opaque);
    DGlVertex quad[6];
    const float corners[6][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, 1}, {1, -1}, {-1, -1}};
    for (int i = 0; i < 6; ++i) {
      quad[i].x = corners[i][0], quad[i].y = corners[i][1];
      quad[i].color = c.vertexColor;
    }
    m_renderer.DrawStream(GL_TRIANGLES, quad, 6);
    EXPECT_EQ(m_renderer.GetLastDrawParts(), c.parts);
    std::unique_ptr<LFB> frame = m_renderer.Grab(kWidth / 2, kHeight / 2, 1, 1);
    ASSERT_TRUE(frame);
    const uint32_t pixel = frame->GetPixel(0, 0) & 0x00FFFFFFu;
    if (c.dropped)
      EXPECT_EQ(pixel, kClear & 0x00FFFFFFu);
    else
      EXPECT_NE(pixel, kClear & 0x00FFFFFFu);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    m_renderer.BindTexture(0);
    m_textures.Clear();
  }
}

}  // namespace
}  // namespace qibo::test
