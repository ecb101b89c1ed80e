// The scene cache over saved scenes (chunk-stream files, read by the
// tree-stream importer): templates by base name, copies handed out, use
// counts, purging and the settings.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/io/CT3DImport.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/persist/cache/DefSceneCacheManager.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "tests/support/TempDir.h"

namespace {

class SceneCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Enter());
    qiBO_GetErrorsCount();  // the log runs from the start
    m_cache = qibo::Cast<DefSceneCacheManager>(qibo::GetService<CTSceneCacheManager>());
    ASSERT_NE(m_cache, nullptr);
    ASSERT_TRUE(m_cache->IsStarted());
  }
  void TearDown() override {
    m_parents.clear();
    qiBO_Deinit();
    m_dir.Leave();
  }

  // A saved scene: a group named after the file holding one drawable per
  // name given.
  static void Save(const std::string& file, const std::vector<std::string>& parts) {
    Ref<CTGroup> scene = qibo::Create<CTGroup>();
    scene->SetName("scene");
    for (const std::string& part : parts) {
      Ref<CTDrawable> drawable = qibo::Create<CTDrawable>();
      drawable->SetName(part.c_str());
      drawable->SetShape(qibo::Create<CTBox>().Get());
      drawable->MoveTo(Vector3(1, 2, 3));
      drawable->SetParent(scene.Get());
    }
    ASSERT_TRUE(scene->SaveTree(file.c_str(), 31));
  }
  CTGroup* Parent() {
    m_parents.push_back(qibo::Create<CTGroup>());
    return m_parents.back().Get();
  }
  // The names of the drawables below parent's saved-scene group.
  static std::vector<std::string> Parts(CTGroup* parent, int child = 0) {
    std::vector<std::string> names;
    auto* scene = qibo::Cast<CTGroup>(parent ? parent->GetChild(child) : nullptr);
    for (int i = 0; scene && i < scene->NumChildren(); ++i) names.emplace_back(scene->GetChild(i)->GetName());
    return names;
  }

  qibo::test::TempDir m_dir;
  DefSceneCacheManager* m_cache = nullptr;
  std::vector<Ref<CTGroup>> m_parents;
};

TEST_F(SceneCacheTest, Load_ImportsOnceAndHandsOutCopiesOfTheTemplate) {
  Save("ship.qbo", {"Hull", "Mast"});
  CTGroup* first = Parent();
  CTGroup* second = Parent();
  ASSERT_TRUE(m_cache->Load(first, "ship.qbo", 1.0f));
  ASSERT_EQ(remove("ship.qbo"), 0);  // a second import would fail now
  ASSERT_TRUE(m_cache->Load(second, "ship.qbo", 1.0f));
  EXPECT_EQ(m_cache->GetHits(), 1u);
  EXPECT_EQ(m_cache->GetPropertyByName("Number of hits").ToString(), "1");
  EXPECT_EQ(m_cache->GetUseCount("ship"), 2);

  CTGroup* model = m_cache->FindTemplate("ship");
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->GetParent(), nullptr);
  ASSERT_EQ(model->NumChildren(), 1);
  const std::vector<std::string> parts{"Hull", "Mast"};
  for (CTGroup* parent : {first, second}) {
    ASSERT_EQ(parent->NumChildren(), 1);
    CTEntity* copy = parent->GetChild(0);
    EXPECT_NE(copy, model->GetChild(0));
    EXPECT_EQ(copy->GetParent(), parent);
    EXPECT_EQ(Parts(parent), parts);
    EXPECT_FLOAT_EQ(qibo::Cast<CTGroup>(copy)->GetChild(0)->GetPosition().y, 2.0f);
  }
  // Copies are the callers' own: changing one leaves the template and the other copy.
  qibo::Cast<CTGroup>(first->GetChild(0))->GetChild(0)->SetName("Changed");
  EXPECT_EQ(Parts(second), parts);
  EXPECT_STREQ(qibo::Cast<CTGroup>(model->GetChild(0))->GetChild(0)->GetName(), "Hull");
}

TEST_F(SceneCacheTest, FilesOfOneBaseNameInTwoFolders_ShareOneTemplate) {
  ASSERT_EQ(mkdir("a", 0755), 0);
  ASSERT_EQ(mkdir("b", 0755), 0);
  Save("a/ship.qbo", {"FromA"});
  Save("b/ship.qbo", {"FromB"});
  CTGroup* parent = Parent();
  ASSERT_TRUE(m_cache->Load(parent, "a/ship.qbo", 1.0f));
  ASSERT_TRUE(m_cache->Load(parent, "b\\SHIP.qbo", 1.0f));
  EXPECT_EQ(m_cache->GetTemplateCount(), 1);
  EXPECT_EQ(Parts(parent, 1), std::vector<std::string>{"FromA"});
}

