#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// One world-space axis-aligned box of the broad phase, with the flags that
// decide whether it is paired at all: boxes sharing a group bit (kGroups)
// are never paired, and an excluded box (kSkip) is paired with nothing.
struct DBroadBox {
  static constexpr uint32_t kGroups = 0xF0;
  static constexpr uint32_t kSkip = 0x200;

  float min[3] = {0, 0, 0};
  float max[3] = {0, 0, 0};
  uint32_t flags = kSkip;
};

using DBoxPair = std::pair<uint32_t, uint32_t>;  // indices, first < second

// The broad phase by sort and sweep: the boxes are kept sorted by their
// minimum along one axis from one call to the next, so that boxes that
// moved a little cost an insertion sort of few steps, and a sweep along
// that axis compares each box only with those that begin before it ends.
// The sweep axis is the one along which the boxes' centres spread most (it
// changes only when another spreads clearly more). Along the axis of the
// next largest spread the boxes are dealt into slabs about twice as wide as
// a box, each keeping the sweep order, and each slab is swept on its own: a
// box meets only the boxes of its own slabs, so the cost grows about
// linearly with the number of boxes. A pair whose boxes share several
// slabs is reported by one of them only (the slab of the larger of their
// minima).
//
// The pairs found are exactly those of the all-pairs test: boxes that
// overlap strictly on all three axes (a minimum at or beyond the other's
// maximum parts them), that share no group bit and neither of which is
// skipped. Boxes must be finite: callers skip (kSkip) boxes they cannot
// place.
class DSweepAndPrune {
 public:
  // Fills pairs (cleared first) with the overlapping pairs, each with the
  // smaller index first, in no particular order.
  void FindPairs(const std::vector<DBroadBox>& boxes, std::vector<DBoxPair>& pairs);
  // The reference: every pair of boxes tested, i < j, in index order.
  static void FindPairsAllPairs(const std::vector<DBroadBox>& boxes, std::vector<DBoxPair>& pairs);
  // Whether two boxes are paired (overlap, groups, skip).
  static bool Paired(const DBroadBox& a, const DBroadBox& b);
  int GetAxis() const { return m_axis; }

 private:
  // A box as the sweep reads it: all it needs in one place, in sweep order.
  struct Entry {
    float min[3], max[3];
    uint32_t groups;
    uint32_t index;
  };
  void ChooseAxes(const std::vector<DBroadBox>& boxes);
  void UpdateOrder(const std::vector<DBroadBox>& boxes);
  void DealIntoSlabs(const std::vector<DBroadBox>& boxes);
  int SlabOf(float t) const;

  // What the sort moves: the minimum along the sweep axis, and the box.
  struct Key {
    float min;
    uint32_t index;
  };

  std::vector<Key> m_order;  // boxes not skipped, by minimum along m_axis
  std::vector<uint8_t> m_listed;
  int m_axis = 0;                                // the sweep axis
  int m_slabAxis = 1;                            // the axis the slabs cut
  float m_slabStart = 0.0f, m_slabScale = 0.0f;  // slab of t: (t - start) x scale
  int m_slabCount = 1;
  std::vector<Entry> m_slabbed;       // each slab's boxes in sweep order, slab after slab
  std::vector<uint32_t> m_slabBegin;  // where each slab begins in m_slabbed, and the end
  std::vector<uint32_t> m_slabFill;
};
