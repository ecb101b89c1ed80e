#pragma once

#include <cstdint>
#include <vector>

#include "core/object/Ref.h"
#include "core/render/CTPipelineStage.h"
#include "core/render/base/CTRenderPipelineManager.h"

class CTClassManager;

// The default pipeline: stages made from the class registry at start, the
// stages that handle the current context, and a cache of routes.
//
// A route is found by an exhaustive search over the active stages, depth
// limited to their number: the fewest steps win, the earlier stage in the
// list on a tie. Every state the search passes on a successful route gets
// its own cache entry (state, target, render target class) -> next stage,
// and a failed search caches "no stage", so each key is searched once. The
// cache is shared by all contexts and emptied only by CreateStages and stop.
class DefRenderPipelineManager : public CTRenderPipelineManager {
  QIBO_CLASS(DefRenderPipelineManager)

 public:
  DefRenderPipelineManager();
  ~DefRenderPipelineManager() override;

  bool RenderShape(DRenderShape* shape, const RenderInfo_t& info, uint32_t target) override;
  int CreateStages() override;
  bool BeginContext(DRenderContext* context) override;
  void EndContext(DRenderContext* context) override;

  int GetStageCount() const { return static_cast<int>(m_stages.size()); }
  CTPipelineStage* GetStage(int i) const { return m_stages[static_cast<size_t>(i)].Get(); }
  int GetActiveStageCount() const { return static_cast<int>(m_active.size()); }
  CTPipelineStage* GetActiveStage(int i) const { return m_active[static_cast<size_t>(i)]; }
  DRenderContext* GetContext() const { return m_context; }
  // Route searches run since start (cache misses), and cache entries.
  int GetSearchCount() const { return m_searches; }
  int GetRouteCacheSize() const { return m_cacheCount; }

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  struct RouteKey {
    uint32_t state;
    uint32_t target;
    uint32_t targetClass;
    bool operator==(const RouteKey& other) const {
      return state == other.state && target == other.target && targetClass == other.targetClass;
    }
  };
  struct RouteEntry {
    RouteKey key;
    CTPipelineStage* stage;  // null: no route from this state
    bool used;
  };

  CTPipelineStage* NextStage(const DRenderPacket& packet);
  int SearchRoute(int depth, uint32_t state, const DRenderPacket& packet, uint32_t targetClass);
  // The cached entry for the key, or null when there is none.
  const RouteEntry* FindRoute(const RouteKey& key) const;
  // Adds the entry unless the key is cached already (the first entry wins).
  void AddRoute(const RouteKey& key, CTPipelineStage* stage);
  void ClearRoutes();
  void ReleaseStages();

  Ref<CTClassManager> m_classes;
  std::vector<Ref<CTPipelineStage>> m_stages;
  std::vector<CTPipelineStage*> m_active;  // in stage-list order
  DRenderContext* m_context = nullptr;
  std::vector<RouteEntry> m_cache;  // open addressing, a power of two long
  int m_cacheCount = 0;
  int m_searches = 0;
};
