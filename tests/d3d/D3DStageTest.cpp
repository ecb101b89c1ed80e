#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <memory>

#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTPipelineStage.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLight.h"
#include "tests/d3d/D3DFixture.h"

namespace qibo::test {
namespace {

constexpr uint32_t kBackground = 0x203040;  // the environment's fog colour clears the picture

// A camera at the origin looking along +z at a triangle 10 units ahead,
// shown through a spectator that acquires the CTDirect3D; the default
// environment's light shines along the view.
class D3DStageTest : public D3DFixture {
 protected:
  void SetUp() override {
    D3DFixture::SetUp();
    auto* engine = qibo::GetService<DefEngineManager>();
    ASSERT_TRUE(engine && engine->IsStarted());
    m_environment = engine->GetDefaultEnvironment();
    ASSERT_TRUE(m_environment);
    m_environment->SetFogColor(kBackground);
    m_light = qibo::Cast<CTLight>(m_environment->GetLight());
    ASSERT_TRUE(m_light);
    m_light->SetDirection(Vector3(0, 0, 1));
    auto* world = Make<CTGroup>("World");
    m_camera = Make<CTCamera>("Eye");
    m_camera->SetParent(world);
    m_triangle = Make<D3DTestTriangle>();
    m_drawable = Make<CTDrawable>();
    m_drawable->SetShape(m_triangle);
    m_drawable->MoveTo(Vector3(0, 0, 10));
    m_drawable->SetParent(world);
    m_material = Make<CTMaterial>("Red");
    m_material->m_useDiffuse = true;
    m_material->m_useAmbient = false;
    m_material->m_diffuse = Vector3(1, 0, 0);
    m_drawable->SetMaterial(m_material);
    m_spectator = Make<CTBasicSpectator>();
    m_spectator->SetCamera(m_camera);
    m_spectator->Enable();
    m_spectator->RegisterWithService();
  }
  void TearDown() override {
    m_spectator->UnregisterWithService();
    D3DFixture::TearDown();
  }

  // Runs frames until the device has drawn one; the device.
  CTRenderTarget* Frames(int n = 2) {
    for (int i = 0; i < n; ++i) qiBO_DoFrame();
    return m_spectator->GetVideoDevice();
  }
  uint32_t Centre(CTRenderTarget* device) { return PixelAt(device, 176, 139); }

 public:  // the cases' set-up functions change the scene
  // Another drawable of the triangle at, with its material (null: the
  // triangle's).
  CTDrawable* AddCopy(const Vector3& at, CTMaterial* material = nullptr) {
    auto* copy = Make<CTDrawable>();
    copy->SetShape(m_triangle);
    copy->MoveTo(at);
    copy->SetParent(qibo::Cast<CTGroup>(m_camera->GetRoot()));
    copy->SetMaterial(material ? material : m_material);
    return copy;
  }
  // A triangle in screen space (no depth test), 80 pixels wide around the
  // centre, in vertex colour rgb, drawn after everything added before.
  void AddScreenTriangle(const Vector3& rgb) {
    auto* overlay = Make<D3DTestTriangle>();
    DRenderShape& mesh = overlay->m_mesh;
    for (int i = 0; i < mesh.GetVectorCount(); ++i) mesh.GetVectors()[i] = mesh.GetVectors()[i] * 20.0f;
    for (int i = 0; i < mesh.GetVertexCount(); ++i) {
      DVertex& v = mesh.GetVertices()[i];
      v.r = rgb.x, v.g = rgb.y, v.b = rgb.z;
    }
    mesh.SetState(qibo::state::kScreen | qibo::state::kLit | qibo::state::kNoClip | qibo::state::kTwoSided);
    mesh.Touch();
    auto* drawable = Make<CTDrawable>();
    drawable->SetShape(overlay);
    drawable->SetMaterial(m_material);
    drawable->SetParent(qibo::Cast<CTGroup>(m_camera->GetRoot()));
  }
  CTMaterial* MakeMaterial(const char* name, const Vector3& diffuse) {
    auto* material = Make<CTMaterial>(name);
    material->m_useDiffuse = true;
    material->m_useAmbient = false;
    material->m_diffuse = diffuse;
    return material;
  }

