#pragma once

#include "core/motion/CTKeyedTrack.h"

// A track of vectors (positions), interpolated linearly per component.
class CTVectorTrack : public CTKeyedTrack<Vector3> {
  QIBO_CLASS(CTVectorTrack)

 public:
  static constexpr uint32_t kKeysChunk = 0xFA35A28E;  // int count, count x (int time, x, y, z)

  explicit CTVectorTrack(const char* name = nullptr) : CTKeyedTrack(name) {}

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
};
