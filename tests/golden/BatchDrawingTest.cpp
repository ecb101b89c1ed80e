#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/geometry/CTBox.h"
#include "core/geometry/CTSphere.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/object/Random.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/LFB.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLight.h"
#include "demo/data/DataPath.h"
#include "demo/effects/ConwayField.h"
#include "demo/scenes/SceneKit.h"
#include "tests/golden/GoldenPictures.h"

namespace {

using namespace qibo::test::golden;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr uint32_t kBackground = 0x102030;  // the default environment's fog colour clears the picture

// The render device at kWidth x kHeight off screen, shown by a spectator,
// with the demo's data and the picture plug-in at hand for its textures.
class BatchDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PinGlDrivers();
    std::string where;
    ASSERT_TRUE(qibo::demo::EnterDataDirectory(QIBO_PLUGIN_DIR, &where)) << where;
    qibo::SRand(1);
    auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
    ASSERT_NE(plugIns, nullptr);
    plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_PLUGIN_DIR);
    ASSERT_TRUE(qiBO_LoadPlugIn("RasterDev.plug"));
    ASSERT_TRUE(qiBO_LoadPlugIn("qiboIO.plug"));
    auto* devices = qibo::GetService<CTDeviceManager>();
    ASSERT_TRUE(devices && (devices->IsStarted() || devices->Start()));
    m_device = qibo::Cast<CTRenderTarget>(devices->GetDevice("CTDirect3D", -1, false));
    ASSERT_TRUE(m_device);
    Set("ConfigurationMode", "1");
    Set("Width", std::to_string(kWidth).c_str());
    Set("Height", std::to_string(kHeight).c_str());
    auto* engine = qibo::GetService<DefEngineManager>();
    CTEnvironment* environment = engine ? engine->GetDefaultEnvironment() : nullptr;
    ASSERT_NE(environment, nullptr);
    environment->SetFogColor(kBackground);
    environment->SetAmbientColor(Vector3(0.3f, 0.3f, 0.3f));
    auto* light = qibo::Cast<CTLight>(environment->GetLight());
    ASSERT_NE(light, nullptr);
    light->SetDirection(Vector3(-0.3f, -0.8f, 0.52f).Normalized());
    m_spectator = qibo::Create<CTBasicSpectator>();
    m_spectator->SetVideoDevice(m_device.Get());
    ASSERT_EQ(m_spectator->GetVideoDevice(), m_device.Get());
    m_spectator->Enable();
    m_spectator->RegisterWithService();
  }
  void TearDown() override {
    if (m_spectator) {
      m_spectator->SetCamera(nullptr);
      m_spectator->UnregisterWithService();
    }
    m_spectator.Reset();
    m_device.Reset();
    qiBO_Deinit();
  }

  void Set(const char* name, const char* value) {
    DProperty& property = m_device->GetPropertyByName(name);
    ASSERT_NE(&property, &DProperty::Null()) << name;
    property.FromString(value);
  }
  // The whole picture of the last frame, and the share of it that is not
  // background.
  Pixels Grab(double& covered) {
    std::unique_ptr<LFB> frame(m_device->GrabLFB(0, 0, kWidth, kHeight));
    Pixels picture;
    int drawn = 0;
    if (!frame) return picture;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        picture.push_back(frame->GetPixel(x, y));
        drawn += (picture.back() & 0xFFFFFFu) != kBackground ? 1 : 0;
      }
    covered = static_cast<double>(drawn) / (kWidth * kHeight);
    return picture;
  }

 public:
  DevicePtr<CTRenderTarget> m_device;
  Ref<CTBasicSpectator> m_spectator;
};

void AddCopy(CTGroup* world, CTShape* shape, CTMaterial* material, const Vector3& at) {
  CTDrawable* drawable = qibo::demo::AddDrawable(world, "Copy", shape, material, at);
  ASSERT_NE(drawable, nullptr);
  drawable->CreateBoundingVolume();  // culled against the view, as scenes are
}

// A plain material of that colour and opacity, without texture.
CTMaterial* PlainMaterial(const char* name, const Vector3& color, float alpha) {
  CTMaterial* material = qiBO_CreateMaterial(name, nullptr);
  if (!material) return nullptr;
  material->SetColor(DColor{color.x, color.y, color.z, 1.0f});
  if (alpha < 1.0f) material->SetAlpha(alpha);
  return material;
}

