// ASCII scene files: the room of the 3D Studio tests written as 3D Studio
// exports it, and lines the importer refuses.
#include <algorithm>
#include <functional>
#include <string>

#include "core/geometry/DRenderShape.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/MaterialApi.h"
#include "plugins/io/ModelCodec.h"
#include "tests/io/ModelFixture.h"
#include "tests/io/PictureBytes.h"
#include "tests/support/Files.h"
#include "tests/support/Studio3DS.h"

using namespace qibo::test;

namespace {

// The meshes of the room; one vertex line with decimal commas, as some
// exporters write them.
std::string RoomASC() {
  std::string text = "Ambient light color: Red=0.3 Green=0.3 Blue=0.3\r\n\r\nNamed object: \"Box01\"\r\n";
  text += "Tri-mesh, Vertices: 8     Faces: 12\r\nVertex list:\r\n";
  char line[160];
  for (int i = 0; i < 8; ++i) {
    const float* v = kRoomBoxVertices[i];
    snprintf(line, sizeof line, "Vertex %d:  X: %.6f     Y: %.6f     Z: %.6f\r\n", i, v[0], v[1], v[2]);
    std::string vertex = line;
    if (i == 5) std::replace(vertex.begin(), vertex.end(), '.', ',');
    text += vertex;
  }
  text += "Face list:\r\n";
  for (int f = 0; f < 12; ++f) {
    const uint16_t* face = kRoomBoxFaces[f];
    snprintf(line, sizeof line,
             "Face %d:    A:%d B:%d C:%d AB:1 BC:1 CA:0\r\nMaterial:\"%s\"\r\nSmoothing:  %d\r\n", f, face[0],
             face[1], face[2], f < 6 ? "Red" : "Wood", f / 2 + 1);
    text += line;
  }
  text += "\r\nNamed object: \"Light01\"\r\nDirect light\r\nPosition:  X: 4 Y: -4 Z: 6\r\n";
  text += "\r\nNamed object: \"Plane02\"\r\nTri-mesh, Vertices: 4     Faces: 2\r\nVertex list:\r\n";
  text +=
      "Vertex 0: X:-3 Y:-3 Z:0\r\nVertex 1: X:3 Y:-3 Z:0\r\nVertex 2: X:3 Y:3 Z:0\r\nVertex 3: X:-3 Y:3 "
      "Z:0\r\n";
  text += "Face list:\r\nFace 0: A:0 B:1 C:2 AB:1 BC:1 CA:0\r\nFace 1: A:0 B:2 C:3 AB:1 BC:1 CA:0\r\n";
  return text;
}

// The corners of every face, each face starting at its smallest corner, in
// a fixed order: equal for equal meshes whatever order their faces take.
std::vector<std::array<float, 9>> Canonical(const std::vector<std::array<Vector3, 3>>& faces) {
  std::vector<std::array<float, 9>> result;
  for (const auto& face : faces) {
    const auto less = [](const Vector3& a, const Vector3& b) {
      return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
    };
    const int first = static_cast<int>(std::min_element(face.begin(), face.end(), less) - face.begin());
    std::array<float, 9> entry;
    for (int i = 0; i < 3; ++i) {
      const Vector3& v = face[(first + i) % 3];
      for (int k = 0; k < 3; ++k) entry[3 * i + k] = std::round(v[k] * 1000.0f) / 1000.0f;
    }
    result.push_back(entry);
  }
  std::sort(result.begin(), result.end());
  return result;
}

class ModelASCTest : public ModelFixture {};

TEST_F(ModelASCTest, Room_GivesTheSameMeshesAsThe3DStudioFile) {
  const std::vector<uint8_t> room = RoomScene3DS();
  PutFile("room.3ds", std::string(room.begin(), room.end()));
  PutFile("room.asc", RoomASC());
  Ref<CTGroup> studio = Import("room.3ds");
  Ref<CTGroup> ascii = Import("room.asc");
  ASSERT_TRUE(studio && ascii);
  // Meshes only: ASCII files bring no lights, cameras or key-frame nodes.
  ASSERT_EQ(ascii->NumChildren(), 2);
  for (const char* name : {"Box01", "Plane02"}) {
    SCOPED_TRACE(name);
    auto* fromStudio = qibo::Cast<CTDrawable>(studio->FindChildByName(name));
    auto* fromAscii = qibo::Cast<CTDrawable>(ascii->FindChildByName(name));
    ASSERT_TRUE(fromStudio && fromAscii);
    EXPECT_EQ(Canonical(WorldFaces(*fromAscii)), Canonical(WorldFaces(*fromStudio)));
    EXPECT_STREQ(fromAscii->GetShape()->GetName(), (std::string(name) + " (room)").c_str());
  }
  // Materials are the engine's, by the names the faces give.
  auto* box = qibo::Cast<CTDrawable>(ascii->FindChildByName("Box01"));
  DRenderShape* mesh = box->GetShape()->GetRenderShape();
  int reds = 0;
  for (int f = 0; f < mesh->GetFaceCount(); ++f)
    reds += mesh->GetFace(f)->GetMaterial() == qiBO_FindMaterial("Red");
  EXPECT_EQ(reds, 6);
  ASSERT_NE(qiBO_FindMaterial("Wood"), nullptr);
}

// A refused line or object is counted in a warning; the rest is read.
TEST(ReadASCTest, DamagedLinesAndAbsurdCountsAreRefused) {
  const std::string head = "Named object: \"Tri\"\nTri-mesh, Vertices: 3 Faces: 2\n";
  const std::string vertices = "Vertex 0: X:0 Y:0 Z:0\nVertex 1: X:1 Y:0 Z:0\nVertex 2: X:0 Y:1 Z:0\n";
  const std::string face = "Face 0: A:0 B:1 C:2\n";
  using Check = std::function<void(const qibo::io::DModel&)>;
  struct Case {
    const char* name;
    std::string text;
    const char* warning;  // "" for none
    Check check;
  } cases[] = {
      {"a vertex without Z", head + "Vertex 0: X:0 Y:0\nVertex 1: X:1 Y:0 Z:0\n",
       "1 vertex or face lines refused",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).positions.size(), 3u); }},
      {"a vertex past the count", head + vertices + "Vertex 3: X:9 Y:9 Z:9\n" + face,
       "1 vertex or face lines", [](const auto& m) { EXPECT_EQ(m.meshes.at(0).positions.size(), 3u); }},
      {"a face past the vertices", head + vertices + face + "Face 1: A:0 B:1 C:3\n", "1 vertex or face lines",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).faces.size(), 1u); }},
      {"a face given twice", head + vertices + face + face, "1 vertex or face lines",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).faces.size(), 1u); }},
      {"a face without C", head + vertices + "Face 0: A:0 B:1\nMaterial:\"Lost\"\n", "1 vertex or face lines",
       [](const auto& m) {
         EXPECT_TRUE(m.meshes.at(0).faces.empty());
         EXPECT_TRUE(m.meshes.at(0).groups.empty());  // the material line had no face
       }},
      {"an absurd vertex count",
       "Named object: \"Big\"\nTri-mesh, Vertices: 4000000000 Faces: 1\n" + vertices,
       "count missing or beyond", [](const auto& m) { EXPECT_TRUE(m.meshes.empty()); }},
      {"a missing face count", "Named object: \"Big\"\nTri-mesh, Vertices: 3\n" + vertices, "count missing",
       [](const auto& m) { EXPECT_TRUE(m.meshes.empty()); }},
      {"smoothing groups by number", head + vertices + face + "Smoothing: 1, 3\n", "",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).smoothing, std::vector<uint32_t>{5}); }},
      {"an object without quotes", "Named object: Box\nTri-mesh, Vertices: 0 Faces: 0\n", "",
       [](const auto& m) { EXPECT_EQ(m.meshes.at(0).name, "Unnamed Object"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qibo::io::DModel model;
    std::string why;
    const std::vector<uint8_t> bytes(c.text.begin(), c.text.end());
    ASSERT_TRUE(qibo::io::ReadASC(bytes.data(), bytes.size(), model, why)) << why;
    std::string warnings;
    for (const std::string& text : model.warnings) warnings += text + "\n";
    if (*c.warning)
      EXPECT_NE(warnings.find(c.warning), std::string::npos) << warnings;
    else
      EXPECT_EQ(warnings, "");
    c.check(model);
  }
  qibo::io::DModel model;
  std::string why;
  const std::string text = "Vertex 0: X:0 Y:0 Z:0\n";
  EXPECT_FALSE(qibo::io::ReadASC(reinterpret_cast<const uint8_t*>(text.data()), text.size(), model, why));
  EXPECT_EQ(why, "No object in ASC file: ");
}

}  // namespace
