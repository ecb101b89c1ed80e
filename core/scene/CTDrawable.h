#pragma once

#include "core/geometry/CTShape.h"
#include "core/object/PtrView.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTEntity.h"

// An entity that draws a shape with a material when a drawing pass reaches
// it: culled by its bounding volume when it has one and hint 0x2 is set.
class CTDrawable : public CTEntity {
  QIBO_CLASS(CTDrawable)

 public:
  static constexpr uint32_t kChunkID = 0xE4DFE9D4;  // ref render shape, ref material

  explicit CTDrawable(const char* name = "Entity");
  CTDrawable(const char* name, CTGroup* parent);
  ~CTDrawable() override;

  void DoAddProperties() override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  void Process(ProcessInfo_t& info) override;
  // The render shape's bounding volume (hint 0x2 unless the shape is not
  // worth culling); none without a render shape.
  CTShape* CreateBoundingVolume() override;

  CTShape* GetShape() const { return m_drawShape; }
  void SetShape(CTShape* shape);
  CTMaterial* GetMaterial() const { return m_drawMaterial; }
  void SetMaterial(CTMaterial* material);
  void OnDelete(CTReferenced* dying) override;

 protected:
  CTDrawable(const CTDrawable& other);
  CTEntity* Clone() const override { return new CTDrawable(*this); }

 private:
  // The shape and material live in the entity's m_drawShape and
  // m_drawMaterial, beside the flags the frame pass reads; the drawable
  // holds a counted and a named reference on each (the named one clears the
  // field should the object be deleted regardless). The views publish them
  // as properties.
  PtrView<CTShape> m_shapeView{m_drawShape};
  PtrView<CTMaterial> m_materialView{m_drawMaterial};
};
