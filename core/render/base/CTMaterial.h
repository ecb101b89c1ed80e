#pragma once

#include <cstdint>

#include "core/object/CTInterface.h"
#include "core/object/CountedPtr.h"
#include "core/scene/math/Vector3.h"

class CTTexture;

// A colour whose first three components are red, green and blue, 0..1.
struct DColor {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 1.0f;
};

// How a surface is lit and drawn: four colours (emissive, ambient, diffuse,
// specular) with switches saying which apply, transparency, specular power,
// an optional texture and render switches. Materials are shared: drawables,
// shapes and faces refer to them. A registered material has a small id
// ("MatID") from the material service, which also finds it by name.
class CTMaterial : public CTInterface {
  QIBO_CLASS(CTMaterial)

 public:
  static constexpr uint32_t kChunkID = 0x16183264;
  // Bits of the switch word in the chunk.
  static constexpr uint32_t kUseAlpha = 0x001;
  static constexpr uint32_t kUseEmissive = 0x002;
  static constexpr uint32_t kUseAmbient = 0x004;
  static constexpr uint32_t kUseDiffuse = 0x008;
  static constexpr uint32_t kUseSpecular = 0x010;
  static constexpr uint32_t kUseVertexColor = 0x020;
  static constexpr uint32_t kNoFog = 0x080;
  static constexpr uint32_t kAntiAliased = 0x100;
  static constexpr uint32_t kDoubleSided = 0x200;

  explicit CTMaterial(const char* name = "Material");
  // Switches, depth bias, alpha, power, colours, extra value and texture;
  // the copy is named "Copy of " and the source's name and is unregistered.
  CTMaterial(const CTMaterial& other);
  ~CTMaterial() override;

  void DoAddProperties() override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
  bool DoRegisterWithService() override;
  bool DoUnregisterWithService() override;

  // Ambient and diffuse become c, and both apply.
  void SetColor(const DColor& c);
  // Alpha below 0.99 or a texture with more than one bit of alpha turns
  // UseAlpha on.
  void SetAlpha(const float& alpha);
  // The texture of that name from the running texture service; whether a
  // texture is set afterwards.
  bool LoadTexture(const char* name);
  bool LoadTextureFile(const char* file);
  void SetTexture(CTTexture* texture);
  CTTexture* GetTexture() const { return m_texture.Get(); }

  int GetMatID() const { return m_id; }
  void SetMatID(int id) { m_id = id; }  // the material service's
  uint32_t GetSwitches() const;
  void SetSwitches(uint32_t switches);

  bool m_useAlpha = false;
  bool m_useEmissive = false;
  bool m_useAmbient = false;
  bool m_useDiffuse = false;
  bool m_useSpecular = false;
  bool m_useVertexColor = false;
  bool m_noFog = false;
  bool m_antiAliased = false;
  bool m_doubleSided = false;
  int32_t m_depthBias = 0;
  double m_alpha = 1.0;
  double m_power = 20.0;  // specular exponent
  Vector3 m_emissive{0.0f, 0.0f, 0.0f};
  Vector3 m_ambient{1.0f, 1.0f, 1.0f};
  Vector3 m_diffuse{1.0f, 1.0f, 1.0f};
  Vector3 m_specular{1.0f, 1.0f, 1.0f};
  int32_t m_extra = 0;  // carried and streamed

 private:
  int32_t m_id = -1;  // -1: not registered
  CountedPtr<CTTexture> m_texture;
};
