#include "core/motion/CTDynaController.h"

#include <algorithm>
#include <cmath>

#include "core/geometry/CTCollisionManager.h"
#include "core/geometry/CTShape.h"
#include "core/geometry/CTSphere.h"
#include "core/geometry/DSupportMap.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/motion/CTPhysicsManager.h"
#include "core/object/Stream.h"
#include "core/scene/CTEntity.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"

QIBO_IMPLEMENT_CLASS(CTDynaController, CTEntityController, .desc = "Dynamics controller", .product = "qiBO",
                     .safeToReceive = true)

namespace {

// The inertia of a body without a volume: a ball of this radius (metres).
constexpr double kPointRadius = 0.5;

CTCollisionManager* RunningCollisions() {
  auto* collisions = qibo::FindService<CTCollisionManager>();
  return collisions && collisions->IsStarted() ? collisions : nullptr;
}

}  // namespace

CTDynaController::~CTDynaController() {
  // The physics service holds a named reference and forgets us by itself;
  // the contact reports we asked for are given back here.
  RequestContacts(false);
}

void CTDynaController::DoAddProperties() {
  CTEntityController::DoAddProperties();
  const ClassDesc* cd = CTDynaController::_CD();
  AddProperty(DProperty(m_mass, "Mass"), cd);
  AddProperty(DProperty(m_restitution, "Restitution"), cd);
  AddProperty(DProperty(m_friction, "Friction"), cd);
  AddProperty(DProperty(m_motion.velocity.x, "MotionInfo.Vel.x"), cd);
  AddProperty(DProperty(m_motion.velocity.y, "MotionInfo.Vel.y"), cd);
  AddProperty(DProperty(m_motion.velocity.z, "MotionInfo.Vel.z"), cd);
  AddProperty(DProperty(m_motion.angularVelocity.x, "MotionInfo.AngVel.x"), cd);
  AddProperty(DProperty(m_motion.angularVelocity.y, "MotionInfo.AngVel.y"), cd);
  AddProperty(DProperty(m_motion.angularVelocity.z, "MotionInfo.AngVel.z"), cd);
}

void CTDynaController::OnPropertyChanged(DProperty& property) {
  // Written from outside: the setters' checks; a refused value falls back
  // to the last one accepted.
  const bool bound =
      m_massBinding.Apply(property, {&m_mass}, [this](double mass) { SetMass(mass); }) ||
      m_restitutionBinding.Apply(property, {&m_restitution}, [this](float r) { SetRestitution(r); }) ||
      m_frictionBinding.Apply(property, {&m_friction}, [this](float f) { SetFriction(f); });
  if (!bound) {
    for (Vector3* part : {&m_motion.velocity, &m_motion.angularVelocity})
      for (int i = 0; i < 3; ++i)
        if (property.ID() == &(*part)[i] && !std::isfinite((*part)[i])) {
          qiBO_Warning(
              QIBO_String::Format("%s: %s is not a finite number; set to 0", GetName(), property.GetName())
                  .c_str(),
              this);
          (*part)[i] = 0.0f;
        }
  }
  CTEntityController::OnPropertyChanged(property);
}

bool CTDynaController::SetMass(double mass) {
  if (!(mass > 0.0) || !std::isfinite(mass) || !std::isfinite(1.0 / mass)) {
    qiBO_Warning(
        QIBO_String::Format("%s: mass %g refused (must be positive and finite)", GetName(), mass).c_str(),
        this);
    return false;
  }
  m_mass = mass;
  m_massBinding.Accept({mass});
  return true;
}

bool CTDynaController::SetRestitution(float restitution) {
  if (!(restitution >= 0.0f && restitution <= 1.0f)) {
    qiBO_Warning(
        QIBO_String::Format("%s: restitution %g refused (0 to 1)", GetName(), double{restitution}).c_str(),
        this);
    return false;
  }
  m_restitution = restitution;
  m_restitutionBinding.Accept({restitution});
  return true;
}

bool CTDynaController::SetFriction(float friction) {
  if (!(friction >= 0.0f) || !std::isfinite(friction)) {
    qiBO_Warning(
        QIBO_String::Format("%s: friction %g refused (finite, not negative)", GetName(), double{friction})
            .c_str(),
        this);
    return false;
  }
  m_friction = friction;
  m_frictionBinding.Accept({friction});
  return true;
}

bool CTDynaController::SetPart(Vector3& part, const Vector3& v, const char* what) {
  if (!qibo::IsFinite(v)) {
    qiBO_Warning(QIBO_String::Format("%s: %s (%g, %g, %g) refused", GetName(), what, v.x, v.y, v.z).c_str(),
                 this);
    return false;
  }
  part = v;
  return true;
}

bool CTDynaController::SetVelocity(const Vector3& v) { return SetPart(m_motion.velocity, v, "velocity"); }

bool CTDynaController::SetAngularVelocity(const Vector3& w) {
  return SetPart(m_motion.angularVelocity, w, "angular velocity");
}

void CTDynaController::WarnOnce(bool& given, const char* text) {
  if (given) return;
  given = true;
  qiBO_Warning(QIBO_String::Format("%s: %s", GetName(), text).c_str(), this);
}

