// qiboIO.plug loaded through the plug-in manager: its classes, what its
// importers make of files on disk, and what its exporters leave there.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>

#include "core/io/CTBitmapExport.h"
#include "core/io/CTBitmapIO.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/PlugInApi.h"
#include "core/persist/CTFileManager.h"
#include "core/persist/PackageWriter.h"
#include "core/render/base/CTTexture.h"
#include "tests/io/PictureBytes.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

using namespace qibo::test;

namespace {

class BitmapPlugInTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    StartLog();
    auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
    ASSERT_NE(plugIns, nullptr);
    plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_IO_PLUGIN_DIR);
    ASSERT_TRUE(qiBO_LoadPlugIn("qiboIO.plug"));
  }
  template <class T>
  static Ref<T> Make(const char* className) {
    return qibo::CreateAs<T>(qiBO_FindClassDescByName(className));
  }
  static void Put(const std::string& name, const Bytes& bytes) {
    PutFile(name, std::string(bytes.begin(), bytes.end()));
  }
  static int CountLogged(const std::string& text) {
    int count = 0;
    for (int i = 0; i < qiBO_GetErrorsCount(); ++i)
      if (std::string(qiBO_GetErrorNo(i)->message) == text) ++count;
    return count;
  }
  // Whether a message logged from record first on begins with start and
  // holds text.
  static bool LoggedSince(int first, const std::string& start, const std::string& text) {
    for (int i = first; i < qiBO_GetErrorsCount(); ++i) {
      const std::string message = qiBO_GetErrorNo(i)->message;
      if (message.rfind(start, 0) == 0 && message.find(text) != std::string::npos) return true;
    }
    return false;
  }
  static Ref<CTTexture> Texture(const LFB& lfb) {
    Ref<CTTexture> texture = qibo::Create<CTTexture>();
    texture->SetData(std::make_unique<LFB>(lfb));
    return texture;
  }
};

}  // namespace

TEST_F(BitmapPlugInTest, ClassesAreRegisteredWithTheirExtensions) {
  struct Case {
    const char* name;
    const char* desc;
    std::vector<std::string> extensions;
  } cases[] = {{"CTTargaImport", "Targa Importer", {"TGA", "VST", "WIN"}},
               {"CTTargaExport", "Targa Exporter", {"TGA"}},
               {"CTBMPImport", "BMP Importer", {"BMP", "DIB"}},
               {"CTSGIImport", "SGI Importer", {"SGI", "INT", "RGB", "RGBA"}},
               {"CTCELImport", "CEL Importer", {"CEL"}},
               {"CTPBMExport", "PBM Exporter", {"PPM", "PBM", "PNM"}},
               {"CT3DFImport", "3DF Importer", {"3DF"}},
               {"CT3DFExport", "3DF Exporter", {"3DF"}},
               {"CTJpegImport", "JPEG Importer", {"JPEG", "JPG"}},
               {"CTJpegExport", "JPEG Exporter", {"JPEG", "JPG"}}};
  for (const Case& c : cases) {
    ClassDesc* cd = qiBO_FindClassDescByName(c.name);
    ASSERT_NE(cd, nullptr) << c.name;
    EXPECT_EQ(cd->GetDesc(), c.desc);
    EXPECT_EQ(cd->GetURL(), "qiboIO.plug");
    Ref<CTImportExport> io = Make<CTImportExport>(c.name);
    ASSERT_TRUE(io) << c.name;
    std::vector<std::string> extensions;
    for (int i = 0; i < io->GetExtensionCount(); ++i) extensions.push_back(io->GetExtensionNo(i).c_str());
    EXPECT_EQ(extensions, c.extensions) << c.name;
  }
  EXPECT_EQ(Make<CTInterface>("CTJpegExport")->GetPropertyByName("Quality").ToString(), "75");
}

