#pragma once

class CTDynaController;
class CTEntity;

// The dynamics' answer to a contact: one body against an entity it touched,
// which is either another body or fixed in place.
//
// The contact is found by separating axes: the face directions of both
// collision volumes (placed as the collision service places them), each
// volume measured along them through its support function. The direction
// of least overlap is the contact normal and the overlap its depth; a gap
// along any of them means the two are apart. That is exact for boxes and
// for a box against a sphere's face side, and a fair answer for the
// surfaces bodies come to rest on (floors, planes, larger boxes). The
// contact points are the body's deepest points across the normal (up to
// four corners of a box lying flat, one point of a sphere).
//
// At the points, sequential impulses stop the approach (bouncing back with
// the restitution when it was faster than kBounceSpeed) and let friction
// hold the sliding (Coulomb: at most the friction coefficient times the
// push). Then the body is moved out of the other along the normal, leaving
// kSlop so that a body at rest stays in contact. Between two bodies the
// restitution is the mean of theirs, the friction the geometric mean, and
// both take their share of impulses and push by their inverse masses.
class DContactSolver {
 public:
  static constexpr double kSlop = 0.005;       // metres of depth left in place
  static constexpr double kPushOut = 0.4;      // share of the rest of the depth removed per step
  static constexpr double kBounceSpeed = 0.5;  // m/s: slower approaches do not bounce
  static constexpr int kMaxPoints = 9;

  // One step's answer; the number of contact points (0: apart, or either
  // has no collision volume). otherBody is other's enabled dynamics, if any.
  static int Solve(CTDynaController& body, CTEntity& other, CTDynaController* otherBody, int iterations);
};
