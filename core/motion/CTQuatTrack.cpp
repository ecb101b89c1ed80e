#include "core/motion/CTQuatTrack.h"

QIBO_IMPLEMENT_CLASS(CTQuatTrack, CTTrack, .desc = "Quaternion track", .safeToReceive = true)
static_assert(qibo::ClassId("CTQuatTrack") == 0x7ECBB980);

void CTQuatTrack::WriteToStream(Stream* stream, uint32_t flags) {
  CTTrack::WriteToStream(stream, flags);
  if (flags & 0x2) WriteKeyChunk(stream, kKeysChunk);
}

bool CTQuatTrack::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kKeysChunk) return CTTrack::ProcessChunk(stream, chunkID);
  ReadKeyChunk(stream);
  return true;
}
