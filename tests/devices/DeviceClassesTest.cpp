#include <gtest/gtest.h>

#include <string>

#include "core/devices/CTAV_Player.h"
#include "core/devices/CTDeviceManager.h"
#include "core/devices/CTHardwareIO.h"
#include "core/devices/CTJoystick.h"
#include "core/devices/CTMotionBase.h"
#include "core/devices/CTMusicPlayer.h"
#include "core/devices/CTNetwork.h"
#include "core/devices/CTSound.h"
#include "core/devices/CTTimer.h"
#include "core/devices/CTTracker.h"
#include "core/devices/CTUserJoystick.h"
#include "core/devices/DefDeviceManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/render/CTRenderTarget.h"
#include "tests/support/TempDir.h"

// A timer that only records what the base class asks of it.
class TestTimer : public CTTimer {
  QIBO_CLASS(TestTimer)

 public:
  std::vector<int32_t> m_setTimes;
  int32_t SetTime(int32_t t) override {
    m_setTimes.push_back(t);
    return t;
  }
  int32_t GetRawTime() override { return 0; }
  int32_t GetTime() override { return 0; }
  bool Pause() override { return true; }
  bool Continue() override { return true; }
  void Sleep(int32_t) override {}
};

// A player that counts its music stops.
class TestPlayer : public CTMusicPlayer {
  QIBO_CLASS(TestPlayer)

 public:
  int m_musicStops = 0;
  bool Play() override { return true; }
  bool Pause() override { return false; }
  bool Resume() override { return false; }
  bool StopMusic() override {
    ++m_musicStops;
    return true;
  }
  bool Load(const char*) override { return true; }
  bool Unload() override { return StopMusic(); }
};

QIBO_IMPLEMENT_CLASS(TestTimer, CTTimer, .desc = "Test timer")
QIBO_IMPLEMENT_CLASS(TestPlayer, CTMusicPlayer, .desc = "Test player")

namespace {

struct ClassRow {
  ClassDesc* cd;
  const char* name;
  const char* desc;
  const char* product;
  uint32_t id;
  bool isAbstract;
  int build = 0;
};

const ClassRow kClasses[] = {
    {CTDevice::_CD(), "CTDevice", "Abstract Device-Base", "qiBO", 0x5DBF0768, true},
    {CTRenderTarget::_CD(), "CTRenderTarget", "Render Target", "qiBO", 0x83609FE2, true},
    {CTSound::_CD(), "CTSound", "Sound Processor", "qiBO", 0xB6680C52, true},
    {CTTimer::_CD(), "CTTimer", "Timer", "qiBO", 0x243611CC, true},
    {CTTracker::_CD(), "CTTracker", "Tracker", "qiBO", 0xDE30DD9B, true},
    {CTMotionBase::_CD(), "CTMotionBase", "Motion Platform", "qiBO", 0x507712C1, true, 1},
    {CTMusicPlayer::_CD(), "CTMusicPlayer", "Music-player", "qiBO Devices", 0xA36214A1, true},
    {CTNetwork::_CD(), "CTNetwork", "Networking Device", "qiBO Devices", 0x12D77088, true},
    {CTJoystick::_CD(), "CTJoystick", "Joystick", "qiBO Devices", 0x2EAD8394, true},
    {CTUserJoystick::_CD(), "CTUserJoystick", "User Joystick", "qiBO Devices", 0x1BB158D2, false},
    {CTAV_Player::_CD(), "CTAV_Player", "Audio/Video Player", "qiBO Devices", 0xC2CC802B, true},
    {CTHardwareIO::_CD(), "CTHardwareIO", "IO Device", "qiBO Devices", 0xB31991F1, true},
    {CTDeviceManager::_CD(), "CTDeviceManager", "Device manager", "qiBO", 0xCBCDA123, true},
    {DefDeviceManager::_CD(), "DefDeviceManager", "Device manager", "qiBO DefMgr", 0xAFCC7FDF, false},
};

}  // namespace

TEST(DeviceClassesTest, Descriptors_MatchTheClassTable) {
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.cd->ID(), row.id);
    EXPECT_EQ(row.cd->GetName(), row.name);
    EXPECT_EQ(row.cd->GetDesc(), row.desc);
    EXPECT_EQ(row.cd->GetProductName(), row.product);
    EXPECT_EQ(row.cd->Abstract(), row.isAbstract);
    EXPECT_EQ(row.cd->GetBuild(), row.build);
    auto* object = static_cast<CTBasic*>(row.cd->Create());
    EXPECT_EQ(object == nullptr, row.isAbstract);
    if (object) object->Delete();
  }
  EXPECT_EQ(CTUserJoystick::_CD()->GetInheritedCD(), CTJoystick::_CD());
  EXPECT_EQ(CTHardwareIO::_CD()->GetInheritedCD(), CTDevice::_CD());
  EXPECT_EQ(CTDevice::_CD()->GetInheritedCD(), CTLogged::_CD());
}

TEST(DeviceClassesTest, HardwareIO_BaseChannelsAreEmpty) {
  // A concrete stand-in: the base channel interface is all it has.
  struct Box : CTHardwareIO {};
  Box box;
  EXPECT_EQ(box.GetACount(), 0);
  EXPECT_EQ(box.GetA(0), 0.0);
  EXPECT_EQ(box.GetAMax(3), 0);
  EXPECT_FALSE(box.GetD(1));
  box.SetD(1, true);
  EXPECT_FALSE(box.GetD(1));
}

TEST(DeviceClassesTest, Timer_IsNamedTimerAndResetSetsTimeZero) {
  TestTimer timer;
  EXPECT_STREQ(timer.GetName(), "Timer");
  EXPECT_TRUE(timer.Reset());
  EXPECT_EQ(timer.m_setTimes, std::vector<int32_t>{0});
}

TEST(DeviceClassesTest, MusicPlayer_StopMusicAndDeviceStopAreSeparate) {
  TestPlayer player;
  ASSERT_TRUE(player.Start());
  EXPECT_TRUE(player.StopMusic());
  EXPECT_TRUE(player.IsStarted());  // the music stopped, the device did not
  EXPECT_TRUE(player.Stop());
  EXPECT_FALSE(player.IsStarted());
  EXPECT_EQ(player.m_musicStops, 1);
}

TEST(DeviceClassesTest, Registry_HoldsTheDeviceClassesInStartOrder) {
  qibo::test::TempDir dir;
  ASSERT_TRUE(dir.Enter());
  auto indexOf = [](const ClassDesc* cd) {
    for (int i = 0; i < qiBO_GetClassDescCount(); ++i)
      if (qiBO_GetClassDescNo(i) == cd) return i;
    return -1;
  };
  const ClassDesc* order[] = {CTMotionBase::_CD(),    CTJoystick::_CD(),      CTUserJoystick::_CD(),
                              CTSound::_CD(),         CTTimer::_CD(),         CTTracker::_CD(),
                              CTRenderTarget::_CD(),  CTNetwork::_CD(),       CTMusicPlayer::_CD(),
                              CTDeviceManager::_CD(), DefDeviceManager::_CD()};
  int previous = -1;
  for (const ClassDesc* cd : order) {
    SCOPED_TRACE(cd->GetName().c_str());
    const int index = indexOf(cd);
    EXPECT_GT(index, previous);
    previous = index;
  }
  CTManager* service = qiBO_GetService(CTDeviceManager::_CD());
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->GetCD(), DefDeviceManager::_CD());
  EXPECT_STREQ(service->GetName(), "Device manager");
  qiBO_Deinit();
}
