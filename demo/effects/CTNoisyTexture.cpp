#include "demo/effects/CTNoisyTexture.h"

#include <cstdlib>
#include <memory>

#include "core/kernel/Logging.h"
#include "core/object/QIBO_String.h"

QIBO_IMPLEMENT_CLASS(CTNoisyTexture, CTTexture, .desc = "Noisy texture", .product = "Demo",
                     .fixedId = 0xFAE4EAEF)

CTNoisyTexture::CTNoisyTexture(const char* name) : CTTexture(name) {}

bool CTNoisyTexture::Generate(int width, int height) {
  if (width < 1 || height < 1) return false;
  auto lfb = std::make_unique<LFB>();
  if (!lfb->Create(width, height, 0, false)) {
    qiBO_Warning(QIBO_String::Format("%s: noise of %d x %d refused", GetName(), width, height).c_str(), this);
    return false;
  }
  uint32_t* pixels = lfb->GetPixels();
  const size_t count = static_cast<size_t>(lfb->GetPitch()) * static_cast<size_t>(lfb->GetHeight());
  for (size_t i = 0; i < count; ++i) {
    const uint32_t d = static_cast<uint32_t>(std::rand()) & 0xFFu;
    // Start from opaque white; the grey replaces the colour, the alpha stays.
    pixels[i] = (0xFFFFFFFFu & 0xFF000000u) | d << 16 | d << 8 | d;
  }
  return SetData(std::move(lfb));
}