  CTEnvironment* m_environment = nullptr;
  CTLight* m_light = nullptr;
  CTCamera* m_camera = nullptr;
  D3DTestTriangle* m_triangle = nullptr;
  CTDrawable* m_drawable = nullptr;
  CTMaterial* m_material = nullptr;
  CTBasicSpectator* m_spectator = nullptr;
};

CTTexture* MakeTexture(std::vector<Ref<CTReferenced>>& owned, uint32_t argb) {
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  auto picture = std::make_unique<LFB>(4, 4);
  for (int i = 0; i < 16; ++i) picture->SetPixel(i % 4, i / 4, argb);
  picture->SetHasAlpha((argb >> 24) != 0xFF);
  texture->SetData(std::move(picture));
  owned.emplace_back(texture.Get());
  return texture.Get();
}

// The scenes of one frame each: what the set-up changes and the colour
// expected at the triangle's centre.
struct FrameCase {
  const char* name;
  void (*setUp)(D3DStageTest&);
  int r, g, b;
};
const FrameCase kFrameCases[] = {
    {"lit diffuse", [](D3DStageTest&) {}, 255, 0, 0},
    {"light from behind leaves emissive only",
     [](D3DStageTest& t) {
       t.m_light->SetDirection(Vector3(0, 0, -1));
       t.m_material->m_useEmissive = true;
       t.m_material->m_emissive = Vector3(0, 0, 0.5f);
     },
     0, 0, 128},
    {"vertex colours, 1.5 gives 255",
     [](D3DStageTest& t) {
       t.m_material->m_useVertexColor = true;
       for (int i = 0; i < 3; ++i) {
         DVertex& v = t.m_triangle->m_mesh.GetVertices()[i];
         v.r = 0.0f, v.g = 1.5f, v.b = 0.0f;
       }
     },
     0, 255, 0},
    {"texture modulated by white",
     [](D3DStageTest& t) {
       t.m_material->m_diffuse = Vector3(1, 1, 1);
       t.m_material->SetTexture(MakeTexture(t.m_owned, 0xFF0000FF));
     },
     0, 0, 255},
    {"alpha test drops texels of alpha 10 or less",
     [](D3DStageTest& t) {
       t.m_material->m_diffuse = Vector3(1, 1, 1);
       t.m_material->SetTexture(MakeTexture(t.m_owned, 0x0A00FF00));
     },
     0x20, 0x30, 0x40},
    {"linear fog halfway",
     [](D3DStageTest& t) {
       t.m_environment->SetFogDensity(1.0f);
       t.m_environment->SetFogColor(0x0000FF);
       t.m_camera->SetFarDist(20.0f);
     },
     128, 0, 128},
    {"material without fog",
     [](D3DStageTest& t) {
       t.m_environment->SetFogDensity(1.0f);
       t.m_environment->SetFogColor(0x0000FF);
       t.m_camera->SetFarDist(20.0f);
       t.m_material->m_noFog = true;
     },
     255, 0, 0},
    {"half transparent, blended at the end of the scene",
     [](D3DStageTest& t) { t.m_material->SetAlpha(0.5f); }, 128 + 0x10, 0x18, 0x20},
    {"back face culled", [](D3DStageTest& t) { t.m_triangle->Flip(); }, 0x20, 0x30, 0x40},
    {"back face of a double-sided material",
     [](D3DStageTest& t) {
       t.m_triangle->Flip();
       t.m_material->m_doubleSided = true;
       t.m_material->m_useEmissive = true;
       t.m_material->m_emissive = Vector3(1, 0, 0);
     },
     255, 0, 0},
};

// One frame of the scene through the real pipeline and the device's
// shaders, read back at the triangle's centre.
TEST_F(D3DStageTest, Frame_DrawsTheTriangleWithTheMaterialsLightFogAndTexture) {
  for (const FrameCase& c : kFrameCases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    c.setUp(*this);
    CTRenderTarget* device = Frames();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->IsVisible());
    ExpectColor(Centre(device), c.r, c.g, c.b, 4, "centre");
    const uint32_t fog = m_environment->GetFogColor();
    ExpectColor(PixelAt(device, 3, 270), (fog >> 16) & 0xFF, (fog >> 8) & 0xFF, fog & 0xFF, 0, "corner");
  }
}

// A shape that holds still is drawn from its copy on the GPU: colours
// written into its pools without Touch() do not show until its change stamp
// moves.
TEST_F(D3DStageTest, UnchangedShape_IsDrawnFromItsGpuCopyUntilItsStampMoves) {
  m_material->m_useVertexColor = true;
  auto paint = [this](float r, float g, float b) {
    for (int i = 0; i < 3; ++i) {
      DVertex& v = m_triangle->m_mesh.GetVertices()[i];
      v.r = r, v.g = g, v.b = b;
    }
  };
  paint(0, 1, 0);
  CTRenderTarget* device = Frames(4);  // shown, seen, uploaded, drawn from the copy
  ASSERT_NE(device, nullptr);
  ExpectColor(Centre(device), 0, 255, 0, 4, "before");
  paint(0, 0, 1);
  Frames(1);
  ExpectColor(Centre(device), 0, 255, 0, 4, "the GPU copy");
  m_triangle->m_mesh.Touch();
  Frames(1);
  ExpectColor(Centre(device), 0, 0, 255, 4, "after Touch");
}

// The logo (a 128 x 64 picture with a gold frame and white letters) sits in
// the top right corner, drawn through the pipeline at the end of the scene.
TEST_F(D3DStageTest, EndScene_DrawsTheLogoInTheTopRightCorner) {
  CTRenderTarget* device = Frames();
  ASSERT_NE(device, nullptr);
  const int left = 352 - 128;
  ExpectColor(PixelAt(device, left + 1, 1), 0xE0, 0xB0, 0x40, 8, "frame, top left");
  ExpectColor(PixelAt(device, 350, 62), 0xE0, 0xB0, 0x40, 8, "frame, bottom right");
  ExpectColor(PixelAt(device, left + 13, 21), 0xFF, 0xFF, 0xFF, 8, "the q");
  ExpectColor(PixelAt(device, left - 2, 10), 0x20, 0x30, 0x40, 0, "left of the logo");
  ExpectColor(PixelAt(device, left + 10, 66), 0x20, 0x30, 0x40, 0, "below the logo");
}

// Faces with alpha wait for the end of the scene and are blended back to
// front, whatever order the scene drew them in: here the near one first.
TEST_F(D3DStageTest, TransparentFaces_AreBlendedFarthestFirst) {
  m_material->SetAlpha(0.5f);
  auto* far = Make<CTDrawable>();
  far->SetShape(Make<D3DTestTriangle>());
  far->MoveTo(Vector3(0, 0, 20));
  far->SetParent(qibo::Cast<CTGroup>(m_camera->GetRoot()));
  auto* blue = Make<CTMaterial>("Blue");
  blue->m_useDiffuse = true;
  blue->m_useAmbient = false;
  blue->m_diffuse = Vector3(0, 0, 1);
  blue->SetAlpha(0.5f);
  far->SetMaterial(blue);
  CTRenderTarget* device = Frames();
  ASSERT_NE(device, nullptr);
  // Blue over the background, then red over that.
  ExpectColor(Centre(device), 136, 12, 80, 4, "centre");
}

// The stages draw only for a CTDirect3D target.
TEST_F(D3DStageTest, Stages_HandleOnlyContextsOfTheDevice) {
  CTRenderTarget* device = Frames();
  ASSERT_NE(device, nullptr);
  DRenderContext ours;
  ours.target = device;
  DRenderContext none;
  for (const char* name :
       {"CTD3DStageLocal", "CTD3DStageLocalLight", "CTD3DStageWorld", "CTD3DStageWorldLight",
        "CTD3DStageCamera", "CTD3DStageView", "CTD3DStageScreen"}) {
    Ref<CTPipelineStage> stage(qibo::Cast<CTPipelineStage>(qiBO_CreateClassByName(name)));
    ASSERT_TRUE(stage) << name;
    EXPECT_TRUE(stage->HandlesContext(&ours)) << name;
    EXPECT_FALSE(stage->HandlesContext(&none)) << name;
    EXPECT_FALSE(stage->HandlesContext(nullptr)) << name;
  }
}

// Materials whose extra value is 3 get texture coordinates from the
// reflected view (while the device's "UseAutomaticUV" is on): left of the
// centre that reads the red left half of the texture, where the vertices'
// own coordinates read its blue right half.
TEST_F(D3DStageTest, ReflectionTexCoords_ReplaceTheVerticesOnlyWhenAskedFor) {
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  auto picture = std::make_unique<LFB>(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) picture->SetPixel(x, y, x < 32 ? 0xFFFF0000 : 0xFF0000FF);
  texture->SetData(std::move(picture));
  m_material->m_diffuse = Vector3(1, 1, 1);
  m_material->SetTexture(texture.Get());
  for (int i = 0; i < 3; ++i) m_triangle->m_mesh.GetVertices()[i].u = 0.9f;
  struct Case {
    int extra;
    bool automatic;
    bool red;
  } cases[] = {{0, true, false}, {3, true, true}, {3, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra * 10 + c.automatic);
    m_material->m_extra = c.extra;
    m_material->Invalidate();
    CTRenderTarget* device = Frames();
    ASSERT_NE(device, nullptr);
    device->GetPropertyByName("UseAutomaticUV").FromString(c.automatic ? "1" : "0");
    Frames(1);
    ExpectColor(PixelAt(device, 150, 170), c.red ? 255 : 0, 0, c.red ? 0 : 255, 8, "left of the centre");
  }
}

// Edges are drawn as lines and vertices as points: the bottom edge and the
// top corner show, the inside stays empty.
TEST_F(D3DStageTest, EdgesAndPoints_AreDrawnAsLinesAndPoints) {
  struct Case {
    uint32_t target;
    int x, y;  // a pixel the drawing covers, give or take a row
  } cases[] = {{qibo::state::kDrawnEdges, 176, 200}, {qibo::state::kDrawnPoints, 176, 78}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    m_triangle->m_target = c.target;
    CTRenderTarget* device = Frames();
    ASSERT_NE(device, nullptr);
    int red = 0;
    for (int y = c.y - 1; y <= c.y + 1; ++y)
      for (int x = c.x - 1; x <= c.x + 1; ++x) red += PixelAt(device, x, y) == 0xFFFF0000 ? 1 : 0;
    EXPECT_GT(red, 0);
    ExpectColor(Centre(device), 0x20, 0x30, 0x40, 0, "inside");
  }
}

// Scenes of repeated shapes with "BatchDrawing" on and off: the draw calls
// of a frame (the logo's included) each way, and the colour at the centre,
// the same both ways.
struct BatchCase {
  const char* name;
  void (*setUp)(D3DStageTest&);
  int batchedDraws;
  int singleDraws;
  int r, g, b;
};
const BatchCase kBatchCases[] = {
    {"five copies of one shape: one instanced draw",
     [](D3DStageTest& t) {
       for (int i = 1; i < 5; ++i) t.AddCopy(Vector3(static_cast<float>(3 * i - 7), 1.0f, 20.0f));
     },
     2, 6, 255, 0, 0},
    {"one shape, two materials taking turns: one draw each",
     [](D3DStageTest& t) {
       CTMaterial* green = t.MakeMaterial("Green", Vector3(0, 1, 0));
       for (int i = 1; i < 5; ++i)
         t.AddCopy(Vector3(static_cast<float>(3 * i - 7), 1.0f, 20.0f), i % 2 ? green : nullptr);
     },
     3, 6, 255, 0, 0},
    {"a shape drawn after gathered ones without depth test stays on top",
     [](D3DStageTest& t) {
       t.AddCopy(Vector3(0, 0, 20));
       t.AddScreenTriangle(Vector3(0, 0, 1));
     },
     3, 4, 0, 0, 255},
    {"150 transparent faces: two triangle lists back to front",
     [](D3DStageTest& t) {
       t.m_material->SetAlpha(0.5f);
       for (int i = 1; i < 150; ++i) t.m_triangle->m_mesh.AddFace()->SetVertices(0, 1, 2);
       t.m_triangle->m_mesh.RecalcFaceNormals();
     },
     3, 151, 255, 0, 0},
};

TEST_F(D3DStageTest, BatchDrawing_TakesFewerDrawCallsForTheSamePicture) {
  for (const BatchCase& c : kBatchCases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    c.setUp(*this);
    CTRenderTarget* device = Frames(4);  // shown, seen, uploaded, drawn from the GPU copies
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->GetPropertyByName("BatchDrawing").ToInt());  // the default
    for (bool batch : {true, false}) {
      SCOPED_TRACE(batch ? "batched" : "single");
      device->GetPropertyByName("BatchDrawing").FromString(batch ? "1" : "0");
      Frames(1);
      EXPECT_EQ(device->GetPropertyByName("DrawCalls").ToInt(), batch ? c.batchedDraws : c.singleDraws);
      ExpectColor(Centre(device), c.r, c.g, c.b, 4, "centre");
    }
  }
}

}  // namespace
}  // namespace qibo::test

