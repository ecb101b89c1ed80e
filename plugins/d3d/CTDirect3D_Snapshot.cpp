// F12: the picture saved as a Targa file through the exporter made by name.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "core/io/CTBitmapExport.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/CTTextureManager.h"
#include "core/render/base/LFB.h"
#include "plugins/d3d/CTDirect3D.h"

namespace {

// The first "<path>snap_NNN.tga" from 001 on that does not exist yet.
std::string NextSnapshotName(const char* path) {
  char name[512];
  for (int i = 1; i < 1000; ++i) {
    std::snprintf(name, sizeof(name), "%ssnap_%03d.tga", path, i);
    std::string local = name;
    for (char& c : local)
      if (c == '\\') c = '/';
    std::error_code error;
    if (!std::filesystem::exists(local, error)) return name;
  }
  return std::string();
}

}  // namespace

bool CTDirect3D::TakeSnapshot() {
  std::unique_ptr<LFB> picture(GrabLFBFullScreen());
  if (!picture) return ErrorMsg("Snapshot: the picture could not be grabbed");
  auto* textures = qibo::GetService<CTTextureManager>();
  CTTexture* texture = textures ? textures->CreateTexture("Snapshot texture") : nullptr;
  if (!texture) return ErrorMsg("Snapshot: no texture could be made");
  if (!texture->SetData(std::move(picture))) return ErrorMsg("Snapshot: the texture refused the picture");
  const std::string file = NextSnapshotName(m_snapshotPath.c_str());
  if (file.empty()) return ErrorMsg("Snapshot: no free file name");
  CTBasic* object = qiBO_CreateClassByName("CTTargaExport");
  auto* exporter = qibo::Cast<CTBitmapExport>(object);
  if (!exporter) {
    if (object) object->Delete();
    return ErrorMsg("Snapshot: cannot create class CTTargaExport");
  }
  Ref<CTBitmapExport> hold(exporter);  // deleted when this call ends
  return exporter->Export(file.c_str(), texture);
}
