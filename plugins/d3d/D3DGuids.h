#pragma once

#include <cstdint>

#include "plugins/d3d/DGlWindow.h"

// The 16-byte identifiers kept in "DDrawAdapter" and "D3DDriver".
namespace qibo::d3d {

struct Guid {
  uint8_t bytes[16] = {};
  friend bool operator==(const Guid&, const Guid&) = default;
};

// A device type's identifier: that of the Direct3D 7 device interface it
// stands for (all zero for kUnknown).
Guid DeviceTypeGuid(DDeviceType type);
// The device type an identifier names; kUnknown for any other.
DDeviceType DeviceTypeOf(const uint8_t guid[16]);
// The adapter identifier of a display: all zero for the primary display
// (0), otherwise "QDSP" and the index, low byte first.
Guid AdapterGuid(int display);
// The display an adapter identifier names; 0 for all zero and anything
// that is not an adapter identifier.
int DisplayOf(const uint8_t guid[16]);

}  // namespace qibo::d3d
