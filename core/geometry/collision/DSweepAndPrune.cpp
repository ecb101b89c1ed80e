#include "core/geometry/collision/DSweepAndPrune.h"

#include <algorithm>

bool DSweepAndPrune::Paired(const DBroadBox& a, const DBroadBox& b) {
  if ((a.flags | b.flags) & DBroadBox::kSkip) return false;
  if (a.flags & b.flags & DBroadBox::kGroups) return false;
  for (int axis = 0; axis < 3; ++axis)
    if (a.min[axis] >= b.max[axis] || b.min[axis] >= a.max[axis]) return false;
  return true;
}

void DSweepAndPrune::FindPairsAllPairs(const std::vector<DBroadBox>& boxes, std::vector<DBoxPair>& pairs) {
  pairs.clear();
  const auto n = static_cast<uint32_t>(boxes.size());
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = i + 1; j < n; ++j)
      if (Paired(boxes[i], boxes[j])) pairs.emplace_back(i, j);
}

void DSweepAndPrune::ChooseAxes(const std::vector<DBroadBox>& boxes) {
  double sum[3] = {0, 0, 0}, squares[3] = {0, 0, 0}, extent[3] = {0, 0, 0};
  float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
  size_t n = 0;
  for (const DBroadBox& box : boxes) {
    if (box.flags & DBroadBox::kSkip) continue;
    for (int axis = 0; axis < 3; ++axis) {
      const double centre = 0.5 * (double{box.min[axis]} + box.max[axis]);
      sum[axis] += centre;
      squares[axis] += centre * centre;
      extent[axis] += double{box.max[axis]} - box.min[axis];
      low[axis] = n == 0 ? box.min[axis] : std::min(low[axis], box.min[axis]);
      high[axis] = n == 0 ? box.max[axis] : std::max(high[axis], box.max[axis]);
    }
    ++n;
  }
  m_slabCount = 1;
  if (n < 2) return;
  double spread[3];
  for (int axis = 0; axis < 3; ++axis)
    spread[axis] = squares[axis] - sum[axis] * sum[axis] / static_cast<double>(n);
  int widest = 0;
  for (int axis = 1; axis < 3; ++axis)
    if (spread[axis] > spread[widest]) widest = axis;
  // Only a clearly better axis is worth the resort a change costs.
  if (spread[widest] > 1.5 * spread[m_axis]) m_axis = widest;
  const int u = (m_axis + 1) % 3, v = (m_axis + 2) % 3;
  m_slabAxis = spread[u] >= spread[v] ? u : v;

  // Slabs twice as wide as the average box, at most one for every four
  // boxes: most boxes lie in one or two of them.
  const int t = m_slabAxis;
  const double width = 2.0 * extent[t] / static_cast<double>(n);
  const double range = double{high[t]} - low[t];
  if (!(width > 0.0) || !(range > width)) return;
  const double slabs = std::min(range / width, static_cast<double>(n / 4));
  if (!(slabs >= 2.0)) return;
  m_slabCount = static_cast<int>(slabs);
  m_slabStart = low[t];
  m_slabScale = static_cast<float>(m_slabCount / range);
}

int DSweepAndPrune::SlabOf(float t) const {
  const int slab = static_cast<int>((t - m_slabStart) * m_slabScale);
  return std::clamp(slab, 0, m_slabCount - 1);
}

