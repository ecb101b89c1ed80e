#pragma once

#include "core/scene/CTEntity.h"

// A light: an entity of kind light whose direction is the forward axis of
// its world transform and whose colour the lighting stages use.
class CTLight : public CTEntity {
  QIBO_CLASS(CTLight)

 public:
  static constexpr uint32_t kChunkID = 0x25FC9321;  // double value, 3 floats colour

  explicit CTLight(const char* name = "Entity") : CTEntity(name) { SetKind(kKindLight); }
  CTLight(const char* name, CTGroup* parent) : CTEntity(name) {
    SetKind(kKindLight);
    SetParent(parent);
  }

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  void SetColor(const Vector3& rgb) { m_color = rgb; }
  const Vector3& GetColor() const { return m_color; }  // r, g, b
  void SetValue(double value) { m_value = value; }
  double GetValue() const { return m_value; }

 protected:
  CTLight(const CTLight& other) : CTEntity(other), m_value(other.m_value), m_color(other.m_color) {
    SetKind(kKindLight);
  }
  CTEntity* Clone() const override { return new CTLight(*this); }

 private:
  double m_value = 1.0;
  Vector3 m_color{1.0f, 1.0f, 1.0f};
};
