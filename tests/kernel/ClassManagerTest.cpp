#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "core/devices/CTJoystick.h"
#include "core/kernel/CTClassManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/DefClassManager.h"
#include "core/kernel/Kernel.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTPipelineStage.h"
#include "tests/support/EngineFixture.h"

namespace {

class Gadget : public CTReferenced {};

// Two builds of one class (same name, same ID) and an impostor with the ID
// but another name; made by hand as a plug-in with an older build would.
constexpr uint32_t kGadgetId = qibo::ClassId("TestGadget");
constinit qibo::ClassDescOf<Gadget> g_gadget1{"TestGadget", kGadgetId, &CTReferenced::s_classDesc,
                                              qibo::ClassInfo{.desc = "Gadget", .build = 1}};
constinit qibo::ClassDescOf<Gadget> g_gadget2{"TestGadget", kGadgetId, &CTReferenced::s_classDesc,
                                              qibo::ClassInfo{.desc = "Gadget", .build = 2}};
constinit qibo::ClassDescOf<Gadget> g_gadget0{"TestGadget", kGadgetId, &CTReferenced::s_classDesc,
                                              qibo::ClassInfo{.desc = "Gadget", .build = 0}};
constinit qibo::ClassDescOf<Gadget> g_impostor{"TestImpostor", kGadgetId, &CTReferenced::s_classDesc,
                                               qibo::ClassInfo{}};

class ClassManagerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    m_classes = static_cast<DefClassManager*>(qiBO_GetService(CTClassManager::_CD()));
    ASSERT_NE(m_classes, nullptr);
  }
  int IndexOf(const ClassDesc* cd) {
    for (int i = 0; i < qiBO_GetClassDescCount(); ++i)
      if (qiBO_GetClassDescNo(i) == cd) return i;
    return -1;
  }
  DefClassManager* m_classes = nullptr;
};

}  // namespace

TEST_F(ClassManagerTest, RegistrationsAreCounted) {
  qiBO_RegisterClass(&g_gadget1);
  qiBO_RegisterClass(&g_gadget1);
  EXPECT_EQ(m_classes->GetRegistrationCount(&g_gadget1), 2);
  qiBO_UnregisterClass(&g_gadget1);
  EXPECT_EQ(qiBO_FindClassDesc(kGadgetId), &g_gadget1);
  qiBO_UnregisterClass(&g_gadget1);
  EXPECT_EQ(qiBO_FindClassDesc(kGadgetId), nullptr);
  // Ancestors were counted along and are still registered by the built-ins.
  EXPECT_EQ(qiBO_FindClassDesc(CTReferenced::_CD()->ID()), CTReferenced::_CD());
}

TEST_F(ClassManagerTest, NewerBuildReplacesInPlaceAndOlderComesBack) {
  qiBO_RegisterClass(&g_gadget1);
  const int index = IndexOf(&g_gadget1);
  ASSERT_GE(index, 0);
  qiBO_RegisterClass(&g_gadget2);
  EXPECT_EQ(qiBO_GetClassDescNo(index), &g_gadget2);
  EXPECT_EQ(qiBO_FindClassDesc(kGadgetId), &g_gadget2);
  qiBO_RegisterClass(&g_gadget0);  // older: ignored
  EXPECT_EQ(qiBO_FindClassDesc(kGadgetId), &g_gadget2);
  EXPECT_EQ(m_classes->LastErrorMsg(), "Older build detected of TestGadget");
  qiBO_UnregisterClass(&g_gadget2);
  // The best remaining build comes back, at the end of the registry.
  EXPECT_EQ(qiBO_FindClassDesc(kGadgetId), &g_gadget1);
  EXPECT_EQ(IndexOf(&g_gadget1), qiBO_GetClassDescCount() - 1);
}

TEST_F(ClassManagerTest, DifferentClassesWithOneIdAreRefused) {
  qiBO_RegisterClass(&g_gadget1);
  qiBO_RegisterClass(&g_impostor);
  EXPECT_EQ(qiBO_FindClassDesc(kGadgetId), &g_gadget1);
  EXPECT_TRUE(m_classes->HasError());
  EXPECT_EQ(m_classes->LastErrorMsg(), "Differing classes with equal IDs: TestImpostor and TestGadget");
  // It stays known: unregistering the winner brings it in.
  qiBO_UnregisterClass(&g_gadget1);
  EXPECT_EQ(qiBO_FindClassDesc(kGadgetId), &g_impostor);
}

