// 3D Studio files (.3ds, .prj, .mli): a tree of chunks, little-endian.
// Every chunk starts with
//   0  u16  id
//   2  u32  length, the 6-byte header included
// and holds its data, then (for containers) its sub-chunks. Read here:
//   4D4D 3D3D 3DAA C23D 4F00 B000  containers
//   4000  object: NUL-terminated name, then 4100 mesh, 4600 light, 4700 camera
//   4100  mesh: 4110 vertices (u16 n, n x 3 f32), 4120 faces (u16 n, n x (3 u16,
//         u16 flags), then sub-chunks 4130 material group (name, u16 n, n u16
//         faces) and 4150 smoothing groups (u32 per face)), 4140 texture
//         coordinates (u16 n, n x 2 f32), 4160 matrix (3 axes, position: 12 f32)
//   4600  light: 3 f32 position; 0010/0011 colour, 4610 spot (3 f32 target),
//         4620 off
//   4700  camera: 3 f32 position, 3 f32 target, f32 bank (degrees), f32 lens (mm)
//   AFFF  material: A000 name; A010 A020 A030 ambient, diffuse, specular
//         (colour sub-chunk 0010: 3 f32, 0011: 3 u8; 0012/0013 the same,
//         gamma corrected); A040 A041 shininess and its strength, A050
//         transparency, A084 self-illumination (percentage sub-chunk 0030:
//         u16, 0031: f32); A081 two-sided; A200 texture and A220 reflection
//         map (A300 file name, A351 tiling)
//   B001-B007  key-frame nodes (B001 ambient, B004/B006 targets): B030 node
//         id (u16), B010 header (name, u16, u16, u16 parent id), B011
//         instance name, B013 pivot (3 f32)
// Anything else is skipped by its length.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "core/object/ByteIO.h"
#include "plugins/io/ModelCodec.h"