TEST_F(SceneCacheTest, FailedImport_FailsAtOnceUntilPurged) {
  CTGroup* parent = Parent();
  EXPECT_FALSE(m_cache->Load(parent, "wreck.qbo", 1.0f));
  EXPECT_EQ(m_cache->GetUseCount("wreck"), -1);
  Save("wreck.qbo", {"Keel"});
  EXPECT_FALSE(m_cache->Load(parent, "wreck.qbo", 1.0f));  // no second attempt
  EXPECT_EQ(m_cache->GetHits(), 0u);
  EXPECT_EQ(parent->NumChildren(), 0);
  m_cache->PurgeUnused();
  EXPECT_EQ(m_cache->GetTemplateCount(), 0);
  EXPECT_TRUE(m_cache->Load(parent, "wreck.qbo", 1.0f));
  EXPECT_EQ(Parts(parent), std::vector<std::string>{"Keel"});
}

TEST_F(SceneCacheTest, WithTheCacheOff_EveryRequestImports) {
  m_cache->GetPropertyByName("EnableCache").FromString("0");
  ASSERT_FALSE(m_cache->IsCacheEnabled());
  Save("ship.qbo", {"Hull"});
  CTGroup* parent = Parent();
  ASSERT_TRUE(m_cache->Load(parent, "ship.qbo", 1.0f));
  Save("ship.qbo", {"Refitted"});
  ASSERT_TRUE(m_cache->Load(parent, "ship.qbo", 1.0f));
  EXPECT_EQ(Parts(parent, 0), std::vector<std::string>{"Hull"});
  EXPECT_EQ(Parts(parent, 1), std::vector<std::string>{"Refitted"});
  EXPECT_EQ(m_cache->GetHits(), 0u);
  EXPECT_EQ(m_cache->GetTemplateCount(), 0);
}

// A load without a parent only fills the cache: its template has no use
// and goes at the next purge; a used one stays (counting again from 0) and
// goes at the purge after, unless used again.
TEST_F(SceneCacheTest, PurgeUnused_KeepsTemplatesUsedSinceTheLastPurge) {
  Save("idle.qbo", {"A"});
  Save("used.qbo", {"B"});
  ASSERT_TRUE(m_cache->Load(nullptr, "idle.qbo", 1.0f));
  ASSERT_TRUE(m_cache->Load(Parent(), "used.qbo", 1.0f));
  EXPECT_EQ(m_cache->GetUseCount("idle"), 0);
  EXPECT_EQ(m_cache->GetTemplateCount(), 2);
  m_cache->PurgeUnused();
  EXPECT_EQ(m_cache->FindTemplate("idle"), nullptr);
  ASSERT_NE(m_cache->FindTemplate("used"), nullptr);
  EXPECT_EQ(m_cache->GetUseCount("used"), 0);
  m_cache->PurgeUnused();
  EXPECT_EQ(m_cache->GetTemplateCount(), 0);

  ASSERT_TRUE(m_cache->Load(Parent(), "used.qbo", 1.0f));
  ASSERT_TRUE(m_cache->Load(Parent(), "used.qbo", 1.0f));
  m_cache->Clear();
  EXPECT_EQ(m_cache->GetTemplateCount(), 0);
  EXPECT_EQ(m_cache->GetHits(), 0u);
}

TEST_F(SceneCacheTest, LoadFromModelPath_ReadsTheFileFromTheModelFolder) {
  EXPECT_STREQ(m_cache->GetModelPath(), ".\\streams\\");
  ASSERT_EQ(mkdir("models", 0755), 0);
  Save("models/ship.qbo", {"Hull"});
  m_cache->SetModelPath("models\\");
  CTGroup* parent = Parent();
  ASSERT_TRUE(m_cache->LoadFromModelPath(parent, "C:\\elsewhere/ship.qbo", 1.0f));
  EXPECT_EQ(Parts(parent), std::vector<std::string>{"Hull"});
}

TEST_F(SceneCacheTest, TreeStreamImport_PlacesAndScalesTheStreamsRoots) {
  Save("ship.qbo", {"Hull"});
  Ref<CT3DImport> importer = qibo::CreateAs<CT3DImport>(qiBO_FindClassDescByName("CTTreeStreamImport"));
  ASSERT_TRUE(importer);
  EXPECT_STREQ(importer->GetName(), "Tree-Stream Importer");
  for (const char* ext : {"TRE", "tre", "qbo"}) EXPECT_TRUE(importer->HandlesExtension(ext)) << ext;
  CTGroup* parent = Parent();
  importer->SetRoot(parent);
  importer->SetScaling(2.0);
  ASSERT_TRUE(importer->Import("ship.qbo"));
  ASSERT_EQ(parent->NumChildren(), 1);
  EXPECT_EQ(importer->GetImportedObjectNo(0), parent->GetChild(0));
  EXPECT_EQ(importer->GetImportedObjectsCount(), 1);
  const Vector3 scaled = parent->GetChild(0)->GetTransform().TransformPoint(Vector3(1, 1, 1));
  EXPECT_FLOAT_EQ(scaled.x, 2.0f);

  EXPECT_FALSE(importer->Import("missing.qbo"));
  EXPECT_STREQ(importer->LastErrorMsg().c_str(), "File not found: missing.qbo");
  importer->SetRoot(nullptr);
  EXPECT_FALSE(importer->Import("ship.qbo"));
}

}  // namespace
