#include "core/render/base/LFB.h"

#include <algorithm>
#include <new>

#include "core/kernel/Logging.h"
#include "core/object/QIBO_String.h"

namespace {

// One target pixel's share of the source along one axis: the source pixels
// first .. first + count - 1 with weights in 16.16 fixed point summing to
// exactly 65536.
struct DTap {
  int first;
  int count;
  int weightIndex;  // into the axis's weight list
};

struct DAxis {
  std::vector<DTap> taps;
  std::vector<uint32_t> weights;
};

constexpr uint32_t kOne = 65536;

// Reducing: every target pixel averages the source area it covers, in exact
// integer units (source pixel k spans [k*dst, (k+1)*dst), target pixel i
// spans [i*src, (i+1)*src)). Enlarging: the nearest source pixel.
DAxis MakeAxis(int src, int dst) {
  DAxis axis;
  axis.taps.reserve(static_cast<size_t>(dst));
  if (dst > src) {
    for (int i = 0; i < dst; ++i) {
      const int k = static_cast<int>(((2 * int64_t{i} + 1) * src) / (2 * int64_t{dst}));
      axis.taps.push_back({std::min(k, src - 1), 1, static_cast<int>(axis.weights.size())});
      axis.weights.push_back(kOne);
    }
    return axis;
  }
  for (int i = 0; i < dst; ++i) {
    const int64_t begin = int64_t{i} * src, end = begin + src;
    const int first = static_cast<int>(begin / dst);
    const int last = static_cast<int>((end - 1) / dst);
    const int at = static_cast<int>(axis.weights.size());
    uint32_t sum = 0;
    size_t largest = static_cast<size_t>(at);
    for (int k = first; k <= last; ++k) {
      const int64_t overlap = std::min(end, int64_t{k + 1} * dst) - std::max(begin, int64_t{k} * dst);
      const auto w = static_cast<uint32_t>((overlap * kOne + src / 2) / src);
      axis.weights.push_back(w);
      sum += w;
      if (w > axis.weights[largest]) largest = axis.weights.size() - 1;
    }
    axis.weights[largest] += kOne - sum;  // rounding rest, so that flat areas stay flat
    axis.taps.push_back({first, last - first + 1, at});
  }
  return axis;
}

// Horizontal pass of one row: channels with 8 extra fraction bits.
void FilterRow(const uint32_t* src, const DAxis& axis, uint16_t* out) {
  for (const DTap& tap : axis.taps) {
    const uint32_t* w = axis.weights.data() + tap.weightIndex;
    const uint32_t* p = src + tap.first;
    uint32_t b = 0, g = 0, r = 0, a = 0;
    for (int k = 0; k < tap.count; ++k) {
      const uint32_t px = p[k], wk = w[k];
      b += (px & 0xFF) * wk;
      g += ((px >> 8) & 0xFF) * wk;
      r += ((px >> 16) & 0xFF) * wk;
      a += (px >> 24) * wk;
    }
    out[0] = static_cast<uint16_t>((b + 128) >> 8);
    out[1] = static_cast<uint16_t>((g + 128) >> 8);
    out[2] = static_cast<uint16_t>((r + 128) >> 8);
    out[3] = static_cast<uint16_t>((a + 128) >> 8);
    out += 4;
  }
}

// Resamples src (srcW x srcH, rows srcPitch apart) into dst (dstW x dstH,
// rows dstW apart). Separable: rows first into 16-bit channels, then
// columns, so each source pixel is unpacked once.
void Resample(const uint32_t* src, int srcW, int srcH, int srcPitch, uint32_t* dst, int dstW, int dstH) {
  const DAxis horizontal = MakeAxis(srcW, dstW);
  const DAxis vertical = MakeAxis(srcH, dstH);
  const size_t rowChannels = static_cast<size_t>(dstW) * 4;
  // Filtered rows live in a small ring: a target row reads consecutive
  // source rows, and the next target row starts at or after the first of
  // them, so each source row is filtered once.
  int maxTaps = 1;
  for (const DTap& tap : vertical.taps) maxTaps = std::max(maxTaps, tap.count);
  const auto slots = static_cast<size_t>(maxTaps) + 1;
  std::vector<uint16_t> rows(rowChannels * slots);
  std::vector<int> slotRow(slots, -1);
  std::vector<uint64_t> acc(rowChannels);
  for (int y = 0; y < dstH; ++y) {
    const DTap& tap = vertical.taps[static_cast<size_t>(y)];
    std::fill(acc.begin(), acc.end(), 0);
    for (int k = 0; k < tap.count; ++k) {
      const int row = tap.first + k;
      const size_t slot = static_cast<size_t>(row) % slots;
      uint16_t* filtered = rows.data() + slot * rowChannels;
      if (slotRow[slot] != row) {
        FilterRow(src + static_cast<size_t>(row) * static_cast<size_t>(srcPitch), horizontal, filtered);
        slotRow[slot] = row;
      }
      const uint64_t w = vertical.weights[static_cast<size_t>(tap.weightIndex + k)];
      for (size_t c = 0; c < rowChannels; ++c) acc[c] += filtered[c] * w;
    }
    uint32_t* out = dst + static_cast<size_t>(y) * static_cast<size_t>(dstW);
    constexpr uint64_t kHalf = uint64_t{1} << 23;
    for (int x = 0; x < dstW; ++x) {
      const uint64_t* c = acc.data() + static_cast<size_t>(x) * 4;
      out[x] = static_cast<uint32_t>(((c[0] + kHalf) >> 24) | (((c[1] + kHalf) >> 24) << 8) |
                                     (((c[2] + kHalf) >> 24) << 16) | (((c[3] + kHalf) >> 24) << 24));
    }
  }
}

// The four channels of a pixel in four 16-bit lanes (blue, red, green,
// alpha from the low lane up), so that one addition sums them all; a lane
// holds the sum of up to 257 pixels.
inline uint64_t Spread(uint32_t px) {
  return (px & 0x00FF00FFu) | (static_cast<uint64_t>(px & 0xFF00FF00u) << 24);
}

inline uint32_t Mean(uint64_t sums, uint32_t n) {
  const auto lane = [&](int shift) { return ((static_cast<uint32_t>(sums >> shift) & 0xFFFF) + n / 2) / n; };
  return lane(0) | (lane(32) << 8) | (lane(16) << 16) | (lane(48) << 24);
}

// Whole-number ratios (2048 -> 512, mip levels of even sizes): every target
// pixel is the plain mean of an fx x fy block, the same value the area
// filter gives, at a fraction of its cost. False when the ratio is not
// whole or a block has more than 256 pixels.
bool ReduceByBlocks(const uint32_t* src, int srcW, int srcH, int srcPitch, uint32_t* dst, int dstW,
                    int dstH) {
  if (srcW % dstW != 0 || srcH % dstH != 0) return false;
  const int fx = srcW / dstW, fy = srcH / dstH;
  if (fx * fy > 256) return false;
  const auto n = static_cast<uint32_t>(fx * fy);
  std::vector<uint64_t> sums(static_cast<size_t>(dstW));
  for (int y = 0; y < dstH; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    for (int k = 0; k < fy; ++k) {
      const uint32_t* row = src + static_cast<size_t>(y * fy + k) * static_cast<size_t>(srcPitch);
      for (int x = 0; x < dstW; ++x, row += fx) {
        uint64_t sum = 0;
        for (int i = 0; i < fx; ++i) sum += Spread(row[i]);
        sums[static_cast<size_t>(x)] += sum;
      }
    }
    uint32_t* out = dst + static_cast<size_t>(y) * static_cast<size_t>(dstW);
    for (int x = 0; x < dstW; ++x) out[x] = Mean(sums[static_cast<size_t>(x)], n);
  }
  return true;
}

void Scale(const uint32_t* src, int srcW, int srcH, int srcPitch, uint32_t* dst, int dstW, int dstH) {
  if (!ReduceByBlocks(src, srcW, srcH, srcPitch, dst, dstW, dstH))
    Resample(src, srcW, srcH, srcPitch, dst, dstW, dstH);
}

bool SideOk(int side) { return side >= 1 && side <= LFB::kMaxSide; }

bool NoMemory(const char* what, int width, int height) {
  qiBO_Error(
      QIBO_String::Format("Picture buffer: no memory to %s %d x %d pixels; refused", what, width, height)
          .c_str(),
      nullptr);
  return false;
}

}  // namespace

