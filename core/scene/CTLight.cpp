#include "core/scene/CTLight.h"

#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTLight, CTEntity, .desc = "3D World Light", .product = "qiBO 3D", .safeToReceive = true)
static_assert(qibo::ClassId("CTLight") == 0x25FC9321);

void CTLight::WriteToStream(Stream* stream, uint32_t what) {
  CTEntity::WriteToStream(stream, what);
  if (!(what & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteDouble(m_value);
  stream->WriteVector(m_color);
  stream->EndChunk();
}

bool CTLight::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTEntity::ProcessChunk(stream, chunkID);
  m_value = stream->ReadDouble();
  m_color = stream->ReadVector();
  return true;
}
