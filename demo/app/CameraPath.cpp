#include "demo/app/CameraPath.h"

#include <cmath>

#include "core/motion/CTQuatTrack.h"
#include "core/motion/CTVectorTrack.h"

namespace qibo::demo {

namespace {

// Only one scene is in the world at a time, so they all stand on one spot;
// the camera circles it at the distance each scene's size asks for: the
// torus is 25 units across, the double torus 72, the cube field 32, the box
// cluster 29, the water tank 100.
constexpr Vector3 kCentre{0.0f, 110.0f, -30.0f};

constexpr Vector3 At(float dx, float dy, float dz) {
  return {kCentre.x + dx, kCentre.y + dy, kCentre.z + dz};
}

using T = CameraTarget;
constexpr bool P = true;   // the key has a position
constexpr bool R = true;   // the key has a rotation
constexpr bool N = false;  // it has not

// clang-format off
constexpr CameraKey kPath[] = {
    // Start picture (counts 0-9): straight ahead, drifting forward.
    {0,      {0.0f, 150.0f, -80.0f},  T::kAhead,       P, R},
    {10000,  {0.0f, 150.0f, -40.0f},  T::kAhead,       P, R},
    // Torus (counts 10-29): pull back and down while turning to it.
    {15000,  At(-20, 25, -65),        T::kTorus,       P, R},
    {20000,  {-30.0f, 110.0f, -80.0f}, T::kTorus,      P, R},
    {28000,  At(35, 5, -45),          T::kTorus,       P, R},
    // Cube field (counts 30-53): rise and look down on it.
    {38000,  At(0, 32, -34),          T::kInterlude,   P, R},
    {47000,  At(0, 27, -29),          T::kInterlude,   P, R},
    {55000,  At(0, 24, -26),          T::kInterlude,   P, R},
    // Cut. Double torus (counts 54-89): a sweep from left to right.
    {55100,  At(-45, 5, -50),         T::kDoubleTorus, P, R},
    {70000,  At(45, 10, -45),         T::kDoubleTorus, P, R},
    {76000,  At(30, 8, -38),          T::kDoubleTorus, P, N},
    {82000,  At(10, 0, -40),          T::kDoubleTorus, P, R},
    {90000,  At(-25, 15, -55),        T::kDoubleTorus, P, R},
    // Cut. Cube field (counts 90-109).
    {90100,  At(0, 40, -38),          T::kInterlude,   P, R},
    {100000, At(0, 30, -30),          T::kInterlude,   P, R},
    {110000, At(0, 26, -27),          T::kInterlude,   P, R},
    // Cut. Water tank (counts 110-159): the whole room through its open sides
    // (-z and +x; walls stand at x = -50 and z = 50).
    {110100, At(0, 70, -140),         T::kWaterTank,   P, R},
    {125000, At(90, 40, -90),         T::kWaterTank,   P, R},
    {140000, At(100, 25, -30),        T::kWaterTank,   P, R},
    {150000, At(30, 50, -110),        T::kWaterTank,   P, R},
    {161000, At(0, 45, -100),         T::kWaterTank,   P, R},
    // Cut. Cube field (counts 160-179).
    {161100, At(0, 36, -36),          T::kInterlude,   P, R},
    {171000, At(0, 28, -28),          T::kInterlude,   P, R},
    {180000, At(0, 25, -25),          T::kInterlude,   P, R},
    // Cut. Box cluster (counts 180-219), then the cube field again.
    {180100, At(-30, 12, -35),        T::kBoxes,       P, R},
    {195000, At(35, 15, -30),         T::kBoxes,       P, R},
    {200000, At(25, 8, -20),          T::kBoxes,       P, R},
    {210000, At(0, 14, -42),          T::kBoxes,       P, R},
    {221000, At(0, 30, -40),          T::kInterlude,   P, R},
    {230000, At(0, 28, -30),          T::kInterlude,   P, R},
    // Cut. Cube field closing (counts 230-259): low sweep, then from above.
    {230100, At(-28, 12, -28),        T::kInterlude,   P, R},
    {245000, At(28, 12, -28),         T::kInterlude,   P, R},
    {kCameraPathEnd, At(0, 40, -10),  T::kInterlude,   P, R},
};
// clang-format on

}  // namespace

Vector3 SceneCentre(CameraTarget) { return kCentre; }

std::span<const CameraKey> CameraPath() { return kPath; }

Quaternion CameraKeyRotation(const CameraKey& key) {
  if (key.target == CameraTarget::kAhead) return Quaternion::Identity();
  const Vector3 d = SceneCentre(key.target) - key.position;
  // Straight behind the target: tilt down (a positive elevation looks down).
  if (std::fabs(d.x) < 1e-3f) return Quaternion::RotationEl(std::atan2(-d.y, d.z));
  // Beside it: turn about the vertical axis (a positive azimuth turns right).
  return Quaternion::RotationAz(std::atan2(d.x, d.z));
}

void KeyCameraPath(CTVectorTrack& positions, CTQuatTrack& rotations) {
  for (const CameraKey& key : kPath) {
    if (key.keysPosition) positions.SetValue(key.time, key.position);
    if (key.keysRotation) rotations.SetValue(key.time, CameraKeyRotation(key));
  }
}

}  // namespace qibo::demo
