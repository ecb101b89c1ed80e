#include "core/render/base/CTMaterial.h"

#include <string>

#include "core/kernel/Kernel.h"
#include "core/object/Stream.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/CTTextureManager.h"

QIBO_IMPLEMENT_CLASS(CTMaterial, CTInterface, .desc = "Standard Material", .product = "qiBO 3D",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTMaterial") == 0x6616F21F);

CTMaterial::CTMaterial(const char* name) : CTInterface(name ? name : "Material") {}

CTMaterial::CTMaterial(const CTMaterial& other)
    : CTInterface(other),
      m_useAlpha(other.m_useAlpha),
      m_useEmissive(other.m_useEmissive),
      m_useAmbient(other.m_useAmbient),
      m_useDiffuse(other.m_useDiffuse),
      m_useSpecular(other.m_useSpecular),
      m_useVertexColor(other.m_useVertexColor),
      m_noFog(other.m_noFog),
      m_antiAliased(other.m_antiAliased),
      m_doubleSided(other.m_doubleSided),
      m_depthBias(other.m_depthBias),
      m_alpha(other.m_alpha),
      m_power(other.m_power),
      m_emissive(other.m_emissive),
      m_ambient(other.m_ambient),
      m_diffuse(other.m_diffuse),
      m_specular(other.m_specular),
      m_extra(other.m_extra),
      m_texture(other.m_texture) {
  SetName((std::string("Copy of ") + other.GetName()).c_str());
}

CTMaterial::~CTMaterial() = default;

void CTMaterial::DoAddProperties() {
  CTInterface::DoAddProperties();
  const ClassDesc* cd = CTMaterial::_CD();
  AddPropertyRO(DProperty(m_id, "MatID"), cd);
  AddProperty(DProperty(m_useAlpha, "UseAlpha"), cd);
  AddProperty(DProperty(m_useEmissive, "UseEmissive"), cd);
  AddProperty(DProperty(m_useAmbient, "UseAmbient"), cd);
  AddProperty(DProperty(m_useDiffuse, "UseDiffuse"), cd);
  AddProperty(DProperty(m_useSpecular, "UseSpecular"), cd);
  AddProperty(DProperty(m_useVertexColor, "UseVertexColor"), cd);
  AddProperty(DProperty(m_noFog, "NoFog"), cd);
  AddProperty(DProperty(m_antiAliased, "AntiAliased"), cd);
  AddProperty(DProperty(m_doubleSided, "DoubleSided"), cd);
  AddProperty(DProperty(m_depthBias, "DepthBias"), cd);
  AddProperty(DProperty(m_alpha, "Alpha"), cd);
  AddProperty(DProperty(m_power, "Power"), cd);
  AddPropertyRO(DProperty(m_texture, "Texture"), cd);
}

uint32_t CTMaterial::GetSwitches() const {
  const bool on[] = {m_useAlpha,       m_useEmissive, m_useAmbient, m_useDiffuse,  m_useSpecular,
                     m_useVertexColor, false,         m_noFog,      m_antiAliased, m_doubleSided};
  uint32_t switches = 0;
  for (uint32_t bit = 0; bit < std::size(on); ++bit)
    if (on[bit]) switches |= 1u << bit;
  return switches;
}

void CTMaterial::SetSwitches(uint32_t s) {
  m_useAlpha = (s & kUseAlpha) != 0;
  m_useEmissive = (s & kUseEmissive) != 0;
  m_useAmbient = (s & kUseAmbient) != 0;
  m_useDiffuse = (s & kUseDiffuse) != 0;
  m_useSpecular = (s & kUseSpecular) != 0;
  m_useVertexColor = (s & kUseVertexColor) != 0;
  m_noFog = (s & kNoFog) != 0;
  m_antiAliased = (s & kAntiAliased) != 0;
  m_doubleSided = (s & kDoubleSided) != 0;
}

void CTMaterial::SetColor(const DColor& c) {
  m_ambient = m_diffuse = Vector3(c.r, c.g, c.b);
  m_useAmbient = m_useDiffuse = true;
  Invalidate();
}

namespace {

// A texture whose alpha needs blending: deeper than one bit. One-bit alpha
// is a cut-out, which the alpha test draws without sorting.
bool BlendsAlpha(const CTTexture* texture) { return texture && texture->GetAlphaDepth() > 1; }

}  // namespace

void CTMaterial::SetAlpha(const float& alpha) {
  m_alpha = alpha;
  m_useAlpha = alpha <= 0.99f || BlendsAlpha(m_texture.Get());
  Invalidate();
}

void CTMaterial::SetTexture(CTTexture* texture) {
  m_texture = texture;
  if (BlendsAlpha(texture)) m_useAlpha = true;
}

bool CTMaterial::LoadTexture(const char* name) {
  if (auto* textures = qibo::FindService<CTTextureManager>()) SetTexture(textures->LoadTexture(name));
  Invalidate();
  return m_texture.Get() != nullptr;
}

bool CTMaterial::LoadTextureFile(const char* file) {
  if (auto* textures = qibo::FindService<CTTextureManager>()) SetTexture(textures->LoadTextureFile(file));
  return m_texture.Get() != nullptr;
}

bool CTMaterial::DoRegisterWithService() {
  auto* materials = qibo::GetService<CTMaterialManager>();
  if (!materials) return false;
  materials->RegisterMaterial(this);
  return true;
}

bool CTMaterial::DoUnregisterWithService() {
  if (auto* materials = qibo::FindService<CTMaterialManager>()) materials->UnregisterMaterial(this);
  return true;
}

// Chunk 0x16183264: switches, depth bias, alpha, power, extra value, the
// emissive, ambient, diffuse and specular colours, the texture reference.
void CTMaterial::WriteToStream(Stream* stream, uint32_t flags) {
  CTInterface::WriteToStream(stream, flags);
  if (flags & 0x4) stream->WriteObject(m_texture.Get());
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(static_cast<int32_t>(GetSwitches()));
  stream->WriteInt(m_depthBias);
  stream->WriteFloat(static_cast<float>(m_alpha));
  stream->WriteFloat(static_cast<float>(m_power));
  stream->WriteInt(m_extra);
  for (const Vector3* colour : {&m_emissive, &m_ambient, &m_diffuse, &m_specular})
    stream->WriteVector(*colour);
  stream->WriteReference(m_texture.Get());
  stream->EndChunk();
}

bool CTMaterial::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTInterface::ProcessChunk(stream, chunkID);
  SetSwitches(static_cast<uint32_t>(stream->ReadInt()));
  m_depthBias = stream->ReadInt();
  m_alpha = stream->ReadFloat();
  m_power = stream->ReadFloat();
  m_extra = stream->ReadInt();
  for (Vector3* colour : {&m_emissive, &m_ambient, &m_diffuse, &m_specular}) *colour = stream->ReadVector();
  m_texture = qibo::Cast<CTTexture>(stream->ReadReference());
  Invalidate();
  return true;
}
