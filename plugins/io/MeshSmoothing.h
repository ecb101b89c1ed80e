#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/scene/math/Vector3.h"

class CTMaterial;
class DRenderShape;

namespace qibo::io {

// A mesh as a model gives it: positions with texture coordinates, and
// faces of three position indices (in drawing order) with smoothing groups
// and materials.
struct DMeshCorners {
  std::vector<Vector3> positions;
  std::vector<float> uv;                  // u, v per position
  std::vector<std::array<int, 3>> faces;  // indices below positions.size()
  std::vector<uint32_t> smoothing;        // per face
  std::vector<CTMaterial*> materials;     // per face, null for none
};

// Fills shape (emptied first) with the mesh smoothed by its smoothing
// groups, as DRenderShape::ApplySmoothingGroups and Optimize would leave
// it, built directly: a face's corner at a position takes the normalised
// sum of the normals of the faces at that position that share a group with
// it (its own normal alone without a group); corners alike share one
// vertex; the face normals fill the first normal slots; the faces are
// sorted by material. Linear in the mesh, also for a position that many
// faces meet: beyond 64 different groups there, faces are smoothed only
// with faces of exactly their groups.
void FillSmoothedMesh(const DMeshCorners& mesh, DRenderShape& shape);

}  // namespace qibo::io
