// 3D Studio files written byte by byte: what the importer of qiboIO.plug
// builds of them, and what it refuses of broken ones.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>

#include "core/geometry/CTPointShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/io/CT3DImport.h"
#include "core/kernel/ClassApi.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTLight.h"
#include "plugins/io/ModelCodec.h"
#include "tests/io/ModelFixture.h"
#include "tests/io/PictureBytes.h"
#include "tests/support/Files.h"
#include "tests/support/Studio3DS.h"

using namespace qibo::test;

namespace {

// File (x, y, z) in the engine: (x, z, y).
Vector3 Engine(const float* v, float scale = 1.0f) { return Vector3(v[0], v[2], v[1]) * scale; }

void PutRoom() {
  const std::vector<uint8_t> room = RoomScene3DS();
  PutFile("room.3ds", std::string(room.begin(), room.end()));
  const Bytes wood = Targa(2, 2, 2, 24, 0x20, Bytes(12, 0x80));
  PutFile("wood.tga", std::string(wood.begin(), wood.end()));
}

std::vector<std::string> Names(CTGroup* group) {
  std::vector<std::string> names;
  for (int i = 0; i < group->NumChildren(); ++i) names.emplace_back(group->GetChild(i)->GetName());
  return names;
}

class Model3DSTest : public ModelFixture {};

TEST_F(Model3DSTest, Room_BecomesTheExpectedTree) {
  PutRoom();
  Ref<CTGroup> root = Import("room.3ds");
  ASSERT_TRUE(root);
  EXPECT_EQ(Names(root.Get()), (std::vector<std::string>{"Plane02", "Light01", "Camera01", "Arm"}));
  auto* arm = qibo::Cast<CTGroup>(root->FindChildByName("Arm"));
  ASSERT_NE(arm, nullptr);
  ASSERT_EQ(arm->NumChildren(), 1);
  auto* box = qibo::Cast<CTDrawable>(arm->GetChild(0));
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(box->GetName(), "Box01");
  ASSERT_NE(box->GetShape(), nullptr);
  EXPECT_STREQ(box->GetShape()->GetName(), "Box01 (room)");
  EXPECT_NE(box->GetBoundingVolume(), nullptr);
  EXPECT_NE(arm->GetBoundingVolume(), nullptr);

  // Every face where the file put it, turned so that it faces outwards:
  // the axes swapped and the winding reversed.
  const auto faces = WorldFaces(*box);
  ASSERT_EQ(faces.size(), 12u);
  const Vector3 centre(0, 1, 0);
  for (size_t f = 0; f < faces.size(); ++f) {
    const Vector3 normal = (faces[f][1] - faces[f][0]).Cross(faces[f][2] - faces[f][0]);
    const Vector3 mid = (faces[f][0] + faces[f][1] + faces[f][2]) * (1.0f / 3.0f);
    EXPECT_GT(normal.Dot(mid - centre), 0.0f) << "face " << f;
    // The reversed file face (c, b, a).
    const bool found =
        std::any_of(std::begin(kRoomBoxFaces), std::end(kRoomBoxFaces), [&](const uint16_t* file) {
          for (int turn = 0; turn < 3; ++turn) {
            bool same = true;
            for (int i = 0; i < 3 && same; ++i)
              same = (faces[f][i] - Engine(kRoomBoxVertices[file[(2 - i + turn) % 3]])).Length() < 1e-4f;
            if (same) return true;
          }
          return false;
        });
    EXPECT_TRUE(found) << "face " << f << " matches no face of the file";
  }
  // The object matrix and the pivot place the drawable; its faces stay.
  ExpectNear(box->GetPosition(), Vector3(0.5f, 1.0f, 0.0f), "Box01 placement");

  auto* plane = qibo::Cast<CTDrawable>(root->GetChild(0));
  ASSERT_NE(plane, nullptr);
  EXPECT_EQ(WorldFaces(*plane).size(), 2u);
  auto* light = qibo::Cast<CTLight>(root->GetChild(1));
  ASSERT_NE(light, nullptr);
  ExpectNear(light->GetPosition(), Vector3(4, 6, -4), "light position");
  ExpectNear(light->GetColor(), Vector3(1.0f, 0.5f, 0.25f), "light colour");
  auto* camera = qibo::Cast<CTCamera>(root->GetChild(2));
  ASSERT_NE(camera, nullptr);
  ExpectNear(camera->GetPosition(), Vector3(0, 3, -10), "camera position");
  ExpectNear(camera->GetDirection(), Vector3(0, -2, 10).Normalized(), "camera direction");
  EXPECT_NEAR(camera->GetFOV(), 39.6, 0.05);
}

TEST_F(Model3DSTest, Room_MaterialsCarryTheFilesColoursAndMaps) {
  PutRoom();
  Ref<CTGroup> root = Import("room.3ds");
  ASSERT_TRUE(root);
  CTMaterial* red = qiBO_FindMaterial("Red (room)");
  ASSERT_NE(red, nullptr);
  ExpectNear(red->m_ambient, Vector3(0.2f, 0, 0), "ambient");
  ExpectNear(red->m_diffuse, Vector3(1, 0, 0), "diffuse");
  ExpectNear(red->m_specular, Vector3(1, 1, 1), "specular");
  ExpectNear(red->m_emissive, Vector3(0.1f, 0, 0), "emissive");
  EXPECT_TRUE(red->m_useSpecular && red->m_useEmissive && red->m_useAlpha && red->m_doubleSided);
  EXPECT_DOUBLE_EQ(red->m_power, 50.0);
  EXPECT_NEAR(red->m_alpha, 0.75, 1e-6);
  EXPECT_EQ(red->GetTexture(), nullptr);

  CTMaterial* wood = qiBO_FindMaterial("Wood (room)");
  ASSERT_NE(wood, nullptr);
  ASSERT_NE(wood->GetTexture(), nullptr);
  ExpectNear(wood->m_diffuse, Vector3(1, 1, 1), "a mapped material is white");

  // Faces take their group's material; a group that covers the whole shape
  // also gives it to the shape, the default one when the file lacks it.
  auto* box = qibo::Cast<CTDrawable>(root->FindChildByName("Box01"));
  ASSERT_NE(box, nullptr);
  DRenderShape* mesh = box->GetShape()->GetRenderShape();
  int reds = 0, woods = 0;
  for (int f = 0; f < mesh->GetFaceCount(); ++f) {
    reds += mesh->GetFace(f)->GetMaterial() == red;
    woods += mesh->GetFace(f)->GetMaterial() == wood;
  }
  EXPECT_EQ(reds, 6);
  EXPECT_EQ(woods, 6);
  EXPECT_EQ(box->GetShape()->GetMaterial(), nullptr);
  auto* plane = qibo::Cast<CTDrawable>(root->FindChildByName("Plane02"));
  EXPECT_EQ(plane->GetShape()->GetMaterial(), qiBO_GetDefaultMaterial());
  EXPECT_EQ(CountLogged("Unknown material: Missing (room)"), 1);
  EXPECT_TRUE(Errors().empty()) << Errors()[0];
}

TEST_F(Model3DSTest, ImportedObjects_ListEverythingMadeAndScalingMultipliesCoordinates) {
  PutRoom();
  Ref<CTGroup> root = qibo::Create<CTGroup>();
  Ref<CT3DImport> importer = qibo::CreateAs<CT3DImport>(qiBO_FindClassDescByName("CT3DSImport"));
  ASSERT_TRUE(importer);
  importer->SetRoot(root.Get());
  importer->SetScaling(2.0);
  ASSERT_TRUE(importer->Import("room.3ds"));
  std::vector<std::string> listed;
  for (int i = 0; i < importer->GetImportedObjectsCount(); ++i)
    listed.push_back(qibo::Cast<CTNamed>(importer->GetImportedObjectNo(i))->GetName());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"Arm", "Box01", "Box01 (room)", "Camera01", "Light01",
                                              "Plane02", "Plane02 (room)", "wood"}));

  auto* box = qibo::Cast<CTDrawable>(root->FindChildByName("Box01"));
  ASSERT_NE(box, nullptr);
  std::vector<Vector3> corners;
  for (const auto& face : WorldFaces(*box)) corners.insert(corners.end(), face.begin(), face.end());
  for (const auto& v : kRoomBoxVertices) {
    const Vector3 expected = Engine(v, 2.0f);  // (1, 1, 2) becomes (2, 4, 2)
    EXPECT_TRUE(std::any_of(corners.begin(), corners.end(),
                            [&](const Vector3& c) { return (c - expected).Length() < 1e-4f; }));
  }
  ExpectNear(qibo::Cast<CTEntity>(root->FindChildByName("Light01"))->GetPosition(), Vector3(8, 12, -8),
             "scaled light");
}