void DSweepAndPrune::DealIntoSlabs(const std::vector<DBroadBox>& boxes) {
  const int t = m_slabAxis;
  m_slabBegin.assign(static_cast<size_t>(m_slabCount) + 1, 0);
  for (const Key& key : m_order) {
    const DBroadBox& box = boxes[key.index];
    for (int k = SlabOf(box.min[t]), last = SlabOf(box.max[t]); k <= last; ++k)
      ++m_slabBegin[static_cast<size_t>(k) + 1];
  }
  for (size_t k = 1; k < m_slabBegin.size(); ++k) m_slabBegin[k] += m_slabBegin[k - 1];
  m_slabbed.resize(m_slabBegin.back());
  m_slabFill.assign(m_slabBegin.begin(), m_slabBegin.end() - 1);
  // In sweep order, so that every slab is in sweep order too.
  for (const Key& key : m_order) {
    const DBroadBox& box = boxes[key.index];
    const Entry entry{{box.min[0], box.min[1], box.min[2]},
                      {box.max[0], box.max[1], box.max[2]},
                      box.flags & DBroadBox::kGroups,
                      key.index};
    for (int k = SlabOf(box.min[t]), last = SlabOf(box.max[t]); k <= last; ++k)
      m_slabbed[m_slabFill[static_cast<size_t>(k)]++] = entry;
  }
}

void DSweepAndPrune::UpdateOrder(const std::vector<DBroadBox>& boxes) {
  // Keep the boxes still listed in their old order with fresh keys, then
  // add the new ones at the end: the order is nearly right, and the sort
  // below mends it in few steps.
  m_listed.resize(boxes.size(), 0);
  const int axis = m_axis;
  size_t kept = 0;
  for (const Key& old : m_order) {
    if (old.index >= boxes.size()) continue;
    const DBroadBox& box = boxes[old.index];
    if (box.flags & DBroadBox::kSkip) {
      m_listed[old.index] = 0;
      continue;
    }
    m_order[kept++] = Key{box.min[axis], old.index};
  }
  m_order.resize(kept);
  for (uint32_t i = 0; i < boxes.size(); ++i) {
    if (m_listed[i] || (boxes[i].flags & DBroadBox::kSkip)) continue;
    m_listed[i] = 1;
    m_order.push_back(Key{boxes[i].min[axis], i});
  }

  // Insertion sort while it stays cheap; a shuffle (the first call, a new
  // axis, a scene that jumped) goes to the general sort instead.
  const size_t budget = 8 * m_order.size() + 64;
  size_t moves = 0;
  for (size_t i = 1; i < m_order.size() && moves <= budget; ++i) {
    const Key moving = m_order[i];
    size_t j = i;
    for (; j > 0 && m_order[j - 1].min > moving.min; --j) m_order[j] = m_order[j - 1];
    m_order[j] = moving;
    moves += i - j;
  }
  if (moves > budget)
    std::sort(m_order.begin(), m_order.end(), [](const Key& a, const Key& b) { return a.min < b.min; });
}

void DSweepAndPrune::FindPairs(const std::vector<DBroadBox>& boxes, std::vector<DBoxPair>& pairs) {
  pairs.clear();
  ChooseAxes(boxes);
  UpdateOrder(boxes);
  DealIntoSlabs(boxes);
  const int s = m_axis, t = m_slabAxis, u = 3 - m_axis - m_slabAxis;
  const Entry* entries = m_slabbed.data();
  for (int slab = 0; slab < m_slabCount; ++slab) {
    const size_t end = m_slabBegin[static_cast<size_t>(slab) + 1];
    for (size_t i = m_slabBegin[static_cast<size_t>(slab)]; i < end; ++i) {
      const Entry& a = entries[i];
      // Every box of the slab that begins before this one ends; those that
      // begin at or beyond its end (and all after them) do not overlap it.
      for (size_t j = i + 1; j < end && entries[j].min[s] < a.max[s]; ++j) {
        const Entry& b = entries[j];
        if (a.min[s] >= b.max[s] || a.min[t] >= b.max[t] || b.min[t] >= a.max[t] || a.min[u] >= b.max[u] ||
            b.min[u] >= a.max[u] || (a.groups & b.groups))
          continue;
        // Boxes that share several slabs: reported by one of them only.
        if (m_slabCount > 1 && SlabOf(std::max(a.min[t], b.min[t])) != slab) continue;
        pairs.emplace_back(std::min(a.index, b.index), std::max(a.index, b.index));
      }
    }
  }
}
