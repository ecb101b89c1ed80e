#pragma once

// Duplicate search for the render shape's pools: finds, in about constant
// time per element, the earliest kept element within the merge tolerance,
// which is exactly what a scan over the kept elements in order would find.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/geometry/DRenderShape.h"

namespace qibo::mesh {

// ---- Open addressing over element indices ----
// The table stores indices only; the keys live with the caller, who compares
// them in `same`. Sized for at most `expected` entries at half load.
class IndexTable {
 public:
  explicit IndexTable(size_t expected) {
    size_t size = 16;
    while (size < 2 * expected) size <<= 1;
    m_slots.assign(size, -1);
    m_mask = size - 1;
  }
  // The slot holding the index that `same` accepts, or the empty slot where
  // such an index belongs.
  template <class Same>
  int& Slot(uint64_t hash, Same same) {
    size_t i = hash & m_mask;
    while (m_slots[i] >= 0 && !same(m_slots[i])) i = (i + 1) & m_mask;
    return m_slots[i];
  }

 private:
  std::vector<int> m_slots;
  size_t m_mask = 0;
};

inline uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// ---- Duplicate search ----
// A kept element is filed under the cell of its coordinates. Cells are 8
// tolerances wide, so the box of one tolerance around a query touches at
// most two cells per axis, and at most 8^3 kept elements (pairwise apart by
// a tolerance on some axis) share a cell: the search stays linear. Cell
// numbers are computed in double and clamped, which keeps them monotone in
// the coordinate, so every element within the tolerance is found. (Beyond
// about 3.7e14 an axis has one cell left: still right, only slower.)

constexpr double kTolerance = DRenderShape::kMergeTolerance;
constexpr double kInvCell = 1.0 / (8.0 * kTolerance);
constexpr double kCellLimit = 4611686018427387904.0;  // 2^62

inline int64_t CellOf(double x) {
  const double t = std::clamp(x * kInvCell, -kCellLimit, kCellLimit);
  const int64_t cell = static_cast<int64_t>(t);  // toward zero; floor without a libm call
  return cell - (static_cast<double>(cell) > t);
}

inline bool Near(float a, float b) { return std::fabs(a - b) < DRenderShape::kMergeTolerance; }

// Exact parts of the key first (a vertex's position and normal index), then
// the cells of the compared coordinates.
struct CellKey {
  int64_t k[4];
  uint64_t Hash() const {
    return Mix(static_cast<uint64_t>(k[0]) * 0x9e3779b97f4a7c15ull +
               static_cast<uint64_t>(k[1]) * 0xc2b2ae3d27d4eb4full +
               static_cast<uint64_t>(k[2]) * 0x165667b19e3779f9ull + static_cast<uint64_t>(k[3]));
  }
};

struct VectorTraits {
  static bool Finite(const Vector3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
  }
  static CellKey Key(const Vector3& p, double offset) {
    return {{CellOf(p.x + offset), CellOf(p.y + offset), CellOf(p.z + offset), 0}};
  }
  static bool Same(const Vector3& a, const Vector3& b) {
    return Near(a.x, b.x) && Near(a.y, b.y) && Near(a.z, b.z);
  }
  static bool Identical(const Vector3& a, const Vector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
};

// Vertices are the same with identical indices and u, v within the
// tolerance; the colour is not compared.
struct VertexTraits {
  static bool Finite(const DVertex& p) { return std::isfinite(p.u) && std::isfinite(p.v); }
  static CellKey Key(const DVertex& p, double offset) {
    return {{p.vector, p.normal, CellOf(p.u + offset), CellOf(p.v + offset)}};
  }
  static bool Same(const DVertex& a, const DVertex& b) {
    return a.vector == b.vector && a.normal == b.normal && Near(a.u, b.u) && Near(a.v, b.v);
  }
  static bool Identical(const DVertex& a, const DVertex& b) {
    return a.vector == b.vector && a.normal == b.normal && a.u == b.u && a.v == b.v;
  }
};

// Kept elements filed by cell: each bucket heads a chain through `next`,
// newest first. Cells whose hashes share a bucket share its chain, which
// costs a few comparisons and never a wrong answer: the values decide.
template <class T, class Traits>
class DuplicateGrid {
 public:
  DuplicateGrid(const T* kept, int count) : m_kept(kept) {
    m_next.reserve(static_cast<size_t>(count));
    Rehash(1024);
  }

  // The smallest kept index equal to value, or -1.
  int Find(const T& value) const {
    if (!Traits::Finite(value)) return -1;  // NaN and infinity equal nothing
    // A kept element identical to value is the answer: a kept one before it
    // that matched value would have matched it, and it would not be kept.
    for (int j = Head(Traits::Key(value, 0.0)); j >= 0; j = Next(j))
      if (Traits::Identical(m_kept[j], value)) return j;
    const CellKey lo = Traits::Key(value, -kTolerance), hi = Traits::Key(value, kTolerance);
    int best = -1;
    CellKey c;
    for (c.k[0] = lo.k[0]; c.k[0] <= hi.k[0]; ++c.k[0])
      for (c.k[1] = lo.k[1]; c.k[1] <= hi.k[1]; ++c.k[1])
        for (c.k[2] = lo.k[2]; c.k[2] <= hi.k[2]; ++c.k[2])
          for (c.k[3] = lo.k[3]; c.k[3] <= hi.k[3]; ++c.k[3])
            for (int j = Head(c); j >= 0; j = Next(j))
              if ((best < 0 || j < best) && Traits::Same(m_kept[j], value)) best = j;
    return best;
  }

  // Files kept element `index` (the next one in order).
  void Insert(int index) {
    m_next.push_back(-1);
    if (2 * m_next.size() > m_heads.size())
      Rehash(2 * m_heads.size());  // files index too
    else
      File(index);
  }

 private:
  // At most half a kept element a bucket on average; the table grows with the
  // kept elements, not with the pool, so that it stays in cache.
  void Rehash(size_t size) {
    m_heads.assign(size, -1);
    m_mask = size - 1;
    for (size_t j = 0; j < m_next.size(); ++j) File(static_cast<int>(j));
  }
  void File(int index) {
    if (!Traits::Finite(m_kept[index])) return;
    int& head = m_heads[Traits::Key(m_kept[index], 0.0).Hash() & m_mask];
    m_next[static_cast<size_t>(index)] = head;
    head = index;
  }

  int Head(const CellKey& key) const { return m_heads[key.Hash() & m_mask]; }
  int Next(int j) const { return m_next[static_cast<size_t>(j)]; }

  const T* m_kept;
  std::vector<int> m_heads;  // by bucket
  size_t m_mask = 0;
  std::vector<int> m_next;  // by kept index
};

// Packs the elements that equal no earlier kept one to the front of data;
// map[i] is element i's new index. The kept count.
template <class T, class Traits>
int MergeDuplicates(T* data, int count, std::vector<int>& map) {
  map.assign(static_cast<size_t>(count), -1);
  DuplicateGrid<T, Traits> grid(data, count);
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const T value = data[i];
    const int match = grid.Find(value);
    if (match >= 0) {
      map[static_cast<size_t>(i)] = match;
      continue;
    }
    data[kept] = value;
    map[static_cast<size_t>(i)] = kept;
    grid.Insert(kept++);
  }
  return kept;
}

// An index through a merge map; one outside the old pool stays invalid.
inline int Remap(const std::vector<int>& map, int index) {
  return index >= 0 && static_cast<size_t>(index) < map.size() ? map[static_cast<size_t>(index)] : -1;
}

}  // namespace qibo::mesh
