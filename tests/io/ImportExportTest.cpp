#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/io/CTBitmapExport.h"
#include "core/io/CTBitmapIO.h"
#include "core/io/CTSceneIO.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/scene/CTGroup.h"
#include "tests/support/EngineFixture.h"

namespace {

// Which importer saw which file, in order.
std::vector<std::string> g_journal;
// Files the test importers refuse.
std::set<std::string> g_refused;

}  // namespace

// A bitmap importer for the test: succeeds with a 1 x 1 picture holding its
// own tag unless the file is refused.
class TestBitmapImport : public CTBitmapImport {
  QIBO_CLASS(TestBitmapImport)

 protected:
  TestBitmapImport(const char* tag, uint32_t pixel) : m_tag(tag), m_pixel(pixel) {}
  bool DoImport(const char* file) override {
    g_journal.push_back(m_tag + ":" + file);
    if (g_refused.count(file) || g_refused.count(m_tag)) return ErrorMsg("refused by the test");
    auto lfb = std::make_unique<LFB>(1, 1);
    lfb->SetPixel(0, 0, m_pixel);
    return SetResult(std::move(lfb));
  }

 private:
  std::string m_tag;
  uint32_t m_pixel;
};
QIBO_IMPLEMENT_CLASS(TestBitmapImport, CTBitmapImport, .isAbstract = true)

class TestTgaImport : public TestBitmapImport {
  QIBO_CLASS(TestTgaImport)

 public:
  TestTgaImport() : TestBitmapImport("tga", 1) {
    AddExtension("tga");
    AddExtension("Dup");
  }
};
QIBO_IMPLEMENT_CLASS(TestTgaImport, TestBitmapImport, .desc = "Test TGA")

class TestDupImport : public TestBitmapImport {
  QIBO_CLASS(TestDupImport)

 public:
  TestDupImport() : TestBitmapImport("dup", 2) { AddExtension("DUP"); }
};
QIBO_IMPLEMENT_CLASS(TestDupImport, TestBitmapImport, .desc = "Test DUP")

// Registered only by the test that checks RegisterClasses.
class TestLateImport : public TestBitmapImport {
  QIBO_CLASS(TestLateImport)

 public:
  TestLateImport() : TestBitmapImport("late", 3) { AddExtension("late"); }
};
QIBO_IMPLEMENT_CLASS(TestLateImport, TestBitmapImport, .desc = "Test late")

// A 3D importer that puts one group below the root per import.
class TestModelImport : public CT3DImport {
  QIBO_CLASS(TestModelImport)

 public:
  TestModelImport() { AddExtension("mdl"); }
  static inline uint32_t s_mask = 0;
  static inline double s_scaling = 0;

 protected:
  bool DoImport(const char* file) override {
    g_journal.push_back(std::string("mdl:") + file);
    s_mask = GetImportMask();
    s_scaling = GetScaling();
    if (!GetRoot() || g_refused.count(file)) return ErrorMsg("refused by the test");
    Ref<CTGroup> group = qibo::Create<CTGroup>();
    group->SetParent(GetRoot());
    AddImportedObject(group.Get());
    return true;
  }
};
QIBO_IMPLEMENT_CLASS(TestModelImport, CT3DImport, .desc = "Test model")

// An exporter that notes the lock count it saw.
class TestExport : public CTBitmapExport {
  QIBO_CLASS(TestExport)

 public:
  static inline int s_calls = 0;
  static inline int s_lockSeen = -1;
  static inline bool s_succeed = true;

 protected:
  bool DoExport(const char*, CTTexture* texture) override {
    ++s_calls;
    s_lockSeen = texture->GetLockCount();
    return s_succeed;
  }
};
QIBO_IMPLEMENT_CLASS(TestExport, CTBitmapExport, .desc = "Test export")

// A texture that counts attempts to rebuild its pixels (what a lock of an
// empty texture would cause).
class CountingTexture : public CTTexture {
  QIBO_CLASS(CountingTexture)

 public:
  static inline int s_rebuilds = 0;

 protected:
  bool DoCache() override {
    ++s_rebuilds;
    return false;
  }
};
QIBO_IMPLEMENT_CLASS(CountingTexture, CTTexture, .desc = "Counting texture")

namespace {

ClassDesc* const kClasses[] = {TestTgaImport::_CD(), TestDupImport::_CD(), TestModelImport::_CD(),
                               TestExport::_CD(), CountingTexture::_CD()};

class ImportExportTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    StartLog();
    for (ClassDesc* cd : kClasses) qiBO_RegisterClass(cd);
    g_journal.clear();
    g_refused.clear();
    TestExport::s_calls = 0;
    TestExport::s_lockSeen = -1;
    TestExport::s_succeed = true;
    CountingTexture::s_rebuilds = 0;
  }
  void TearDown() override {
    qiBO_UnregisterClass(TestLateImport::_CD());
    for (ClassDesc* cd : kClasses) qiBO_UnregisterClass(cd);
    EngineFixture::TearDown();
  }

  static uint32_t PixelOf(CTBitmapImport& importer) {
    CTTexture* texture = importer.GetTexture();
    return texture && texture->GetData() ? texture->GetData()->GetPixel(0, 0) : 0;
  }
};