// ---------------------------------------------------------------------------
// Impulses

void CTDynaController::ApplyCentralImpulse(const Vector3& impulse) {
  if (!qibo::IsFinite(impulse)) {
    WarnOnce(m_warnedInput, "an impulse that is not finite is ignored");
    return;
  }
  m_motion.velocity += impulse * static_cast<float>(1.0 / m_mass);
}

void CTDynaController::ApplyImpulse(const Vector3& impulse, const Vector3& point) {
  if (!qibo::IsFinite(impulse) || !qibo::IsFinite(point)) {
    WarnOnce(m_warnedInput, "an impulse that is not finite is ignored");
    return;
  }
  m_motion.velocity += impulse * static_cast<float>(1.0 / m_mass);
  m_motion.angularVelocity += ApplyInverseInertia((point - m_centre).Cross(impulse));
}

Vector3 CTDynaController::ApplyInverseInertia(const Vector3& v) const {
  // Into body axes, scaled per axis, back to world axes.
  const Vector3 local = m_rotation.TransformTransposed(v);
  const Vector3 scaled(local.x * m_inverseInertia.x, local.y * m_inverseInertia.y,
                       local.z * m_inverseInertia.z);
  return m_rotation.Transform(scaled);
}

// ---------------------------------------------------------------------------
// Registration

// The contact solver finds its own points: plain reports (the cheap
// intersection test) are enough.
uint32_t CTDynaController::GetCollisionReports() const {
  return CTEntityController::GetCollisionReports() | (IsRegistered() ? CTCollisionManager::kReport : 0u);
}

void CTDynaController::RequestContacts(bool on) {
  CTEntity* entity = on ? GetObject() : nullptr;
  CTCollisionManager* collisions = RunningCollisions();
  if (m_reporting.Get() != entity && m_reporting && collisions)
    collisions->SetReports(m_reporting.Get(), false);
  m_reporting = entity;
  if (entity && collisions) collisions->SetReports(entity, true);
}

bool CTDynaController::DoEnable() {
  if (!GetObject()) return false;
  RegisterWithService();
  RequestContacts(true);
  return true;
}

void CTDynaController::DoDisable() {
  UnregisterWithService();
  RequestContacts(false);
  m_contacts.clear();
}

bool CTDynaController::DoRegisterWithService() {
  auto* physics = qibo::GetService<CTPhysicsManager>();
  if (physics && physics->IsStarted()) physics->AddBody(this);
  return true;
}

bool CTDynaController::DoUnregisterWithService() {
  if (auto* physics = qibo::FindService<CTPhysicsManager>()) physics->RemoveBody(this);
  return true;
}

void CTDynaController::OnCollision(CTEntity* other, Vector3* point, Vector3* normal) {
  if (other && IsRegistered()) {
    const bool known = std::any_of(m_contacts.begin(), m_contacts.end(),
                                   [other](const SmartPtr<CTEntity>& c) { return c.Get() == other; });
    if (!known) m_contacts.emplace_back(other);
  }
  CTEntityController::OnCollision(other, point, normal);
}

// ---------------------------------------------------------------------------
// The frame

void CTDynaController::ReadPlacement() {
  CTEntity* entity = GetObject();
  entity->UpdateWorldSpace();
  m_centre = entity->GetWorldPosition();
  m_rotation = entity->GetWorldTransform().HasRotation() ? entity->GetWorldMatrix() : Matrix33();
}

void CTDynaController::MeasureShape() {
  CTShape* volume = GetObject()->GetCollisionVolume();
  const double m = m_mass;
  m_volume = 0.0;
  m_crossSection = Vector3();
  double inertia[3] = {0.4 * m * kPointRadius * kPointRadius, 0.0, 0.0};
  inertia[1] = inertia[2] = inertia[0];
  DSupportMap map;
  if (volume && map.Set(volume, DTransform::I)) {
    m_volume = std::max(volume->CalcVolume(), 0.0);
    const Matrix33& cw = volume->GetCWMatrix();
    m_crossSection = Vector3(cw.m[0][0], cw.m[1][1], cw.m[2][2]);
    if (auto* sphere = qibo::Cast<CTSphere>(volume)) {
      inertia[0] = inertia[1] = inertia[2] = 0.4 * m * sphere->GetRadius() * sphere->GetRadius();
    } else {
      DVec3 low, high;
      map.Bounds(low, high);
      const DVec3 size = high - low;
      inertia[0] = m / 12.0 * (size.y * size.y + size.z * size.z);
      inertia[1] = m / 12.0 * (size.x * size.x + size.z * size.z);
      inertia[2] = m / 12.0 * (size.x * size.x + size.y * size.y);
    }
  }
  // A flat or thin volume still turns: no axis is stiffer than a point
  // mass at a millimetre.
  const double least = m * 1e-6;
  m_inverseInertia = Vector3(static_cast<float>(1.0 / std::max(inertia[0], least)),
                             static_cast<float>(1.0 / std::max(inertia[1], least)),
                             static_cast<float>(1.0 / std::max(inertia[2], least)));
  if (!qibo::IsFinite(m_crossSection) || !std::isfinite(m_volume)) {
    m_crossSection = Vector3();
    m_volume = 0.0;
  }
}

