#include "core/render/DefRenderPipelineManager.h"

#include "core/geometry/DRenderShape.h"
#include "core/kernel/CTClassManager.h"
#include "core/kernel/Kernel.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(DefRenderPipelineManager, CTRenderPipelineManager, .desc = "Pipeline Manager",
                     .product = "qiBO DefMgr", .build = 1)

namespace {

// A run that takes more steps than this is going round in circles (stages
// that hand each other shapes whose states never reach the target).
constexpr int kMaxStepsPerRun = 64;

size_t HashKey(uint32_t state, uint32_t target, uint32_t targetClass) {
  uint64_t h = (static_cast<uint64_t>(state) << 32 | target) * 0x9E3779B97F4A7C15ull;
  h ^= targetClass * 0xC2B2AE3D27D4EB4Full;
  return static_cast<size_t>(h ^ (h >> 29));
}

}  // namespace

DefRenderPipelineManager::DefRenderPipelineManager() = default;

DefRenderPipelineManager::~DefRenderPipelineManager() { ReleaseStages(); }

bool DefRenderPipelineManager::DoStart() {
  m_context = nullptr;
  CreateStages();
  return true;
}

bool DefRenderPipelineManager::DoStop() {
  ReleaseStages();
  m_classes.Reset();
  return true;
}

void DefRenderPipelineManager::ReleaseStages() {
  ClearRoutes();
  m_active.clear();
  m_context = nullptr;
  m_stages.clear();
}

int DefRenderPipelineManager::CreateStages() {
  ReleaseStages();
  if (!m_classes) m_classes = Ref(qibo::GetService<CTClassManager>());
  if (!m_classes || (!m_classes->IsStarted() && !m_classes->Start())) return 0;
  const uint32_t stageID = CTPipelineStage::_CD()->ID();
  const int count = m_classes->GetClassDescCount();
  for (int i = 0; i < count; ++i) {
    ClassDesc* cd = m_classes->GetClassDescNo(i);
    if (!cd || cd->Abstract() || !cd->CheckGroupID(stageID)) continue;
    Ref<CTPipelineStage> stage(qibo::Cast<CTPipelineStage>(static_cast<CTBasic*>(cd->Create())));
    if (!stage) continue;
    stage->SetName(cd->GetDesc().c_str());
    m_stages.push_back(std::move(stage));
  }
  return GetStageCount();
}

bool DefRenderPipelineManager::BeginContext(DRenderContext* context) {
  m_active.clear();
  m_context = nullptr;
  if (!context || !context->camera || !context->target || !context->viewport) return false;
  for (const Ref<CTPipelineStage>& stage : m_stages) {
    stage->InvalidateContext();
    if (stage->HandlesContext(context)) m_active.push_back(stage.Get());
  }
  if (m_active.empty()) return false;
  m_context = context;
  return true;
}

void DefRenderPipelineManager::EndContext(DRenderContext*) {
  m_context = nullptr;
  m_active.clear();
}

bool DefRenderPipelineManager::RenderShape(DRenderShape* shape, const RenderInfo_t& info, uint32_t target) {
  // Outside BeginContext/EndContext there are no active stages; searching
  // then would cache failures that later contexts would believe.
  if (!shape || !info.context || info.context != m_context) return false;
  shape->UpdateBases();
  // The material of faces that name none. Compared, not only filled when
  // empty: a shape may outlive the material service that gave the last one.
  if (CTMaterialManager* materials = info.context->PrepareMaterials()) {
    CTMaterial* fallback = materials->GetDefaultMaterial();
    if (shape->GetDefaultMaterial() != fallback) shape->SetDefaultMaterial(fallback);
  }
  DRenderPacket packet{info.context, info.world,        info.clipMask, shape,
                       info.context, shape->GetState(), target,        0};
  bool drawn = true;
  while ((packet.shape->GetState() & packet.target) != packet.target) {
    CTPipelineStage* stage = packet.steps < kMaxStepsPerRun ? NextStage(packet) : nullptr;
    if (!stage || !stage->Process(&packet) || !packet.shape) {
      drawn = false;
      break;
    }
  }
  // Temporary clones go; the shape they were made from ends the run.
  DRenderShape* current = packet.shape ? packet.shape : shape;
  while (current != shape && (current->GetState() & qibo::state::kTemporary)) {
    DRenderShape* source = current->GetBaseShape();
    delete current;
    current = source ? source : shape;
  }
  current->SetState(current->GetState() & ~qibo::state::kPerRun);
  return drawn;
}

CTPipelineStage* DefRenderPipelineManager::NextStage(const DRenderPacket& packet) {
  const uint32_t targetClass = packet.context->target ? packet.context->target->GetCD()->ID() : 0;
  const RouteKey key{packet.shape->GetState(), packet.target, targetClass};
  const RouteEntry* route = FindRoute(key);
  if (!route) {
    ++m_searches;
    if (SearchRoute(static_cast<int>(m_active.size()), key.state, packet, targetClass) < 0) {
      AddRoute(key, nullptr);
      WarningMsgF(0, "No pipeline route from state 0x%08X to 0x%08X", key.state, key.target);
      return nullptr;
    }
    route = FindRoute(key);
  }
  // The cache is shared by all contexts: a stage found for another context
  // may not work in this one (a lighting stage without a light).
  if (!route || !route->stage || !route->stage->HandlesContext(packet.stageContext)) return nullptr;
  return route->stage;
}

int DefRenderPipelineManager::SearchRoute(int depth, uint32_t state, const DRenderPacket& packet,
                                          uint32_t targetClass) {
  if ((state & packet.target) == packet.target) return 0;
  int best = depth;
  if (--depth < 0) return -1;
  CTPipelineStage* chosen = nullptr;
  for (CTPipelineStage* stage : m_active) {
    if (!stage->HandlesContext(packet.stageContext) || !stage->HandlesState(state)) continue;
    const int steps = SearchRoute(depth, stage->Peek(state), packet, targetClass);
    if (steps != -1 && steps < best) {
      best = steps;
      chosen = stage;
    }
  }
  if (!chosen) return -1;
  AddRoute({state, packet.target, targetClass}, chosen);
  return best + 1;
}

const DefRenderPipelineManager::RouteEntry* DefRenderPipelineManager::FindRoute(const RouteKey& key) const {
  if (m_cache.empty()) return nullptr;
  const size_t mask = m_cache.size() - 1;
  for (size_t i = HashKey(key.state, key.target, key.targetClass) & mask;; i = (i + 1) & mask) {
    const RouteEntry& entry = m_cache[i];
    if (!entry.used) return nullptr;
    if (entry.key == key) return &entry;
  }
}

void DefRenderPipelineManager::AddRoute(const RouteKey& key, CTPipelineStage* stage) {
  if (FindRoute(key)) return;
  // Keep the table at most half full, so that probes stay short and always
  // end at a free slot.
  if (static_cast<size_t>(m_cacheCount + 1) * 2 > m_cache.size()) {
    std::vector<RouteEntry> old = std::move(m_cache);
    m_cache.assign(old.empty() ? 64 : old.size() * 2, RouteEntry{});
    m_cacheCount = 0;
    for (const RouteEntry& entry : old)
      if (entry.used) AddRoute(entry.key, entry.stage);
  }
  const size_t mask = m_cache.size() - 1;
  size_t i = HashKey(key.state, key.target, key.targetClass) & mask;
  while (m_cache[i].used) i = (i + 1) & mask;
  m_cache[i] = RouteEntry{key, stage, true};
  ++m_cacheCount;
}

void DefRenderPipelineManager::ClearRoutes() {
  m_cache.clear();
  m_cacheCount = 0;
}
