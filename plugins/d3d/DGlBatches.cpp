#include "plugins/d3d/DGlBatches.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

size_t DGlBatches::KeyHash::operator()(const Key& key) const {
  auto mix = [](uint64_t h, uint64_t value) {
    h ^= value + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h * 0xC2B2AE3D27D4EB4Full;
  };
  uint64_t h = mix(0, reinterpret_cast<uintptr_t>(key.shape));
  h = mix(h, reinterpret_cast<uintptr_t>(key.material));
  h = mix(h, key.shapeState);
  h = mix(h, reinterpret_cast<uintptr_t>(key.context) ^ (key.lit ? 1u : 0u));
  return static_cast<size_t>(h ^ (h >> 29));
}

void DGlBatches::Add(const Key& key, const DGlInstance& instance, float depth) {
  // A depth that is not a number goes last rather than break the sort.
  if (std::isnan(depth)) depth = std::numeric_limits<float>::infinity();
  // Copies mostly come in runs of one group: the last one is tried first.
  if (m_used > 0 && m_groups[m_last].key == key) {
    m_groups[m_last].instances.push_back(instance);
    m_groups[m_last].depths.push_back(depth);
    return;
  }
  const auto [found, inserted] = m_index.try_emplace(key, m_used);
  if (inserted) {
    if (m_used == m_groups.size()) m_groups.emplace_back();
    Group& group = m_groups[m_used++];
    group.key = key;
    group.instances.clear();
    group.depths.clear();
  }
  m_last = found->second;
  m_groups[m_last].instances.push_back(instance);
  m_groups[m_last].depths.push_back(depth);
}

void DGlBatches::Flush(DGlRenderer& renderer, DGlShapeCache& shapes,
                       const std::function<void(const Key&)>& prepare) {
  if (m_used == 0) return;
  StreamGroups(shapes);
  for (size_t i = 0; i < m_used; ++i) {
    const Group& group = m_groups[i];
    const DGlShapeCache::Entry& shape = *group.key.shape;
    prepare(group.key);
    if (group.instances.size() == 1) {
      group.instances[0].ToMatrix(renderer.Uniforms().world);
      renderer.DrawArrayObject(shape.array, shape.indexCount, shape.opaqueVertices);
    } else {
      renderer.DrawInstanced(shape.array, shape.indexCount, shape.opaqueVertices, shape.instances,
                             static_cast<int>(group.first), static_cast<int>(group.instances.size()));
    }
  }
  Clear();
}

// A shape's groups of more than one copy lie one after the other in its
// instance buffer, in the order they were gathered, each nearest first: a
// scene seen from the same place gives the same records at the same places
// next frame, and only what moved is sent.
void DGlBatches::StreamGroups(DGlShapeCache& shapes) {
  m_order.clear();
  for (size_t i = 0; i < m_used; ++i)
    if (m_groups[i].instances.size() > 1) m_order.push_back(i);
  std::stable_sort(m_order.begin(), m_order.end(), [this](size_t a, size_t b) {
    return std::less<const DGlShapeCache::Entry*>()(m_groups[a].key.shape, m_groups[b].key.shape);
  });
  for (size_t begin = 0; begin < m_order.size();) {
    DGlShapeCache::Entry* shape = m_groups[m_order[begin]].key.shape;
    size_t end = begin + 1;
    while (end < m_order.size() && m_groups[m_order[end]].key.shape == shape) ++end;
    m_scratch.clear();
    for (size_t k = begin; k < end; ++k) {
      Group& group = m_groups[m_order[k]];
      group.first = m_scratch.size();
      AppendNearestFirst(group);
    }
    shapes.StreamInstances(*shape, m_scratch.data(), m_scratch.size());
    begin = end;
  }
}

void DGlBatches::AppendNearestFirst(const Group& group) {
  m_nearest.clear();
  for (size_t i = 0; i < group.depths.size(); ++i)
    m_nearest.emplace_back(group.depths[i], static_cast<uint32_t>(i));
  // Equal depths keep the order they came in.
  std::sort(m_nearest.begin(), m_nearest.end());
  for (const auto& [depth, record] : m_nearest) m_scratch.push_back(group.instances[record]);
}

void DGlBatches::Clear() {
  m_used = 0;
  m_last = 0;
  m_index.clear();
}
