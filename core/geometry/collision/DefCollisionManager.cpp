#include "core/geometry/collision/DefCollisionManager.h"

#include <cmath>

#include "core/geometry/CTShape.h"
#include "core/geometry/DSupportMap.h"
#include "core/kernel/ClassApi.h"
#include "core/motion/base/CTEntityController.h"
#include "core/scene/CTEntity.h"

QIBO_IMPLEMENT_CLASS(DefCollisionManager, CTCollisionManager, .desc = "Collision Manager",
                     .product = "qiBO DefMgr")

namespace {

// The detector the service starts with.
constexpr const char* kDetectorName = "isagjk";

// The world box of a volume from its support points.
bool SupportBox(CTShape* volume, const DTransform& world, DVec3& low, DVec3& high) {
  DSupportMap map;
  if (!map.Set(volume, world)) return false;
  map.Bounds(low, high);
  return true;
}

// The same, faster, for a volume that is an axis-aligned box in its own
// space and not moved by a shape transform (CTBox): its centre placed, and
// along each world axis the sum of its half sizes times the size of the
// matrix's entries. False when that does not apply.
bool WorldBoxOfBox(CTShape* volume, const DTransform& world, DVec3& low, DVec3& high) {
  Vector3 centre, half;
  if (!volume->GetTransform().IsIdentity() || !volume->GetBoxExtent(centre, half)) return false;
  const DVec3 middle(world.TransformPoint(centre));
  DVec3 reach(half);
  if (world.UpdateTotalMatrix()) {
    const Matrix33& m = world._TotalMatrix();
    double r[3];
    for (int k = 0; k < 3; ++k)
      r[k] = std::fabs(m.m[0][k]) * half.x + std::fabs(m.m[1][k]) * half.y + std::fabs(m.m[2][k]) * half.z;
    reach = DVec3(r[0], r[1], r[2]);
  }
  low = middle - reach;
  high = middle + reach;
  return true;
}

// Marks a running pass; a nested one is refused.
class PassGuard {
 public:
  explicit PassGuard(int& depth) : m_depth(depth) { ++m_depth; }
  ~PassGuard() { --m_depth; }
  PassGuard(const PassGuard&) = delete;
  PassGuard& operator=(const PassGuard&) = delete;

 private:
  int& m_depth;
};

}  // namespace

DefCollisionManager::DefCollisionManager() : CTCollisionManager() {}

DefCollisionManager::~DefCollisionManager() {
  RemoveAll();
  Compact();
}

void DefCollisionManager::DoAddProperties() {
  CTCollisionManager::DoAddProperties();
  const ClassDesc* cd = DefCollisionManager::_CD();
  AddProperty(DProperty(m_enableCaching, "EnableCaching"), cd);
  AddProperty(DProperty(m_enableNBody, "EnableNBody"), cd);
  AddProperty(DProperty(m_heightBias, "HeightBias"), cd);
}

void DefCollisionManager::OnPropertyChanged(DProperty& property) {
  if (property.ID() == &m_enableCaching) {
    const bool on = m_enableCaching;
    m_enableCaching = !on;  // so that EnableCaching sees the change
    EnableCaching(on);
  }
  CTCollisionManager::OnPropertyChanged(property);
}

bool DefCollisionManager::DoStart() {
  m_detectors.clear();
  CTBasic* made = qiBO_CreateClassByNameIC(kDetectorName);
  auto* detector = qibo::Cast<CTCollisionDetector>(made);
  if (!detector) {
    if (made) made->Delete();
    return ErrorMsgF("No collision detector \"%s\"", kDetectorName);
  }
  m_detectors.emplace_back(detector);
  return true;
}

bool DefCollisionManager::DoStop() {
  RemoveAll();
  Compact();
  m_detectors.clear();
  return true;
}

bool DefCollisionManager::SetDetector(CTCollisionDetector* detector) {
  if (!detector) {
    WarningMsg("A null collision detector is refused");
    return false;
  }
  if (m_processing) return Refused("A change of detector");
  Ref<CTCollisionDetector> keep(detector);  // it may be the one we drop
  DropAllPairs();
  Compact();
  m_detectors.clear();
  m_detectors.push_back(std::move(keep));
  return true;
}

void DefCollisionManager::EnableCaching(bool on) {
  if (on == m_enableCaching) return;
  m_enableCaching = on;
  CTCollisionDetector* detector = GetDetector();
  for (Pair* pair : m_pairs) {
    if (!pair->alive || !detector) continue;
    if (on && !pair->cache) pair->cache = detector->CreateCache();
    if (!on && pair->cache) {
      detector->ReleaseCache(pair->cache);
      pair->cache = nullptr;
    }
  }
}

