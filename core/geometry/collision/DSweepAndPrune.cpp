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

void DSweepAndPrune::UpdateOrder(const std::vector<DBroadBox>& boxes) {
  // Keep the boxes still listed in their old order with fresh keys, then
  // add the new ones at the end: the order is nearly right, and the sort
  // below mends it in few steps.
  m_listed.resize(boxes.size(), 0);
  size_t kept = 0;
  for (const Entry& entry : m_order) {
    if (entry.index >= boxes.size() || (boxes[entry.index].flags & DBroadBox::kSkip)) {
      if (entry.index < boxes.size()) m_listed[entry.index] = 0;
      continue;
    }
    const DBroadBox& box = boxes[entry.index];
    m_order[kept++] = {box.min[0], box.max[0], entry.index};
  }
  m_order.resize(kept);
  for (uint32_t i = 0; i < boxes.size(); ++i) {
    if (m_listed[i] || (boxes[i].flags & DBroadBox::kSkip)) continue;
    m_listed[i] = 1;
    m_order.push_back({boxes[i].min[0], boxes[i].max[0], i});
  }

  // Insertion sort while it stays cheap; a shuffle (the first call, a
  // scene that jumped) goes to the general sort instead.
  const size_t budget = 8 * m_order.size() + 64;
  size_t moves = 0;
  for (size_t i = 1; i < m_order.size() && moves <= budget; ++i) {
    const Entry entry = m_order[i];
    size_t j = i;
    for (; j > 0 && m_order[j - 1].minX > entry.minX; --j) m_order[j] = m_order[j - 1];
    m_order[j] = entry;
    moves += i - j;
  }
  if (moves > budget)
    std::sort(m_order.begin(), m_order.end(), [](const Entry& a, const Entry& b) { return a.minX < b.minX; });
}

void DSweepAndPrune::FindPairs(const std::vector<DBroadBox>& boxes, std::vector<DBoxPair>& pairs) {
  pairs.clear();
  UpdateOrder(boxes);
  const size_t n = m_order.size();
  for (size_t i = 0; i < n; ++i) {
    const Entry& a = m_order[i];
    const DBroadBox& boxA = boxes[a.index];
    // Every box that begins before this one ends; those that begin at or
    // beyond its end (and all after them) do not overlap it along x.
    for (size_t j = i + 1; j < n && m_order[j].minX < a.maxX; ++j) {
      const Entry& b = m_order[j];
      if (!Paired(boxA, boxes[b.index])) continue;
      pairs.emplace_back(std::min(a.index, b.index), std::max(a.index, b.index));
    }
  }
  std::sort(pairs.begin(), pairs.end());
}
