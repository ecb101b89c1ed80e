// ASCII scene files (.asc) as 3D Studio writes them, one item per line:
//   Named object: "Box01"
//   Tri-mesh, Vertices: 8     Faces: 12
//   Vertex list:
//   Vertex 0:  X: -1.0     Y: -1.0     Z: 0.0     (U: 0.0  V: 1.0 when mapped)
//   Face list:
//   Face 0:    A:0 B:2 C:3 AB:1 BC:1 CA:0
//   Material:"r255g255b255a0"
//   Smoothing:  1, 3
// An object runs to the next "Named object" line; objects without a
// "Vertices" line (lights, cameras) are passed over. Vertex lines may use
// decimal commas. Material and Smoothing lines belong to the face before
// them; smoothing groups are numbered 1 to 32. Keys are matched ignoring
// case, each where no letter comes right before it ("B:" is not "AB:").
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "plugins/io/ModelCodec.h"

namespace qibo::io {

namespace {

// The shortest vertex or face line a count can stand for: counts beyond
// the file's size over this are refused, so memory follows the file.
constexpr size_t kMinLineBytes = 8;

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// The position just after key in line, where no letter precedes it; npos
// when there is none. ASCII case is ignored.
size_t AfterKey(std::string_view line, std::string_view key) {
  for (size_t at = 0; at + key.size() <= line.size(); ++at) {
    bool match = true;
    for (size_t i = 0; i < key.size() && match; ++i)
      match = std::tolower(static_cast<unsigned char>(line[at + i])) ==
              std::tolower(static_cast<unsigned char>(key[i]));
    if (match && (at == 0 || !IsLetter(line[at - 1]))) return at + key.size();
  }
  return std::string_view::npos;
}

bool Contains(std::string_view line, std::string_view key) {
  return AfterKey(line, key) != std::string_view::npos;
}

// The number after key (spaces allowed between); false when there is none.
bool Number(const std::string& line, std::string_view key, double& value) {
  const size_t at = AfterKey(line, key);
  if (at == std::string::npos) return false;
  const char* start = line.c_str() + at;
  char* end = nullptr;
  value = std::strtod(start, &end);
  return end != start && std::isfinite(value);
}

// A count after key: a whole number from 0 to limit.
bool Count(const std::string& line, std::string_view key, size_t limit, size_t& count) {
  double value = 0.0;
  if (!Number(line, key, value) || value < 0.0 || value > static_cast<double>(limit) ||
      value != static_cast<double>(static_cast<size_t>(value)))
    return false;
  count = static_cast<size_t>(value);
  return true;
}

// "Vertex 12:" or "Face 3:": the index, or false for other lines ("Vertex
// list:").
bool ItemIndex(const std::string& line, std::string_view word, size_t& index) {
  const size_t at = AfterKey(line, word);
  if (at == std::string::npos) return false;
  const char* start = line.c_str() + at;
  while (*start == ' ' || *start == '\t') ++start;
  if (!std::isdigit(static_cast<unsigned char>(*start))) return false;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(start, &end, 10);
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != ':') return false;
  index = static_cast<size_t>(std::min<unsigned long long>(value, SIZE_MAX));
  return true;
}

class ReaderASC {
 public:
  ReaderASC(const uint8_t* data, size_t size, DModel& model)
      : m_text(reinterpret_cast<const char*>(data), size), m_model(model) {}

  bool Read(std::string& why);

 private:
  bool NextLine(std::string& line);
  // The object whose "Named object" line is line; stops at the next one,
  // which it leaves in line (empty at the end of the file).
  void Object(std::string& line);
  bool Sizes(const std::string& name, size_t& vertices, size_t& faces, std::string& line);
  void Vertex(DModelMesh& mesh, std::string line, size_t index, int& refused);
  void Face(DModelMesh& mesh, const std::string& line, int& refused);
  void Smoothing(DModelMesh& mesh, const std::string& line);

