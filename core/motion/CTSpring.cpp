#include "core/motion/CTSpring.h"

#include <cmath>

#include "core/geometry/DVec3.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/motion/CTDynaController.h"
#include "core/motion/CTPhysicsManager.h"
#include "core/object/Stream.h"
#include "core/scene/CTEntity.h"
#include "core/scene/CTMotionSensor.h"

QIBO_IMPLEMENT_CLASS(CTSpring, CTController, .desc = "Spring", .product = "qiboCore", .safeToReceive = true)
static_assert(qibo::ClassId("CTSpring") == 0x3FAEA58F);

namespace {

constexpr double kTiny = 1e-5;
constexpr int32_t kUseC = 1, kUseB = 2, kCapped = 4, kSafe = 8;

}  // namespace

CTSpring::CTSpring(const char* name) : CTController(name) {}

CTSpring::~CTSpring() {
  Disable();
  SetEntities(nullptr, Vector3(), nullptr, Vector3());
}

void CTSpring::DoAddProperties() {
  CTController::DoAddProperties();
  const ClassDesc* cd = CTSpring::_CD();
  AddProperty(DProperty(m_useC, "Use_C"), cd);
  AddProperty(DProperty(m_useB, "Use_B"), cd);
  AddProperty(DProperty(m_type, "(int&)Type"), cd);
  AddProperty(DProperty(m_c, "C"), cd);
  AddProperty(DProperty(m_b, "B"), cd);
  AddProperty(DProperty(m_length, "Length"), cd);
}

void CTSpring::OnPropertyChanged(DProperty& property) {
  // Written from outside: C and B switch their terms as the setters do; a
  // value that is not finite falls back to the last accepted one.
  m_cBinding.Apply(property, {&m_c}, [this](double c) { SetC(c); });
  m_bBinding.Apply(property, {&m_b}, [this](double b) { SetB(b); });
  m_lengthBinding.Apply(property, {&m_length}, [this](double length) { SetLength(length); });
  if (property.ID() == &m_type) SetType(static_cast<SpringType_t>(m_type));
  CTController::OnPropertyChanged(property);
}

void CTSpring::Refuse(const char* what) {
  qiBO_Warning(QIBO_String::Format("%s: %s is refused", GetName(), what).c_str(), this);
}

void CTSpring::WarnOnce(const char* text) {
  if (m_warned) return;
  m_warned = true;
  qiBO_Warning(QIBO_String::Format("%s: %s", GetName(), text).c_str(), this);
}

// ---------------------------------------------------------------------------
// Settings

void CTSpring::SetEntity1(CTEntity* e, const Vector3& point) {
  m_direction = Vector3(0.0f, 1.0f, 0.0f);
  m_entity1 = nullptr;
  m_sensor1.Reset();
  if (!e) return;
  m_entity1 = e;
  m_point1 = point;
  m_sensor1 = Ref<CTMotionSensor>(e->RequestMotionSensor());
}

void CTSpring::SetEntity2(CTEntity* e, const Vector3& point) {
  m_direction = Vector3(0.0f, 1.0f, 0.0f);
  m_entity2 = nullptr;
  m_sensor2.Reset();
  if (!e) return;
  m_entity2 = e;
  m_point2 = point;
  m_sensor2 = Ref<CTMotionSensor>(e->RequestMotionSensor());
}

void CTSpring::SetEntities(CTEntity* e1, const Vector3& p1, CTEntity* e2, const Vector3& p2) {
  SetEntity1(e1, p1);
  SetEntity2(e2, p2);
}

bool CTSpring::SetLength(const double& length) {
  if (!std::isfinite(length)) {
    Refuse("a rest length that is not finite");
    return false;
  }
  m_length = length;
  m_lengthBinding.Accept({length});
  return true;
}

bool CTSpring::SetC(const double& c) {
  if (!std::isfinite(c)) {
    Refuse("a spring constant that is not finite");
    return false;
  }
  m_c = c;
  m_cBinding.Accept({c});
  m_useC = std::fabs(c) >= kTiny;
  return true;
}

bool CTSpring::SetB(const double& b) {
  if (!std::isfinite(b)) {
    Refuse("a damping constant that is not finite");
    return false;
  }
  m_b = b;
  m_bBinding.Accept({b});
  m_useB = std::fabs(b) >= kTiny;
  return true;
}

void CTSpring::SetType(SpringType_t type) {
  if (type < kSpringBothWays || type > kSpringCompression) {
    qiBO_Warning(
        QIBO_String::Format("%s: spring type %d unknown; acting both ways", GetName(), int{type}).c_str(),
        this);
    type = kSpringBothWays;
  }
  m_type = type;
}

bool CTSpring::SetMaxImpulse(const double& max) {
  if (std::isnan(max)) {
    Refuse("a cap that is not a number");
    return false;
  }
  m_maxImpulse = max;
  m_maxImpulseOn = true;
  return true;
}

bool CTSpring::SetSafeDirection(const Vector3& direction) {
  if (!qibo::IsFinite(direction)) {
    Refuse("a safe direction that is not finite");
    return false;
  }
  m_safeDirection = direction;
  m_safeDirectionOn = true;
  return true;
}

