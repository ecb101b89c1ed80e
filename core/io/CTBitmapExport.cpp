#include "core/io/CTBitmapExport.h"

#include "core/render/base/CTTexture.h"

QIBO_IMPLEMENT_CLASS(CTBitmapExport, CTImportExport, .desc = "Abstract Bitmap Exporter", .product = "qiBO IO",
                     .build = 1, .isAbstract = true)

bool CTBitmapExport::Export(const char* file, CTTexture* texture) {
  SetDefaults();
  // Pixels present, or kept in a swap file or a source file to come back
  // from: the lock below brings them in.
  const bool hasPicture =
      texture && (texture->GetData() || texture->HasSwapFile() || *texture->GetSourceFile() != '\0');
  if (!file || !*file || !hasPicture) return false;
  if (!texture->Lock()) return WarningMsg("Can't lock texture", 2) && false;
  m_failureCause = "";
  const bool success = texture->GetData() && DoExport(file, texture);
  texture->Unlock();
  SetSuccess(success);
  if (!success) {
    QIBO_String text = QIBO_String("Failed to export to file: ") + file;
    if (!m_failureCause.Empty()) text = text + " (" + m_failureCause.c_str() + ")";
    ErrorMsg(text.c_str());
  }
  return success;
}
