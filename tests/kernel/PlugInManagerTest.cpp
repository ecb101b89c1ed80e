#include <gtest/gtest.h>

#include <filesystem>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/engine/DefPlugInManager.h"
#include "tests/support/EngineFixture.h"

namespace {

class PlugInManagerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    // The plug-ins sit in a sub-folder named as a Windows path would have it.
    std::filesystem::create_directory("PlugIns");
    for (const char* name : {"GoodPlugIn.plug", "NoEntryPlugIn.plug", "RefusingPlugIn.plug"})
      std::filesystem::copy_file(std::string(QIBO_TEST_PLUGIN_DIR) + name, std::string("PlugIns/") + name);
    m_plugIns = static_cast<DefPlugInManager*>(qiBO_GetService(CTPlugInManager::_CD()));
    ASSERT_NE(m_plugIns, nullptr);
    m_plugIns->GetPropertyByName("PlugInPath").FromString(".\\plugins\\");
  }
  DefPlugInManager* m_plugIns = nullptr;
};

}  // namespace

TEST_F(PlugInManagerTest, LoadRegistersTheClassesOnce) {
  ASSERT_TRUE(qiBO_LoadPlugIn("GoodPlugIn.plug"));
  EXPECT_EQ(qiBO_GetPlugInCount(), 1);
  EXPECT_EQ(qiBO_GetPlugInName(0), "GoodPlugIn.plug");
  EXPECT_EQ(qiBO_GetPlugInName(5), "");
  ClassDesc* gadget = qiBO_FindClassDescByName("TestPlugInGadget");
  ASSERT_NE(gadget, nullptr);
  EXPECT_EQ(gadget->GetURL(), "GoodPlugIn.plug");
  CTBasic* object = qiBO_CreateClassByName("TestPlugInGadget");
  ASSERT_NE(object, nullptr);
  object->Delete();
}

TEST_F(PlugInManagerTest, RefusalsAreReportedAndNothingIsKept) {
  struct Case {
    const char* name;
    const char* message;
  } cases[] = {{"Missing.plug", "Library not found: Missing.plug"},
               {"NoEntryPlugIn.plug", "Not a qiBO extension library: NoEntryPlugIn.plug"},
               {"RefusingPlugIn.plug", "Empty library: RefusingPlugIn.plug"}};
  for (const Case& c : cases) {
    EXPECT_FALSE(qiBO_LoadPlugIn(c.name)) << c.name;
    EXPECT_EQ(m_plugIns->LastErrorMsg(), c.message);
  }
  EXPECT_EQ(qiBO_GetPlugInCount(), 0);
}

TEST_F(PlugInManagerTest, LibraryWithLiveObjectsStaysLoadedUntilTheyGo) {
  ASSERT_TRUE(qiBO_LoadPlugIn("GoodPlugIn.plug"));
  CTBasic* object = qiBO_CreateClassByName("TestPlugInGadget");
  ASSERT_NE(object, nullptr);
  m_plugIns->SetVerboseLevel(3);
  EXPECT_FALSE(m_plugIns->Stop());
  EXPECT_TRUE(m_plugIns->IsStarted());
  EXPECT_EQ(qiBO_GetPlugInCount(), 1);
  object->Delete();  // the class's code must still be there for this
  EXPECT_TRUE(m_plugIns->Stop());
  EXPECT_EQ(m_plugIns->GetPlugInCount(), 0);
  EXPECT_EQ(qiBO_FindClassDescByName("TestPlugInGadget"), nullptr);
}

TEST_F(PlugInManagerTest, LoadedTwiceUnloadsCleanly) {
  ASSERT_TRUE(qiBO_LoadPlugIn("GoodPlugIn.plug"));
  ASSERT_TRUE(qiBO_LoadPlugIn("GoodPlugIn.plug"));
  EXPECT_EQ(qiBO_GetPlugInCount(), 2);
  EXPECT_TRUE(m_plugIns->Stop());
  // Both registrations were given back: no descriptor of the unloaded code
  // is left in the registry.
  EXPECT_EQ(qiBO_FindClassDescByName("TestPlugInGadget"), nullptr);
}

TEST_F(PlugInManagerTest, StreamNamesOfOldLibrariesMapToPlugIns) {
  EXPECT_TRUE(qibo::LoadPlugInForClass("GoodPlugIn.dll"));
  EXPECT_EQ(qiBO_GetPlugInName(0), "GoodPlugIn.plug");
  EXPECT_FALSE(qibo::LoadPlugInForClass(""));
}

TEST_F(PlugInManagerTest, LoadAllLoadsEveryMatchingLibraryAndReportsTheRest) {
  qiBO_LoadAllPlugIns();
  // The good one loads; the other two are found and refused.
  EXPECT_EQ(qiBO_GetPlugInCount(), 1);
  EXPECT_EQ(qiBO_GetPlugInName(0), "GoodPlugIn.plug");
  EXPECT_NE(qiBO_FindClassDescByName("TestPlugInGadget"), nullptr);
}
