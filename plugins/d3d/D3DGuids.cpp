#include "plugins/d3d/D3DGuids.h"

#include <cstring>

namespace qibo::d3d {

namespace {

constexpr Guid kTnLHalGuid = {
    {0x78, 0x9e, 0x04, 0xf5, 0x61, 0x48, 0xd2, 0x11, 0xa4, 0x07, 0x00, 0xa0, 0xc9, 0x06, 0x29, 0xa8}};
constexpr Guid kHalGuid = {
    {0xe0, 0x3d, 0xe6, 0x84, 0xaa, 0x46, 0xcf, 0x11, 0x81, 0x6f, 0x00, 0x00, 0xc0, 0x95, 0x3e, 0x9c}};
constexpr Guid kRgbGuid = {
    {0x60, 0x5c, 0x66, 0xa4, 0x73, 0x26, 0xcf, 0x11, 0xa3, 0x1a, 0x00, 0xaa, 0x00, 0xb9, 0x33, 0x56}};
constexpr uint8_t kAdapterTag[4] = {'Q', 'D', 'S', 'P'};

}  // namespace

Guid DeviceTypeGuid(DDeviceType type) {
  switch (type) {
    case DDeviceType::kTnLHal:
      return kTnLHalGuid;
    case DDeviceType::kHal:
      return kHalGuid;
    case DDeviceType::kRgb:
      return kRgbGuid;
    case DDeviceType::kUnknown:
      break;
  }
  return Guid{};
}

DDeviceType DeviceTypeOf(const uint8_t guid[16]) {
  if (std::memcmp(guid, kTnLHalGuid.bytes, 16) == 0) return DDeviceType::kTnLHal;
  if (std::memcmp(guid, kHalGuid.bytes, 16) == 0) return DDeviceType::kHal;
  if (std::memcmp(guid, kRgbGuid.bytes, 16) == 0) return DDeviceType::kRgb;
  return DDeviceType::kUnknown;
}

Guid AdapterGuid(int display) {
  Guid guid;
  if (display <= 0 || display > 0xFFFF) return guid;
  std::memcpy(guid.bytes, kAdapterTag, 4);
  guid.bytes[4] = static_cast<uint8_t>(display & 0xFF);
  guid.bytes[5] = static_cast<uint8_t>(display >> 8);
  return guid;
}

int DisplayOf(const uint8_t guid[16]) {
  if (std::memcmp(guid, kAdapterTag, 4) != 0) return 0;
  return guid[4] | (guid[5] << 8);
}

}  // namespace qibo::d3d
