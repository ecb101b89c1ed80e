#pragma once

#include "core/io/CTImportExport.h"

class CTTexture;

// An exporter of pictures: writes a texture's pixels to a file.
class CTBitmapExport : public CTImportExport {
  QIBO_CLASS(CTBitmapExport)

 public:
  explicit CTBitmapExport(const char* name = nullptr) : CTImportExport(name) {}

  // Fails at once for an empty name or a texture without pixels (nothing is
  // locked then). Otherwise locks the texture for DoExport; a failure is
  // reported as "Failed to export to file: " + file, followed by its cause
  // in brackets when DoExport gave one.
  bool Export(const char* file, CTTexture* texture);

 protected:
  // The texture is locked and has pixels.
  virtual bool DoExport(const char* file, CTTexture* texture) = 0;
  // For DoExport: why the export failed (a full disk, a missing folder).
  void SetFailureCause(const char* cause) { m_failureCause = cause ? cause : ""; }

 private:
  QIBO_String m_failureCause;
};
