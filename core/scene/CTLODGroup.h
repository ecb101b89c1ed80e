#pragma once

#include "core/scene/CTGroup.h"

// A group that processes exactly one of its first 16 children, chosen by
// distance: slot i is used while the metric is below its maximum distance
// (kept in ascending order, the children reordered with them). The metric
// of a drawing pass is the distance to the camera times tan(fov / 2), so it
// grows as the object shrinks on screen; a sound pass uses the plain
// distance to the listener. Beyond the last distance nothing is processed.
// A child keeps its distance while it stays: when one leaves, the others
// keep theirs.
class CTLODGroup : public CTGroup {
  QIBO_CLASS(CTLODGroup)

 public:
  static constexpr uint32_t kChunkID = 0xBDB72F8F;  // int extra, int n, n x (ref child, float distance)
  static constexpr int kSlots = 16;
  static constexpr float kNoLimit = 3.4028235e38f;

  explicit CTLODGroup(const char* name = "LOD Group");

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
  void Process(ProcessInfo_t& info) override;

  // False when child is not among the first 16 children.
  bool SetMaxDistance(CTEntity* child, float distance);
  float GetMaxDistance(CTEntity* child) const;
  float GetChildDistance(int slot) const;
  int32_t GetExtra() const { return m_extra; }
  void SetExtra(int32_t extra) { m_extra = extra; }

 protected:
  CTLODGroup(const CTLODGroup& other);
  CTEntity* Clone() const override { return new CTLODGroup(*this); }
  // The child moved into a freed slot brings its own distance (none from
  // beyond the slots), and the order is restored.
  void OnChildRemoved(int slot, int movedFrom) override;

 private:
  int SlotOf(const CTEntity* child) const;
  // Moves slot (its child with it) until the distances ascend again.
  void Resort(int slot);
  int Slots() const { return NumChildren() < kSlots ? NumChildren() : kSlots; }

  float m_distances[kSlots];
  int32_t m_extra = 0;
};