TEST_F(ClassManagerTest, LookupsByNameInThreePasses) {
  EXPECT_EQ(qiBO_FindClassDescByName("CTManager"), CTManager::_CD());
  EXPECT_EQ(qiBO_FindClassDescByName("ctmanager"), nullptr);
  EXPECT_EQ(qiBO_FindClassDescByNameIC("ctmanager"), CTManager::_CD());
  EXPECT_EQ(qiBO_FindClassDescByNameIC("manager"), CTManager::_CD());
  EXPECT_EQ(qiBO_FindClassDescByNameIC("classMANAGER"), CTClassManager::_CD());
  // Description: the interface comes before its implementation.
  EXPECT_EQ(qiBO_FindClassDescByNameIC("CLASS MANAGER"), CTClassManager::_CD());
  EXPECT_EQ(qiBO_FindClassDescByNameIC("runtime type identification"), CTBasic::_CD());
  EXPECT_EQ(qiBO_FindClassDescByNameIC("nothing like it"), nullptr);
  EXPECT_EQ(qiBO_FindClassDescByNameIC(nullptr), nullptr);
  EXPECT_EQ(qiBO_GetClassID("CTNamed"), 0x3F060351u);
  EXPECT_EQ(qiBO_GetClassID("CTUnknown"), 0u);
}

TEST_F(ClassManagerTest, NamesOfUnregisteredIdsAndIndexBounds) {
  EXPECT_EQ(qiBO_GetClassName(0x12345678), "0x12345678");
  EXPECT_EQ(qiBO_GetClassName(0xDE9FBA85), "CTBasic");
  EXPECT_EQ(qiBO_GetClassDescNo(-1), nullptr);
  EXPECT_EQ(qiBO_GetClassDescNo(qiBO_GetClassDescCount()), nullptr);
}

TEST_F(ClassManagerTest, CreateByNameRespectsAbstract) {
  CTBasic* manager = qiBO_CreateClassByName("CTManager");
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->GetCD(), CTManager::_CD());
  manager->Delete();
  EXPECT_EQ(qiBO_CreateClassByName("CTClassManager"), nullptr);
  CTBasic* named = qiBO_CreateClass(0x3F060351);
  ASSERT_NE(named, nullptr);
  named->Delete();
}

