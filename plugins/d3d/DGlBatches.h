#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "plugins/d3d/DGlCaches.h"
#include "plugins/d3d/DGlRenderer.h"

class CTMaterial;
struct DRenderContext;

// Opaque shapes drawn from their GPU copies, gathered as they come and
// drawn at Flush with one call for all copies that share the shape, the
// material, the culling and the stage: each copy is placed by its
// own world matrix, an instance record streamed through the shape's
// instance buffer. The device flushes before anything that depends on the
// order of drawing; what is gathered is depth-tested and opaque, so it may
// be drawn in any order, and the copies of a group go nearest first: hidden
// fragments then fail the depth test before they are shaded, which is most
// of the work of a software rasteriser. A material is drawn as it is at the
// flush: materials change between frames, not while a scene is drawn.
class DGlBatches {
 public:
  // What the copies of one group share.
  struct Key {
    DGlShapeCache::Entry* shape = nullptr;  // valid until the cache sweeps, after every flush
    CTMaterial* material = nullptr;
    uint32_t shapeState = 0;  // the state bits that set the culling (two-sided)
    bool lit = false;
    DRenderContext* context = nullptr;
    bool operator==(const Key& other) const = default;
  };

  DGlBatches() = default;
  DGlBatches(const DGlBatches&) = delete;
  DGlBatches& operator=(const DGlBatches&) = delete;

  // Gathers one copy, depth its distance along the view (nearer is less).
  void Add(const Key& key, const DGlInstance& instance, float depth);
  bool IsEmpty() const { return m_used == 0; }
  int GetGroupCount() const { return static_cast<int>(m_used); }
  // Draws every group in the order of its first copy and empties the queue.
  // prepare sets up a group's material, light, matrices and render states;
  // a group of one copy is then drawn as a single shape (its world matrix
  // in the uniforms), a larger one with one instanced draw.
  void Flush(DGlRenderer& renderer, DGlShapeCache& shapes, const std::function<void(const Key&)>& prepare);
  // Forgets what was gathered without drawing it.
  void Clear();

 private:
  struct KeyHash {
    size_t operator()(const Key& key) const;
  };
  struct Group {
    Key key;
    std::vector<DGlInstance> instances;
    std::vector<float> depths;
    size_t first = 0;  // the group's first record in its shape's instance buffer
  };

  void StreamGroups(DGlShapeCache& shapes);
  // Appends the group's records to m_scratch, nearest first.
  void AppendNearestFirst(const Group& group);

  // The groups of the queue are m_groups[0 .. m_used); the rest keep their
  // storage for the next frames.
  std::vector<Group> m_groups;
  size_t m_used = 0;
  size_t m_last = 0;  // the group the last copy joined
  std::unordered_map<Key, size_t, KeyHash> m_index;
  std::vector<size_t> m_order;                        // scratch: groups by shape
  std::vector<DGlInstance> m_scratch;                 // scratch: one shape's records
  std::vector<std::pair<float, uint32_t>> m_nearest;  // scratch: depth and record
};
