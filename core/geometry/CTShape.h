#pragma once

#include <cstdint>

#include "core/object/CTInterface.h"
#include "core/object/CountedPtr.h"
#include "core/object/Ref.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/math/DTransform.h"
#include "core/scene/math/Plane3.h"

class DFrustum;
class DRenderShape;
struct RenderInfo_t;

// The engine's geometric object: a render shape of a drawable, a bounding
// volume tested against the view frustum, or a collision volume tested
// against points, half-spaces, lines and other shapes. A shape is defined
// around its own origin ("shape space") and placed in its owner by its own
// shape transform; callers pass the owner's world transform where a test
// needs world placement.
//
// Shapes are reference counted and shared: entities hold them with counted
// references. Queries that make a new shape hand the caller a Ref.
class CTShape : public CTInterface {
  QIBO_CLASS(CTShape)

 public:
  static constexpr uint32_t kMaterialChunk = 0x93D63000;
  static constexpr uint32_t kTransformedChunk = 0x93D63001;  // empty: the shape transform is not the identity
  static constexpr uint32_t kIdentityChunk = 0x93D63002;     // empty: it is the identity
  // The y of a column that misses the shape.
  static constexpr double kNoY = -1.7976931348623157e308;

  explicit CTShape(const char* name = "Shape") : CTInterface(name) {}
  // Named "Copy of " and the source's name; transform and material copied.
  CTShape(const CTShape& other);

  void DoAddProperties() override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  virtual double CalcVolume() { return 0.0; }
  virtual double CalcArea() { return 0.0; }
  virtual void SetMaterial(CTMaterial* material) { m_material = material; }
  // A new shape of the same class and parameters (count 0), or null.
  virtual CTShape* Copy() const { return nullptr; }
  // The shape transform becomes t after it: shape points end up where t
  // takes the points the shape transform placed.
  virtual void ApplyTransform(const DTransform& t);
  virtual void ResetTransform();
  virtual void SetTransform(const DTransform& t);
  // The point of the shape farthest in direction d, in shape space.
  virtual Vector3 GetSupport(const Vector3& d);
  // The surface normal at or nearest to p (shape space).
  virtual Vector3 GetNormal(const Vector3& p);
  // The highest surface y above the column (p.x, p.z), kNoY when the column
  // misses the shape.
  virtual double GetMaxY(const Vector3& p);
  virtual double GetMaxYAndNormal(const Vector3& p, Vector3& normal);
  virtual bool IsConvex() const { return false; }
  // Whether a drawable should cull by this shape's bounding volume; tiny
  // point sets are cheaper to draw than to test.
  virtual bool WorthCulling() const { return true; }
  // New shapes enclosing this one in shape space: a box around the support
  // extents (its pivot at their middle), a sphere around the origin.
  virtual Ref<CTShape> GetBoundingSphere();
  virtual Ref<CTShape> GetBoundingBox();
  // The smaller of the two (the box on a tie).
  virtual Ref<CTShape> GetBoundingVolume();
  // Hands the shape's render shape to the renderer with material (the
  // shape's own material when null; the faces' materials when both are).
  // Shapes without a render shape draw nothing.
  virtual void Render(const RenderInfo_t& info, CTMaterial* material);
  // Placement tests. transform, when given, places the shape: the point or
  // line is brought into shape space with it first. Half-space tests take
  // no transform (0 otherwise).
  virtual intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform);
  virtual intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform);
  virtual intersect_t CheckWithLine(const Line3& line, const DTransform* transform);
  // Shapes whose half-space test is exactly that of an axis-aligned box in
  // shape space (qibo::boxtest::Halfspace) give its centre and half extents
  // here, so that the frustum test runs its planes without a virtual call
  // each; the answers are the same. A class that changes such a shape's
  // half-space test must answer false here.
  virtual bool GetBoxExtent(Vector3& /*centre*/, Vector3& /*half*/) const { return false; }
  // The render shape, built from the current parameters and placed by the
  // shape transform; null for shapes that have none. It belongs to the
  // shape and is rebuilt in place after a change: do not keep the pointer
  // across changes.
  virtual DRenderShape* GetRenderShape() { return nullptr; }

  // The per-axis cross-sections the dynamics use for drag (diagonal).
  const Matrix33& GetCWMatrix();
  // Culling: the active planes of frustum (and of *clip when given) against
  // the shape placed by transform. Outside (1): *clip = 0x40000000; wholly
  // inside (2): *clip = 0x80000000; partly (3): *clip = the planes still cut;
  // undetermined (0): *clip = 0x3FFFFFFF. Planes a shape is inside are
  // dropped so that its children need not test them again. Each plane is
  // moved into shape space on its own: the test keeps no process-wide
  // scratch state.
  intersect_t CheckAgainstFrustum(const DFrustum& frustum, const DTransform* transform, uint32_t* clip);

  const DTransform& GetTransform() const { return m_transform; }
  DTransform& GetTransformRef() { return m_transform; }
  CTMaterial* GetMaterial() const { return m_material.Get(); }

 protected:
  virtual void UpdateCWMatrix();
  // Hands a render shape to the context's render pipeline, to be drawn as
  // filled polygons with material (the faces' own materials where it is
  // null); false when it is not drawn.
  static bool RenderMesh(DRenderShape& mesh, const RenderInfo_t& info, CTMaterial* material);
  // The point and direction of a test in shape space.
  static Vector3 ToShapeSpace(const Vector3& p, const DTransform* transform) {
    return transform ? transform->BackTransformPoint(p) : p;
  }

  // Extents along the six axis directions, from the support function.
  void SupportExtents(Vector3& low, Vector3& high);

  Matrix33 m_cw;
  DTransform m_transform;
  CountedPtr<CTMaterial> m_material;
};