// ---------------------------------------------------------------------------
// Registration

bool CTSpring::DoEnable() {
  RegisterWithService();
  return true;
}

void CTSpring::DoDisable() { UnregisterWithService(); }

bool CTSpring::DoRegisterWithService() {
  auto* physics = qibo::GetService<CTPhysicsManager>();
  if (physics && physics->IsStarted()) physics->AddSpring(this);
  return true;
}

bool CTSpring::DoUnregisterWithService() {
  if (auto* physics = qibo::FindService<CTPhysicsManager>()) physics->RemoveSpring(this);
  return true;
}

// ---------------------------------------------------------------------------
// The step

CTDynaController* CTSpring::Dynamics(CTEntity* entity) {
  return qibo::Cast<CTDynaController>(entity->GetController());
}

void CTSpring::Push(const Vector3& impulse, const Vector3& at1, const Vector3& at2) {
  if (CTDynaController* dynamics = Dynamics(m_entity1.Get())) dynamics->ApplyImpulse(impulse, at1);
  if (CTDynaController* dynamics = Dynamics(m_entity2.Get())) dynamics->ApplyImpulse(-impulse, at2);
}

void CTSpring::ApplyImpulse(double dt) {
  if (!(m_useC || m_useB) || !m_entity1 || !m_entity2 || !m_sensor1 || !m_sensor2) return;
  CTEntity* e1 = m_entity1.Get();
  CTEntity* e2 = m_entity2.Get();
  if (e1 == e2) {
    WarnOnce("both ends are on one entity; the spring does nothing");
    return;
  }
  if (!Dynamics(e1) && !Dynamics(e2)) return;
  const Vector3 at1 = e1->TransformToWorld(m_point1);
  const Vector3 at2 = e2->TransformToWorld(m_point2);
  if (!qibo::IsFinite(at1) || !qibo::IsFinite(at2) || !std::isfinite(dt)) {
    WarnOnce("its ends are not finitely placed; skipped");
    return;
  }
  const Vector3 d = at1 - at2;
  double length = d.Length();
  double extension;
  if (length < kTiny) {
    extension = -m_length;  // the direction stays as it was
  } else {
    if (m_safeDirectionOn && d.Dot(m_safeDirection) <= 0.0f) length = -length;  // turned over
    m_direction = d * static_cast<float>(1.0 / length);
    extension = length - m_length;
  }
  if ((m_type == kSpringTension && extension < 0.0) || (m_type == kSpringCompression && extension > 0.0))
    return;
  double force = m_useC ? -extension * m_c : 0.0;
  if (m_useB) {
    const Vector3 v = m_sensor1->GetVel(at1) - m_sensor2->GetVel(at2);
    Push(v * static_cast<float>(-(dt * m_b)), at1, at2);
  }
  if (m_maxImpulseOn && force > m_maxImpulse) force = m_maxImpulse;
  if (std::fabs(force) >= kTiny) Push(m_direction * static_cast<float>(force * dt), at1, at2);
}

// ---------------------------------------------------------------------------
// Stream record (see kChunkID)

void CTSpring::WriteToStream(Stream* stream, uint32_t flags) {
  CTController::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(m_type);
  stream->WriteInt((m_useC ? kUseC : 0) | (m_useB ? kUseB : 0) | (m_maxImpulseOn ? kCapped : 0) |
                   (m_safeDirectionOn ? kSafe : 0));
  stream->WriteDouble(m_c);
  stream->WriteDouble(m_b);
  stream->WriteDouble(m_length);
  stream->WriteDouble(m_maxImpulse);
  stream->WriteVector(m_point1);
  stream->WriteVector(m_point2);
  stream->WriteVector(m_safeDirection);
  stream->WriteReference(m_entity1.Get());
  stream->WriteReference(m_entity2.Get());
  stream->EndChunk();
}

bool CTSpring::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTController::ProcessChunk(stream, chunkID);
  const int32_t type = stream->ReadInt();
  const int32_t switches = stream->ReadInt();
  const double c = stream->ReadDouble(), b = stream->ReadDouble();
  const double length = stream->ReadDouble(), cap = stream->ReadDouble();
  const Vector3 p1 = stream->ReadVector(), p2 = stream->ReadVector(), safe = stream->ReadVector();
  CTStreamed* ref1 = stream->ReadReference();
  CTStreamed* ref2 = stream->ReadReference();
  SetType(static_cast<SpringType_t>(type));
  if (SetC(c)) m_useC = (switches & kUseC) != 0;
  if (SetB(b)) m_useB = (switches & kUseB) != 0;
  SetLength(length);
  if (!(switches & kCapped) || !SetMaxImpulse(cap)) NoMaxImpulse();
  if (!(switches & kSafe) || !SetSafeDirection(safe)) NoSafeDirection();
  SetEntities(qibo::Cast<CTEntity>(ref1), qibo::IsFinite(p1) ? p1 : Vector3(), qibo::Cast<CTEntity>(ref2),
              qibo::IsFinite(p2) ? p2 : Vector3());
  return true;
}