bool DefCollisionManager::Refused(const char* what) {
  WarningMsgF(0, "%s inside a collision callback is refused", what);
  return false;
}

// ---------------------------------------------------------------------------
// Records

void DefCollisionManager::AddEntity(CTEntity* entity, uint32_t flags, uint32_t mask) {
  if (!entity) return;
  if (!entity->GetCollisionVolume()) {
    WarningMsgF(0, "%s has no collision volume: not registered", entity->GetName());
    return;
  }
  CTEntityController* controller = entity->GetController();
  const uint32_t wanted = (flags & mask) | (controller ? controller->GetCollisionReports() : 0u) | kRecompute;
  const auto known = m_index.find(entity);
  if (known != m_index.end()) {
    m_records[known->second].flags = wanted;
    return;
  }
  uint32_t index;
  if (!m_freeRecords.empty()) {
    index = m_freeRecords.back();
    m_freeRecords.pop_back();
  } else {
    index = static_cast<uint32_t>(m_records.size());
    m_records.emplace_back();
    m_boxes.emplace_back();
  }
  Record& record = m_records[index];
  record = Record();
  record.entity = entity;
  record.flags = wanted;
  m_boxes[index] = DBroadBox();  // skipped until its box is made
  m_index.emplace(entity, index);
  entity->AddRef(this);
}

void DefCollisionManager::SetReports(CTEntity* entity, bool on) {
  // Off only when the entity's controller does not want them either: a
  // body's dynamics and a collision action both ask through this bit.
  CTEntityController* controller = entity ? entity->GetController() : nullptr;
  if (controller && (controller->GetCollisionReports() & kReport)) on = true;
  SetEntityFlags(entity, on ? kReport : 0u, kReport);
}

bool DefCollisionManager::SetEntityFlags(CTEntity* entity, uint32_t flags, uint32_t mask) {
  const auto known = m_index.find(entity);
  if (known == m_index.end()) return false;
  Record& record = m_records[known->second];
  const uint32_t changed = (record.flags ^ flags) & mask;
  record.flags ^= changed;
  // Leaving the static group or the exclusion: the box may be stale.
  if (changed & (kStaticGroup | kExcluded)) record.flags |= kRecompute;
  return true;
}

uint32_t DefCollisionManager::GetEntityFlags(CTEntity* entity) {
  const auto known = m_index.find(entity);
  return known == m_index.end() ? 0u : m_records[known->second].flags;
}

void DefCollisionManager::RemoveEntity(CTEntity* entity) {
  const auto known = m_index.find(entity);
  if (known == m_index.end()) return;
  DropRecord(known->second, true);
  Compact();
}

void DefCollisionManager::OnDelete(CTReferenced* dying) {
  // An entity deleted while registered: its record goes without touching
  // the named reference, which the dying object is taking down itself.
  const auto known = m_index.find(dying);
  if (known != m_index.end()) {
    DropRecord(known->second, false);
    Compact();
  }
  CTCollisionManager::OnDelete(dying);
}

void DefCollisionManager::DropRecord(uint32_t index, bool breakReference) {
  Record& record = m_records[index];
  CTEntity* entity = record.entity;
  for (Pair* pair : m_pairs)
    if (pair->alive && (pair->a == index || pair->b == index)) KillPair(*pair);
  m_index.erase(entity);
  record = Record();
  m_boxes[index] = DBroadBox();
  m_freeRecords.push_back(index);
  if (breakReference && entity) entity->RemoveRef(this);
}

void DefCollisionManager::RemoveAll() {
  DropAllPairs();
  for (uint32_t i = 0; i < m_records.size(); ++i)
    if (CTEntity* entity = m_records[i].entity) {
      m_records[i].entity = nullptr;
      entity->RemoveRef(this);
    }
  m_index.clear();
  m_records.clear();
  m_boxes.clear();
  m_freeRecords.clear();
  Compact();
}

// ---------------------------------------------------------------------------
// Pairs

int DefCollisionManager::GetPairCount() const {
  int count = 0;
  for (const Pair* pair : m_pairs) count += pair->alive ? 1 : 0;
  return count;
}