TEST_F(ImportExportTest, BitmapIO_ChoosesByTheExtensionAfterTheLastDot) {
  struct Case {
    const char* file;
    bool success;
    std::vector<std::string> journal;
    const char* logged;  // message of a failure
  };
  const Case cases[] = {
      {"photo.tga", true, {"tga:photo.tga"}, nullptr},
      {"PHOTO.TGA", true, {"tga:PHOTO.TGA"}, nullptr},
      {"my.photo.Tga", true, {"tga:my.photo.Tga"}, nullptr},
      {"photo.tga.bak", false, {}, "Unknown file format: photo.tga.bak"},
      {"photo", false, {}, "Failed to import file: photo"},
      {"dir.tga\\photo", false, {}, "Failed to import file: dir.tga\\photo"},
      {"photo.", false, {}, "Unknown file format: photo."},
  };
  Ref<CTBitmapIO> io = qibo::Create<CTBitmapIO>();
  ASSERT_TRUE(io);
  EXPECT_STREQ(io->GetName(), "BitmapIO");
  for (const Case& c : cases) {
    g_journal.clear();
    const int logged = c.logged ? CountLogged(c.logged) : 0;
    EXPECT_EQ(io->Import(c.file), c.success) << c.file;
    EXPECT_EQ(io->GetSuccess(), c.success) << c.file;
    EXPECT_EQ(g_journal, c.journal) << c.file;
    EXPECT_EQ(io->GetTexture() != nullptr, c.success) << c.file;
    if (c.logged) {
      EXPECT_EQ(CountLogged(c.logged), logged + 1) << c.file;
    }
  }
}

TEST_F(ImportExportTest, BitmapIO_TriesTheNextImporterWhenOneFails) {
  Ref<CTBitmapIO> io = qibo::Create<CTBitmapIO>();
  // Both test importers handle "DUP"; the TGA one comes first.
  EXPECT_EQ(io->GetImporterCount(), 2);
  EXPECT_TRUE(io->HandlesExtension("dup"));
  ASSERT_TRUE(io->Import("a.dup"));
  EXPECT_EQ(PixelOf(*io), 1u);

  g_refused = {"tga"};
  g_journal.clear();
  ASSERT_TRUE(io->Import("b.DUP"));
  EXPECT_EQ(g_journal, (std::vector<std::string>{"tga:b.DUP", "dup:b.DUP"}));
  EXPECT_EQ(PixelOf(*io), 2u);

  g_refused = {"tga", "dup"};
  const int warned = CountLogged("Failed to import: c.dup");
  EXPECT_FALSE(io->Import("c.dup"));
  EXPECT_EQ(io->GetTexture(), nullptr);  // the earlier result is gone
  EXPECT_EQ(CountLogged("Failed to import: c.dup"), warned + 1);
  EXPECT_EQ(CountLogged("Failed to import file: c.dup"), 0);  // the warning said it
}

TEST_F(ImportExportTest, RegisterClasses_SeesImportersRegisteredLater) {
  Ref<CTBitmapIO> io = qibo::Create<CTBitmapIO>();
  EXPECT_FALSE(io->HandlesExtension("LATE"));
  qiBO_RegisterClass(TestLateImport::_CD());
  EXPECT_FALSE(io->Import("x.late"));
  io->RegisterClasses();
  EXPECT_EQ(io->GetImporterCount(), 3);
  EXPECT_TRUE(io->Import("x.late"));
  EXPECT_EQ(PixelOf(*io), 3u);
}

TEST_F(ImportExportTest, SceneIO_PassesItsSettingsAndListsWhatWasImported) {
  Ref<CTSceneIO> io = qibo::Create<CTSceneIO>();
  Ref<CTGroup> root = qibo::Create<CTGroup>();
  io->SetRoot(root.Get());
  io->SetImportMask(0x1234);
  io->SetScaling(2.5);
  ASSERT_TRUE(io->Import("ship.MDL"));
  EXPECT_EQ(TestModelImport::s_mask, 0x34u);
  EXPECT_EQ(TestModelImport::s_scaling, 2.5);
  ASSERT_EQ(io->GetImportedObjectsCount(), 1);
  EXPECT_EQ(io->GetImportedObjectNo(0), root->GetChild(0));
  EXPECT_EQ(io->GetImportedObjectNo(1), nullptr);

  g_refused = {"rock.mdl"};
  EXPECT_FALSE(io->Import("rock.mdl"));
  EXPECT_EQ(io->GetImportedObjectsCount(), 0);
  EXPECT_EQ(CountLogged("Failed to import: rock.mdl"), 1);
}

TEST_F(ImportExportTest, Export_LocksTheTextureAndFailsWithoutPixelsBeforeLocking) {
  Ref<TestExport> exporter = qibo::Create<TestExport>();
  Ref<CountingTexture> empty = qibo::Create<CountingTexture>();
  EXPECT_FALSE(exporter->Export("out.tga", empty.Get()));
  EXPECT_FALSE(exporter->Export("out.tga", nullptr));
  EXPECT_EQ(CountingTexture::s_rebuilds, 0);  // no lock was tried
  EXPECT_EQ(TestExport::s_calls, 0);

  Ref<CountingTexture> full = qibo::Create<CountingTexture>();
  ASSERT_TRUE(full->SetData(std::make_unique<LFB>(2, 2)));
  EXPECT_FALSE(exporter->Export("", full.Get()));
  ASSERT_TRUE(exporter->Export("out.tga", full.Get()));
  EXPECT_EQ(TestExport::s_lockSeen, 1);
  EXPECT_EQ(full->GetLockCount(), 0);

  TestExport::s_succeed = false;
  EXPECT_FALSE(exporter->Export("bad.tga", full.Get()));
  EXPECT_EQ(CountLogged("Failed to export to file: bad.tga"), 1);
  EXPECT_EQ(full->GetLockCount(), 0);
}

}  // namespace
