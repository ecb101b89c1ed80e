#pragma once

// 3D Studio files written byte by byte, for the model tests, the tools'
// tests, the golden pictures, the fuzz seeds and the benchmark.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qibo::test {

// Chunks as the format lays them out: Begin writes the id and a length
// that End fills in (the 6-byte header included).
class Writer3DS {
 public:
  Writer3DS& Begin(uint16_t id) {
    m_open.push_back(m_bytes.size());
    U16(id);
    return U32(0);
  }
  Writer3DS& End() {
    const size_t start = m_open.back();
    m_open.pop_back();
    Patch32(start + 2, static_cast<uint32_t>(m_bytes.size() - start));
    return *this;
  }
  Writer3DS& U8(uint8_t v) {
    m_bytes.push_back(v);
    return *this;
  }
  Writer3DS& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
  Writer3DS& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  Writer3DS& F32(float v) {
    uint32_t bits;
    memcpy(&bits, &v, 4);
    return U32(bits);
  }
  Writer3DS& Vec(float x, float y, float z) { return F32(x).F32(y).F32(z); }
  // The text and its terminating NUL.
  Writer3DS& Text(const std::string& text) {
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    return U8(0);
  }
  // A chunk holding only a name.
  Writer3DS& Named(uint16_t id, const std::string& text) { return Begin(id).Text(text).End(); }
  // A colour chunk (ambient, diffuse, specular) with a byte colour inside.
  Writer3DS& Color(uint16_t id, uint8_t r, uint8_t g, uint8_t b) {
    return Begin(id).Begin(0x0011).U8(r).U8(g).U8(b).End().End();
  }
  // A percentage chunk with a whole-number percentage inside.
  Writer3DS& Percent(uint16_t id, uint16_t percent) {
    return Begin(id).Begin(0x0030).U16(percent).End().End();
  }

  // Overwrites four bytes written earlier (a length a test breaks on purpose).
  void Patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) m_bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  }
  size_t Size() const { return m_bytes.size(); }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

 private:
  std::vector<uint8_t> m_bytes;
  std::vector<size_t> m_open;
};

// The model the tests share ("room"), in 3D Studio's coordinates (z up):
//   materials "Red" (ambient 0.2 0 0 as floats; diffuse 255 0 0; specular
//     white; shininess 50 %, strength 100 %; transparency 25 %; two-sided;
//     self-illumination 10 %) and "Wood" (diffuse 128 64 0; texture map
//     "wood.tga", which the test writes beside the file);
//   "Box01": a box from (-1, -1, 0) to (1, 1, 2), twelve faces, each side
//     its own smoothing group; faces 0-5 (bottom, top, front) "Red", 6-11
//     (back, left, right) "Wood"; the object matrix places its centre at
//     (0, 0, 1); texture coordinates (x + y + 2) / 4, z / 2;
//   "Plane02": a ground square from (-3, -3, 0) to (3, 3, 0), two faces of
//     material "Missing" (defined nowhere);
//   "Light01" at (4, -4, 6), colour (1, 0.5, 0.25);
//   "Camera01" at (0, -10, 3) looking at (0, 0, 1), lens 50 mm;
//   key-frame nodes: 0 "$$$DUMMY" renamed "Arm" (a dummy: a group), 1
//     "Box01" below node 0 with pivot (0.5, 0, 0), 2 "Plane02", 3 and 4 the
//     camera and its target, 5 the light.
std::vector<uint8_t> RoomScene3DS();

// The vertices and faces of "Box01" as written (file coordinates).
extern const float kRoomBoxVertices[8][3];
extern const uint16_t kRoomBoxFaces[12][3];

}  // namespace qibo::test
