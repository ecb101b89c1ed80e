#include "core/render/CTRenderTarget.h"

#include "core/kernel/Kernel.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/render/base/LFB.h"

QIBO_IMPLEMENT_CLASS(CTRenderTarget, CTDevice, .desc = "Render Target", .isAbstract = true)

void CTRenderTarget::DoAddProperties() {
  CTDevice::DoAddProperties();
  AddPropertyRO(DProperty(m_visible, "Visible"), CTRenderTarget::_CD());
}

double CTRenderTarget::GetAspectRatio() {
  int width = 0;
  int height = 0;
  if (!GetResolution(width, height) || height == 0) return 0.0;
  return static_cast<double>(width) / height;
}

bool CTRenderTarget::Show() {
  if (m_visible) return true;
  m_visible = DoShow();
  return m_visible;
}

bool CTRenderTarget::Hide() {
  if (!m_visible) return true;
  m_visible = !DoHide();
  return !m_visible;
}

LFB* CTRenderTarget::GrabLFBFullScreen() {
  int width = 0;
  int height = 0;
  if (!m_visible || !GetResolution(width, height)) return nullptr;
  return GrabLFB(0, 0, width, height);
}

bool CTRenderTarget::ShowLFBFullScreen(LFB* lfb) {
  if (!lfb || !Show()) return false;
  int width = 0;
  int height = 0;
  if (!GetResolution(width, height)) return false;
  if ((lfb->GetWidth() != width || lfb->GetHeight() != height) && !lfb->Rescale(width, height)) return false;
  return ShowLFB(lfb, 0, 0);
}

int CTRenderTarget::PreloadMaterials() {
  auto* materials = qibo::FindService<CTMaterialManager>();
  if (!materials) return 0;
  int prepared = 0;
  const int count = materials->GetMaterialCount();
  for (int id = 0; id < count; ++id) {
    CTMaterial* material = materials->GetMaterial(id);
    CTTexture* texture = material ? material->GetTexture() : nullptr;
    if (texture && Preload(texture)) ++prepared;
  }
  return prepared;
}
