#include "core/motion/DContactSolver.h"

#include <algorithm>
#include <cmath>

#include "core/geometry/CTShape.h"
#include "core/geometry/DSupportMap.h"
#include "core/motion/CTDynaController.h"
#include "core/scene/CTEntity.h"

namespace {

struct Contact {
  DVec3 normal;  // unit, from the other towards the body
  double depth = 0.0;
  Vector3 points[DContactSolver::kMaxPoints];
  int count = 0;
};

// The extent of a placed volume along a unit direction.
void Project(const DSupportMap& map, const DVec3& u, double& low, double& high) {
  high = map.Support(u).Dot(u);
  low = map.Support(-u).Dot(u);
}

// The separating-axis test over the face directions of both volumes;
// false when some direction parts them.
bool FindNormal(const DSupportMap& body, const DSupportMap& other, Contact& contact) {
  contact.depth = INFINITY;
  for (const DSupportMap* owner : {&other, &body}) {
    for (int i = 0; i < 3; ++i) {
      DVec3 u = owner->Axis(i);
      const double length = u.Length();
      if (!(length > 1e-9) || !std::isfinite(length)) continue;
      u = u * (1.0 / length);
      double bodyLow, bodyHigh, otherLow, otherHigh;
      Project(body, u, bodyLow, bodyHigh);
      Project(other, u, otherLow, otherHigh);
      const double up = otherHigh - bodyLow;    // moving the body along +u parts them
      const double down = bodyHigh - otherLow;  // along -u
      if (!(up > 0.0) || !(down > 0.0)) return false;
      const double depth = std::min(up, down);
      if (depth < contact.depth) {
        contact.depth = depth;
        contact.normal = up <= down ? u : -u;
      }
    }
  }
  return std::isfinite(contact.depth);
}

// The body's points that lie deepest across the normal: its support points
// along -normal, and along directions tilted from it towards eight sides,
// each kept when it is inside the other's extent.
void FindPoints(const DSupportMap& body, const DSupportMap& other, Contact& contact) {
  const DVec3& n = contact.normal;
  const DVec3 helper = std::abs(n.x) < 0.6 ? DVec3(1, 0, 0) : DVec3(0, 1, 0);
  const DVec3 t1 = n.Cross(helper) * (1.0 / n.Cross(helper).Length());
  const DVec3 t2 = n.Cross(t1);
  const double top = other.Support(n).Dot(n);
  static constexpr double kTilt = 0.5;
  static constexpr double kSides[DContactSolver::kMaxPoints][2] = {
      {0, 0}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (const auto& side : kSides) {
    const DVec3 d = -n + (t1 * side[0] + t2 * side[1]) * kTilt;
    const DVec3 p = body.Support(d);
    if (!p.IsFinite() || top - p.Dot(n) <= 0.0) continue;
    const Vector3 point = p.ToVector3();
    const bool known = std::any_of(contact.points, contact.points + contact.count,
                                   [&](const Vector3& q) { return (q - point).SquaredLength() < 1e-8f; });
    if (!known) contact.points[contact.count++] = point;
  }
  if (contact.count == 0) contact.points[contact.count++] = body.Support(-n).ToVector3();
}

Vector3 PointVelocity(const CTDynaController* body, const Vector3& point) {
  if (!body) return Vector3();
  return body->GetVelocity() + body->GetAngularVelocity().Cross(point - body->GetCentre());
}

// The impulse per unit velocity change along d at a point of one body.
double Resistance(const CTDynaController* body, const Vector3& point, const Vector3& d) {
  if (!body) return 0.0;
  const Vector3 arm = point - body->GetCentre();
  return body->GetInverseMass() + d.Dot(body->ApplyInverseInertia(arm.Cross(d)).Cross(arm));
}

// The accumulated impulses of one point.
struct PointState {
  Vector3 point;
  double normalMass = 0.0, tangentMass[2] = {0.0, 0.0};
  double bounce = 0.0;  // the approach speed to turn into separation
  double normal = 0.0, tangent[2] = {0.0, 0.0};
};

}  // namespace

int DContactSolver::Solve(CTDynaController& body, CTEntity& other, CTDynaController* otherBody,
                          int iterations) {
  CTEntity* entity = body.GetObject();
  if (!entity || entity == &other) return 0;
  CTShape* volume = entity->GetCollisionVolume();
  CTShape* otherVolume = other.GetCollisionVolume();
  if (!volume || !otherVolume) return 0;
  entity->UpdateWorldSpace();
  other.UpdateWorldSpace();
  DSupportMap mapBody, mapOther;
  if (!mapBody.Set(volume, entity->GetWorldTransform()) ||
      !mapOther.Set(otherVolume, other.GetWorldTransform()))
    return 0;
  Contact contact;
  if (!FindNormal(mapBody, mapOther, contact)) return 0;
  FindPoints(mapBody, mapOther, contact);

  const Vector3 n = contact.normal.ToVector3();
  const DVec3 helper = std::abs(contact.normal.x) < 0.6 ? DVec3(1, 0, 0) : DVec3(0, 1, 0);
  const Vector3 tangents[2] = {n.Cross(helper.ToVector3()).Normalized(),
                               n.Cross(n.Cross(helper.ToVector3()).Normalized())};
  const double restitution =
      otherBody ? 0.5 * (body.GetRestitution() + otherBody->GetRestitution()) : body.GetRestitution();
  const double friction =
      otherBody ? std::sqrt(body.GetFriction() * otherBody->GetFriction()) : body.GetFriction();

  PointState states[kMaxPoints];
  for (int i = 0; i < contact.count; ++i) {
    PointState& s = states[i];
    s.point = contact.points[i];
    s.normalMass = Resistance(&body, s.point, n) + Resistance(otherBody, s.point, n);
    for (int k = 0; k < 2; ++k)
      s.tangentMass[k] =
          Resistance(&body, s.point, tangents[k]) + Resistance(otherBody, s.point, tangents[k]);
    const double approach = (PointVelocity(&body, s.point) - PointVelocity(otherBody, s.point)).Dot(n);
    s.bounce = approach < -kBounceSpeed ? -restitution * approach : 0.0;
  }

  auto push = [&](const Vector3& impulse, const Vector3& point) {
    body.ApplyImpulse(impulse, point);
    if (otherBody) otherBody->ApplyImpulse(-impulse, point);
  };
  for (int pass = 0; pass < std::max(iterations, 1); ++pass) {
    for (int i = 0; i < contact.count; ++i) {
      PointState& s = states[i];
      if (!(s.normalMass > 0.0)) continue;
      Vector3 relative = PointVelocity(&body, s.point) - PointVelocity(otherBody, s.point);
      const double accumulated = std::max(s.normal + (s.bounce - relative.Dot(n)) / s.normalMass, 0.0);
      const double change = accumulated - s.normal;
      s.normal = accumulated;
      push(n * static_cast<float>(change), s.point);
      // Friction within the cone the push allows, per tangent.
      relative = PointVelocity(&body, s.point) - PointVelocity(otherBody, s.point);
      const double limit = friction * s.normal;
      for (int k = 0; k < 2; ++k) {
        if (!(s.tangentMass[k] > 0.0)) continue;
        const double wanted = s.tangent[k] - relative.Dot(tangents[k]) / s.tangentMass[k];
        const double held = std::clamp(wanted, -limit, limit);
        push(tangents[k] * static_cast<float>(held - s.tangent[k]), s.point);
        s.tangent[k] = held;
      }
    }
  }

  const double excess = std::max(contact.depth - kSlop, 0.0) * kPushOut;
  if (excess > 0.0) {
    const double share =
        otherBody ? body.GetInverseMass() / (body.GetInverseMass() + otherBody->GetInverseMass()) : 1.0;
    body.Translate(n * static_cast<float>(excess * share));
    if (otherBody) otherBody->Translate(n * static_cast<float>(-excess * (1.0 - share)));
  }
  return contact.count;
}
