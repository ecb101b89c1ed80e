#include "core/io/CTBitmapImport.h"

#include <utility>

#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"

QIBO_IMPLEMENT_CLASS(CTBitmapImport, CTImport, .desc = "Abstract Bitmap Importer", .product = "qiBO IO",
                     .isAbstract = true)

CTBitmapImport::CTBitmapImport(const char* name) : CTImport(name) {}

CTBitmapImport::~CTBitmapImport() = default;

void CTBitmapImport::SetDefaults() {
  CTImport::SetDefaults();
  m_texture.Reset();
}

bool CTBitmapImport::SetResult(std::unique_ptr<LFB>&& lfb) {
  if (!lfb || lfb->IsEmpty()) return ErrorMsg("No picture to keep");
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  if (!texture || !texture->SetData(std::move(lfb))) return ErrorMsg("Cannot create a texture");
  m_texture = std::move(texture);
  return true;
}

void CTBitmapImport::SetTexture(CTTexture* texture) { m_texture = Ref<CTTexture>(texture); }