TEST_F(BitmapPlugInTest, ImportsGiveNamedTexturesWithAttributes) {
  Bytes targa, jpeg;
  qibo::io::EncodeTarga(Gradient(3, 2, true, false), true, targa);
  std::string why;
  ASSERT_TRUE(qibo::io::EncodeJpeg(Smooth(8, 8, true), 90, jpeg, why));
  struct Case {
    const char* file;
    Bytes bytes;
    int alphaDepth, colorDepth;
    bool grey;
  } cases[] = {{"a.tga", targa, 0, 11, false},
               {"b.TGA", Targa(2, 1, 1, 16, 1, {0xFF, 0xFF}), 1, 5, false},
               {"c.sgi", SgiSharedRun(2, 2, 4), 8, 8, false},
               {"d.cel", Cel(1, 1, 0, {0}), 0, 8, false},
               {"e.3df", Tdf("ai44", 1, 1, 1, {0x5A}), 4, 4, true},
               {"f.jpg", jpeg, 0, 8, true},
               {"g.bmp", Bmp(1, 1, [](int, int) { return 0x123456u; }), 0, 8, false}};
  Ref<CTBitmapIO> io = qibo::Create<CTBitmapIO>();
  for (const Case& c : cases) {
    Put(c.file, c.bytes);
    ASSERT_TRUE(io->Import(c.file)) << c.file << ": " << io->LastErrorMsg().c_str();
    CTTexture* texture = io->GetTexture();
    EXPECT_STREQ(texture->GetName(), c.file);
    EXPECT_EQ(texture->GetAlphaDepth(), c.alphaDepth) << c.file;
    EXPECT_EQ(texture->GetColorDepth(), c.colorDepth) << c.file;
    EXPECT_EQ(texture->GetSwitch(3), c.grey) << c.file;
    EXPECT_EQ(texture->GetMipLevels(), 1) << c.file;
  }
}

TEST_F(BitmapPlugInTest, RefusalsLogTheFormatsMessageAndKeepNoTexture) {
  struct Case {
    const char* importer;
    const char* file;
    Bytes bytes;  // empty: no file
    const char* logged;
  } cases[] = {
      {"CTTargaImport", "bad.tga", Targa(2, 1, 1, 12, 0, {1, 2}), "Unsupported bit depth"},
      {"CTTargaImport", "none.tga", {}, "File not found: none.tga"},
      {"CTSGIImport", "two.sgi", SgiHeader(0, 1, 3, 1, 1, 2), "Unsupported number of channels: two.sgi"},
      {"CTSGIImport", "none.sgi", {}, "File not found: none.sgi"},
      {"CTCELImport", "wide.cel", Cel(10001, 1, 0, {}), "Unsupported format"},
      {"CT3DFImport", "old.3df", Bytes{'3', 'd', 'f', '\n'}, "Only 3DF v1.1 supported"},
      {"CTJpegImport", "none.jpg", {}, "File not found: none.jpg"},
      {"CTJpegImport", "cut.jpg", Bytes{0xFF, 0xD8, 0xFF}, "Premature end of JPEG file"}};
  for (const Case& c : cases) {
    if (!c.bytes.empty()) Put(c.file, c.bytes);
    Ref<CTBitmapImport> importer = Make<CTBitmapImport>(c.importer);
    ASSERT_TRUE(importer) << c.importer;
    const int before = CountLogged(c.logged);
    EXPECT_FALSE(importer->Import(c.file)) << c.file;
    EXPECT_EQ(importer->GetTexture(), nullptr) << c.file;
    EXPECT_EQ(CountLogged(c.logged), before + 1) << c.file;
  }
}

