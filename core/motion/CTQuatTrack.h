#pragma once

#include "core/motion/CTKeyedTrack.h"

// A track of rotations: normalised quaternions, interpolated spherically
// along the shorter arc.
class CTQuatTrack : public CTKeyedTrack<Quaternion> {
  QIBO_CLASS(CTQuatTrack)

 public:
  // int count, count x (int time, x, y, z, w). Without it a saved rotation
  // track would come back empty.
  static constexpr uint32_t kKeysChunk = 0x7ECBB980;

  explicit CTQuatTrack(const char* name = nullptr) : CTKeyedTrack(name) {}

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
};
