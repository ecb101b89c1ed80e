#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "core/scene/CTGroup.h"

class CTShape;

// A group that holds a scene with its physical surroundings: fog, gravity,
// wind, the density of the medium, and a default directional light (a child
// of its own). Registered as a named object (RegisterWithService), it joins
// the engine's environments, whose world transforms every frame brings up to
// date and which the dynamics read.
class CTEnvironment : public CTGroup {
  QIBO_CLASS(CTEnvironment)

 public:
  // float fog density, int fog colour, int fog on, float density, float
  // second scalar, vector gravity, int gravity on, vector wind, int wind on,
  // ref light
  static constexpr uint32_t kChunkID = 0x90EC27B2;
  static constexpr uint32_t kDefaultFogColor = 0x00E0F0FF;  // 0x00RRGGBB
  static constexpr float kAirDensity = 1.2023062f;          // kg per cubic metre

  explicit CTEnvironment(const char* name = nullptr);

  void DoAddProperties() override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
  bool DoRegisterWithService() override;
  bool DoUnregisterWithService() override;

  // Below 1e-5: no fog; otherwise fog on, the density at most 1.
  void SetFogDensity(float density);
  float GetFogDensity() const { return m_fogDensity; }
  bool HasFog() const { return m_fogOn; }
  void SetFogColor(uint32_t rgb) { m_fogColor = rgb; }
  uint32_t GetFogColor() const { return m_fogColor; }
  // On unless every component is below 1e-5 in size.
  void SetGravity(const Vector3& gravity);
  const Vector3& GetGravity() const { return m_gravity; }
  bool HasGravity() const { return m_gravityOn; }
  void SetWind(const Vector3& wind);
  const Vector3& GetWind() const { return m_wind; }
  bool HasWind() const { return m_windOn; }
  void SetDensity(float density) { m_density = density; }
  float GetDensity() const { return m_density; }
  // The ideal-gas density: molar mass in g/mol, pressure in bar, temperature
  // in kelvin.
  void SetDensityAsGas(float molarMass, float pressure, float temperature);
  void SetSecondScalar(float value) { m_secondScalar = value; }
  float GetSecondScalar() const { return m_secondScalar; }
  // Where environments overlap, the one of higher priority holds a point.
  void SetPriority(float priority) { m_priority = priority; }
  float GetPriority() const { return m_priority; }
  CTEntity* GetLight() const { return m_light.Get(); }
  // The light that reaches every surface from all sides (r, g, b); the
  // lighting stages add it times a material's ambient colour.
  void SetAmbientColor(const Vector3& rgb) { m_ambient = rgb; }
  const Vector3& GetAmbientColor() const { return m_ambient; }

 protected:
  CTEnvironment(const CTEnvironment& other);
  CTEntity* Clone() const override { return new CTEnvironment(*this); }

 private:
  float m_fogDensity = 0.0f;
  uint32_t m_fogColor = kDefaultFogColor;
  bool m_fogOn = false;
  float m_density = kAirDensity;
  float m_secondScalar = 1.0f;
  Vector3 m_gravity{0.0f, -9.80665f, 0.0f};
  bool m_gravityOn = true;
  Vector3 m_wind;
  bool m_windOn = false;
  float m_priority = 0.0f;
  Vector3 m_ambient{0.2f, 0.2f, 0.2f};
  Ref<CTEntity> m_light;
};
