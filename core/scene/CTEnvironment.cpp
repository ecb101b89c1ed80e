#include "core/scene/CTEnvironment.h"

#include <cmath>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/object/Stream.h"
#include "core/scene/CTLight.h"

QIBO_IMPLEMENT_CLASS(CTEnvironment, CTGroup, .desc = "Motionin controller", .safeToReceive = true)
static_assert(qibo::ClassId("CTEnvironment") == 0x90EC27B2);

namespace {

bool NotZero(const Vector3& v) {
  return std::fabs(v.x) >= qibo::kEpsilon || std::fabs(v.y) >= qibo::kEpsilon ||
         std::fabs(v.z) >= qibo::kEpsilon;
}

}  // namespace

CTEnvironment::CTEnvironment(const char* name) : CTGroup(name ? name : "Environment") {
  Ref<CTLight> light = qibo::Create<CTLight>();
  if (!light) return;
  light->SetParent(this);
  light->SetDirection(Vector3(-0.1f, -0.6f, 0.2f).Normalized());
  m_light = Ref<CTEntity>(light.Get());
}

CTEnvironment::CTEnvironment(const CTEnvironment& other)
    : CTGroup(other),
      m_fogDensity(other.m_fogDensity),
      m_fogColor(other.m_fogColor),
      m_fogOn(other.m_fogOn),
      m_density(other.m_density),
      m_secondScalar(other.m_secondScalar),
      m_gravity(other.m_gravity),
      m_gravityOn(other.m_gravityOn),
      m_wind(other.m_wind),
      m_windOn(other.m_windOn),
      m_priority(other.m_priority),
      m_ambient(other.m_ambient) {
  // The copy's light is the copy of the source's light, found by its place.
  for (int i = 0; i < other.NumChildren(); ++i)
    if (other.GetChild(i) == other.m_light.Get()) m_light = Ref<CTEntity>(GetChild(i));
}

void CTEnvironment::DoAddProperties() {
  CTGroup::DoAddProperties();
  const ClassDesc* cd = CTEnvironment::_CD();
  AddProperty(DProperty(m_fogDensity, "FogDensity"), cd);
  AddProperty(DProperty(m_fogOn, "Fog"), cd);
  AddProperty(DProperty(m_density, "Density"), cd);
  AddProperty(DProperty(m_priority, "Priority"), cd);
  AddProperty(DProperty(m_gravityOn, "Gravity"), cd);
  AddProperty(DProperty(m_windOn, "Wind"), cd);
}

void CTEnvironment::SetFogDensity(float density) {
  if (!(density >= qibo::kEpsilon)) {
    m_fogDensity = 0.0f;
    m_fogOn = false;
    return;
  }
  m_fogOn = true;
  m_fogDensity = density > 1.0f ? 1.0f : density;
}

void CTEnvironment::SetGravity(const Vector3& gravity) {
  m_gravity = gravity;
  m_gravityOn = NotZero(gravity);
}

void CTEnvironment::SetWind(const Vector3& wind) {
  m_wind = wind;
  m_windOn = NotZero(wind);
}

void CTEnvironment::SetDensityAsGas(float molarMass, float pressure, float temperature) {
  if (!(temperature > 0.0f)) return;
  m_density = static_cast<float>(pressure * 100000.0 * molarMass * 0.001 / (temperature * 8.31451));
}

bool CTEnvironment::DoRegisterWithService() {
  auto* engine = qibo::FindService<CTEngineManager>();
  if (!engine) return false;
  engine->AddEnvironment(this);
  return true;
}

bool CTEnvironment::DoUnregisterWithService() {
  if (auto* engine = qibo::FindService<CTEngineManager>()) engine->RemoveEnvironment(this);
  return true;
}

void CTEnvironment::WriteToStream(Stream* stream, uint32_t what) {
  CTGroup::WriteToStream(stream, what);
  stream->StartChunk(kChunkID);
  stream->WriteFloat(m_fogDensity);
  stream->WriteInt(static_cast<int32_t>(m_fogColor));
  stream->WriteInt(m_fogOn ? 1 : 0);
  stream->WriteFloat(m_density);
  stream->WriteFloat(m_secondScalar);
  stream->WriteVector(m_gravity);
  stream->WriteInt(m_gravityOn ? 1 : 0);
  stream->WriteVector(m_wind);
  stream->WriteInt(m_windOn ? 1 : 0);
  stream->WriteReference(m_light.Get());
  stream->EndChunk();
}

bool CTEnvironment::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTGroup::ProcessChunk(stream, chunkID);
  m_fogDensity = stream->ReadFloat();
  m_fogColor = static_cast<uint32_t>(stream->ReadInt());
  m_fogOn = stream->ReadInt() != 0;
  m_density = stream->ReadFloat();
  m_secondScalar = stream->ReadFloat();
  m_gravity = stream->ReadVector();
  m_gravityOn = stream->ReadInt() != 0;
  m_wind = stream->ReadVector();
  m_windOn = stream->ReadInt() != 0;
  auto* light = qibo::Cast<CTEntity>(stream->ReadReference());
  // An environment (or one of its ancestors) as its own light would hold
  // itself: refused, the light stays.
  if (light && IsAncestorOrSelf(light)) {
    LogError("Stream names an environment's own ancestor as its light; ignored");
    light = m_light.Get();
  }
  if (light != m_light.Get()) {
    // The light this environment made for itself gives way to the stored
    // one; moved to the end first, so the other children keep their order.
    if (m_light && m_light->GetParent() == this) {
      int i = 0;
      while (i < NumChildren() && GetChild(i) != m_light.Get()) ++i;
      for (; i + 1 < NumChildren(); ++i) SwapChildren(i, i + 1);
      m_light->SetParent(nullptr);
    }
    m_light = Ref<CTEntity>(light);
  }
  return true;
}
