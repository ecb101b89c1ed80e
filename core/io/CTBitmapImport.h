#pragma once

#include <memory>

#include "core/io/CTImport.h"
#include "core/object/Ref.h"

class CTTexture;
class LFB;

// An importer of pictures: its result is a texture (one reference, kept
// until the next import or the importer's end). A concrete importer reads
// the file (through SmartFile), fills an LFB and hands it to SetResult.
class CTBitmapImport : public CTImport {
  QIBO_CLASS(CTBitmapImport)

 public:
  explicit CTBitmapImport(const char* name = nullptr);
  ~CTBitmapImport() override;

  // Also releases the texture.
  void SetDefaults() override;
  // Null before a successful import. The importer keeps its reference; a
  // caller that keeps the texture takes one of its own.
  CTTexture* GetTexture() const { return m_texture.Get(); }

 protected:
  // A new texture (made through the texture class's descriptor) with the
  // pixels becomes the result; false, with an error, when it cannot be made.
  bool SetResult(std::unique_ptr<LFB>&& lfb);
  void SetTexture(CTTexture* texture);

 private:
  Ref<CTTexture> m_texture;
};