// The scenes: built under world (keep holds what the scene graph does not),
// seen from eye towards the origin; at most this many draw calls with
// batching (the logo's included).
struct Scene {
  const char* name;
  Vector3 eye;
  void (*build)(CTGroup* world, std::vector<Ref<CTNamed>>& keep);
  int batchedDraws;
};
const Scene kScenes[] = {
    {"the cubes: 216 textured boxes on a grid", Vector3(11, 5, -12),
     [](CTGroup* world, std::vector<Ref<CTNamed>>& keep) {
       Ref<CTBox> box = qibo::Create<CTBox>();
       box->SetDimensions(1.0);
       keep.emplace_back(box.Get());
       CTMaterial* material = qibo::demo::SceneMaterial("Batch cubes", "cubes2");
       for (int i = 0; i < 216; ++i)
         AddCopy(world, box.Get(), material,
                 Vector3(static_cast<float>(i % 6 * 3 - 7), static_cast<float>(i / 36 * 3 - 7),
                         static_cast<float>(i / 6 % 6 * 3 - 7)));
     },
     3},
    {"the life field: 1,024 cubes of one box, two materials", Vector3(0, 28, -30),
     [](CTGroup* world, std::vector<Ref<CTNamed>>& keep) {
       Ref<ConwayField> field = qibo::Create<ConwayField>();
       ASSERT_TRUE(field->Build(world));
       for (int i = 0; i < 3; ++i) field->Animate(300);  // turned and grown a little
       keep.emplace_back(field.Get());
     },
     3},
    {"opaque balls of two materials behind a row of glass boxes", Vector3(1, 2, -16),
     [](CTGroup* world, std::vector<Ref<CTNamed>>& keep) {
       Ref<CTSphere> ball = qibo::Create<CTSphere>();
       ball->SetRadius(1.2);
       Ref<CTBox> box = qibo::Create<CTBox>();
       box->SetDimensions(1.5);
       keep.emplace_back(ball.Get());
       keep.emplace_back(box.Get());
       CTMaterial* textured = qibo::demo::SceneMaterial("Batch balls", "cubes3");
       CTMaterial* plain = PlainMaterial("Batch plain", Vector3(0.9f, 0.4f, 0.1f), 1.0f);
       CTMaterial* glass = PlainMaterial("Batch glass", Vector3(0.2f, 0.6f, 1.0f), 0.5f);
       for (int i = 0; i < 25; ++i)
         AddCopy(world, ball.Get(), i % 2 ? textured : plain,
                 Vector3(static_cast<float>(i % 5 * 2 - 4), -1.0f, static_cast<float>(i / 5 * 2 - 4)));
       // Four apart along the view: each box's faces come together when
       // sorted back to front, and the boxes cover each other.
       for (int i = 0; i < 5; ++i)
         AddCopy(world, box.Get(), glass, Vector3(0.5f, 0.5f, static_cast<float>(4 * i - 10)));
     },
     8},
};

// The same scene drawn with "BatchDrawing" on and then off reads back the
// same picture, within the golden frames' tolerance, in fewer draw calls.
TEST_F(BatchDrawingTest, RepeatedShapes_LookTheSameBatchedAndOneByOne) {
  for (const Scene& scene : kScenes) {
    SCOPED_TRACE(scene.name);
    Ref<CTGroup> world = qibo::Create<CTGroup>();
    Ref<CTCamera> camera = qibo::Create<CTCamera>();
    camera->SetParent(world.Get());
    camera->MoveTo(scene.eye);
    camera->GetTransformRef().LookAt(Vector3(0, 0, 0));
    std::vector<Ref<CTNamed>> keep;
    scene.build(world.Get(), keep);
    m_spectator->SetCamera(camera.Get());
    Set("BatchDrawing", "1");
    for (int i = 0; i < 4; ++i) qiBO_DoFrame();  // shown, and the shapes on the GPU
    ASSERT_TRUE(m_device->IsVisible());
    Pixels pictures[2];
    int draws[2] = {};
    for (int batch = 1; batch >= 0; --batch) {
      Set("BatchDrawing", batch ? "1" : "0");
      qiBO_DoFrame();
      double covered = 0.0;
      pictures[batch] = Grab(covered);
      draws[batch] = m_device->GetPropertyByName("DrawCalls").ToInt();
      EXPECT_GT(covered, 0.1) << "batch " << batch;
    }
    const PictureDifference difference = Compare(pictures[1], pictures[0]);
    EXPECT_TRUE(difference.Matches(pictures[0].size()))
        << difference.off << " pixels differ by more than " << kTolerance << ", the mean difference is "
        << difference.meanOff;
    EXPECT_LE(draws[1], scene.batchedDraws);
    EXPECT_LT(draws[1], draws[0]);
    m_spectator->SetCamera(nullptr);
  }
}

}  // namespace
