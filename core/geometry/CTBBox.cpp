#include "core/geometry/CTBBox.h"

#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTBBox, CTBox, .desc = "BBox shape", .safeToReceive = true)
static_assert(qibo::ClassId("CTBBox") == 0xA5CFF37E);

void CTBBox::SetPivot(const Vector3& pivot) {
  if (!qibo::shapemesh::CheckFinite(this, "pivot", pivot)) return;
  m_transform.MoveTo(pivot);
  Invalidate();
}

void CTBBox::WriteToStream(Stream* stream, uint32_t flags) {
  CTBox::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteVector(GetPivot());
  stream->EndChunk();
}

bool CTBBox::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTBox::ProcessChunk(stream, chunkID);
  SetPivot(stream->ReadVector());
  return true;
}