  std::string_view m_text;
  size_t m_pos = 0;
  DModel& m_model;
  int m_lastFace = -1;
  std::unordered_map<std::string, size_t> m_groupOf;  // material name -> group of the current mesh
};

bool ReaderASC::NextLine(std::string& line) {
  if (m_pos >= m_text.size()) return false;
  size_t end = m_text.find('\n', m_pos);
  if (end == std::string_view::npos) end = m_text.size();
  line.assign(m_text.substr(m_pos, end - m_pos));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  // Embedded NULs would cut the line short for the number readers.
  for (char& c : line)
    if (c == '\0') c = ' ';
  m_pos = end + 1;
  return true;
}

bool ReaderASC::Read(std::string& why) {
  std::string line;
  bool found = false;
  while (NextLine(line)) {
    while (Contains(line, "Named Object")) {
      found = true;
      Object(line);
    }
  }
  if (!found) {
    why = "No object in ASC file: ";
    return false;
  }
  return true;
}

bool ReaderASC::Sizes(const std::string& name, size_t& vertices, size_t& faces, std::string& line) {
  const size_t limit = m_text.size() / kMinLineBytes;
  while (NextLine(line)) {
    if (Contains(line, "Named Object")) return false;
    if (!Contains(line, "Vertices")) continue;
    if (!Count(line, "Vertices:", limit, vertices) || !Count(line, "Faces:", limit, faces)) {
      m_model.Warn(name + ": vertex or face count missing or beyond what the file can hold; object skipped");
      line.clear();
      return false;
    }
    line.clear();
    return true;
  }
  line.clear();
  return false;
}

void ReaderASC::Object(std::string& line) {
  DModelMesh mesh;
  const size_t first = line.find('"'), last = line.rfind('"');
  mesh.name = first != last ? line.substr(first + 1, last - first - 1) : "Unnamed Object";
  size_t vertices = 0, faces = 0;
  if (!Sizes(mesh.name, vertices, faces, line)) {
    // Not a mesh, or refused: the rest of the object is passed over.
    while (!Contains(line, "Named Object") && NextLine(line)) {
    }
    if (!Contains(line, "Named Object")) line.clear();
    return;
  }
  mesh.positions.resize(vertices);
  mesh.faces.reserve(faces);
  std::vector<bool> seen(faces, false);
  m_lastFace = -1;
  m_groupOf.clear();
  int refused = 0;
  size_t index = 0;
  while (NextLine(line) && !Contains(line, "Named Object")) {
    if (ItemIndex(line, "Vertex", index)) {
      Vertex(mesh, line, index, refused);
    } else if (ItemIndex(line, "Face", index)) {
      if (index >= faces || seen[index]) {
        ++refused;
        m_lastFace = -1;
        continue;
      }
      seen[index] = true;
      Face(mesh, line, refused);
    } else if (Contains(line, "Smoothing:")) {
      Smoothing(mesh, line);
    } else if (const size_t at = AfterKey(line, "Material:"); at != std::string::npos && m_lastFace >= 0) {
      std::string name = line.substr(at);
      const size_t begin = name.find_first_not_of(" \t\""), end = name.find_last_not_of(" \t\"");
      name = begin == std::string::npos ? std::string() : name.substr(begin, end - begin + 1);
      auto [group, added] = m_groupOf.emplace(name, mesh.groups.size());
      if (added) mesh.groups.push_back({name, {}});
      mesh.groups[group->second].faces.push_back(static_cast<uint32_t>(m_lastFace));
    }
  }
  if (!Contains(line, "Named Object")) line.clear();
  if (refused) m_model.Warn(mesh.name + ": " + std::to_string(refused) + " vertex or face lines refused");
  if (mesh.smoothing.size() < mesh.faces.size()) mesh.smoothing.resize(mesh.faces.size(), 0xFFFFFFFFu);
  m_model.objects.push_back({DModel::Kind::kMesh, static_cast<uint32_t>(m_model.meshes.size())});
  m_model.meshes.push_back(std::move(mesh));
}

void ReaderASC::Vertex(DModelMesh& mesh, std::string line, size_t index, int& refused) {
  for (char& c : line)
    if (c == ',') c = '.';
  double x = 0, y = 0, z = 0;
  if (index >= mesh.positions.size() || !Number(line, "X:", x) || !Number(line, "Y:", y) ||
      !Number(line, "Z:", z)) {
    ++refused;
    return;
  }
  mesh.positions[index] = Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
  double u = 0, v = 0;
  if (Number(line, "U:", u) && Number(line, "V:", v)) {
    if (mesh.uv.size() < mesh.positions.size() * 2) mesh.uv.resize(mesh.positions.size() * 2, 0.0f);
    mesh.uv[2 * index] = static_cast<float>(u);
    mesh.uv[2 * index + 1] = static_cast<float>(v);
  }
}

void ReaderASC::Face(DModelMesh& mesh, const std::string& line, int& refused) {
  double a = 0, b = 0, c = 0;
  const double vertices = static_cast<double>(mesh.positions.size());
  const bool valid = Number(line, "A:", a) && Number(line, "B:", b) && Number(line, "C:", c) && a >= 0 &&
                     b >= 0 && c >= 0 && a < vertices && b < vertices && c < vertices;
  if (!valid) {
    ++refused;
    m_lastFace = -1;
    return;
  }
  mesh.faces.push_back({static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)});
  m_lastFace = static_cast<int>(mesh.faces.size()) - 1;
}

// Group numbers 1 to 32, separated by commas or spaces, become bits 0 to 31.
void ReaderASC::Smoothing(DModelMesh& mesh, const std::string& line) {
  if (m_lastFace < 0) return;
  uint32_t groups = 0;
  const char* p = line.c_str() + AfterKey(line, "Smoothing:");
  while (*p) {
    char* end = nullptr;
    const long group = std::strtol(p, &end, 10);
    if (end == p) {
      ++p;
      continue;
    }
    if (group >= 1 && group <= 32) groups |= 1u << (group - 1);
    p = end;
  }
  if (mesh.smoothing.size() < mesh.faces.size()) mesh.smoothing.resize(mesh.faces.size(), 0xFFFFFFFFu);
  mesh.smoothing[static_cast<size_t>(m_lastFace)] = groups;
}

}  // namespace

bool ReadASC(const uint8_t* data, size_t size, DModel& model, std::string& why) {
  DModel result;
  result.qualifiedMaterials = false;
  ReaderASC reader(data, size, result);
  if (!reader.Read(why)) return false;
  model = std::move(result);
  return true;
}

}  // namespace qibo::io