bool DefCollisionManager::IsPaired(CTEntity* a, CTEntity* b) const {
  const auto ia = m_index.find(a), ib = m_index.find(b);
  if (ia == m_index.end() || ib == m_index.end()) return false;
  const uint32_t lo = std::min(ia->second, ib->second), hi = std::max(ia->second, ib->second);
  return m_pairTable.count(Key(lo, hi)) != 0;
}

void DefCollisionManager::CreatePair(uint32_t a, uint32_t b) {
  const Record& ra = m_records[a];
  const Record& rb = m_records[b];
  const uint32_t asked = (ra.flags | rb.flags) & (kReport | kReportContact);
  if (!asked) return;  // neither would be told: no test at all
  CTCollisionDetector* detector = GetDetector();
  if (!detector || !detector->CanHandle(ra.entity->GetCollisionVolume(), rb.entity->GetCollisionVolume()))
    return;
  Pair* pair;
  if (!m_pairPool.empty()) {
    pair = m_pairPool.back();
    m_pairPool.pop_back();
  } else {
    m_pairStore.push_back(std::make_unique<Pair>());
    pair = m_pairStore.back().get();
  }
  *pair = Pair();
  pair->a = a;
  pair->b = b;
  pair->entityA = ra.entity;
  pair->entityB = rb.entity;
  pair->kind = (asked & kReportContact) ? 2 : 1;
  pair->cache = m_enableCaching ? detector->CreateCache() : nullptr;
  pair->alive = true;
  pair->seen = true;
  m_pairs.push_back(pair);
  m_pairTable.emplace(Key(a, b), pair);
}

void DefCollisionManager::KillPair(Pair& pair) {
  if (!pair.alive) return;
  pair.alive = false;
  m_pairTable.erase(Key(pair.a, pair.b));
  m_dirty = true;
}

void DefCollisionManager::DropAllPairs() {
  for (Pair* pair : m_pairs) KillPair(*pair);
}

void DefCollisionManager::Compact() {
  if (m_processing || !m_dirty) return;
  m_dirty = false;
  CTCollisionDetector* detector = GetDetector();
  size_t kept = 0;
  for (Pair* pair : m_pairs) {
    if (pair->alive) {
      m_pairs[kept++] = pair;
      continue;
    }
    if (pair->cache && detector) detector->ReleaseCache(pair->cache);
    pair->cache = nullptr;
    m_pairPool.push_back(pair);
  }
  m_pairs.resize(kept);
}

// ---------------------------------------------------------------------------
// Broad phase

uint32_t DefCollisionManager::BoxFlags(const Record& record) const {
  const bool skip = !record.entity || record.unplaceable || (record.flags & kExcluded);
  return (record.flags & kGroupMask) | (skip ? DBroadBox::kSkip : 0u);
}

void DefCollisionManager::MakeBox(uint32_t index) {
  Record& record = m_records[index];
  CTEntity* entity = record.entity;
  entity->UpdateWorldSpace();
  const DTransform& world = entity->GetWorldTransform();
  record.stamp = world.LastChange();
  DBroadBox& box = m_boxes[index];
  CTShape* volume = entity->GetCollisionVolume();
  DVec3 low, high;
  bool placed = volume && (WorldBoxOfBox(volume, world, low, high) || SupportBox(volume, world, low, high));
  float size = 0.0f;
  for (int axis = 0; placed && axis < 3; ++axis) {
    box.min[axis] = static_cast<float>(low[axis]);
    box.max[axis] = static_cast<float>(high[axis]);
    placed = std::isfinite(box.min[axis]) && std::isfinite(box.max[axis]) && box.min[axis] <= box.max[axis];
    size = std::max(size, box.max[axis] - box.min[axis]);
  }
  record.unplaceable = !placed || size <= qibo::kEpsilon;
  if (record.unplaceable && !record.warned) {
    record.warned = true;
    WarningMsgF(0, "%s: collision volume %s; left out of collision tests", entity->GetName(),
                placed ? "of no size" : "not finite or without a placement");
  }
}

void DefCollisionManager::UpdateBoxes() {
  for (uint32_t i = 0; i < m_records.size(); ++i) {
    Record& record = m_records[i];
    if (record.entity) {
      bool remake = (record.flags & kRecompute) != 0;
      if (!remake && !(record.flags & (kExcluded | kStaticGroup))) {
        record.entity->UpdateWorldSpace();
        remake = record.entity->GetWorldTransform().HasChangedSince(record.stamp);
      }
      if (remake) {
        record.flags &= ~kRecompute;
        MakeBox(i);
      }
    }
    m_boxes[i].flags = BoxFlags(record);
  }
}