TEST_F(Model3DSTest, ImportMask_SelectsLightsCamerasMaterialsAndMaps) {
  PutRoom();
  struct Case {
    uint32_t mask;
    bool light, camera, materials, map;
  } cases[] = {
      {0, false, false, false, false}, {2, true, false, false, false}, {4, false, true, false, false},
      {32, false, false, true, false}, {48, false, false, true, true}, {255, true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    const int unknownBefore = CountLogged("Unknown material");
    Ref<CTGroup> root = Import("room.3ds", c.mask);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->FindChildByName("Light01") != nullptr, c.light);
    EXPECT_EQ(root->FindChildByName("Camera01") != nullptr, c.camera);
    EXPECT_NE(root->FindChildByName("Box01"), nullptr);
    CTMaterial* wood = qiBO_FindMaterial("Wood (room)");
    EXPECT_EQ(wood != nullptr, c.materials);
    EXPECT_EQ(wood && wood->GetTexture(), c.map);
    EXPECT_EQ(CountLogged("Unknown material") > unknownBefore, c.materials);
    // Each case starts without the materials of the one before.
    if (CTMaterial* red = qiBO_FindMaterial("Red (room)")) red->UnregisterWithService();
    if (wood) wood->UnregisterWithService();
  }
}

// Broken files read as far as they are sound: the damage is reported and
// left out, nothing outside the bytes is read (the sanitizers watch), and
// what is kept is no more than the file holds.
TEST(Read3DSTest, DamagedChunksAreRefusedOrClippedWithAWarning) {
  const auto object = [](Writer3DS& w, const char* name, const std::function<void(Writer3DS&)>& mesh) {
    w.Begin(0x4D4D).Begin(0x3D3D).Begin(0x4000).Text(name).Begin(0x4100);
    mesh(w);
    w.End().End().End().End();
  };
  const auto triangle = [](Writer3DS& w) {
    w.Begin(0x4110).U16(3).Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0).End();
  };
  const auto nodes = [](Writer3DS& w, uint16_t parent) {
    w.Begin(0x4D4D).Begin(0xB000);
    w.Begin(0xB002).Begin(0xB030).U16(0).End().Begin(0xB010).Text("G").U16(0).U16(0).U16(parent).End().End();
    w.End().End();
  };
  using Check = std::function<void(const qibo::io::DModel&)>;
  struct Case {
    const char* name;
    std::function<void(Writer3DS&)> write;
    const char* warning;
    Check check;
  } cases[] = {
      {"a chunk shorter than its header",
       [](Writer3DS& w) { w.Begin(0x4D4D).Begin(0x3D3D).U16(0x4000).U32(3).Text("Box").End().End(); },
       "shorter than its header", [](const auto& m) { EXPECT_TRUE(m.meshes.empty()); }},
      {"a chunk past its parent",
       [&](Writer3DS& w) {
         object(w, "Box", triangle);
         w.Patch32(6 + 6 + 6 + 4 + 6 + 2, 5000);  // the vertex chunk's length
       },
       "runs past its parent", [](const auto& m) { EXPECT_EQ(m.meshes.at(0).positions.size(), 3u); }},
      {"a main chunk past the file",
       [&](Writer3DS& w) {
         object(w, "Box", triangle);
         w.Patch32(2, 100000);
       },
       "shorter than its main chunk", [](const auto& m) { EXPECT_EQ(m.meshes.size(), 1u); }},
      {"a vertex count past its chunk",
       [&](Writer3DS& w) {
         object(w, "Box", [](Writer3DS& m) { m.Begin(0x4110).U16(65535).Vec(1, 2, 3).End(); });
       },
       "vertex count 65535 does not fit",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).positions.size(), 1u); }},
      {"a face count past its chunk",
       [&](Writer3DS& w) {
         object(w, "Box", [&](Writer3DS& m) {
           triangle(m);
           m.Begin(0x4120).U16(1000).U16(0).U16(1).U16(2).U16(0).End();
         });
       },
       "face count 1000 does not fit", [](const auto& m) { EXPECT_EQ(m.meshes.at(0).faces.size(), 1u); }},
      {"faces past the vertices",
       [&](Writer3DS& w) {
         object(w, "Box", [&](Writer3DS& m) {
           triangle(m);
           m.Begin(0x4120).U16(2).U16(0).U16(1).U16(7).U16(0).U16(0).U16(1).U16(2).U16(0);
           m.Begin(0x4130).Text("M").U16(2).U16(0).U16(1).End();
           m.Begin(0x4150).U32(5).U32(6).End().End();
         });
       },
       "1 faces refer to missing vertices",
       [](const auto& m) {
         const auto& mesh = m.meshes.at(0);
         ASSERT_EQ(mesh.faces.size(), 1u);
         EXPECT_EQ(mesh.smoothing, std::vector<uint32_t>{6});  // the kept face's
         EXPECT_EQ(mesh.groups.at(0).faces, std::vector<uint32_t>{0});
       }},
      {"a material group past the faces",
       [&](Writer3DS& w) {
         object(w, "Box", [&](Writer3DS& m) {
           triangle(m);
           m.Begin(0x4120).U16(1).U16(0).U16(1).U16(2).U16(0);
           m.Begin(0x4130).Text("M").U16(2).U16(0).U16(9).End().End();
         });
       },
       "material groups name 1 missing faces",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).groups.at(0).faces, std::vector<uint32_t>{0}); }},
      {"texture coordinates beyond the vertices",
       [&](Writer3DS& w) {
         object(w, "Box", [&](Writer3DS& m) {
           triangle(m);
           m.Begin(0x4140).U16(4).Vec(0, 0, 0).Vec(0, 0, 0).F32(0).F32(0).End();
         });
       },
       "Error in UV coordinates", [](const auto& m) { EXPECT_EQ(m.meshes.at(0).positions.size(), 4u); }},
      {"a value that is not finite",
       [&](Writer3DS& w) {
         object(w, "Box", [](Writer3DS& m) { m.Begin(0x4110).U16(1).F32(NAN).F32(INFINITY).F32(1).End(); });
       },
       "2 values that are not finite",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).positions.at(0).z, 1.0f); }},
      {"a name without its NUL",
       [](Writer3DS& w) {
         w.Begin(0x4D4D).Begin(0x3D3D).Begin(0x4000).U8('B').U8('o').U8('x').End().End().End();
       },
       "has no end", [](const auto& m) { EXPECT_TRUE(m.objects.empty()); }},
      {"a parent after its node", [&](Writer3DS& w) { nodes(w, 1); }, "parent 1 is not an earlier node",
       [](const auto& m) { EXPECT_EQ(m.nodes.at(0).parent, -1); }},
      {"a node its own parent", [&](Writer3DS& w) { nodes(w, 0); }, "parent 0 is not an earlier node",
       [](const auto& m) { EXPECT_EQ(m.nodes.at(0).parent, -1); }},
      {"a parent out of range", [&](Writer3DS& w) { nodes(w, 777); }, "parent 777 is not an earlier node",
       [](const auto& m) { EXPECT_EQ(m.nodes.at(0).parent, -1); }},
      {"containers nested too deep",
       [](Writer3DS& w) {
         w.Begin(0x4D4D);
         for (int i = 0; i < 40; ++i) w.Begin(0x3D3D);
         w.Begin(0x4000).Text("Deep").End();
         for (int i = 0; i < 41; ++i) w.End();
       },
       "nested deeper than 16 levels", [](const auto& m) { EXPECT_TRUE(m.objects.empty()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Writer3DS w;
    c.write(w);
    // An exact-size copy, so that a read past the end is caught.
    const std::vector<uint8_t> bytes = w.Bytes();
    qibo::io::DModel model;
    std::string why;
    ASSERT_TRUE(qibo::io::Read3DS(bytes.data(), bytes.size(), 255, model, why)) << why;
    std::string warnings;
    for (const std::string& text : model.warnings) warnings += text + "\n";
    EXPECT_NE(warnings.find(c.warning), std::string::npos) << warnings;
    c.check(model);
  }
}

TEST(Read3DSTest, FilesThatAreNot3DStudioAreRefused) {
  const std::vector<std::vector<uint8_t>> files = {
      {},
      {0x4D, 0x4D, 6, 0, 0},             // shorter than a header
      {0x3D, 0x3D, 6, 0, 0, 0},          // the editor chunk first
      {0x4D, 0x4D, 5, 0, 0, 0, 0, 0},    // a main chunk shorter than its header
      {'q', 'i', 'b', 'o', 12, 0, 0, 0}  // a chunk stream
  };
  for (const auto& file : files) {
    qibo::io::DModel model;
    std::string why;
    EXPECT_FALSE(qibo::io::Read3DS(file.data(), file.size(), 255, model, why));
    EXPECT_EQ(why, "Not a valid 3DS file: ");
  }
}

TEST_F(Model3DSTest, RefusedFiles_LeaveTheRootAsItWas) {
  PutFile("editor.3ds", std::string("\x3D\x3D\x06\x00\x00\x00", 6));
  struct Case {
    const char* file;
    const char* message;
  } cases[] = {{"editor.3ds", "Not a valid 3DS file: editor.3ds"},
               {"missing.3ds", "File not found: missing.3ds"}};
  for (const Case& c : cases) {
    Ref<CTGroup> root = qibo::Create<CTGroup>();
    Ref<CTGroup> kept = qibo::Create<CTGroup>();
    kept->SetParent(root.Get());
    Ref<CT3DImport> importer = qibo::CreateAs<CT3DImport>(qiBO_FindClassDescByName("CT3DSImport"));
    importer->SetRoot(root.Get());
    EXPECT_FALSE(importer->Import(c.file));
    EXPECT_EQ(CountLogged(c.message), 1) << c.file;
    EXPECT_EQ(root->NumChildren(), 1);
    EXPECT_EQ(importer->GetImportedObjectsCount(), 0);
  }
}

// Maps are read from the model's folder only; names that climb out of it
// or name another place are refused, even when the file exists there.
TEST_F(Model3DSTest, TextureMapsOutsideTheModelsFolder_AreRefused) {
  ASSERT_EQ(mkdir("models", 0755), 0);
  const Bytes picture = Targa(2, 1, 1, 24, 0x20, Bytes(3, 0x40));
  PutFile("secret.tga", std::string(picture.begin(), picture.end()));
  PutFile("models/inside.tga", std::string(picture.begin(), picture.end()));
  struct Case {
    const char* map;
    bool loaded;
  } cases[] = {{"inside.tga", true},       {"../secret.tga", false},  {"..\\secret.tga", false},
               {"/tmp/secret.tga", false}, {"C:\\secret.tga", false}, {"sub/../../secret.tga", false},
               {"\\secret.tga", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.map);
    Writer3DS w;
    w.Begin(0x4D4D).Begin(0x3D3D).Begin(0xAFFF).Named(0xA000, "Mapped");
    w.Begin(0xA200).Named(0xA300, c.map).End().End().End().End();
    PutFile("models/mapped.3ds", std::string(w.Bytes().begin(), w.Bytes().end()));
    ASSERT_TRUE(Import("models/mapped.3ds"));
    CTMaterial* material = qiBO_FindMaterial("Mapped (mapped)");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->GetTexture() != nullptr, c.loaded);
    EXPECT_EQ(CountLogged(std::string("Texture map outside the model's folder refused: ") + c.map),
              c.loaded ? 0 : 1);
    material->UnregisterWithService();
  }
}

