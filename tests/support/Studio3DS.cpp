#include "tests/support/Studio3DS.h"

namespace qibo::test {

const float kRoomBoxVertices[8][3] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0},
                                      {-1, -1, 2}, {1, -1, 2}, {1, 1, 2}, {-1, 1, 2}};
// Counter-clockwise seen from outside, z up: bottom, top, front (y = -1),
// back, left (x = -1), right.
const uint16_t kRoomBoxFaces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                       {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}, {1, 2, 6}, {1, 6, 5}};

namespace {

void Materials(Writer3DS& w) {
  w.Begin(0xAFFF).Named(0xA000, "Red");
  w.Begin(0xA010).Begin(0x0010).Vec(0.2f, 0.0f, 0.0f).End().End();
  w.Color(0xA020, 255, 0, 0).Color(0xA030, 255, 255, 255);
  w.Percent(0xA040, 50).Percent(0xA041, 100).Percent(0xA050, 25);
  w.Begin(0xA081).End();
  w.Percent(0xA084, 10).End();

  w.Begin(0xAFFF).Named(0xA000, "Wood").Color(0xA020, 128, 64, 0);
  w.Begin(0xA200).Begin(0x0030).U16(100).End().Named(0xA300, "wood.tga").Begin(0xA351).U16(0).End().End();
  w.End();
}

void Box(Writer3DS& w) {
  w.Begin(0x4000).Text("Box01").Begin(0x4100);
  w.Begin(0x4110).U16(8);
  for (const auto& v : kRoomBoxVertices) w.Vec(v[0], v[1], v[2]);
  w.End();
  w.Begin(0x4140).U16(8);
  for (const auto& v : kRoomBoxVertices) w.F32((v[0] + v[1] + 2) / 4).F32(v[2] / 2);
  w.End();
  w.Begin(0x4160).Vec(1, 0, 0).Vec(0, 1, 0).Vec(0, 0, 1).Vec(0, 0, 1).End();
  w.Begin(0x4120).U16(12);
  for (const auto& f : kRoomBoxFaces) w.U16(f[0]).U16(f[1]).U16(f[2]).U16(7);
  w.Begin(0x4130).Text("Red").U16(6);
  for (uint16_t f = 0; f < 6; ++f) w.U16(f);
  w.End();
  w.Begin(0x4130).Text("Wood").U16(6);
  for (uint16_t f = 6; f < 12; ++f) w.U16(f);
  w.End();
  w.Begin(0x4150);
  for (uint32_t f = 0; f < 12; ++f) w.U32(1u << (f / 2));
  w.End();
  w.End().End().End();
}

void Plane(Writer3DS& w) {
  w.Begin(0x4000).Text("Plane02").Begin(0x4100);
  w.Begin(0x4110).U16(4).Vec(-3, -3, 0).Vec(3, -3, 0).Vec(3, 3, 0).Vec(-3, 3, 0).End();
  w.Begin(0x4120).U16(2).U16(0).U16(1).U16(2).U16(0).U16(0).U16(2).U16(3).U16(0);
  w.Begin(0x4130).Text("Missing").U16(2).U16(0).U16(1).End();
  w.End().End().End();
}

void Node(Writer3DS& w, uint16_t kind, uint16_t id, const std::string& name, uint16_t parent) {
  w.Begin(kind).Begin(0xB030).U16(id).End();
  w.Begin(0xB010).Text(name).U16(0).U16(0).U16(parent).End();
}

void KeyFrames(Writer3DS& w) {
  w.Begin(0xB000);
  w.Begin(0xB008).U32(0).U32(100).End();
  Node(w, 0xB002, 0, "$$$DUMMY", 0xFFFF);
  w.Named(0xB011, "Arm").Begin(0xB013).Vec(0, 0, 0).End().End();
  Node(w, 0xB002, 1, "Box01", 0);
  w.Begin(0xB013).Vec(0.5f, 0, 0).End();
  // A position track: read past, never applied.
  w.Begin(0xB020).U16(0).U32(0).U32(0).U32(1).U32(0).U16(0).Vec(9, 9, 9).End().End();
  Node(w, 0xB002, 2, "Plane02", 0xFFFF);
  w.End();
  Node(w, 0xB003, 3, "Camera01", 0xFFFF);
  w.End();
  Node(w, 0xB004, 4, "Camera01", 0xFFFF);
  w.End();
  Node(w, 0xB005, 5, "Light01", 0xFFFF);
  w.End();
  w.End();
}

}  // namespace

std::vector<uint8_t> RoomScene3DS() {
  Writer3DS w;
  w.Begin(0x4D4D).Begin(0x0002).U32(3).End();
  w.Begin(0x3D3D).Begin(0x3D3E).U32(3).End();
  Materials(w);
  Box(w);
  Plane(w);
  w.Begin(0x4000).Text("Light01").Begin(0x4600).Vec(4, -4, 6);
  w.Begin(0x0010).Vec(1.0f, 0.5f, 0.25f).End().End().End();
  w.Begin(0x4000).Text("Camera01").Begin(0x4700).Vec(0, -10, 3).Vec(0, 0, 1).F32(0).F32(50).End().End();
  w.End();
  KeyFrames(w);
  w.End();
  return w.Bytes();
}

}  // namespace qibo::test