namespace qibo::test {
namespace {

// A viewport's background picture fills the output behind the scene, is
// copied again when it changes, and gives way to the clear colour when it
// goes.
TEST_F(D3DStageTest, BackgroundPicture_FillsTheOutputAndFollowsItsChanges) {
  Ref<CTTexture> picture = qibo::Create<CTTexture>();
  const auto paint = [&](uint32_t topLeft, uint32_t bottomLeft) {
    auto pixels = std::make_unique<LFB>(2, 2);
    pixels->SetPixel(0, 0, topLeft);
    pixels->SetPixel(1, 0, 0xFF00FF00u);
    pixels->SetPixel(0, 1, bottomLeft);
    pixels->SetPixel(1, 1, 0xFFFFFFFFu);
    ASSERT_TRUE(picture->SetData(std::move(pixels)));
  };
  paint(0xFFFF0000u, 0xFF0000FFu);
  m_spectator->GetViewport().SetBackgroundPicture(picture.Get());
  CTRenderTarget* device = Frames(3);
  ASSERT_NE(device, nullptr);
  ExpectColor(PixelAt(device, 10, 10), 255, 0, 0, 2, "top left");
  ExpectColor(PixelAt(device, 10, 268), 0, 0, 255, 2, "bottom left");
  ExpectColor(PixelAt(device, 340, 268), 255, 255, 255, 2, "bottom right");
  ExpectColor(Centre(device), 255, 0, 0, 8, "the scene on top");

  paint(0xFF00FFFFu, 0xFF0000FFu);
  Frames(1);
  ExpectColor(PixelAt(device, 10, 10), 0, 255, 255, 2, "top left, changed");

  m_spectator->GetViewport().SetBackgroundPicture(nullptr);
  Frames(1);
  ExpectColor(PixelAt(device, 10, 268), 0x20, 0x30, 0x40, 0, "cleared again");

  // Taken away and deleted before the next frame: the device forgets it too.
  m_spectator->GetViewport().SetBackgroundPicture(picture.Get());
  Frames(1);
  ExpectColor(PixelAt(device, 10, 10), 0, 255, 255, 2, "shown again");
  m_spectator->GetViewport().SetBackgroundPicture(nullptr);
  picture.Reset();
  Frames(1);
  ExpectColor(PixelAt(device, 10, 268), 0x20, 0x30, 0x40, 0, "cleared after the picture was deleted");
}

}  // namespace
}  // namespace qibo::test