bool LFB::Create(int width, int height, int pitch, bool zeroed) {
  if (pitch == 0) pitch = width;
  if (!SideOk(width) || !SideOk(height) || pitch < width || pitch > kMaxSide) return false;
  try {
    Pixels pixels(static_cast<size_t>(pitch) * static_cast<size_t>(height));
    if (zeroed) std::fill(pixels.begin(), pixels.end(), 0u);
    m_pixels.swap(pixels);
  } catch (const std::bad_alloc&) {
    return NoMemory("make", pitch, height);
  }
  m_width = width;
  m_height = height;
  m_pitch = pitch;
  return true;
}

void LFB::Clear() {
  Pixels().swap(m_pixels);
  std::vector<uint8_t>().swap(m_second);
  m_width = m_height = m_pitch = 0;
  m_flags[0] = 0;
  m_flags[1] = 0;
  m_flags[2] = 1;
  m_colorValue = kDefaultColorValue;
}

uint32_t* LFB::GetRow(int y) {
  if (y < 0 || y >= m_height || m_pixels.empty()) return nullptr;
  return m_pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(m_pitch);
}

const uint32_t* LFB::GetRow(int y) const { return const_cast<LFB*>(this)->GetRow(y); }

uint32_t LFB::GetPixel(int x, int y) const {
  const uint32_t* row = GetRow(y);
  return row && x >= 0 && x < m_width ? row[x] : 0;
}

void LFB::SetPixel(int x, int y, uint32_t argb) {
  uint32_t* row = GetRow(y);
  if (row && x >= 0 && x < m_width) row[x] = argb;
}

bool LFB::Rescale(int width, int height) {
  if (IsEmpty() || !SideOk(width) || !SideOk(height)) return false;
  if (width == m_width && height == m_height && m_pitch == m_width) return true;
  try {
    Pixels out(static_cast<size_t>(width) * static_cast<size_t>(height));  // Scale writes every pixel
    Scale(m_pixels.data(), m_width, m_height, m_pitch, out.data(), width, height);
    m_pixels.swap(out);
  } catch (const std::bad_alloc&) {
    return NoMemory("rescale to", width, height);
  }
  m_width = width;
  m_height = height;
  m_pitch = width;
  return true;
}

bool LFB::MakeMipLevel(LFB& out) const {
  if (IsEmpty()) return false;
  const int width = std::max(1, m_width / 2), height = std::max(1, m_height / 2);
  LFB level;
  if (!level.Create(width, height)) return false;
  try {
    Scale(m_pixels.data(), m_width, m_height, m_pitch, level.GetPixels(), width, height);
  } catch (const std::bad_alloc&) {
    return NoMemory("scale to", width, height);
  }
  std::copy(m_flags, m_flags + 3, level.m_flags);
  level.m_colorValue = m_colorValue;
  out = std::move(level);
  return true;
}

int LFB::MipLevelCount() const {
  if (IsEmpty()) return 0;
  int levels = 1;
  for (int side = std::max(m_width, m_height); side > 1; side /= 2) ++levels;
  return levels;
}