TEST_F(BitmapPlugInTest, ExportsReplaceWholeFilesOrLeaveThemAlone) {
  const LFB picture = Gradient(4, 4, true, false);
  Ref<CTTexture> texture = Texture(picture);
  Ref<CTBitmapExport> targa = Make<CTBitmapExport>("CTTargaExport");
  ASSERT_TRUE(targa->Export("out.tga", texture.Get()));
  Bytes expected;
  qibo::io::EncodeTarga(picture, true, expected);
  EXPECT_EQ(GetFile("out.tga"), std::string(expected.begin(), expected.end()));
  // A read-only file is not replaced, and no temporary file is left.
  PutFile("kept.tga", "old");
  ASSERT_EQ(chmod("kept.tga", 0444), 0);
  EXPECT_FALSE(targa->Export("kept.tga", texture.Get()));
  EXPECT_EQ(GetFile("kept.tga"), "old");
  Ref<CTTexture> odd = Texture(Gradient(3, 2, false, false));  // 3DF cannot describe 3 x 2
  // A failed export says why, in the exporter's own message (Targa has
  // none) and in the framework's: a missing folder, a directory in the way,
  // a full disk (a file size limit stands in for it here), a read-only
  // folder (which only a user other than root meets).
  for (const char* dir : {"taken.tga", "taken.ppm", "taken.3df", "taken.jpg", "locked"})
    ASSERT_EQ(mkdir(dir, 0755), 0) << dir;
  ASSERT_EQ(chmod("locked", 0555), 0);
  const struct Exporter {
    const char* name;
    const char* ext;
    const char* own;  // the exporter's own message, before the file name
  } exporters[] = {{"CTTargaExport", "tga", nullptr},
                   {"CTPBMExport", "ppm", "Unable to create file: "},
                   {"CT3DFExport", "3df", "Unable to create file: "},
                   {"CTJpegExport", "jpg", "Unable to create file: "}};
  const struct Cause {
    const char* stem;
    const char* why;
    bool fullDisk;
  } causes[] = {{"no/dir", "No such file or directory", false},
                {"taken", "not a regular file", false},
                {"full", "File too large", true},
                {"locked/file", "Permission denied", false}};
  for (const Exporter& e : exporters) {
    for (const Cause& c : causes) {
      if (geteuid() == 0 && std::string(c.stem) == "locked/file") continue;  // root writes anywhere
      const std::string file = std::string(c.stem) + "." + e.ext;
      SCOPED_TRACE(std::string(e.name) + " to " + file);
      Ref<CTBitmapExport> exporter = Make<CTBitmapExport>(e.name);
      const int logged = qiBO_GetErrorsCount();
      rlimit before{};
      if (c.fullDisk) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit small = before;
        small.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &small);
      }
      EXPECT_FALSE(exporter->Export(file.c_str(), texture.Get()));
      if (c.fullDisk) setrlimit(RLIMIT_FSIZE, &before);
      EXPECT_TRUE(LoggedSince(logged, "Failed to export to file: " + file + " (", c.why));
      if (e.own) {
        EXPECT_TRUE(LoggedSince(logged, e.own + file + " (", c.why));
      }
    }
  }
  Ref<CTBitmapExport> tdf = Make<CTBitmapExport>("CT3DFExport");
  const int before = CountLogged("Picture size not supported by 3DF: odd.3df");
  EXPECT_FALSE(tdf->Export("odd.3df", odd.Get()));
  EXPECT_EQ(CountLogged("Picture size not supported by 3DF: odd.3df"), before + 1);
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator("."))
    files += entry.is_regular_file();
  EXPECT_EQ(files, 2);  // out.tga and kept.tga
}

TEST_F(BitmapPlugInTest, JpegQualityChangesTheFile) {
  Ref<CTTexture> texture = Texture(Gradient(32, 32, false, false));
  Ref<CTBitmapExport> jpeg = Make<CTBitmapExport>("CTJpegExport");
  ASSERT_TRUE(jpeg->Export("q75.jpg", texture.Get()));
  jpeg->GetPropertyByName("Quality").FromString("10");
  ASSERT_TRUE(jpeg->Export("q10.jpg", texture.Get()));
  EXPECT_LT(GetFile("q10.jpg").size(), GetFile("q75.jpg").size());
}

TEST_F(BitmapPlugInTest, PackagesServeTheImportersThatOpenThroughTheFileManager) {
  const Bytes targa = Targa(2, 2, 1, 24, 0, {1, 2, 3, 4, 5, 6});
  const Bytes sgi = SgiSharedRun(2, 2, 1);
  qibo::PackageWriter package;
  ASSERT_TRUE(
      package.Add("packed.tga", std::string_view(reinterpret_cast<const char*>(targa.data()), targa.size())));
  ASSERT_TRUE(
      package.Add("packed.sgi", std::string_view(reinterpret_cast<const char*>(sgi.data()), sgi.size())));
  ASSERT_TRUE(package.WriteFile("pictures.vdl"));
  auto* files = qibo::GetService<CTFileManager>();
  ASSERT_NE(files, nullptr);
  ASSERT_TRUE(files->AddPackage("pictures.vdl"));
  Ref<CTBitmapImport> targaImport = Make<CTBitmapImport>("CTTargaImport");
  ASSERT_TRUE(targaImport->Import("packed.tga"));
  EXPECT_EQ(targaImport->GetTexture()->GetData()->GetPixel(1, 0), 0xFF060504u);
  // SGI files are read from the plain path only.
  Ref<CTBitmapImport> sgiImport = Make<CTBitmapImport>("CTSGIImport");
  EXPECT_FALSE(sgiImport->Import("packed.sgi"));
  EXPECT_EQ(CountLogged("File not found: packed.sgi"), 1);
}
