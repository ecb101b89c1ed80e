#include "core/motion/CTMotionController.h"

#include <cmath>

#include "core/kernel/Logging.h"
#include "core/object/Stream.h"
#include "core/scene/CTEntity.h"

// The description is the class's own, spelling included.
QIBO_IMPLEMENT_CLASS(CTMotionController, CTEntityController, .desc = "Motionin controller",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTMotionController") == 0xD1D96334);

namespace {

const UpdateFn kUpdate = qibo::AsUpdate(&CTMotionController::Update);

bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool IsZero(const Vector3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

}  // namespace

void CTMotionController::DoAddProperties() {
  CTEntityController::DoAddProperties();
  const ClassDesc* cd = CTMotionController::_CD();
  AddProperty(DProperty(m_motion.angularVelocity.x, "MotionInfo.AngVel.x"), cd);
  AddProperty(DProperty(m_motion.angularVelocity.y, "MotionInfo.AngVel.y"), cd);
  AddProperty(DProperty(m_motion.angularVelocity.z, "MotionInfo.AngVel.z"), cd);
  AddProperty(DProperty(m_motion.velocity.x, "MotionInfo.Vel.x"), cd);
  AddProperty(DProperty(m_motion.velocity.y, "MotionInfo.Vel.y"), cd);
  AddProperty(DProperty(m_motion.velocity.z, "MotionInfo.Vel.z"), cd);
}

void CTMotionController::OnPropertyChanged(DProperty& property) {
  // A component written from outside that is not finite would carry the
  // entity off to NaN: it is refused and becomes 0.
  for (Vector3* part : {&m_motion.angularVelocity, &m_motion.velocity}) {
    for (int i = 0; i < 3; ++i) {
      if (property.ID() == &(*part)[i] && !std::isfinite((*part)[i])) {
        qiBO_Error(
            QIBO_String::Format("%s: %s is not a finite number; set to 0", GetName(), property.GetName())
                .c_str(),
            this);
        (*part)[i] = 0.0f;
      }
    }
  }
  CTEntityController::OnPropertyChanged(property);
}

bool CTMotionController::SetPart(Vector3& part, const Vector3& v, const char* what) {
  if (!Finite(v)) {
    qiBO_Error(QIBO_String::Format("%s: %s (%g, %g, %g) refused", GetName(), what, v.x, v.y, v.z).c_str(),
               this);
    return false;
  }
  part = v;
  return true;
}

bool CTMotionController::DoEnable() {
  if (!GetObject()) return false;
  AddUpdate(kUpdate, 0, -1);
  return true;
}

void CTMotionController::DoDisable() { RemoveUpdate(kUpdate); }

void CTMotionController::Update(int32_t elapsed) {
  CTEntity* entity = GetObject();
  if (!entity) return;
  const float dt = static_cast<float>(elapsed) * 0.001f;
  // A part that does not move is not written, so a still entity keeps its
  // change stamps.
  if (!IsZero(m_motion.velocity)) entity->MoveBy(m_motion.velocity * dt);
  if (!IsZero(m_motion.angularVelocity)) {
    // dq/dt = 1/2 (w, 0) x q, one explicit step, then back to unit length.
    Quaternion& q = entity->GetTransformRef().GetQuaternionRef();
    const Vector3& w = m_motion.angularVelocity;
    const Quaternion dq = Quaternion(w.x, w.y, w.z, 0.0f) * q;
    const float h = 0.5f * dt;
    q = {q.x + h * dq.x, q.y + h * dq.y, q.z + h * dq.z, q.w + h * dq.w};
    q.Normalize();
  }
  m_motion.angularVelocity += m_motion.angularAcceleration * dt;
  m_motion.velocity += m_motion.acceleration * dt;
}

// 0xD1D96334  vector velocity, acceleration, angular velocity, angular acceleration

void CTMotionController::WriteToStream(Stream* stream, uint32_t flags) {
  CTEntityController::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteVector(m_motion.velocity);
  stream->WriteVector(m_motion.acceleration);
  stream->WriteVector(m_motion.angularVelocity);
  stream->WriteVector(m_motion.angularAcceleration);
  stream->EndChunk();
}

bool CTMotionController::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTEntityController::ProcessChunk(stream, chunkID);
  const Vector3 v = stream->ReadVector(), a = stream->ReadVector();
  const Vector3 w = stream->ReadVector(), alpha = stream->ReadVector();
  SetVelocity(v);
  SetAcceleration(a);
  SetAngularVelocity(w);
  SetAngularAcceleration(alpha);
  return true;
}