// Two key-frame nodes that name one dummy: the second may not make it its
// own parent.
TEST_F(Model3DSTest, NodeNamingItsOwnParent_StaysWhereItIs) {
  Writer3DS w;
  w.Begin(0x4D4D).Begin(0xB000);
  for (uint16_t id = 0; id < 2; ++id) {
    w.Begin(0xB002).Begin(0xB030).U16(id).End();
    w.Begin(0xB010).Text("$$$DUMMY").U16(0).U16(0).U16(id == 0 ? 0xFFFF : 0).End().End();
  }
  w.End().End();
  PutFile("loop.3ds", std::string(w.Bytes().begin(), w.Bytes().end()));
  Ref<CTGroup> root = Import("loop.3ds");
  ASSERT_TRUE(root);
  ASSERT_EQ(root->NumChildren(), 1);
  EXPECT_EQ(qibo::Cast<CTGroup>(root->GetChild(0))->NumChildren(), 0);
  EXPECT_EQ(CountLogged("cannot be its own parent"), 1);
}

// The 3D Studio samples Debian ships with assimp (package
// assimp-testmodels): each imports, draws faces and logs no error.
TEST_F(Model3DSTest, DistributionSamples_ImportWithoutErrors) {
  const std::string folder = "/usr/share/assimp/models/3DS/";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "assimp-testmodels is not installed";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".3ds") == std::string::npos && name.find(".3DS") == std::string::npos &&
        name != "testFormatDetection")
      continue;
    SCOPED_TRACE(name);
    ++files;
    Ref<CTGroup> root = qibo::Create<CTGroup>();
    Ref<CT3DImport> importer = qibo::CreateAs<CT3DImport>(qiBO_FindClassDescByName("CT3DSImport"));
    importer->SetRoot(root.Get());
    ASSERT_TRUE(importer->Import(entry.path().c_str()));
    int faces = 0;
    for (int i = 0; i < importer->GetImportedObjectsCount(); ++i)
      if (auto* drawable = qibo::Cast<CTDrawable>(importer->GetImportedObjectNo(i)))
        faces += drawable->GetShape()->GetRenderShape()->GetFaceCount();
    EXPECT_GT(faces, 0);
  }
  EXPECT_EQ(files, 10);
  EXPECT_TRUE(Errors().empty()) << Errors()[0];
}

}  // namespace
