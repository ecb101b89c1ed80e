#include "core/scene/CTCamera.h"

#include <cmath>

#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTCamera, CTEntity, .desc = "3D World Camera", .product = "qiBO 3D",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTCamera") == 0x6F8C5FE3);

namespace {

constexpr double kDegrees = 57.29577951308232;  // per radian

bool Differs(float a, float b) { return std::fabs(a - b) >= qibo::kEpsilon; }

}  // namespace

void CTCamera::SetFOV(float degrees) {
  if (!Differs(degrees, m_fov) || !std::isfinite(degrees)) return;
  m_fov = degrees;
  Changed();
}

void CTCamera::ZoomBy(float z) {
  if (!(z > 0.0f)) return;
  SetFOV(static_cast<float>(2.0 * std::atan(std::tan(m_fov / kDegrees / 2.0) / z) * kDegrees));
}

void CTCamera::ChangeMM(float focalLength, float filmSize) {
  if (!(focalLength > 0.0f)) return;
  SetFOV(static_cast<float>(2.0 * std::atan(filmSize / 2.0 / focalLength) * kDegrees));
}

void CTCamera::SetNearDist(float distance) {
  if (Differs(distance, m_near)) {
    m_near = distance;
    Changed();
  }
  UseNearClip(true);
  if (m_near >= m_far && HasFarClip()) UseFarClip(false);
}

void CTCamera::SetFarDist(float distance) {
  if (Differs(distance, m_far)) {
    m_far = distance;
    Changed();
  }
  UseFarClip(true);
  if (m_near >= m_far && HasNearClip()) UseNearClip(false);
}

void CTCamera::UseNearClip(bool on) {
  if (on == HasNearClip()) return;
  m_cameraFlags = on ? (m_cameraFlags | kNearClip) : (m_cameraFlags & ~kNearClip);
  Changed();
}

void CTCamera::UseFarClip(bool on) {
  if (on == HasFarClip()) return;
  m_cameraFlags = on ? (m_cameraFlags | kFarClip) : (m_cameraFlags & ~kFarClip);
  Changed();
}

void CTCamera::WriteToStream(Stream* stream, uint32_t what) {
  CTEntity::WriteToStream(stream, what);
  if (!(what & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(static_cast<int32_t>(m_cameraFlags));
  stream->WriteFloat(m_fov);
  if (HasNearClip()) stream->WriteFloat(m_near);
  if (HasFarClip()) stream->WriteFloat(m_far);
  stream->EndChunk();
}

bool CTCamera::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTEntity::ProcessChunk(stream, chunkID);
  m_cameraFlags = static_cast<uint32_t>(stream->ReadInt());
  Changed();
  SetFOV(stream->ReadFloat());
  const bool nearClip = HasNearClip();
  const bool farClip = HasFarClip();
  if (nearClip) SetNearDist(stream->ReadFloat());
  if (farClip) SetFarDist(stream->ReadFloat());
  return true;
}
