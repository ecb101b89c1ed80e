#pragma once

#include "core/scene/math/DTransform.h"

// How a controller moves its entity, for the motion sensor that reports it:
// metres per second (and squared), radians per second (and squared).
struct MotionInfo_t {
  DTransform transform;
  Vector3 velocity;
  Vector3 acceleration;
  Vector3 angularVelocity;
  Vector3 angularAcceleration;
};