void DefCollisionManager::RunBroadPhase() {
  if (m_processing) {
    Refused("A broad phase");
    return;
  }
  PassGuard pass(m_processing);
  BroadPhase();
}

void DefCollisionManager::BroadPhase() {
  UpdateBoxes();
  m_sweep.FindPairs(m_boxes, m_overlaps);
  for (Pair* pair : m_pairs) pair->seen = false;
  for (const DBoxPair& overlap : m_overlaps) {
    const auto known = m_pairTable.find(Key(overlap.first, overlap.second));
    if (known == m_pairTable.end()) {
      CreatePair(overlap.first, overlap.second);
      continue;
    }
    Pair& pair = *known->second;
    const uint32_t asked = (m_records[pair.a].flags | m_records[pair.b].flags) & (kReport | kReportContact);
    if (!asked) continue;  // nobody listens any more: dropped below
    pair.seen = true;
    pair.kind = (asked & kReportContact) ? 2 : 1;
  }
  for (Pair* pair : m_pairs)
    if (pair->alive && !pair->seen) KillPair(*pair);
}

// ---------------------------------------------------------------------------
// Passes

int DefCollisionManager::ProcessAll() {
  if (m_processing) {
    Refused("A collision pass");
    return 0;
  }
  int found = 0;
  {
    PassGuard pass(m_processing);
    if (m_enableNBody) BroadPhase();
    // Callbacks never add pairs (only a broad phase does), so the list
    // keeps its length; pairs they end are marked and skipped.
    for (size_t i = 0; i < m_pairs.size(); ++i) {
      Pair* pair = m_pairs[i];
      if (pair->alive && TestPair(*pair)) ++found;
    }
  }
  Compact();
  return found;
}

int DefCollisionManager::CheckEntity(CTEntity* entity) {
  if (m_processing) {
    Refused("A collision check");
    return 0;
  }
  const auto known = m_index.find(entity);
  if (known == m_index.end()) return 0;
  const uint32_t index = known->second;
  int found = 0;
  {
    PassGuard pass(m_processing);
    entity->UpdateWorldSpace();
    for (size_t i = 0; i < m_pairs.size(); ++i) {
      Pair* pair = m_pairs[i];
      if (pair->alive && (pair->a == index || pair->b == index) && TestPair(*pair)) ++found;
    }
  }
  Compact();
  return found;
}

bool DefCollisionManager::TestPair(Pair& pair) {
  CTCollisionDetector* detector = GetDetector();
  if (!detector || m_records[pair.a].unplaceable || m_records[pair.b].unplaceable) return false;
  CTEntity* a = pair.entityA;
  CTEntity* b = pair.entityB;
  CTShape* volumeA = a->GetCollisionVolume();
  CTShape* volumeB = b->GetCollisionVolume();
  if (!volumeA || !volumeB) return false;
  a->UpdateWorldSpace();
  b->UpdateWorldSpace();
  Vector3 pointA, pointB;
  const bool touching = pair.kind == 2
                            ? detector->ContactTest(volumeA, a->GetWorldTransform(), volumeB,
                                                    b->GetWorldTransform(), pair.cache, pointA, pointB)
                            : detector->IntersectTest(volumeA, a->GetWorldTransform(), volumeB,
                                                      b->GetWorldTransform(), pair.cache);
  if (touching) Notify(pair, pointA, pointB);
  return touching;
}

void DefCollisionManager::Notify(Pair& pair, const Vector3& pointA, const Vector3& pointB) {
  // The records are read again after the first callback: it may have
  // registered entities (the record list grows) or ended this pair.
  const bool points = pair.kind == 2;
  if (m_records[pair.a].flags & kReportMask) {
    Vector3 point = pointA;
    pair.entityA->OnCollision(pair.entityB, points ? &point : nullptr, nullptr);
  }
  if (!pair.alive) return;
  if (m_records[pair.b].flags & kReportMask) {
    Vector3 point = pointB;
    pair.entityB->OnCollision(pair.entityA, points ? &point : nullptr, nullptr);
  }
}

bool DefCollisionManager::GetEntityBox(CTEntity* entity, Vector3& min, Vector3& max) const {
  const auto known = m_index.find(entity);
  if (known == m_index.end() || m_records[known->second].unplaceable) return false;
  const DBroadBox& box = m_boxes[known->second];
  min = Vector3(box.min[0], box.min[1], box.min[2]);
  max = Vector3(box.max[0], box.max[1], box.max[2]);
  return true;
}