namespace qibo::test {
namespace {

// The driver's reset status, answered by the test: a reset for the given
// number of queries, then none. Everything else is the real driver.
int g_resetsToReport = 0;
GLenum ReportedResetStatus() {
  if (g_resetsToReport <= 0) return GL_NO_ERROR;
  --g_resetsToReport;
  return GL_UNKNOWN_CONTEXT_RESET;
}

class ResetStatusInjection {
 public:
  ResetStatusInjection() : m_driver(epoxy_glGetGraphicsResetStatus) {
    epoxy_glGetGraphicsResetStatus = &ReportedResetStatus;
  }
  ~ResetStatusInjection() {
    epoxy_glGetGraphicsResetStatus = m_driver;
    g_resetsToReport = 0;
  }

 private:
  decltype(epoxy_glGetGraphicsResetStatus) m_driver;
};

// When the driver reports the context lost at Present, the device sets up a
// new window and context and the next frames draw as before: the texture,
// the shape's GPU copy, the background picture and the logo are all made
// again on the new context, and no name from the old one is used.
TEST_F(D3DStageTest, LostContext_IsSetUpAgainAndEveryGpuCopyRebuilt) {
  ResetStatusInjection injection;
  m_material->m_diffuse = Vector3(1, 1, 1);
  m_material->SetTexture(MakeTexture(m_owned, 0xFF0000FFu));
  Ref<CTTexture> background = qibo::Create<CTTexture>();
  auto pixels = std::make_unique<LFB>(2, 2);
  for (int i = 0; i < 4; ++i) pixels->SetPixel(i % 2, i / 2, 0xFF00FF00u);
  ASSERT_TRUE(background->SetData(std::move(pixels)));
  m_spectator->GetViewport().SetBackgroundPicture(background.Get());
  struct Check {
    int x, y;
    int r, g, b;
    const char* what;
  };
  const Check checks[] = {{176, 139, 0, 0, 255, "the textured triangle"},
                          {10, 268, 0, 255, 0, "the background picture"},
                          {352 - 127, 1, 0xE0, 0xB0, 0x40, "the logo's frame"}};
  // Drawn before any loss, then after one, then after a second.
  for (int losses = 0; losses < 3; ++losses) {
    SCOPED_TRACE(losses);
    CTRenderTarget* device = Frames(4);  // the shape is drawn from its GPU copy by now
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->IsVisible());
    for (const Check& c : checks) ExpectColor(PixelAt(device, c.x, c.y), c.r, c.g, c.b, 8, c.what);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    if (losses == 2) break;
    // A query object of the test's own marks the context in use: a new
    // context does not know it.
    GLuint marker = 0;
    glGenQueries(1, &marker);
    glBeginQuery(GL_SAMPLES_PASSED, marker);
    glEndQuery(GL_SAMPLES_PASSED);
    ASSERT_TRUE(glIsQuery(marker));
    const int logged = CountLogged("The OpenGL context was lost");
    g_resetsToReport = 1;
    Frames(1);
    EXPECT_EQ(g_resetsToReport, 0);
    EXPECT_EQ(CountLogged("The OpenGL context was lost"), logged + 1);
    EXPECT_TRUE(device->IsVisible());
    EXPECT_FALSE(glIsQuery(marker));
  }
}

}  // namespace
}  // namespace qibo::test