bool CTDynaController::BeginStep(const CTEnvironment* environment) {
  CTEntity* entity = GetObject();
  if (!entity) return false;
  if (m_reporting.Get() != entity) RequestContacts(true);  // rebound while enabled
  ReadPlacement();
  if (!qibo::IsFinite(m_centre) || !qibo::IsFinite(m_motion.velocity) ||
      !qibo::IsFinite(m_motion.angularVelocity)) {
    WarnOnce(m_warnedPlacement, "not finitely placed or moving; left out of the physics step");
    return false;
  }
  m_gravity = environment && environment->HasGravity() ? environment->GetGravity() : Vector3();
  m_wind = environment && environment->HasWind() ? environment->GetWind() : Vector3();
  m_density = environment ? std::max(environment->GetDensity(), 0.0f) : 0.0f;
  if (!qibo::IsFinite(m_gravity) || !qibo::IsFinite(m_wind) || !std::isfinite(m_density)) {
    WarnOnce(m_warnedPlacement, "its environment is not finite; no forces this frame");
    m_gravity = m_wind = Vector3();
    m_density = 0.0f;
  }
  MeasureShape();
  return true;
}

void CTDynaController::ApplyForces(double h) {
  const double inverseMass = 1.0 / m_mass;
  Vector3& v = m_motion.velocity;
  // Weight less the buoyancy of the displaced medium.
  const double lift = m_density * m_volume * inverseMass;
  v += m_gravity * static_cast<float>((1.0 - lift) * h);
  // Drag against the flow of the medium, taken implicitly in the flow's
  // size (u' = u / (1 + k |u| h)): it never turns the flow round, and a
  // body falling at its terminal speed keeps exactly that speed.
  const Vector3 flow = v - m_wind;
  const double speed = flow.Length();
  if (speed > 0.0 && m_density > 0.0f) {
    const Vector3 across = m_rotation.TransformTransposed(flow * static_cast<float>(1.0 / speed));
    const double area = m_crossSection.x * across.x * across.x + m_crossSection.y * across.y * across.y +
                        m_crossSection.z * across.z * across.z;
    const double slowing = 0.5 * m_density * area * speed * inverseMass * h;
    v = m_wind + flow * static_cast<float>(1.0 / (1.0 + slowing));
  }
  m_motion.acceleration = m_gravity * static_cast<float>(1.0 - lift);
}

void CTDynaController::Translate(const Vector3& offset) {
  CTEntity* entity = GetObject();
  if (!entity) return;
  CTGroup* parent = entity->GetParent();
  if (!parent || (entity->GetHints() & CTEntity::kLockPosition)) {
    entity->MoveBy(offset);
  } else {
    // The same offset in the parent's coordinates.
    const DTransform& frame = parent->GetWorldTransform();
    entity->MoveBy(frame.BackTransformPoint(offset) - frame.BackTransformPoint(Vector3()));
  }
  m_centre += offset;
}

void CTDynaController::Integrate(double h) {
  CTEntity* entity = GetObject();
  if (!entity) return;
  const Vector3& v = m_motion.velocity;
  if (v.x != 0.0f || v.y != 0.0f || v.z != 0.0f) Translate(v * static_cast<float>(h));
  Vector3 w = m_motion.angularVelocity;
  if (w.x != 0.0f || w.y != 0.0f || w.z != 0.0f) {
    CTGroup* parent = entity->GetParent();
    if (parent && !(entity->GetHints() & CTEntity::kLockRotation))
      w = parent->GetWorldTransform().BackTransformNormal(w);
    // dq/dt = 1/2 (w, 0) q, one step, then back to unit length.
    Quaternion& q = entity->GetTransformRef().GetQuaternionRef();
    const Quaternion dq = Quaternion(w.x, w.y, w.z, 0.0f) * q;
    const float half = static_cast<float>(0.5 * h);
    q = {q.x + half * dq.x, q.y + half * dq.y, q.z + half * dq.z, q.w + half * dq.w};
    q.Normalize();
  }
  ReadPlacement();
}

// ---------------------------------------------------------------------------
// Stream record
//
// kChunkID  double mass, float restitution, float friction,
//           vector velocity, vector angular velocity

void CTDynaController::WriteToStream(Stream* stream, uint32_t flags) {
  CTEntityController::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteDouble(m_mass);
  stream->WriteFloat(m_restitution);
  stream->WriteFloat(m_friction);
  stream->WriteVector(m_motion.velocity);
  stream->WriteVector(m_motion.angularVelocity);
  stream->EndChunk();
}

bool CTDynaController::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTEntityController::ProcessChunk(stream, chunkID);
  const double mass = stream->ReadDouble();
  const float restitution = stream->ReadFloat();
  const float friction = stream->ReadFloat();
  const Vector3 v = stream->ReadVector(), w = stream->ReadVector();
  SetMass(mass);
  SetRestitution(restitution);
  SetFriction(friction);
  SetVelocity(v);
  SetAngularVelocity(w);
  return true;
}
