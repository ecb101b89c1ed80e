#pragma once

#include "core/geometry/CTBox.h"

// A box whose centre, the pivot, sits anywhere in its owner's space: the
// shape transform's position. Point, height and half-space tests take the
// pivot into account; the support function, like every shape's, answers
// around the shape's own origin and leaves the placement to the shape
// transform. The groups' bounding boxes are of this kind.
class CTBBox : public CTBox {
  QIBO_CLASS(CTBBox)

 public:
  static constexpr uint32_t kChunkID = 0xA5CFF37E;  // pivot (vector)

  CTBBox() { m_pivoted = true; }
  CTBBox(const CTBBox& other) = default;

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Moves the box's centre (the shape transform's position) to pivot.
  void SetPivot(const Vector3& pivot);
  Vector3 GetPivot() const { return Centre(); }

  CTShape* Copy() const override { return new CTBBox(*this); }
};
