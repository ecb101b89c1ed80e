#pragma once

// Pieces the primitive shapes share: the holder of a primitive's render
// shape, the steps of building one, checks of size parameters and segment
// counts, and the tests of an axis-aligned box that the box, sprite, font
// and point shape answer with.

#include <cmath>
#include <cstdint>

#include "core/geometry/DRenderShape.h"
#include "core/scene/math/DTransform.h"
#include "core/scene/math/Plane3.h"

class CTBasic;
class CTMaterial;

// The render shape a primitive builds from its parameters and its shape
// transform, with what it was built for: it is current until a setter calls
// Invalidate or the shape transform is written. Copying a shape does not
// copy its mesh: the copy builds its own on first use.
class DShapeMesh {
 public:
  DShapeMesh() = default;
  DShapeMesh(const DShapeMesh&) {}
  DShapeMesh& operator=(const DShapeMesh&) {
    m_valid = false;
    return *this;
  }

  DRenderShape& Mesh() { return m_mesh; }
  const DRenderShape& Mesh() const { return m_mesh; }
  bool IsCurrent(const DTransform& placement) const {
    return m_valid && m_placementStamp == placement.LastChange();
  }
  void Invalidate() { m_valid = false; }
  void SetCurrent(const DTransform& placement) {
    m_valid = true;
    m_placementStamp = placement.LastChange();
  }

 private:
  DRenderShape m_mesh;
  uint32_t m_placementStamp = 0;
  bool m_valid = false;
};

namespace qibo::shapemesh {

// Render state of a primitive's mesh: vertices in local space, data shared
// with the shape (the pipeline clones it before changing it).
constexpr uint32_t kPrimitiveState = 0x110;
// The same, drawn from both sides (sprites and text).
constexpr uint32_t kTwoSidedState = 0x114;
// The most segments a tessellated primitive uses around or along itself:
// more cost memory and draw time without visible gain.
constexpr int kMaxSegments = 1024;

// Empties the pools and the face list, keeping the storage for the rebuild.
void Reset(DRenderShape& mesh);
// Appends a position (no vertex) and answers its index.
int AddPosition(DRenderShape& mesh, const Vector3& p);
// Appends a white vertex at an existing position with a normal and a
// texture coordinate; the vertex index.
int AddVertex(DRenderShape& mesh, int position, int normal, float u, float v);
// Appends a position and a vertex using it.
int AddPoint(DRenderShape& mesh, const Vector3& p, int normal, float u, float v);
// Appends the triangle (a, b, c) with face normal index normal (-1: one is
// computed by Finish); smooth faces read their vertices' normals. Null when
// the mesh refused the face.
DFace* AddTriangle(DRenderShape& mesh, int a, int b, int c, int normal, bool smooth,
                   CTMaterial* material = nullptr);
// The presence flags as the pools and the face list stand.
void SetPresenceFlags(DRenderShape& mesh);
// Gives faces without a normal one of their own, sets the presence flags,
// the pool view and the state, and moves the mesh by the shape transform
// (unless it is the identity).
void Finish(DRenderShape& mesh, const DTransform& placement, uint32_t state = kPrimitiveState);

// A size parameter that is finite and not negative; otherwise a warning
// naming what through the engine's log, with owner as the object, and false.
bool CheckSize(CTBasic* owner, const char* what, double value);
// A point or offset with finite components; otherwise a warning and false.
bool CheckFinite(CTBasic* owner, const char* what, const Vector3& value);
// A segment count: below low it is refused (false, with a warning), above
// high it is cut to high (with a warning).
bool ClampSegments(CTBasic* owner, const char* what, int& count, int low, int high = kMaxSegments);

}  // namespace qibo::shapemesh

namespace qibo::boxtest {

// An axis-aligned box of half extents half around centre, all in shape
// space. Points on the surface are inside; a line that touches the box
// intersects it.
inline intersect_t Point(const Vector3& p, const Vector3& centre, const Vector3& half) {
  const Vector3 q = p - centre;
  const bool outside = std::fabs(q.x) > half.x || std::fabs(q.y) > half.y || std::fabs(q.z) > half.z;
  return outside ? kIntersectOutside : kIntersectInside;
}
// The corners reach r either side of the centre along the normal: all of
// them are inside when the farthest is, none when the nearest is not.
// Inline: the frustum test runs it for every plane of every box.
inline intersect_t Halfspace(const Plane3& plane, const Vector3& centre, const Vector3& half) {
  const Vector3& n = plane.normal;
  const float r = std::fabs(n.x) * half.x + std::fabs(n.y) * half.y + std::fabs(n.z) * half.z;
  const float s = n.Dot(centre);
  if (s + r <= plane.d) return kIntersectInside;
  if (s - r > plane.d) return kIntersectOutside;
  return kIntersectPartly;
}
intersect_t Line(const Vector3& origin, const Vector3& direction, const Vector3& centre, const Vector3& half);

}  // namespace qibo::boxtest

namespace qibo::shapetest {

// A line's point and direction brought into shape space by the placement
// (the direction turns with the rotation only).
inline Vector3 LinePoint(const Line3& line, const DTransform* placement) {
  return placement ? placement->BackTransformPoint(line.point) : line.point;
}
inline Vector3 LineDirection(const Line3& line, const DTransform* placement) {
  return placement && placement->HasRotation() ? placement->BackTransformNormal(line.direction)
                                               : line.direction;
}

}  // namespace qibo::shapetest
