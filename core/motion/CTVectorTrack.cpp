#include "core/motion/CTVectorTrack.h"

QIBO_IMPLEMENT_CLASS(CTVectorTrack, CTTrack, .desc = "Vector track", .safeToReceive = true)
static_assert(qibo::ClassId("CTVectorTrack") == 0xFA35A28E);

void CTVectorTrack::WriteToStream(Stream* stream, uint32_t flags) {
  CTTrack::WriteToStream(stream, flags);
  if (flags & 0x2) WriteKeyChunk(stream, kKeysChunk);
}

bool CTVectorTrack::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kKeysChunk) return CTTrack::ProcessChunk(stream, chunkID);
  ReadKeyChunk(stream);
  return true;
}
