#include "plugins/d3d/D3DDeviceLookup.h"

#include "core/devices/CTDeviceManager.h"
#include "core/kernel/Kernel.h"
#include "plugins/d3d/CTDirect3D.h"

namespace qibo::d3d {

CTDirect3D* FindRegisteredDirect3D() {
  auto* devices = qibo::FindService<CTDeviceManager>();
  if (!devices) return nullptr;
  CTDirect3D* best = nullptr;
  int bestRank = -1;
  for (int i = 0; i < devices->GetDeviceCount(); ++i) {
    auto* device = qibo::Cast<CTDirect3D>(devices->GetDeviceNo(i));
    if (!device) continue;
    const int rank = device->IsVisible() ? 2 : (device->IsStarted() ? 1 : 0);
    if (rank > bestRank) {
      best = device;
      bestRank = rank;
    }
  }
  return best;
}

}  // namespace qibo::d3d
