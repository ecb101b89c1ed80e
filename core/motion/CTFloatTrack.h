#pragma once

#include "core/motion/CTKeyedTrack.h"

// A track of floats, interpolated linearly.
class CTFloatTrack : public CTKeyedTrack<float> {
  QIBO_CLASS(CTFloatTrack)

 public:
  static constexpr uint32_t kKeysChunk = 0x3D06A35B;  // int count, count x (int time, float)

  explicit CTFloatTrack(const char* name = nullptr) : CTKeyedTrack(name) {}

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
};
