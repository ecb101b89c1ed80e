#pragma once

#include <cstdint>
#include <span>

#include "core/scene/math/Vector3.h"

class CTQuatTrack;
class CTVectorTrack;

// The demo's camera flight and where its scenes stand in the world.
//
// Times are milliseconds of the key-frame controller's local time, which
// starts with the first frame; timeline count n shows at about
// (n + 1) x 1000 ms. Each scene gets a stretch of the path framing its
// centre; a cut is two keys 100 ms apart.
namespace qibo::demo {

// What a key looks at. kAhead keeps the camera unrotated.
enum class CameraTarget : uint8_t { kAhead, kTorus, kInterlude, kDoubleTorus, kWaterTank, kBoxes };

// Where the root group of each scene stands in the world (y up, z forward).
Vector3 SceneCentre(CameraTarget scene);

// One key of the path. A rotation key turns the camera towards its target
// about one principal axis: about the vertical axis (azimuth) when the
// camera stands beside the target, about the horizontal x axis (elevation)
// when it stands straight behind it (same x).
struct CameraKey {
  int32_t time;      // ms
  Vector3 position;  // world position of the camera
  CameraTarget target;
  bool keysPosition;
  bool keysRotation;
};

// The whole path, ordered by time.
std::span<const CameraKey> CameraPath();
constexpr int32_t kCameraPathEnd = 260100;

// The rotation the key gives the camera.
Quaternion CameraKeyRotation(const CameraKey& key);
// Fills the two tracks (emptied first is the caller's business).
void KeyCameraPath(CTVectorTrack& positions, CTQuatTrack& rotations);

}  // namespace qibo::demo
