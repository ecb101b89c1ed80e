#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/persist/CTFileManager.h"
#include "core/persist/CTPackageFile.h"
#include "core/persist/DefFileManager.h"
#include "core/persist/PackageWriter.h"
#include "core/persist/SmartFile.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

namespace {

using Texts = std::vector<std::string>;
using Members = std::vector<std::pair<std::string, std::string>>;

class FileManagerTest : public qibo::test::EngineFixture {
 protected:
  static void Put(const char* name, const std::string& bytes) {
    std::filesystem::path path(name);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string Get(const char* name) { return qibo::test::GetFile(name); }
  static void Pack(const char* name, const Members& members, bool checksum = true) {
    qibo::PackageWriter writer;
    writer.SetChecksum(checksum);
    for (const auto& [member, data] : members) ASSERT_TRUE(writer.Add(member.c_str(), data));
    Put(name, writer.Build());
  }
  // The running file manager, created and started on first use; the error
  // log is started first so that it sees the manager's messages.
  static DefFileManager* Files() {
    qiBO_GetService(CTErrorManager::_CD());
    return qibo::Cast<DefFileManager>(qiBO_GetService(CTFileManager::_CD()));
  }
  // What SmartFile::Open reads, or "<closed>".
  static std::string Read(const char* name, bool readWrite = false) {
    SmartFile file;
    if (!file.Open(name, readWrite)) return "<closed>";
    std::string data(file.FileSize(), '\0');
    data.resize(file.Read(data.data(), 1, data.size()));
    return data;
  }
  static Texts Logged(uint32_t code) {
    Texts texts;
    auto* errors = qibo::FindService<CTErrorManager>();
    for (int i = 0; errors && i < errors->GetErrorsCount(); ++i)
      if (errors->GetErrorNo(i)->code == code) texts.push_back(errors->GetErrorNo(i)->message);
    return texts;
  }
  static Texts Find(CTFileManager* files, const char* pattern, std::vector<int>* sizes = nullptr) {
    Texts found;
    findrecord_t record;
    for (bool ok = files->FindFirst(pattern, &record); ok && found.size() < 50;
         ok = files->FindNext(&record)) {
      found.push_back(record.name);
      if (sizes) sizes->push_back(record.size);
    }
    return found;
  }
};

// --- The service ------------------------------------------------------------------

TEST_F(FileManagerTest, Service_FoundByInterfaceAndImplementation) {
  CTManager* byInterface = qiBO_GetService(CTFileManager::_CD());
  ASSERT_NE(byInterface, nullptr);
  EXPECT_EQ(qiBO_GetService(DefFileManager::_CD()), byInterface);
  EXPECT_EQ(qiBO_GetServiceByName("filemanager"), byInterface);
  EXPECT_STREQ(byInterface->GetName(), "Filemanager");
  EXPECT_TRUE(byInterface->IsStarted());
}

TEST_F(FileManagerTest, Service_Descriptors) {
  const ClassDesc* itf = CTFileManager::_CD();
  const ClassDesc* def = DefFileManager::_CD();
  EXPECT_EQ(itf->ID(), qibo::ClassId("CTFileManager"));
  EXPECT_TRUE(itf->Abstract());
  EXPECT_EQ(itf->GetBuild(), 1);
  EXPECT_STREQ(itf->GetDesc().c_str(), "Filemanager");
  EXPECT_EQ(def->ID(), 0xABD6F604u);
  EXPECT_FALSE(def->Abstract());
  EXPECT_EQ(def->GetBuild(), 2);
  EXPECT_STREQ(def->GetDesc().c_str(), "Filemanager");
  EXPECT_STREQ(def->GetProductName().c_str(), "qiBO DefMgr");
}

TEST_F(FileManagerTest, Properties_DefaultsAndPersistence) {
  DefFileManager* files = Files();
  ASSERT_NE(files, nullptr);
  files->MakeProperties();
  EXPECT_STREQ(files->GetPropertyByName("DumpFileNames").ToString().c_str(), "");
  EXPECT_EQ(files->GetPropertyByName("AllowNormalFiles").ToInt(), 1);
  EXPECT_STREQ(files->GetPropertyByName("DefaultPackages").ToString().c_str(), "*.vdl");
  for (const char* name : {"DumpFileNames", "AllowNormalFiles", "DefaultPackages"})
    EXPECT_TRUE(files->GetPropertyByName(name).Persistent()) << name;
}

// --- Packages at start -------------------------------------------------------------

TEST_F(FileManagerTest, Start_LoadsDefaultPackagesAndForgetsTheirNames) {
  Pack("data.vdl", {{"a.txt", "A"}});
  Pack("more.VDL", {{"b.txt", "B"}});
  Put("notes.txt", "not a package");
  Put("broken.vdl", "not a package either");
  DefFileManager* files = Files();
  ASSERT_NE(files, nullptr);
  ASSERT_EQ(files->GetPackageCount(), 2);
  EXPECT_STREQ(files->GetPackageNo(0)->GetName(), "data.vdl");
  EXPECT_STREQ(files->GetPackageNo(1)->GetName(), "more.VDL");
  EXPECT_EQ(files->GetServedNameCount(), 0);
  EXPECT_EQ(Read("b.txt"), "B");
}

TEST_F(FileManagerTest, Start_DefaultPackagesFromTheSettingsWithDirectory) {
  Put("qibo.ini", "[DefFileManager]\nDefaultPackages=packs\\*.pak\n");
  Pack("Packs/One.PAK", {{"one.txt", "1"}});
  Pack("one.vdl", {{"two.txt", "2"}});
  DefFileManager* files = Files();
  ASSERT_EQ(files->GetPackageCount(), 1);
  EXPECT_STREQ(files->GetPackageNo(0)->GetName(), "packs\\One.PAK");
  EXPECT_EQ(Read("one.txt"), "1");
  EXPECT_EQ(Read("two.txt"), "<closed>");
}

TEST_F(FileManagerTest, Start_EmptyDefaultPackagesLoadsNone) {
  Put("qibo.ini", "[DefFileManager]\nDefaultPackages=\n");
  Pack("data.vdl", {{"a.txt", "A"}});
  EXPECT_EQ(Files()->GetPackageCount(), 0);
}

// --- Reading through SmartFile ------------------------------------------------------

TEST_F(FileManagerTest, SmartFileOpen_FindsMemberIgnoringDirectoryAndCase) {
  Pack("data.vdl", {{"logo.tga", "LOGO DATA"}, {"other.bin", "0123456789"}});
  ASSERT_NE(Files(), nullptr);
  for (const char* name : {"textures\\logo.tga", "TEXTURES\\LOGO.TGA", "textures/Logo.tga", "logo.tga"})
    EXPECT_EQ(Read(name), "LOGO DATA") << name;
}

TEST_F(FileManagerTest, SmartFileOpen_MemberPositionsAreItsOwn) {
  Pack("data.vdl", {{"first.bin", "0123456789"}, {"logo.tga", "LOGO"}});
  ASSERT_NE(Files(), nullptr);
  SmartFile file;
  ASSERT_TRUE(file.Open("textures\\logo.tga", false));
  EXPECT_EQ(file.Start(), 10u);
  EXPECT_EQ(file.FilePos(), 0u);
  EXPECT_EQ(file.FileSize(), 4u);
  char data[16] = {};
  EXPECT_EQ(file.Read(data, 1, sizeof(data)), 4u);
  EXPECT_STREQ(data, "LOGO");
  EXPECT_TRUE(file.EndOfFile());  // at the member's end, not the package's
}

TEST_F(FileManagerTest, SmartFileOpen_MemberWinsOverLooseFileForReadingOnly) {
  Pack("data.vdl", {{"logo.tga", "member"}});
  Put("logo.tga", "loose");
  ASSERT_NE(Files(), nullptr);
  EXPECT_EQ(Read("logo.tga"), "member");
  EXPECT_EQ(Read("logo.tga", true), "loose");
}

TEST_F(FileManagerTest, SmartFileOpen_LooseFilesIgnoringCaseAndBackslashes) {
  Put("Data/Model.3DS", "model");
  Put("plain.txt", "plain");
  ASSERT_NE(Files(), nullptr);
  EXPECT_EQ(Read("data\\model.3ds"), "model");
  EXPECT_EQ(Read("PLAIN.TXT"), "plain");
  EXPECT_EQ(Read("missing.txt"), "<closed>");
  EXPECT_EQ(Read("Data"), "<closed>");  // a directory is not a file
}

TEST_F(FileManagerTest, SmartFileOpen_SearchDirectoriesInOrder) {
  Put("Data/Textures/wall.tga", "textures");
  Put("Other/wall.tga", "other");
  DefFileManager* files = Files();
  EXPECT_EQ(Read("wall.tga"), "<closed>");
  files->AddSearchPath("other");
  files->AddSearchPath("Data\\Textures");
  EXPECT_EQ(Read("wall.tga"), "other");
  files->RemoveSearchPath("OTHER/");
  EXPECT_EQ(Read("wall.tga"), "textures");
  EXPECT_EQ(files->GetServedNameNo(0), QIBO_String("OTHER\\WALL.TGA"));
  EXPECT_EQ(files->GetServedNameNo(1), QIBO_String("DATA\\TEXTURES\\WALL.TGA"));
}

TEST_F(FileManagerTest, SearchPaths_AreNormalisedAndKeptOnce) {
  DefFileManager* files = Files();
  ASSERT_EQ(files->GetSearchPathCount(), 1);
  EXPECT_EQ(files->GetSearchPathNo(0), QIBO_String(""));
  files->AddSearchPath("Data/Textures");
  files->AddSearchPath("data\\textures\\");
  files->AddSearchPath("");
  files->AddSearchPath("Runfiles\\");
  ASSERT_EQ(files->GetSearchPathCount(), 3);
  EXPECT_EQ(files->GetSearchPathNo(1), QIBO_String("data\\textures\\"));
  EXPECT_EQ(files->GetSearchPathNo(2), QIBO_String("runfiles\\"));
  files->RemoveSearchPath("DATA/TEXTURES");
  ASSERT_EQ(files->GetSearchPathCount(), 2);
  EXPECT_EQ(files->GetSearchPathNo(1), QIBO_String("runfiles\\"));
  files->RemoveSearchPath("not there");
  EXPECT_EQ(files->GetSearchPathCount(), 2);
}

TEST_F(FileManagerTest, SmartFileOpen_DamagedMemberFailsCleanly) {
  // One member claims more bytes than the file has.
  std::string bytes = "abc";
  std::string entry = "bad.bin";
  entry.resize(56, '\0');
  entry += std::string("\0\0\0\0", 4) + std::string("\xFF\0\0\0", 4);
  bytes += entry;
  bytes += std::string("\3\0\0\0\1\0\0\0\0\0\0\0CiT!", 16);
  Put("damaged.vdl", bytes);
  ASSERT_EQ(Files()->GetPackageCount(), 1);
  EXPECT_EQ(Read("bad.bin"), "<closed>");
}

// --- AllowNormalFiles ------------------------------------------------------------------

TEST_F(FileManagerTest, AllowNormalFilesFalse_LooseFilesNeitherOpenedNorListed) {
  Put("qibo.ini", "[DefFileManager]\nAllowNormalFiles=0\n");
  Pack("data.vdl", {{"logo.tga", "member"}});
  Put("loose.tga", "loose");
  Put("sub/deep.tga", "deep");
  DefFileManager* files = Files();
  ASSERT_EQ(files->GetPackageCount(), 1);  // packages still load
  EXPECT_EQ(Read("loose.tga"), "<closed>");
  EXPECT_EQ(Read("sub\\deep.tga"), "<closed>");
  EXPECT_EQ(Read("textures\\logo.tga"), "member");
  EXPECT_EQ(Find(files, "*.tga"), Texts{"logo.tga"});
  DFileSpan span;
  EXPECT_EQ(files->OpenFile("sub\\deep.tga", false, &span), nullptr);
  // Writing a file of the search directories stays possible.
  EXPECT_EQ(Read("loose.tga", true), "loose");
}

TEST_F(FileManagerTest, OpenFile_FallsBackToPackageMemberAndSaysSo) {
  Pack("data.vdl", {{"first", "0123"}, {"logo.tga", "member"}});
  DefFileManager* files = Files();
  DFileSpan span;
  FILE* file = files->OpenFile("logo.tga", false, &span);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(span.isMember);
  EXPECT_EQ(span.offset, 4u);
  EXPECT_EQ(span.size, 6u);
  fclose(file);
  Put("logo.tga", "loose");
  file = files->OpenFile("logo.tga", false, &span);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(span.isMember);
  fclose(file);
}

// --- Messages -------------------------------------------------------------------------

TEST_F(FileManagerTest, Messages_NoChecksumBadMagicAndUnableToOpen) {
  Put("qibo.ini", "[DefFileManager]\nVerboseLevel=3\n");
  Pack("plain.vdl", {{"a.txt", "A"}}, false);
  Put("bad.vdl", std::string(20, '\0'));
  DefFileManager* files = Files();
  ASSERT_EQ(files->GetPackageCount(), 1);
  EXPECT_EQ(Read("a.txt"), "A");
  EXPECT_EQ(Read("missing.txt"), "<closed>");
  EXPECT_EQ(Logged(kCodeError), Texts{"Not a VDL file: bad.vdl"});
  EXPECT_EQ(Logged(kCodeWarning), (Texts{"File has no checksum: plain.vdl", "Unable to open: missing.txt"}));
}

TEST_F(FileManagerTest, Messages_UnableToCreateAndAppend) {
  Put("qibo.ini", "[DefFileManager]\nVerboseLevel=3\n");
  std::filesystem::create_directory("dir");
  DefFileManager* files = Files();
  SmartFile file;
  EXPECT_FALSE(file.Create("nodir\\x.bin", false));
  EXPECT_FALSE(file.Append("dir"));
  EXPECT_EQ(Logged(kCodeWarning), (Texts{"Unable to create: nodir\\x.bin", "Unable to append to: dir"}));
  EXPECT_EQ(files->GetServedNameCount(), 0);
}

// --- Create and append ------------------------------------------------------------------

TEST_F(FileManagerTest, CreateAndAppend_ThroughTheManager) {
  ASSERT_NE(Files(), nullptr);
  {
    SmartFile file;
    ASSERT_TRUE(file.Create("new.bin", false));
    ASSERT_TRUE(file.WriteString("one", false));
  }
  {
    SmartFile file;
    ASSERT_TRUE(file.Append("NEW.BIN"));  // finds the file ignoring case
    ASSERT_TRUE(file.WriteString("two", false));
  }
  EXPECT_EQ(Get("new.bin"), "onetwo");
}

// --- Package list ---------------------------------------------------------------------

TEST_F(FileManagerTest, AddPackage_OnceEachAndOnlyIfItOpens) {
  Pack("extra.vdl", {{"x", "1"}});
  Put("bad.vdl", "nope");
  Put("qibo.ini", "[DefFileManager]\nDefaultPackages=\n");
  DefFileManager* files = Files();
  EXPECT_TRUE(files->AddPackage("extra.vdl"));
  EXPECT_TRUE(files->AddPackage("EXTRA.VDL"));
  EXPECT_FALSE(files->AddPackage("bad.vdl"));
  EXPECT_FALSE(files->AddPackage("missing.vdl"));
  EXPECT_FALSE(files->AddPackage(""));
  EXPECT_EQ(files->GetPackageCount(), 1);
  EXPECT_EQ(files->AddPackages("*.vdl"), 1);  // extra.vdl is already there
  EXPECT_EQ(files->GetPackageCount(), 1);
  EXPECT_EQ(CTPackageFile::_CD()->GetInstances(), 1);
}

TEST_F(FileManagerTest, RemovePackage_KeepsTheOthersInLoadOrder) {
  Put("qibo.ini", "[DefFileManager]\nDefaultPackages=\n");
  Pack("p1.vdl", {{"same.txt", "one"}});
  Pack("p2.vdl", {{"same.txt", "two"}});
  Pack("p3.vdl", {{"same.txt", "three"}});
  DefFileManager* files = Files();
  for (const char* p : {"p1.vdl", "p2.vdl", "p3.vdl"}) ASSERT_TRUE(files->AddPackage(p));
  EXPECT_EQ(Read("same.txt"), "one");
  EXPECT_TRUE(files->RemovePackage("P1.VDL"));
  EXPECT_EQ(Read("same.txt"), "two");
  EXPECT_FALSE(files->RemovePackage("p1.vdl"));
  ASSERT_EQ(files->GetPackageCount(), 2);
  EXPECT_STREQ(files->GetPackageNo(0)->GetName(), "p2.vdl");
  EXPECT_STREQ(files->GetPackageNo(1)->GetName(), "p3.vdl");
  EXPECT_EQ(CTPackageFile::_CD()->GetInstances(), 2);
}

TEST_F(FileManagerTest, Stop_ReleasesEveryPackage) {
  Pack("p1.vdl", {{"a", "1"}});
  Pack("p2.vdl", {{"b", "2"}});
  ASSERT_EQ(Files()->GetPackageCount(), 2);
  EXPECT_EQ(CTPackageFile::_CD()->GetInstances(), 2);
  qiBO_Deinit();
  EXPECT_EQ(CTPackageFile::_CD()->GetInstances(), 0);
}

// --- Searching ------------------------------------------------------------------------

TEST_F(FileManagerTest, Find_PackagesInLoadOrderThenLooseFiles) {
  Pack("p1.vdl", {{"a.tga", "12"}, {"b.txt", "x"}, {"c.TGA", "123"}});
  Pack("p2.vdl", {{"d.tga", "1234"}});
  Put("y.tga", "12345");
  Put("x.tga", "123456");
  std::filesystem::create_directory("sub.tga");
  DefFileManager* files = Files();
  std::vector<int> sizes;
  EXPECT_EQ(Find(files, "*.tga", &sizes), (Texts{"a.tga", "c.TGA", "d.tga", "sub.tga", "x.tga", "y.tga"}));
  EXPECT_EQ(sizes, (std::vector<int>{2, 3, 4, -1, 6, 5}));
  EXPECT_EQ(Find(files, "*.bmp"), Texts{});
}

TEST_F(FileManagerTest, Find_LooseFilesOfThePatternsDirectory) {
  Pack("p1.vdl", {{"deep.txt", "member"}});
  Put("Sub/Deep.txt", "loose");
  Put("Sub/other.txt", "loose");
  Put("top.txt", "top");
  DefFileManager* files = Files();
  EXPECT_EQ(Find(files, "sub\\*.txt"), (Texts{"deep.txt", "Deep.txt", "other.txt"}));
  EXPECT_EQ(Find(files, "nodir\\*.txt"), Texts{"deep.txt"});
}

TEST_F(FileManagerTest, Find_StaleRecordEndsCleanly) {
  Pack("p1.vdl", {{"a.tga", "1"}, {"b.tga", "2"}});
  DefFileManager* files = Files();
  findrecord_t record;
  ASSERT_TRUE(files->FindFirst("*.tga", &record));
  ASSERT_TRUE(files->RemovePackage("p1.vdl"));
  EXPECT_FALSE(files->FindNext(&record));
  record.package = 7;
  record.position = -5;
  EXPECT_FALSE(files->FindNext(&record));
  EXPECT_FALSE(files->FindFirst("*", nullptr));
}

// --- Served names -----------------------------------------------------------------------

TEST_F(FileManagerTest, DumpFileNames_WritesEachServedNameOnceInUpperCase) {
  Put("qibo.ini", "[DefFileManager]\nDumpFileNames=served.txt\nDefaultPackages=data.vdl\n");
  Pack("data.vdl", {{"logo.tga", "L"}});
  Pack("extra.vdl", {{"extra.txt", "E"}});
  Put("a.txt", "a");
  Put("Sub/B.txt", "b");
  DefFileManager* files = Files();
  EXPECT_EQ(Read("a.txt"), "a");
  EXPECT_EQ(Read("textures\\logo.tga"), "L");
  EXPECT_EQ(Read("A.TXT"), "a");  // same loose file, other spelling: "A.TXT" is new
  EXPECT_EQ(Read("a.txt"), "a");
  EXPECT_EQ(Read("sub\\b.txt"), "b");
  EXPECT_EQ(Read("missing.txt"), "<closed>");
  ASSERT_TRUE(files->AddPackage("extra.vdl"));
  EXPECT_EQ(Read("textures\\logo.tga"), "L");
  qiBO_Deinit();
  EXPECT_EQ(Get("served.txt"), "A.TXT\r\nTEXTURES\\LOGO.TGA @DATA.VDL\r\nSUB\\B.TXT\r\nEXTRA.VDL\r\n");
}

TEST_F(FileManagerTest, DumpFileNames_EmptyWritesNothing) {
  Put("a.txt", "a");
  ASSERT_NE(Files(), nullptr);
  EXPECT_EQ(Read("a.txt"), "a");
  qiBO_Deinit();
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(".")) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

// --- Without a file manager ------------------------------------------------------------

TEST_F(FileManagerTest, SmartFile_WithoutRunningManagerOpensDirectly) {
  Pack("data.vdl", {{"logo.tga", "member"}});
  Put("logo.tga", "loose");
  EXPECT_EQ(Read("logo.tga"), "loose");
  EXPECT_EQ(Read("textures\\logo.tga"), "<closed>");
  EXPECT_EQ(qiBO_FindService(CTFileManager::_CD()), nullptr);
}

}  // namespace
