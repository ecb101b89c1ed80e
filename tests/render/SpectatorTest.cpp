#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "tests/render/RenderFixture.h"

namespace qibo::test {
namespace {

using Journal = std::vector<std::string>;

class SpectatorTest : public RenderFixture {
 protected:
  void SetUp() override {
    RenderFixture::SetUp();
    m_camera = Make<CTCamera>("Eye");
    m_spectator = Make<CTBasicSpectator>();
    m_spectator->SetCamera(m_camera);
  }

  // Processes n frames' worth; the journal of the target since.
  Journal Process(int n = 1) {
    TestTarget::s_journal.clear();
    for (int i = 0; i < n; ++i) m_spectator->Process();
    return TestTarget::s_journal;
  }

  CTCamera* m_camera = nullptr;
  CTBasicSpectator* m_spectator = nullptr;
};

TEST_F(SpectatorTest, WithoutARenderTargetClass_ReportsOnceAndDisablesItself) {
  EXPECT_EQ(m_spectator->GetFlags(), CTBasicSpectator::kUseVideo);  // video only
  qiBO_UnregisterClass(TestTarget::_CD());
  m_spectator->Enable();
  Process(3);
  qiBO_RegisterClass(TestTarget::_CD());
  EXPECT_EQ(CountLogged("Cannot create necessary Video-device"), 1);
  EXPECT_FALSE(m_spectator->IsEnabled());
  EXPECT_EQ(m_spectator->GetState(), CTBasicSpectator::kIdle);
}

TEST_F(SpectatorTest, Life_AcquiresShowsRendersAndStopsWhenTheWindowCloses) {
  EXPECT_EQ(Process(), Journal{});  // not enabled: nothing happens
  m_spectator->Enable();
  EXPECT_EQ(Process(), Journal{});
  EXPECT_EQ(m_spectator->GetState(), CTBasicSpectator::kStarting);
  auto* target = qibo::Cast<TestTarget>(m_spectator->GetVideoDevice());
  ASSERT_TRUE(target);
  EXPECT_EQ(Process(), Journal{"Show"});
  EXPECT_TRUE(m_spectator->IsActive());
  EXPECT_EQ(Process(), Journal{});  // shown once

  target->Close();
  Process();
  EXPECT_FALSE(m_spectator->IsEnabled());
  Process();
  EXPECT_EQ(m_spectator->GetState(), CTBasicSpectator::kIdle);
  EXPECT_EQ(m_spectator->GetVideoDevice(), nullptr);
}

TEST_F(SpectatorTest, VideoOff_HidesWhatItShowedAndReleasesTheTarget) {
  m_spectator->Enable();
  Process(2);
  ASSERT_TRUE(m_spectator->IsActive());
  m_spectator->UseVideo(false);
  EXPECT_EQ(Process(), Journal{"Hide"});
  EXPECT_EQ(m_spectator->GetVideoDevice(), nullptr);
  EXPECT_TRUE(m_spectator->IsActive());
}

// A full-screen picture opens the output first and is fitted to it.
TEST_F(SpectatorTest, ShowLFBFullScreen_ShowsAndRescales) {
  auto* target = Make<TestTarget>();
  LFB picture(64, 48);
  TestTarget::s_journal.clear();
  EXPECT_TRUE(target->ShowLFBFullScreen(&picture));
  EXPECT_EQ(TestTarget::s_journal, (Journal{"Show", "ShowLFB 640x480 at 0,0"}));
  EXPECT_EQ(picture.GetWidth(), 640);
  target->Close();
  TestTarget::s_refuseShow = true;
  EXPECT_FALSE(target->ShowLFBFullScreen(&picture));
}

// Opening the output at once: the target is configured while still hidden,
// shown before any frame, and the frames go on from there; a target that
// cannot be shown disables the spectator in its next frame as before.
TEST_F(SpectatorTest, OpenOutput_ShowsBeforeTheFirstFrame) {
  const struct {
    const char* name;
    bool enabled, refuseShow, opened;
    Journal journal;  // of OpenOutput
    bool enabledAfterFrames;
  } cases[] = {
      {"shown", true, false, true, {"Configure hidden", "Show"}, true},
      {"not enabled", false, false, false, {}, false},
      {"refused", true, true, false, {"Configure hidden", "Show"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* spectator = Make<CTBasicSpectator>();
    spectator->SetCamera(m_camera);
    if (c.enabled) spectator->Enable();
    TestTarget::s_refuseShow = c.refuseShow;
    TestTarget::s_journal.clear();
    EXPECT_EQ(spectator->OpenOutput([](CTRenderTarget* target) {
      TestTarget::s_journal.push_back(target->IsVisible() ? "Configure shown" : "Configure hidden");
    }),
              c.opened);
    EXPECT_EQ(TestTarget::s_journal, c.journal);
    TestTarget::s_journal.clear();
    for (int i = 0; i < 2; ++i) spectator->Process();
    EXPECT_EQ(spectator->IsEnabled(), c.enabledAfterFrames);
    if (c.opened) {
      EXPECT_TRUE(spectator->IsActive());
      EXPECT_EQ(std::count(TestTarget::s_journal.begin(), TestTarget::s_journal.end(), "Show"), 0);
    }
    spectator->Disable();
    spectator->Process();
    TestTarget::s_refuseShow = false;
  }
}

// Every material's texture is prepared on the target; materials without
// one are passed over, and a target that keeps none prepares nothing.
TEST_F(SpectatorTest, PreloadMaterials_PreparesEveryMaterialsTexture) {
  Ref<CTTexture> bricks = qibo::Create<CTTexture>(), water = qibo::Create<CTTexture>();
  bricks->SetName("Bricks");
  water->SetName("Water");
  for (const auto& [name, texture] :
       {std::pair{"Wall", bricks.Get()}, {"Plain", nullptr}, {"Pool", water.Get()}}) {
    bool existed = false;
    CTMaterial* material = qiBO_CreateMaterial(name, &existed);
    ASSERT_NE(material, nullptr);
    material->SetTexture(texture);
  }
  auto* target = Make<TestTarget>();
  TestTarget::s_journal.clear();
  EXPECT_EQ(target->PreloadMaterials(), 0);  // not shown: nothing is kept
  EXPECT_EQ(TestTarget::s_journal, (Journal{"Preload Bricks", "Preload Water"}));
  ASSERT_TRUE(target->Show());
  EXPECT_EQ(target->PreloadMaterials(), 2);
}

TEST_F(SpectatorTest, ATargetThatCannotBeShown_DisablesTheSpectator) {
  TestTarget::s_refuseShow = true;
  m_spectator->Enable();
  Process(3);
  EXPECT_FALSE(m_spectator->IsEnabled());
}

// One frame end to end: the engine processes the spectator, which queues
// its view; the frame renders it through the pipeline into the target; the
// next frame presents it first.
TEST_F(SpectatorTest, Frame_DrawsTheCamerasSceneInCameraSpaceAndPresentsNextFrame) {
  TestStage::s_enabled = {"TestLightStage", "TestDrawCamera"};
  auto* engine = qibo::GetService<DefEngineManager>();
  ASSERT_TRUE(engine && engine->IsStarted());
  auto* world = Make<CTGroup>("World");
  m_camera->SetParent(world);
  m_camera->MoveTo(Vector3(0, 0, -5));
  const Vector3 places[] = {{0, 0, 5}, {1, 0, 5}, {0, 0, -50}};  // the last one behind the camera
  for (const Vector3& place : places) {
    auto* drawable = Make<CTDrawable>();
    drawable->SetShape(Make<TestMeshShape>());
    drawable->CreateBoundingVolume();  // and cull by it
    drawable->MoveTo(place);
    drawable->SetParent(world);
  }
  m_spectator->Enable();
  m_spectator->RegisterWithService();
  EXPECT_EQ(engine->GetSpectatorCount(), 1);

  TestTarget::s_journal.clear();
  qiBO_DoFrame();  // acquires the target
  qiBO_DoFrame();  // shows and draws
  EXPECT_EQ(TestTarget::s_journal, (Journal{"Show", "BeginScene", "EndScene"}));
  ASSERT_EQ(TestStage::s_draws.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    // Each triangle's first corner sits at its drawable, 10 in front.
    const Vector3& corner = TestStage::s_draws[i].positions[0];
    EXPECT_NEAR(corner.x, places[i].x, 1e-5f);
    EXPECT_NEAR(corner.z, 10.0f, 1e-5f);
    EXPECT_EQ(TestStage::s_draws[i].steps, 5);
  }

  TestTarget::s_journal.clear();
  qiBO_DoFrame();
  EXPECT_EQ(TestTarget::s_journal, (Journal{"Present", "BeginScene", "EndScene"}));

  // A refused scene draws nothing and is not presented.
  TestTarget::s_refuseScene = true;
  TestTarget::s_journal.clear();
  qiBO_DoFrame();
  qiBO_DoFrame();
  EXPECT_EQ(TestTarget::s_journal, (Journal{"Present", "BeginScene", "BeginScene"}));

  m_spectator->UnregisterWithService();
  EXPECT_EQ(engine->GetSpectatorCount(), 0);
}

}  // namespace
}  // namespace qibo::test
