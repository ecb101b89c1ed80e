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

void DSweepAndPrune::ChooseAxis(const std::vector<DBroadBox>& boxes) {
  double sum[3] = {0, 0, 0}, squares[3] = {0, 0, 0};
  size_t n = 0;
  for (const DBroadBox& box : boxes) {
    if (box.flags & DBroadBox::kSkip) continue;
    ++n;
    for (int axis = 0; axis < 3; ++axis) {
      const double centre = 0.5 * (double{box.min[axis]} + box.max[axis]);
      sum[axis] += centre;
      squares[axis] += centre * centre;
    }
  }
  if (n < 2) return;
  double spread[3];
  for (int axis = 0; axis < 3; ++axis)
    spread[axis] = squares[axis] - sum[axis] * sum[axis] / static_cast<double>(n);
  int widest = 0;
  for (int axis = 1; axis < 3; ++axis)
    if (spread[axis] > spread[widest]) widest = axis;
  // Only a clearly better axis is worth the resort a change costs.
  if (spread[widest] > 1.5 * spread[m_axis]) m_axis = widest;
}

void DSweepAndPrune::UpdateOrder(const std::vector<DBroadBox>& boxes) {
  // Keep the boxes still listed in their old order with fresh values,
  // then add the new ones at the end: the order is nearly right, and the
  // sort below mends it in few steps.
  m_listed.resize(boxes.size(), 0);
  size_t kept = 0;
  auto entry = [&boxes](uint32_t index) {
    const DBroadBox& box = boxes[index];
    return Entry{{box.min[0], box.min[1], box.min[2]},
                 {box.max[0], box.max[1], box.max[2]},
                 box.flags & DBroadBox::kGroups,
                 index};
  };
  for (const Entry& old : m_order) {
    if (old.index >= boxes.size()) continue;
    if (boxes[old.index].flags & DBroadBox::kSkip) {
      m_listed[old.index] = 0;
      continue;
    }
    m_order[kept++] = entry(old.index);
  }
  m_order.resize(kept);
  for (uint32_t i = 0; i < boxes.size(); ++i) {
    if (m_listed[i] || (boxes[i].flags & DBroadBox::kSkip)) continue;
    m_listed[i] = 1;
    m_order.push_back(entry(i));
  }

  // Insertion sort while it stays cheap; a shuffle (the first call, a new
  // axis, a scene that jumped) goes to the general sort instead.
  const int axis = m_axis;
  const size_t budget = 8 * m_order.size() + 64;
  size_t moves = 0;
  for (size_t i = 1; i < m_order.size() && moves <= budget; ++i) {
    const Entry moving = m_order[i];
    size_t j = i;
    for (; j > 0 && m_order[j - 1].min[axis] > moving.min[axis]; --j) m_order[j] = m_order[j - 1];
    m_order[j] = moving;
    moves += i - j;
  }
  if (moves > budget)
    std::sort(m_order.begin(), m_order.end(),
              [axis](const Entry& a, const Entry& b) { return a.min[axis] < b.min[axis]; });
}

void DSweepAndPrune::FindPairs(const std::vector<DBroadBox>& boxes, std::vector<DBoxPair>& pairs) {
  pairs.clear();
  ChooseAxis(boxes);
  UpdateOrder(boxes);
  const int s = m_axis, t = (m_axis + 1) % 3, u = (m_axis + 2) % 3;
  const size_t n = m_order.size();
  const Entry* order = m_order.data();
  for (size_t i = 0; i < n; ++i) {
    const Entry& a = order[i];
    // Every box that begins before this one ends; those that begin at or
    // beyond its end (and all after them) do not overlap it on the axis.
    for (size_t j = i + 1; j < n && order[j].min[s] < a.max[s]; ++j) {
      const Entry& b = order[j];
      if (a.min[s] >= b.max[s] || a.min[t] >= b.max[t] || b.min[t] >= a.max[t] || a.min[u] >= b.max[u] ||
          b.min[u] >= a.max[u] || (a.groups & b.groups))
        continue;
      pairs.emplace_back(std::min(a.index, b.index), std::max(a.index, b.index));
    }
  }
}