namespace qibo::io {

void DModel::Warn(std::string text) {
  if (warnings.size() < kMaxModelWarnings)
    warnings.push_back(std::move(text));
  else
    ++suppressedWarnings;
}

namespace {

constexpr uint32_t kMaskLights = 2;
constexpr uint32_t kMaskCameras = 4;
constexpr uint32_t kMaskMaps = 16;
constexpr uint32_t kMaskMaterials = 32;
// Containers in a well-formed file nest about six deep.
constexpr int kMaxDepth = 16;
constexpr size_t kHeader = 6;
constexpr uint16_t kNoParent = 0xFFFF;

std::string Hex(uint32_t id) {
  char text[16];
  snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

// Non-finite values become 0; counts them.
float Finite(float v, int& bad) {
  if (std::isfinite(v)) return v;
  ++bad;
  return 0.0f;
}

struct Chunk {
  uint16_t id;
  size_t begin;  // first byte after the header
  size_t end;    // one past the last byte (clipped to the parent)
};

// One node of the key-frame section as it is read.
struct NodeRecord {
  uint16_t kind = 0;  // the node chunk's id
  int id = -1;        // from B030; -1: its position among the nodes
  std::string name;
  std::string instance;
  int parentId = kNoParent;
  bool hasHeader = false;
  bool hasPivot = false;
  Vector3 pivot;
};

class Reader3DS {
 public:
  Reader3DS(const uint8_t* data, size_t size, uint32_t mask, DModel& model)
      : m_data(data), m_size(size), m_mask(mask), m_model(model) {}

  bool Read(std::string& why);

 private:
  // Calls visit(chunk, depth) for each sub-chunk in [begin, end). A length
  // below the header ends the walk; one past end is clipped to it.
  template <class Visit>
  void ForEach(size_t begin, size_t end, int depth, Visit&& visit);
  void Container(const Chunk& chunk, int depth);
  void Object(const Chunk& chunk, int depth);
  void Mesh(const std::string& name, const Chunk& chunk, int depth);
  void MeshChunk(DModelMesh& mesh, const Chunk& chunk, int depth);
  void Faces(DModelMesh& mesh, const Chunk& chunk, int depth);
  void FinishMesh(DModelMesh& mesh);
  void Light(const std::string& name, const Chunk& chunk, int depth);
  void Camera(const std::string& name, const Chunk& chunk);
  void Material(const Chunk& chunk, int depth);
  bool Color(const Chunk& chunk, int depth, Vector3& color);
  bool ColorValue(const Chunk& sub, Vector3& color) const;
  float Percent(const Chunk& chunk, int depth);
  void Map(const Chunk& chunk, int depth, DModelMap& map);
  void Node(const Chunk& chunk, int depth);
  void FinishNodes();

  // A NUL-terminated name at pos; false (with a warning) without a NUL
  // before end. pos moves past the NUL.
  bool Name(size_t& pos, size_t end, const char* what, std::string& name);
  ByteReader At(size_t begin, size_t end) const { return ByteReader(m_data + begin, end - begin); }
  Vector3 ReadVector(ByteReader& in, int& bad) {
    const float x = Finite(in.F32(), bad), y = Finite(in.F32(), bad);
    return Vector3(x, y, Finite(in.F32(), bad));
  }

  const uint8_t* m_data;
  size_t m_size;
  uint32_t m_mask;
  DModel& m_model;
  bool m_deepWarned = false;
  std::vector<NodeRecord> m_nodes;
  std::vector<bool> m_nodeKept;  // a node that stands for an object or a dummy
};

template <class Visit>
void Reader3DS::ForEach(size_t begin, size_t end, int depth, Visit&& visit) {
  if (depth > kMaxDepth) {
    if (!m_deepWarned)
      m_model.Warn("Chunks nested deeper than " + std::to_string(kMaxDepth) + " levels skipped");
    m_deepWarned = true;
    return;
  }
  size_t pos = begin;
  while (end - pos >= kHeader) {
    const uint16_t id = static_cast<uint16_t>(m_data[pos] | m_data[pos + 1] << 8);
    const uint32_t length = GetLE32(m_data + pos + 2);
    if (length < kHeader) {
      m_model.Warn("Chunk " + Hex(id) + " at offset " + std::to_string(pos) +
                   " is shorter than its header; the rest of its parent is skipped");
      return;
    }
    size_t chunkEnd = pos + length;
    if (length > end - pos) {
      m_model.Warn("Chunk " + Hex(id) + " at offset " + std::to_string(pos) +
                   " runs past its parent; clipped");
      chunkEnd = end;
    }
    visit(Chunk{id, pos + kHeader, chunkEnd}, depth);
    pos = chunkEnd;
  }
}

bool Reader3DS::Name(size_t& pos, size_t end, const char* what, std::string& name) {
  const void* nul = pos < end ? memchr(m_data + pos, 0, end - pos) : nullptr;
  if (!nul) {
    m_model.Warn(std::string(what) + " name at offset " + std::to_string(pos) + " has no end; skipped");
    return false;
  }
  const size_t length = static_cast<const uint8_t*>(nul) - (m_data + pos);
  name.assign(reinterpret_cast<const char*>(m_data + pos), length);
  pos += length + 1;
  return true;
}

bool Reader3DS::Read(std::string& why) {
  if (m_size < kHeader) {
    why = "Not a valid 3DS file: ";
    return false;
  }
  const uint16_t id = static_cast<uint16_t>(m_data[0] | m_data[1] << 8);
  const uint32_t length = GetLE32(m_data + 2);
  if ((id != 0x4D4D && id != 0x3DAA && id != 0xC23D) || length < kHeader) {
    why = "Not a valid 3DS file: ";
    return false;
  }
  size_t end = length;
  if (length > m_size) {
    m_model.Warn("The file is shorter than its main chunk says; read as far as it goes");
    end = m_size;
  }
  Container(Chunk{id, kHeader, end}, 0);
  FinishNodes();
  return true;
}

void Reader3DS::Container(const Chunk& chunk, int depth) {
  ForEach(chunk.begin, chunk.end, depth + 1, [&](const Chunk& sub, int level) {
    switch (sub.id) {
      case 0x4D4D:
      case 0x3D3D:
      case 0x3DAA:
      case 0xC23D:
      case 0x4F00:
      case 0xB000:
        Container(sub, level);
        break;
      case 0x4000:
        Object(sub, level);
        break;
      case 0xAFFF:
        if (m_mask & kMaskMaterials) Material(sub, level);
        break;
      default:
        if (sub.id >= 0xB001 && sub.id <= 0xB007) Node(sub, level);
        break;
    }
  });
}

void Reader3DS::Object(const Chunk& chunk, int depth) {
  size_t pos = chunk.begin;
  std::string name;
  if (!Name(pos, chunk.end, "Object", name)) return;
  if (name.empty()) name = "Default_Name";
  ForEach(pos, chunk.end, depth + 1, [&](const Chunk& sub, int level) {
    if (sub.id == 0x4100) Mesh(name, sub, level);
    if (sub.id == 0x4600 && (m_mask & kMaskLights)) Light(name, sub, level);
    if (sub.id == 0x4700 && (m_mask & kMaskCameras)) Camera(name, sub);
  });
}

void Reader3DS::Mesh(const std::string& name, const Chunk& chunk, int depth) {
  DModelMesh mesh;
  mesh.name = name;
  ForEach(chunk.begin, chunk.end, depth + 1,
          [&](const Chunk& sub, int level) { MeshChunk(mesh, sub, level); });
  FinishMesh(mesh);
  m_model.objects.push_back({DModel::Kind::kMesh, static_cast<uint32_t>(m_model.meshes.size())});
  m_model.meshes.push_back(std::move(mesh));
}

void Reader3DS::MeshChunk(DModelMesh& mesh, const Chunk& chunk, int depth) {
  ByteReader in = At(chunk.begin, chunk.end);
  int bad = 0;
  switch (chunk.id) {
    case 0x4110: {
      size_t count = in.U16();
      if (count * 12 > in.Left()) {
        m_model.Warn(mesh.name + ": vertex count " + std::to_string(count) +
                     " does not fit its chunk; clipped");
        count = in.Left() / 12;
      }
      mesh.positions.resize(count);
      for (Vector3& p : mesh.positions) p = ReadVector(in, bad);
      break;
    }
    case 0x4120:
      Faces(mesh, chunk, depth);
      break;
    case 0x4140: {
      size_t count = in.U16();
      if (count * 8 > in.Left()) {
        m_model.Warn(mesh.name + ": texture coordinate count " + std::to_string(count) +
                     " does not fit its chunk; clipped");
        count = in.Left() / 8;
      }
      mesh.uv.resize(count * 2);
      for (float& f : mesh.uv) f = Finite(in.F32(), bad);
      break;
    }
    case 0x4150: {
      mesh.smoothing.resize(in.Left() / 4);
      for (uint32_t& groups : mesh.smoothing) groups = in.U32();
      break;
    }
    case 0x4160: {
      if (in.Left() < 48) {
        m_model.Warn(mesh.name + ": object matrix chunk too short; ignored");
        break;
      }
      for (float& f : mesh.matrix) f = Finite(in.F32(), bad);
      mesh.hasMatrix = bad == 0;
      if (bad) m_model.Warn(mesh.name + ": object matrix is not finite; ignored");
      bad = 0;
      break;
    }
    default:
      break;
  }
  if (bad) m_model.Warn(mesh.name + ": " + std::to_string(bad) + " values that are not finite read as 0");
}

void Reader3DS::Faces(DModelMesh& mesh, const Chunk& chunk, int depth) {
  ByteReader in = At(chunk.begin, chunk.end);
  size_t count = in.U16();
  if (count * 8 > in.Left()) {
    m_model.Warn(mesh.name + ": face count " + std::to_string(count) + " does not fit its chunk; clipped");
    count = in.Left() / 8;
  }
  mesh.faces.resize(count);
  for (auto& face : mesh.faces) {
    face = {in.U16(), in.U16(), in.U16()};
    in.U16();  // edge visibility flags
  }
  ForEach(chunk.begin + in.Pos(), chunk.end, depth + 1, [&](const Chunk& sub, int) {
    if (sub.id == 0x4150) {
      MeshChunk(mesh, sub, depth + 1);
      return;
    }
    if (sub.id != 0x4130) return;
    size_t pos = sub.begin;
    DModelGroup group;
    if (!Name(pos, sub.end, "Material group", group.material)) return;
    ByteReader list = At(pos, sub.end);
    size_t n = list.U16();
    if (n * 2 > list.Left()) {
      m_model.Warn(mesh.name + ": material group " + group.material +
                   " lists more faces than it holds; clipped");
      n = list.Left() / 2;
    }
    group.faces.resize(n);
    for (uint32_t& f : group.faces) f = list.U16();
    mesh.groups.push_back(std::move(group));
  });
}

// Everything refers inside the mesh once this has run: texture coordinates
// beyond the vertices add vertices, faces that name missing vertices go
// (the groups and smoothing groups follow the faces that stay), group
// entries that name missing faces go.
void Reader3DS::FinishMesh(DModelMesh& mesh) {
  const size_t uvCount = mesh.uv.size() / 2;
  if (uvCount > mesh.positions.size()) {
    m_model.Warn("Error in UV coordinates");
    mesh.positions.resize(uvCount);
  }
  const size_t vertices = mesh.positions.size();
  const size_t smoothed = mesh.smoothing.size();
  std::vector<int32_t> remap(mesh.faces.size());
  size_t kept = 0, keptSmoothed = 0;
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    const auto& face = mesh.faces[f];
    if (face[0] >= vertices || face[1] >= vertices || face[2] >= vertices) {
      remap[f] = -1;
      continue;
    }
    remap[f] = static_cast<int32_t>(kept);
    mesh.faces[kept] = face;
    if (f < smoothed) mesh.smoothing[keptSmoothed++] = mesh.smoothing[f];
    ++kept;
  }
  if (kept < mesh.faces.size())
    m_model.Warn(mesh.name + ": " + std::to_string(mesh.faces.size() - kept) +
                 " faces refer to missing vertices; dropped");
  const size_t original = mesh.faces.size();
  mesh.faces.resize(kept);
  mesh.smoothing.resize(std::min(keptSmoothed, kept));
  size_t outside = 0;
  for (DModelGroup& group : mesh.groups) {
    size_t n = 0;
    for (uint32_t f : group.faces) {
      if (f >= original || remap[f] < 0) {
        outside += f >= original;
        continue;
      }
      group.faces[n++] = static_cast<uint32_t>(remap[f]);
    }
    group.faces.resize(n);
  }
  if (outside)
    m_model.Warn(mesh.name + ": material groups name " + std::to_string(outside) + " missing faces");
}

void Reader3DS::Light(const std::string& name, const Chunk& chunk, int depth) {
  ByteReader in = At(chunk.begin, chunk.end);
  int bad = 0;
  DModelLight light;
  light.name = name;
  light.position = ReadVector(in, bad);
  if (!in.Ok()) {
    m_model.Warn(name + ": light chunk too short; light skipped");
    return;
  }
  ForEach(chunk.begin + 12, chunk.end, depth + 1, [&](const Chunk& sub, int) {
    if (sub.id == 0x0010 || sub.id == 0x0011) {
      ColorValue(sub, light.color);
    } else if (sub.id == 0x4610) {
      ByteReader spot = At(sub.begin, sub.end);
      const Vector3 target = ReadVector(spot, bad);
      if (spot.Ok()) {
        light.spot = true;
        light.target = target;
      }
    } else if (sub.id == 0x4620) {
      light.off = true;
    }
  });
  if (bad) m_model.Warn(name + ": " + std::to_string(bad) + " values that are not finite read as 0");
  m_model.objects.push_back({DModel::Kind::kLight, static_cast<uint32_t>(m_model.lights.size())});
  m_model.lights.push_back(std::move(light));
}

void Reader3DS::Camera(const std::string& name, const Chunk& chunk) {
  ByteReader in = At(chunk.begin, chunk.end);
  int bad = 0;
  DModelCamera camera;
  camera.name = name;
  camera.position = ReadVector(in, bad);
  camera.target = ReadVector(in, bad);
  camera.bank = Finite(in.F32(), bad);
  camera.lens = Finite(in.F32(), bad);
  if (!in.Ok()) {
    m_model.Warn(name + ": camera chunk too short; camera skipped");
    return;
  }
  if (bad) m_model.Warn(name + ": " + std::to_string(bad) + " values that are not finite read as 0");
  m_model.objects.push_back({DModel::Kind::kCamera, static_cast<uint32_t>(m_model.cameras.size())});
  m_model.cameras.push_back(std::move(camera));
}

// One colour sub-chunk: 0010/0013 three floats, 0011/0012 three bytes.
bool Reader3DS::ColorValue(const Chunk& sub, Vector3& color) const {
  ByteReader in = At(sub.begin, sub.end);
  Vector3 c;
  if (sub.id == 0x0010 || sub.id == 0x0013) {
    for (int i = 0; i < 3; ++i) {
      const float v = in.F32();
      c[i] = std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
    }
  } else if (sub.id == 0x0011 || sub.id == 0x0012) {
    for (int i = 0; i < 3; ++i) c[i] = in.U8() / 255.0f;
  } else {
    return false;
  }
  if (!in.Ok()) return false;
  color = c;
  return true;
}

// The first colour sub-chunk of chunk; false when it has none.
bool Reader3DS::Color(const Chunk& chunk, int depth, Vector3& color) {
  bool found = false;
  ForEach(chunk.begin, chunk.end, depth + 1, [&](const Chunk& sub, int) {
    if (!found) found = ColorValue(sub, color);
  });
  return found;
}

// The percentage sub-chunk of chunk as a fraction, 0..1 (0 without one).
float Reader3DS::Percent(const Chunk& chunk, int depth) {
  float fraction = 0.0f;
  bool found = false;
  ForEach(chunk.begin, chunk.end, depth + 1, [&](const Chunk& sub, int) {
    if (found) return;
    ByteReader in = At(sub.begin, sub.end);
    float percent = 0.0f;
    if (sub.id == 0x0030)
      percent = in.U16();
    else if (sub.id == 0x0031)
      percent = in.F32();
    else
      return;
    if (!in.Ok()) return;
    found = true;
    fraction = std::isfinite(percent) ? std::clamp(percent * 0.01f, 0.0f, 1.0f) : 0.0f;
  });
  return fraction;
}

void Reader3DS::Map(const Chunk& chunk, int depth, DModelMap& map) {
  if (!(m_mask & kMaskMaps)) return;
  ForEach(chunk.begin, chunk.end, depth + 1, [&](const Chunk& sub, int) {
    size_t pos = sub.begin;
    if (sub.id == 0xA300) Name(pos, sub.end, "Map file", map.file);
  });
}

void Reader3DS::Material(const Chunk& chunk, int depth) {
  DModelMaterial material;
  bool named = false;
  ForEach(chunk.begin, chunk.end, depth + 1, [&](const Chunk& sub, int level) {
    size_t pos = sub.begin;
    switch (sub.id) {
      case 0xA000:
        named = Name(pos, sub.end, "Material", material.name);
        break;
      case 0xA010:
        material.hasAmbient = Color(sub, level, material.ambient);
        break;
      case 0xA020:
        material.hasDiffuse = Color(sub, level, material.diffuse);
        break;
      case 0xA030:
        material.hasSpecular = Color(sub, level, material.specular);
        break;
      case 0xA040:
        material.shininess = Percent(sub, level);
        break;
      case 0xA041:
        material.shininessStrength = Percent(sub, level);
        break;
      case 0xA050:
        material.transparency = Percent(sub, level);
        break;
      case 0xA084:
        material.selfIllumination = Percent(sub, level);
        break;
      case 0xA081:
        material.twoSided = true;
        break;
      case 0xA200:
        Map(sub, level, material.texture);
        break;
      case 0xA220:
        Map(sub, level, material.reflection);
        break;
      default:
        break;
    }
  });
  if (!named) {
    m_model.Warn("A material without a name at offset " + std::to_string(chunk.begin) + " skipped");
    return;
  }
  m_model.materials.push_back(std::move(material));
}

void Reader3DS::Node(const Chunk& chunk, int depth) {
  NodeRecord node;
  node.kind = chunk.id;
  int bad = 0;
  ForEach(chunk.begin, chunk.end, depth + 1, [&](const Chunk& sub, int) {
    ByteReader in = At(sub.begin, sub.end);
    size_t pos = sub.begin;
    switch (sub.id) {
      case 0xB030:
        if (in.Left() >= 2) node.id = in.U16();
        break;
      case 0xB010:
        if (!Name(pos, sub.end, "Node", node.name)) break;
        in = At(pos, sub.end);
        in.U16();
        in.U16();
        node.parentId = in.U16();
        node.hasHeader = in.Ok();
        if (!in.Ok()) m_model.Warn("Node " + node.name + ": header too short; node skipped");
        break;
      case 0xB011:
        Name(pos, sub.end, "Instance", node.instance);
        break;
      case 0xB013: {
        const Vector3 pivot = ReadVector(in, bad);
        if (in.Ok()) {
          node.pivot = pivot;
          node.hasPivot = true;
        }
        break;
      }
      default:
        break;
    }
  });
  if (bad) m_model.Warn("Node " + node.name + ": pivot is not finite; read as 0");
  // The ambient node and the target nodes hold parent ids like the others
  // but stand for no object.
  const bool object = node.hasHeader && chunk.id != 0xB001 && chunk.id != 0xB004 && chunk.id != 0xB006;
  if (node.id < 0) node.id = static_cast<int>(m_nodes.size());
  m_nodes.push_back(std::move(node));
  m_nodeKept.push_back(object);
}

// Parents are looked up among the nodes read before each node, by id, so
// the hierarchy can neither loop nor point at itself.
void Reader3DS::FinishNodes() {
  std::unordered_map<int, int> byId;  // node id -> index in m_model.nodes, -1 for a node without object
  byId.reserve(m_nodes.size());
  for (size_t i = 0; i < m_nodes.size(); ++i) {
    NodeRecord& record = m_nodes[i];
    int modelIndex = -1;
    if (m_nodeKept[i]) {
      DModelNode node;
      node.name = record.name;
      node.instance = record.instance;
      node.mayBeDummy = record.kind == 0xB002;
      node.hasPivot = record.hasPivot;
      node.pivot = record.pivot;
      if (record.parentId != kNoParent) {
        const auto parent = byId.find(record.parentId);
        if (parent == byId.end())
          m_model.Warn("Node " + node.name + ": parent " + std::to_string(record.parentId) +
                       " is not an earlier node; kept at the top");
        else
          node.parent = parent->second;
      }
      modelIndex = static_cast<int>(m_model.nodes.size());
      m_model.nodes.push_back(std::move(node));
    }
    if (!byId.emplace(record.id, modelIndex).second)
      m_model.Warn("Node id " + std::to_string(record.id) + " used twice; the first one counts");
  }
}

}  // namespace

bool Read3DS(const uint8_t* data, size_t size, uint32_t importMask, DModel& model, std::string& why) {
  DModel result;
  result.qualifiedMaterials = true;
  Reader3DS reader(data, size, importMask, result);
  if (!reader.Read(why)) return false;
  model = std::move(result);
  return true;
}

}  // namespace qibo::io