TEST_F(ClassManagerTest, BuiltinsComeInRegistrationOrderWithAncestorsAfterEach) {
  // Each class is followed by the ancestors not registered before it.
  const char* opening[] = {"CTPipelineStage", "CTInterface", "CTNamed",    "CTStreamed",
                           "CTReferenced",    "CTBasic",     "CTBitmapIO", "CTBitmapImport"};
  ASSERT_GE(qiBO_GetClassDescCount(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(qiBO_GetClassDescNo(i), qiBO_FindClassDescByName(opening[i])) << i;
  // Every registered class's ancestors are registered too.
  for (int i = 0; i < qiBO_GetClassDescCount(); ++i)
    for (const ClassDesc* cd = qiBO_GetClassDescNo(i); cd; cd = cd->GetInheritedCD())
      EXPECT_EQ(qiBO_FindClassDesc(cd->ID()), cd) << cd->GetName().c_str();
}

// zlib's CRC-32 (reflected 0xEDB88320, all ones in and out) of the text in
// upper case: the class ID of most classes.
static uint32_t Crc32OfUpperCase(const std::string& text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const char c : text) {
    crc ^= static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// The descriptors of every built-in class keep what stored files and other
// modules rely on: the class ID (the checksum of the upper-case name, but
// for the few fixed ones), the product group, the build and whether the
// class can be made.
TEST_F(ClassManagerTest, BuiltInDescriptorsKeepTheirIdsGroupsBuildsAndKinds) {
  const std::map<std::string, uint32_t> fixedIds = {
      {"CTJoystick", 0x2EAD8394}, {"CTPipelineStage", 0x77F733F1}, {"CTBasicSpectator", 0x74160EC4}};
  std::map<std::string, std::string> groups;
  for (const char* name : {"CTCamera", "CTDrawable", "CTEntity", "CTGroup", "CTLODGroup", "CTLight",
                           "CTMaterial", "CTMicrophone", "CTSoundSource", "CTSprite"})
    groups[name] = "qiBO 3D";
  for (const char* name :
       {"CTAV_Player", "CTHardwareIO", "CTJoystick", "CTMusicPlayer", "CTNetwork", "CTUserJoystick"})
    groups[name] = "qiBO Devices";
  for (const char* name :
       {"CT3DImport", "CTBitmapExport", "CTBitmapImport", "CTImport", "CTImportExport", "CTTreeStreamImport"})
    groups[name] = "qiBO IO";
  for (const char* name : {"CTPipelineStage_DrawFaceNormals", "CTPipelineStage_DrawVertexNormals",
                           "CTPipelineStage_LightWorld", "CTPipelineStage_LocalToWorld"})
    groups[name] = "qiBO Stages";
  for (const char* name : {"CTPIDController", "CTSpring"}) groups[name] = "qiboCore";
  const std::map<std::string, int> builds = {{"CTManager", 1},        {"CTEngineManager", 1},
                                             {"CTFileManager", 1},    {"CTRenderPipelineManager", 1},
                                             {"CTMotionBase", 1},     {"CTBitmapExport", 1},
                                             {"CTPipelineStage", 1},  {"DefaultApplication", 1},
                                             {"DefEngineManager", 1}, {"DefRenderPipelineManager", 1},
                                             {"DefSoundManager", 1},  {"DefTextureManager", 1},
                                             {"DefFileManager", 2}};
  const std::set<std::string> abstract = {"CTApplication",   "CTAV_Player",
                                          "CTDevice",        "CTHardwareIO",
                                          "CTJoystick",      "CTMotionBase",
                                          "CTMusicPlayer",   "CTNetwork",
                                          "CTRenderTarget",  "CTSound",
                                          "CTTimer",         "CTTracker",
                                          "CTBasicPtr",      "CTBitmapExport",
                                          "CTBitmapImport",  "CTCollisionDetector",
                                          "CTController",    "CTFrontEnd",
                                          "CTImport",        "CTImportExport",
                                          "CTPipelineStage", "CTPlugInLib",
                                          "CTSpectator",     "CTTrack",
                                          "CTAbstractDyna",  "CTEntityController",
                                          "CTShape",         "CT3DImport",
                                          "CTMotionSensor"};
  const auto endsWith = [](const std::string& s, const char* tail) {
    const size_t n = strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
  };
  std::set<std::string> seen;
  for (int i = 0; i < qiBO_GetClassDescCount(); ++i) {
    ClassDesc* cd = qiBO_GetClassDescNo(i);
    const std::string name = cd->GetName().c_str();
    SCOPED_TRACE(name);
    seen.insert(name);
    const auto fixed = fixedIds.find(name);
    EXPECT_EQ(cd->ID(), fixed != fixedIds.end() ? fixed->second : Crc32OfUpperCase(name));
    const auto group = groups.find(name);
    const bool defaultService = name.starts_with("Def") && endsWith(name, "Manager");
    EXPECT_STREQ(cd->GetProductName().c_str(), group != groups.end() ? group->second.c_str()
                                               : defaultService      ? "qiBO DefMgr"
                                                                     : "qiBO");
    const auto build = builds.find(name);
    EXPECT_EQ(cd->GetBuild(), build != builds.end() ? build->second : 0);
    const bool serviceInterface = name.starts_with("CT") && endsWith(name, "Manager") && name != "CTManager";
    EXPECT_EQ(cd->Abstract(), abstract.count(name) > 0 || serviceInterface);
  }
  // The fixed IDs again on the descriptors themselves: a class that is
  // registered later (the spectator) keeps its ID all the same.
  for (const ClassDesc* cd : {CTJoystick::_CD(), CTPipelineStage::_CD(), CTBasicSpectator::_CD()})
    EXPECT_EQ(cd->ID(), fixedIds.at(cd->GetName().c_str())) << cd->GetName().c_str();
  EXPECT_TRUE(seen.count("CTCached"));
}
