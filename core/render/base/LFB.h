#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "core/object/BufferAllocator.h"

namespace qibo {

// A buffer allocator whose elements start uninitialised when no value is
// given, so that a buffer about to be overwritten whole is not cleared first.
template <class T>
struct DefaultInitAllocator : BufferAllocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

}  // namespace qibo

// The 32-bit linear frame buffer that textures own and importers fill.
// Pixels are 0xAARRGGBB (alpha in bits 24-31, blue in bits 0-7); row 0 is
// the top row; rows are pitch pixels apart (pitch >= width, bytes per row =
// 4 x pitch). The buffer owns its pixel block and an optional second block
// whose meaning belongs to the renderer; both go with Clear.
//
// Three flag bytes travel with the pixels: the first is carried for the
// renderer, the second is non-zero when the pixels carry alpha, the third
// is non-zero for colour pictures (importers clear it for grey-scale ones).
//
// An operation that cannot have the memory for its pixels logs an error
// (engine log) and fails, leaving the buffer as it was; copying a buffer
// then throws std::bad_alloc, which its owners catch.
class LFB {
 public:
  // Largest side a buffer may have; larger requests are refused, so that
  // no size read from a file can ask for an absurd allocation.
  static constexpr int kMaxSide = 16384;
  static constexpr uint32_t kDefaultColorValue = 0xFF000000;

  LFB() = default;
  // A zeroed buffer of the size (see Create); empty if the size is refused.
  LFB(int width, int height, int pitch = 0) { Create(width, height, pitch); }

  // Allocates zeroed pixels; pitch 0 means width. Fails (leaving the buffer
  // as it was) for a side outside 1..kMaxSide, a pitch below the width or
  // above kMaxSide, or no memory. Flags and colour value are kept. A decoder
  // that writes every pixel passes zeroed = false and skips the clearing.
  bool Create(int width, int height, int pitch = 0, bool zeroed = true);
  // Frees both blocks; size 0, flags 0, 0, 1, colour value 0xFF000000.
  void Clear();

  bool IsEmpty() const { return m_pixels.empty(); }
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  int GetPitch() const { return m_pitch; }
  // 4 x pitch x height.
  size_t GetByteSize() const { return m_pixels.size() * sizeof(uint32_t); }

  uint32_t* GetPixels() { return m_pixels.empty() ? nullptr : m_pixels.data(); }
  const uint32_t* GetPixels() const { return m_pixels.empty() ? nullptr : m_pixels.data(); }
  // Row y (0 on top); null out of range.
  uint32_t* GetRow(int y);
  const uint32_t* GetRow(int y) const;
  // The pixel at (x, y), 0 out of range; SetPixel ignores out-of-range.
  uint32_t GetPixel(int x, int y) const;
  void SetPixel(int x, int y, uint32_t argb);

  std::vector<uint8_t>& SecondBuffer() { return m_second; }
  const std::vector<uint8_t>& SecondBuffer() const { return m_second; }

  uint8_t GetFlag(int i) const { return i >= 0 && i < 3 ? m_flags[i] : 0; }
  void SetFlag(int i, uint8_t value) {
    if (i >= 0 && i < 3) m_flags[i] = value;
  }
  bool HasAlpha() const { return m_flags[1] != 0; }
  void SetHasAlpha(bool on) { m_flags[1] = on ? 1 : 0; }
  bool IsColor() const { return m_flags[2] != 0; }
  void SetColor(bool on) { m_flags[2] = on ? 1 : 0; }
  uint32_t GetColorValue() const { return m_colorValue; }
  void SetColorValue(uint32_t value) { m_colorValue = value; }

  // Resamples the picture in place to the size (pitch becomes the width).
  // Reducing averages the covered source area of every target pixel (a box
  // filter, exact for fractional coverage); enlarging repeats the nearest
  // pixel. Fails, keeping the picture, for an empty buffer or a refused size.
  bool Rescale(int width, int height);
  // Half size in each direction (at least 1), each pixel the average of the
  // 2 x 2 (or fewer at the edges) pixels it covers.
  bool MakeMipLevel(LFB& out) const;
  // Number of levels of a full mip chain down to 1 x 1 (0 when empty).
  int MipLevelCount() const;

 private:
  using Pixels = std::vector<uint32_t, qibo::DefaultInitAllocator<uint32_t>>;
  Pixels m_pixels;
  std::vector<uint8_t> m_second;
  int m_width = 0;
  int m_height = 0;
  int m_pitch = 0;
  uint8_t m_flags[3] = {0, 0, 1};
  uint32_t m_colorValue = kDefaultColorValue;
};
