#include "core/scene/CTEntity.h"

#include <bit>
#include <cmath>
#include <vector>

#include "core/geometry/CTCollisionManager.h"
#include "core/geometry/CTShape.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/Stream.h"
#include "core/scene/CTGroup.h"
#include "core/scene/PlacementPool.h"

QIBO_IMPLEMENT_CLASS(CTEntity, CTInterface, .desc = "3D World Entity 2000", .product = "qiBO 3D",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTEntity") == 0x5AB8F58E);

namespace {

// The world transform is fresh with respect to a source when its last change
// is not older than the source's (the stamps wrap).
bool FreshFor(const DTransform& world, const DTransform& source) {
  return static_cast<int32_t>(world.LastChange() - source.LastChange()) >= 0;
}

// The placements' pool, made on first use and kept until the process ends.
PlacementPool& Pool(size_t slotSize) {
  static PlacementPool* pool = new PlacementPool(slotSize, alignof(DTransform));
  return *pool;
}

}  // namespace

uint64_t CTEntity::s_worldWrites = 0;
uint64_t CTEntity::s_moves = 0;

CTEntity::CTEntity(const char* name)
    : CTInterface(name), m_validatedAt(SceneEpoch() - 1), m_placement(std::make_unique<Placement>()) {}

CTEntity::CTEntity(const char* name, CTGroup* parent) : CTEntity(name) { SetParent(parent); }

CTEntity::CTEntity(const CTEntity& other)
    : CTInterface(other),
      m_flags(other.m_flags),
      m_validatedAt(SceneEpoch() - 1),
      m_placement(std::make_unique<Placement>(Placement{other.Local(), other.Local()})),
      m_boundingVolume(other.m_boundingVolume) {}

CTEntity::~CTEntity() {
  // A parent still listing us (we were deleted directly) forgets us without
  // giving back a reference that is already gone.
  if (m_parent) m_parent->ForgetChild(this);
  if (m_collisionVolume)
    if (auto* collisions = qibo::FindService<CTCollisionManager>()) collisions->RemoveEntity(this);
  if (m_controller) {
    Ref<CTEntityController> controller = std::move(m_controller);
    controller->Disable();
    if (controller->GetObject() == this) controller->SetObject(nullptr);
  }
  // Whoever still holds the sensor (a spring) must not reach this entity
  // through it.
  if (m_motionSensor) {
    m_motionSensor->SetEntity(nullptr);
    m_motionSensor->SetMotionInfoSource(nullptr);
  }
}

void CTEntity::DoAddProperties() {
  CTInterface::DoAddProperties();
  const ClassDesc* cd = CTEntity::_CD();
  AddPropertyRO(DProperty(m_treeLevel, "TreeLevel"), cd);
  AddPropertyRO(DProperty(m_boundingVolume, "BoundingVolume"), cd);
  AddPropertyRO(DProperty(m_collisionVolume, "CollisionVolume"), cd);
  AddPropertyRO(DProperty(m_parentView, "Parent"), cd);
}

void CTEntity::LogError(const char* text) { qiBO_Error(text, this); }

void* CTEntity::Placement::operator new(size_t size) { return Pool(sizeof(Placement)).Take(size); }

void CTEntity::Placement::operator delete(void* p) { Pool(sizeof(Placement)).Give(p); }

// ---------------------------------------------------------------------------
// Virtual operations of a node

void CTEntity::Process(ProcessInfo_t&) {}

CTEntity* CTEntity::Copy() const {
  CTEntity* copy = Clone();
  if (!copy) return nullptr;
  if (m_parent) copy->SetParent(m_parent);
  // The collision service keeps volumes only while it runs: start it for the copy's.
  if (m_collisionVolume) qibo::GetService<CTCollisionManager>();
  copy->SetCollisionVolume(m_collisionVolume.Get());
  return copy;
}

CTShape* CTEntity::CreateBoundingVolume() { return m_boundingVolume.Get(); }

CTGroup* CTEntity::FindParent(CTGroup* group) { return m_parent ? m_parent->FindParent(group) : nullptr; }

CTGroup* CTEntity::FindParentByName(const char* name) {
  return m_parent ? m_parent->FindParentByName(name) : nullptr;
}

CTEntity* CTEntity::FindChildByName(const char* name) {
  return name && qibo::EqualsIC(GetName(), name) ? this : nullptr;
}

CTEntity* CTEntity::FindChild(CTEntity* entity) { return entity == this ? this : nullptr; }

int CTEntity::GetKindCount(uint32_t kindMask) { return std::popcount(m_flags & kindMask & kKindMask); }

void CTEntity::GetKindCounts(int (&counts)[8]) {
  for (int k = 0; k < 8; ++k) counts[k] = (m_flags >> (16 + k)) & 1;
}

void CTEntity::OnCollision(CTEntity* other, Vector3* point, Vector3* normal) {
  if (!m_controller) return;
  Vector3 derived;
  if (point && !normal && m_collisionVolume) {
    // The volume answers in its own space: the point goes there and the
    // normal comes back to world space.
    derived = RotateToWorld(m_collisionVolume->GetNormal(TransformToLocal(*point)));
    normal = &derived;
  }
  Ref<CTEntityController> controller = m_controller;  // may unbind itself
  controller->OnCollision(other, point, normal);
}

// ---------------------------------------------------------------------------
// Tree

bool CTEntity::IsAncestorOrSelf(const CTEntity* entity) const {
  for (const CTEntity* e = this; e; e = e->m_parent)
    if (e == entity) return true;
  return false;
}

CTEntity* CTEntity::GetRoot() {
  CTEntity* e = this;
  while (e->m_parent) e = e->m_parent;
  return e;
}

void CTEntity::SetParentLink(CTGroup* parent) {
  m_parent = parent;
  m_parentView = parent;
}

// The entity's level and every level below it, without recursion.
void CTEntity::UpdateTreeLevels() {
  m_treeLevel = m_parent ? m_parent->m_treeLevel + 1 : 0;
  auto* self = qibo::Cast<CTGroup>(this);
  if (!self || self->NumChildren() == 0) return;  // the usual case: nothing below
  std::vector<CTEntity*> pending{this};
  while (!pending.empty()) {
    CTEntity* e = pending.back();
    pending.pop_back();
    e->m_treeLevel = e->m_parent ? e->m_parent->m_treeLevel + 1 : 0;
    if (auto* group = qibo::Cast<CTGroup>(e))
      for (int i = 0; i < group->NumChildren(); ++i) pending.push_back(group->GetChild(i));
  }
}

bool CTEntity::WouldBeOwnAncestor(const CTGroup* parent) const {
  if (!parent) return false;
  if (parent == this) return true;
  // Only an entity with children can be an ancestor of the new parent.
  auto* group = qibo::Cast<CTGroup>(const_cast<CTEntity*>(this));
  return group && group->NumChildren() > 0 && parent->IsAncestorOrSelf(this);
}

bool CTEntity::SetParent(CTGroup* parent) {
  if (parent == m_parent) return true;
  if (WouldBeOwnAncestor(parent)) {
    LogError("SetParent refused: the entity would become its own ancestor");
    return false;
  }
  // Leaving the old parent must not delete us; an entity nobody counts yet
  // (count 0) is not held, or the hold itself would delete it.
  Ref<CTEntity> alive(GetRefCount() > 0 ? this : nullptr);
  if (CTGroup* old = m_parent) {
    SetParentLink(nullptr);
    old->RemoveChild(this);
  }
  SetParentLink(parent);
  if (parent) parent->AddChild(this);
  ++s_moves;  // the subtree's worlds now depend on other ancestors
  UpdateTreeLevels();
  // The stamps of a new parent say nothing about our world transform: the
  // next UpdateWorldSpace recomputes it whatever they say. A root's world is
  // its local transform at once.
  if (!parent)
    World() = Local();
  else
    m_worldOrphaned = true;
  return true;
}

bool CTEntity::ChangeParent(CTGroup* parent) {
  if (parent == m_parent) return true;
  if (WouldBeOwnAncestor(parent)) {
    LogError("ChangeParent refused: the entity would become its own ancestor");
    return false;
  }
  const uint32_t locked = m_flags & kLockAll;
  if (locked != kLockAll) {
    UpdateWorldSpace();
    Local() = World();
    m_flags |= kLockAll;
  }
  SetParent(parent);
  if (parent) parent->UpdateWorldSpace();
  // Every part that was relative before is made relative to the new parent.
  if (locked == 0) {
    UnlockTransform();
  } else {
    for (const uint32_t lock : {kLockPosition, kLockRotation, kLockDeform})
      if (!(locked & lock)) UnlockPart(lock);
  }
  return true;
}

// ---------------------------------------------------------------------------
// World transform

bool CTEntity::UpdateOwnWorld(bool force) {
  const uint64_t before = DTransform::writes;
  const bool written = ComputeWorld(force || m_worldOrphaned);
  m_worldOrphaned = false;
  s_worldWrites += DTransform::writes - before;  // these make nothing stale
  return written;
}

// The local transform with a rotation held in world space made relative to
// the parent again (deformation and position as they are).
static DTransform RelativeToParent(const DTransform& local, const DTransform& parent) {
  DTransform relative = local;
  relative.SetRotationMatrix(local.GetRotationMatrix() * parent.GetRotationMatrix().Transposed());
  return relative;
}

bool CTEntity::ComputeWorld(bool force) {
  const uint32_t locks = m_flags & kLockAll;
  if (!m_parent || locks == kLockAll) {
    if (!force && FreshFor(World(), Local())) return false;
    World() = Local();
    return true;
  }
  const DTransform& parent = m_parent->World();
  if (!force && FreshFor(World(), Local()) && FreshFor(World(), parent)) return false;
  if (locks == 0) {
    World().Combine(Local(), parent);
    return true;
  }
  // Part by part, each unlocked part as Combine makes it, so that locking or
  // unlocking one part moves nothing: the position goes through the
  // parent's whole linear part (its scale too), and the deformation is
  // carried by the rotation relative to the parent, which a locked rotation
  // holds in world space.
  if (locks & kLockPosition) {
    if (Local().HasPosition())
      World().MoveTo(Local().GetPosition());
    else
      World().ResetPosition();
  } else if (Local().HasPosition() || parent.HasPosition()) {
    World().MoveTo(parent.TransformPoint(Local().GetPosition()));
  } else {
    World().ResetPosition();
  }
  if (locks & kLockRotation) {
    if (Local().HasRotation())
      World().SetRotationMatrix(Local().GetRotationMatrix());
    else
      World().ResetRotation();
  } else {
    World().CombineRotation(Local(), parent);
  }
  if (locks & kLockDeform) {
    if (Local().HasDeformation())
      World().SetDeformationMatrix(Local().GetDeformationMatrix());
    else
      World().ResetDeformation();
  } else if ((locks & kLockRotation) && parent.HasRotation()) {
    World().CombineDeformation(RelativeToParent(Local(), parent), parent);
  } else {
    World().CombineDeformation(Local(), parent);
  }
  return true;
}

// The ancestors first, root down, so that each combines with a fresh parent;
// a loop over the chain, never a recursion.
bool CTEntity::UpdateChain() {
  const uint32_t epoch = SceneEpoch();
  // The usual case while a pass brings a moved tree up to date: the parent
  // was brought up to date a moment ago.
  if (!m_parent || m_parent->m_validatedAt == epoch) {
    const bool changed = UpdateOwnWorld();
    m_validatedAt = epoch;
    return changed;
  }
  CTEntity* chain[32];
  int depth = 0;
  std::vector<CTEntity*> deep;
  // Up to the root, or to the first ancestor known current in this epoch.
  for (CTEntity* e = this; e && (e == this || e->m_validatedAt != epoch); e = e->m_parent) {
    if (depth < 32)
      chain[depth++] = e;
    else
      deep.push_back(e);
  }
  for (auto it = deep.rbegin(); it != deep.rend(); ++it) (*it)->UpdateOwnWorld();
  for (int i = depth - 1; i > 0; --i) chain[i]->UpdateOwnWorld();
  const bool changed = UpdateOwnWorld();
  for (int i = 0; i < depth; ++i) chain[i]->m_validatedAt = epoch;
  for (CTEntity* e : deep) e->m_validatedAt = epoch;
  return changed;
}

Vector3 CTEntity::TransformToWorld(const Vector3& p) {
  UpdateWorldSpace();
  return World().TransformPoint(p);
}

Vector3 CTEntity::TransformToLocal(const Vector3& p) {
  UpdateWorldSpace();
  return World().BackTransformPoint(p);
}

Vector3 CTEntity::RotateToWorld(const Vector3& v) {
  UpdateWorldSpace();
  return World().TransformNormal(v);
}

Vector3 CTEntity::RotateToLocal(const Vector3& v) {
  UpdateWorldSpace();
  return World().BackTransformNormal(v);
}

// ---------------------------------------------------------------------------
// Locks

void CTEntity::LockTransform() {
  UpdateWorldSpace();
  Local() = World();  // a copy: new stamps
  m_flags |= kLockAll;
}

void CTEntity::LockPart(uint32_t lock) {
  UpdateWorldSpace();
  switch (lock) {
    case kLockPosition:
      if (World().HasPosition())
        Local().MoveTo(World().GetPosition());
      else
        Local().ResetPosition();
      break;
    case kLockRotation:
      if (World().HasRotation())
        Local().SetRotationMatrix(World().GetRotationMatrix());
      else
        Local().ResetRotation();
      break;
    case kLockDeform:
      if (World().HasDeformation())
        Local().SetDeformationMatrix(World().GetDeformationMatrix());
      else
        Local().ResetDeformation();
      break;
  }
  m_flags |= lock;
  Local().Touch();  // the world transform is computed differently now
}

void CTEntity::LockPosition() { LockPart(kLockPosition); }
void CTEntity::LockRotation() { LockPart(kLockRotation); }
void CTEntity::LockDeform() { LockPart(kLockDeform); }

// Each unlock makes the part relative to the parent such that the world
// transform computed from it is the one the locked part gave:
//   position     world p = local p x parent total + parent p, so
//                local p = (world p - parent p) x inverse(parent total);
//   rotation     world R = local R x parent R, so local R = world R x
//                transpose(parent R) (rotations invert by transposing);
//   deformation  world D = local D x Q x parent D x transpose(Q), Q being
//                the rotation relative to the parent, so local D = world D
//                x Q x inverse(parent D) x transpose(Q).
void CTEntity::UnlockPart(uint32_t lock) {
  if (!(m_flags & lock)) return;
  if (m_parent) {
    m_parent->UpdateWorldSpace();
    const DTransform& parent = m_parent->World();
    switch (lock) {
      case kLockPosition:
        if (Local().HasPosition() || parent.HasPosition())
          Local().MoveTo(parent.BackTransformPoint(Local().GetPosition()));
        break;
      case kLockRotation:
        if (parent.HasRotation())
          Local().SetRotationMatrix(Local().GetRotationMatrix() * parent.GetRotationMatrix().Transposed());
        break;
      case kLockDeform:
        if (parent.HasDeformation()) {
          const Matrix33 relative =
              (m_flags & kLockRotation) && parent.HasRotation()
                  ? Local().GetRotationMatrix() * parent.GetRotationMatrix().Transposed()
                  : Local().GetRotationMatrix();
          Local().SetDeformationMatrix(Local().GetDeformationMatrix() * relative *
                                       parent.GetDeformationMatrix().Inverse() * relative.Transposed());
        }
        break;
    }
  }
  m_flags &= ~lock;
  Local().Touch();  // the world transform is computed differently now
}

void CTEntity::UnlockPosition() { UnlockPart(kLockPosition); }
void CTEntity::UnlockRotation() { UnlockPart(kLockRotation); }
void CTEntity::UnlockDeform() { UnlockPart(kLockDeform); }

void CTEntity::UnlockTransform() {
  if ((m_flags & kLockAll) != kLockAll || !m_parent) {
    for (const uint32_t lock : {kLockPosition, kLockRotation, kLockDeform}) UnlockPart(lock);
    return;
  }
  m_parent->UpdateWorldSpace();
  DTransform inverse;
  inverse.SetInverse(m_parent->World());
  Local().Combine(Local(), inverse);
  m_flags &= ~kLockAll;
}

// ---------------------------------------------------------------------------
// Kinds

void CTEntity::SetKind(uint32_t kind) {
  CTGroup* parent = m_parent;
  if (parent) parent->DecreaseKindCount(this);
  m_flags = (m_flags & ~kKindMask) | (kind & kKindMask);
  if (parent) parent->IncreaseKindCount(this);
}

// ---------------------------------------------------------------------------
// Volumes, controller, sensor

void CTEntity::UseBoundingVolume(CTShape* shape) {
  m_boundingVolume = shape;
  if (shape)
    SetHint(kHintCull);
  else
    ClearHint(kHintCull);
}

void CTEntity::AttachCollisionVolume(CTShape* shape) {
  auto* collisions = qibo::FindService<CTCollisionManager>();
  if (!collisions) return;  // only a running service keeps volumes
  if (m_collisionVolume) collisions->RemoveEntity(this);
  m_collisionVolume = shape;
  if (shape) collisions->AddEntity(this, 0, 0xFFFFFFFFu);
}

void CTEntity::SetCollisionVolume(CTShape* shape) {
  if (shape != m_collisionVolume.Get()) AttachCollisionVolume(shape);
}

void CTEntity::SetController(CTEntityController* controller) {
  if (controller == m_controller.Get()) return;
  // Replaced first, so that the old controller, told to let go, no longer
  // finds itself here; released last, as it may go with its reference.
  Ref<CTEntityController> old = std::move(m_controller);
  m_controller = Ref<CTEntityController>(controller);
  // The sensor reads the new controller's motion, never the old one's.
  if (m_motionSensor)
    m_motionSensor->SetMotionInfoSource(controller ? controller->GetMotionInfoSource() : nullptr);
  if (old && old->GetObject() == this) old->SetObject(nullptr);
  if (controller && controller->GetObject() != this) controller->SetObject(this);
}

CTMotionSensor* CTEntity::RequestMotionSensor() {
  if (m_motionSensor) return m_motionSensor.Get();
  for (int i = 0; i < qiBO_GetClassDescCount(); ++i) {
    ClassDesc* cd = qiBO_GetClassDescNo(i);
    if (!cd || cd->Abstract() || !cd->CheckGroupID(CTMotionSensor::_CD()->ID())) continue;
    Ref<CTMotionSensor> sensor = qibo::CreateAs<CTMotionSensor>(cd);
    if (!sensor) continue;
    sensor->SetEntity(this);
    if (m_controller) sensor->SetMotionInfoSource(m_controller->GetMotionInfoSource());
    m_motionSensor = sensor.Get();
    break;
  }
  return m_motionSensor.Get();
}

// ---------------------------------------------------------------------------
// Stream records
//
// 0x5AB8F580  ref parent, ref controller, int flags (lock bits 8-15 cleared)
// 0x5AB8F582  ref collision volume, ref bounding volume
// 0x5AB8F581  int T, then the parts T names:
//             T bits 0-2: position, rotation, deformation present
//             T bits 4-6: their data included; bits 8-10: the lock bits
//             bits 0+4: vector position; 1+5: quaternion; 2+6: matrix

void CTEntity::WriteToStream(Stream* stream, uint32_t what) {
  CTInterface::WriteToStream(stream, what);
  if (what & 0x8) stream->WriteObject(m_parent);
  if (what & 0x4) {
    stream->WriteObject(m_controller.Get());
    stream->WriteObject(m_collisionVolume.Get());
    stream->WriteObject(m_boundingVolume.Get());
  }
  if (what & 0xA) {
    stream->StartChunk(kParentChunk);
    stream->WriteReference(m_parent);
    stream->WriteReference(m_controller.Get());
    stream->WriteInt(static_cast<int32_t>(m_flags & ~0xFF00u));
    stream->EndChunk();
  }
  if (what & 0x2) {
    stream->StartChunk(kVolumesChunk);
    stream->WriteReference(m_collisionVolume.Get());
    stream->WriteReference(m_boundingVolume.Get());
    stream->EndChunk();
  }
  if (what & 0xE2) {
    const uint32_t present = (Local().HasPosition() ? 0x1u : 0u) | (Local().HasRotation() ? 0x2u : 0u) |
                             (Local().HasDeformation() ? 0x4u : 0u);
    const uint32_t data = (what & 0x2) ? present << 4
                                       : ((what & 0x20) ? 0x10u : 0u) | ((what & 0x40) ? 0x20u : 0u) |
                                             ((what & 0x80) ? 0x40u : 0u);
    const uint32_t t = present | data | (m_flags & kLockAll);
    stream->StartChunk(kTransformChunk);
    stream->WriteInt(static_cast<int32_t>(t));
    if ((t & 0x11) == 0x11) stream->WriteVector(Local().GetPosition());
    if ((t & 0x22) == 0x22) stream->WriteQuat(Local().GetQuaternion());
    if ((t & 0x44) == 0x44) stream->WriteMatrix(Local().GetDeformationMatrix());
    stream->EndChunk();
  }
}

static bool IsFinite(const Vector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

void CTEntity::ReadTransformChunk(Stream* stream) {
  const uint32_t t = static_cast<uint32_t>(stream->ReadInt());
  for (const uint32_t lock : {kLockPosition, kLockRotation, kLockDeform}) {
    if ((t & lock) == (m_flags & lock)) continue;
    if (t & lock)
      LockPart(lock);
    else
      UnlockPart(lock);
  }
  if (t & 0x10) {
    const Vector3 p = (t & 0x1) ? stream->ReadVector() : Vector3();
    // Damaged data must not put NaN or infinity into the tree, where every
    // descendant would inherit it: such a part is reset.
    if (!IsFinite(p)) qiBO_Warning("Stream gives a position that is not finite; position reset", this);
    if ((t & 0x1) && IsFinite(p))
      Local().MoveTo(p);
    else
      Local().ResetPosition();
  }
  if (t & 0x20) {
    if (t & 0x2) {
      Quaternion q = stream->ReadQuat();
      // Damaged data must not put NaN into the tree; a zero quaternion is no
      // rotation at all.
      if (!std::isfinite(q.x) || !std::isfinite(q.y) || !std::isfinite(q.z) || !std::isfinite(q.w) ||
          q.Dot(q) < qibo::kEpsilon)
        q = Quaternion();
      if (std::fabs(q.Dot(q) - 1.0f) > qibo::kEpsilon) q.Normalize();
      Local().SetQuat(q);
    } else {
      Local().ResetRotation();
    }
  }
  if (t & 0x40) {
    const Matrix33 m = (t & 0x4) ? stream->ReadMatrix() : Matrix33();
    bool finite = true;
    for (int r = 0; r < 3; ++r) finite = finite && IsFinite(m.Row(r));
    if (!finite) qiBO_Warning("Stream gives a deformation that is not finite; deformation reset", this);
    if ((t & 0x4) && finite)
      Local().SetDeformationMatrix(m);
    else
      Local().ResetDeformation();
  }
}

bool CTEntity::ProcessChunk(Stream* stream, uint32_t chunkID) {
  switch (chunkID) {
    case kParentChunk: {
      CTStreamed* parentRef = stream->ReadReference();
      CTStreamed* controllerRef = stream->ReadReference();
      const uint32_t flags = static_cast<uint32_t>(stream->ReadInt());
      auto* parent = qibo::Cast<CTGroup>(parentRef);
      if (parentRef && !parent) {
        LogError("Stream names a parent that is not a group; the entity stays where it is");
      } else {
        SetParent(parent);
      }
      if (auto* controller = qibo::Cast<CTEntityController>(controllerRef)) SetController(controller);
      // Hints are replaced; kinds and masks are added, kinds through the
      // parents' counts (a group's kinds are its subtree's, never read).
      // Lock bits come with the transform chunk.
      const uint32_t kinds = (m_flags | flags) & kKindMask;
      m_flags = (m_flags & ~kHintMask) | (flags & kHintMask) | (flags & kMaskAll);
      if (!qibo::Cast<CTGroup>(this) && kinds != (m_flags & kKindMask)) SetKind(kinds);
      return true;
    }
    case kTransformChunk:
      ReadTransformChunk(stream);
      return true;
    case kVolumesChunk: {
      CTShape* volume = qibo::Cast<CTShape>(stream->ReadReference());
      if (volume) qibo::GetService<CTCollisionManager>();  // started to keep the volume
      SetCollisionVolume(volume);
      m_boundingVolume = qibo::Cast<CTShape>(stream->ReadReference());
      return true;
    }
    default:
      return CTInterface::ProcessChunk(stream, chunkID);
  }
}
