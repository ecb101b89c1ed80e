#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/scene/math/Vector3.h"

// The model readers of the IO plug-in: pure functions over bytes in memory
// that describe a model in the file's own terms (file coordinates, names as
// stored). The builder (ModelBuilder.h) turns a description into engine
// objects only once the whole file has been read, so a broken file never
// leaves half a scene behind. The fuzz targets and the benchmarks share
// them with the importers.
//
// A reader answers false with the reason in why when the file is not of its
// format; damage inside a file of its format is repaired by leaving out the
// damaged part, with a warning in DModel::warnings. Nothing is read outside
// the given bytes, and what a reader keeps is bounded by what the bytes
// hold.
namespace qibo::io {

// Warnings a model keeps; further ones are only counted.
constexpr size_t kMaxModelWarnings = 32;

struct DModelMap {
  std::string file;  // as stored; empty: no map
};

// Colours are r, g, b in 0..1; fractions are 0..1.
struct DModelMaterial {
  std::string name;
  Vector3 ambient{0.0f, 0.0f, 0.0f};
  Vector3 diffuse{0.8f, 0.8f, 0.8f};
  Vector3 specular{0.0f, 0.0f, 0.0f};
  bool hasAmbient = false;
  bool hasDiffuse = false;
  bool hasSpecular = false;
  float shininess = 0.0f;
  float shininessStrength = 0.0f;
  float transparency = 0.0f;
  float selfIllumination = 0.0f;
  bool twoSided = false;
  DModelMap texture;
  DModelMap reflection;
};

// Faces that share a material, by index into the mesh's faces.
struct DModelGroup {
  std::string material;
  std::vector<uint32_t> faces;
};

struct DModelMesh {
  std::string name;
  std::vector<Vector3> positions;              // file coordinates
  std::vector<float> uv;                       // u, v per vertex; may cover fewer vertices
  std::vector<std::array<uint32_t, 3>> faces;  // a, b, c as stored, each below the vertex count
  std::vector<uint32_t> smoothing;             // per face, or empty (all groups)
  std::vector<DModelGroup> groups;
  bool hasMatrix = false;
  float matrix[12] = {};  // three axes and a position, file coordinates
};

struct DModelLight {
  std::string name;
  Vector3 position;  // file coordinates
  Vector3 color{1.0f, 1.0f, 1.0f};
  bool spot = false;
  Vector3 target;  // of a spot light, file coordinates
  bool off = false;
};

struct DModelCamera {
  std::string name;
  Vector3 position;  // file coordinates
  Vector3 target;
  float bank = 0.0f;   // degrees
  float lens = 50.0f;  // millimetres
};

// A key-frame node: names an object (or, for a node of a mesh object, a
// dummy that becomes a group) and its parent among the nodes before it.
struct DModelNode {
  std::string name;         // from the node header: the object it stands for
  std::string instance;     // a new name for that object; empty: none
  bool mayBeDummy = false;  // a mesh object's node (not a light's or a camera's)
  int parent = -1;          // index into DModel::nodes, always below this node's; -1: none
  bool hasPivot = false;
  Vector3 pivot;  // file coordinates
};

struct DModel {
  enum class Kind : uint8_t { kMesh, kLight, kCamera };
  struct Object {
    Kind kind;
    uint32_t index;  // into meshes, lights or cameras
  };

  std::vector<DModelMaterial> materials;
  std::vector<DModelMesh> meshes;
  std::vector<DModelLight> lights;
  std::vector<DModelCamera> cameras;
  std::vector<Object> objects;  // in file order
  std::vector<DModelNode> nodes;
  // How face materials are found: 3D Studio names the materials of its own
  // file (qualified with the file's name, missing ones reported); ASCII
  // files name materials of the engine, found or made as named.
  bool qualifiedMaterials = true;

  std::vector<std::string> warnings;
  size_t suppressedWarnings = 0;

  void Warn(std::string text);
};

// 3D Studio files (.3ds, .prj, .mli); only the lights, cameras, materials
// and maps selected by the import mask are kept (the mask bits of the
// importer: 2 lights, 4 cameras, 16 maps, 32 materials).
bool Read3DS(const uint8_t* data, size_t size, uint32_t importMask, DModel& model, std::string& why);
// ASCII scene files (.asc) as 3D Studio exports them.
bool ReadASC(const uint8_t* data, size_t size, DModel& model, std::string& why);

}  // namespace qibo::io
