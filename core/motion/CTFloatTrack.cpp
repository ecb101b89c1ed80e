#include "core/motion/CTFloatTrack.h"

QIBO_IMPLEMENT_CLASS(CTFloatTrack, CTTrack, .desc = "Float track", .safeToReceive = true)
static_assert(qibo::ClassId("CTFloatTrack") == 0x3D06A35B);

void CTFloatTrack::WriteToStream(Stream* stream, uint32_t flags) {
  CTTrack::WriteToStream(stream, flags);
  if (flags & 0x2) WriteKeyChunk(stream, kKeysChunk);
}

bool CTFloatTrack::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kKeysChunk) return CTTrack::ProcessChunk(stream, chunkID);
  ReadKeyChunk(stream);
  return true;
}
