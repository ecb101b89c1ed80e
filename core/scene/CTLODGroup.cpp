#include "core/scene/CTLODGroup.h"

#include <cmath>

#include "core/object/Stream.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTCamera.h"

QIBO_IMPLEMENT_CLASS(CTLODGroup, CTGroup, .desc = "Level of detail group", .product = "qiBO 3D",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTLODGroup") == 0xBDB72F8F);

namespace {
constexpr double kRadiansPerDegree = 0.017453292519943295;
}

CTLODGroup::CTLODGroup(const char* name) : CTGroup(name) {
  for (float& d : m_distances) d = kNoLimit;
}

CTLODGroup::CTLODGroup(const CTLODGroup& other) : CTGroup(other), m_extra(other.m_extra) {
  for (int i = 0; i < kSlots; ++i) m_distances[i] = other.m_distances[i];
}

int CTLODGroup::SlotOf(const CTEntity* child) const {
  for (int i = 0; i < Slots(); ++i)
    if (GetChild(i) == child) return i;
  return -1;
}

bool CTLODGroup::SetMaxDistance(CTEntity* child, float distance) {
  int slot = SlotOf(child);
  if (slot < 0) return false;
  m_distances[slot] = distance;
  Resort(slot);
  return true;
}

void CTLODGroup::Resort(int slot) {
  // Back into ascending order, moving the child with its distance.
  while (slot > 0 && m_distances[slot] < m_distances[slot - 1]) {
    std::swap(m_distances[slot], m_distances[slot - 1]);
    SwapChildren(slot, slot - 1);
    --slot;
  }
  while (slot + 1 < Slots() && m_distances[slot + 1] < m_distances[slot]) {
    std::swap(m_distances[slot], m_distances[slot + 1]);
    SwapChildren(slot, slot + 1);
    ++slot;
  }
}

void CTLODGroup::OnChildRemoved(int slot, int movedFrom) {
  if (slot >= kSlots) return;  // a child without a slot left
  m_distances[slot] = movedFrom != slot && movedFrom < kSlots ? m_distances[movedFrom] : kNoLimit;
  if (movedFrom < kSlots) m_distances[movedFrom] = kNoLimit;
  if (movedFrom != slot) Resort(slot);
}

float CTLODGroup::GetMaxDistance(CTEntity* child) const {
  const int slot = SlotOf(child);
  return slot < 0 ? kNoLimit : m_distances[slot];
}

float CTLODGroup::GetChildDistance(int slot) const {
  return slot >= 0 && slot < Slots() ? m_distances[slot] : kNoLimit;
}

void CTLODGroup::Process(ProcessInfo_t& info) {
  if (!ProcessWhat(info.flags) || NumChildren() == 0) return;
  UpdateWorldSpace();
  const Vector3 here = GetWorldTransform().GetPosition();
  double metric = 0.0;
  const RenderInfo_t& render = info.render;
  if (info.flags & kKindDrawable) {
    CTCamera* camera = render.context ? render.context->camera : nullptr;
    if (camera) {
      camera->UpdateWorldSpace();
      const double distance = (here - camera->GetWorldTransform().GetPosition()).Length();
      metric = distance * std::tan(camera->GetFOV() * kRadiansPerDegree / 2.0);
    }
  } else if ((info.flags & kKindSound) && render.reference) {
    render.reference->UpdateWorldSpace();
    metric = (here - render.reference->GetWorldTransform().GetPosition()).Length();
  }
  for (int i = 0; i < Slots(); ++i) {
    if (m_distances[i] > metric) {
      GetChild(i)->Process(info);
      return;
    }
  }
}

void CTLODGroup::WriteToStream(Stream* stream, uint32_t what) {
  CTGroup::WriteToStream(stream, what);
  if (!(what & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(m_extra);
  stream->WriteInt(Slots());
  for (int i = 0; i < Slots(); ++i) {
    stream->WriteReference(GetChild(i));
    stream->WriteFloat(m_distances[i]);
  }
  stream->EndChunk();
}

bool CTLODGroup::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTGroup::ProcessChunk(stream, chunkID);
  m_extra = stream->ReadInt();
  const int32_t n = stream->ReadInt();
  // A damaged count reads at most the slots there are; the stream's own
  // bounds end the loop at the chunk's end.
  for (int32_t i = 0; i < n && i < kSlots; ++i) {
    auto* child = qibo::Cast<CTEntity>(stream->ReadReference());
    const float distance = stream->ReadFloat();
    if (!child || std::isnan(distance)) continue;
    if (child->GetParent() != this && !child->SetParent(this)) continue;
    SetMaxDistance(child, distance);
  }
  return true;
}
