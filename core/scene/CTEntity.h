#pragma once

#include <cstdint>
#include <memory>

#include "core/motion/base/CTEntityController.h"
#include "core/object/CTBasicPtr.h"
#include "core/object/CTInterface.h"
#include "core/object/CountedPtr.h"
#include "core/object/Ref.h"
#include "core/scene/CTMotionSensor.h"
#include "core/scene/math/DTransform.h"

class CTGroup;
class CTMaterial;
class CTShape;
struct ProcessInfo_t;

// The scene-graph node. An entity has a parent group (which holds it with a
// counted reference; the entity points back without one), a local transform
// relative to that parent and a world transform brought up to date lazily by
// change stamps, a kind, hint and mask bits, optional bounding and collision
// volumes, an optional controller and motion sensor.
//
// The flags word:
//   0x000000FF  hints: 0x2 cull by the bounding volume, 0x4 draw it, 0x8 draw
//               the collision volume
//   0x00000700  locks: rotation 0x100, position 0x200, deformation 0x400; a
//               locked part of the local transform is in world coordinates
//   0x00FF0000  kinds: drawable 0x10000, sound 0x20000, light 0x40000
//   0xFF000000  masks: bit k+24 suppresses kind bit k+16 (Hide, Mute)
//
// Frame thread only. Operations that walk the tree (world transforms, tree
// levels, kind counts, teardown) use loops, not recursion, so a chain of any
// depth is safe; the frame pass and Copy recurse once per level.
class CTEntity : public CTInterface {
  QIBO_CLASS(CTEntity)

 public:
  static constexpr uint32_t kHintCull = 0x2;
  static constexpr uint32_t kHintDrawBounds = 0x4;
  static constexpr uint32_t kHintDrawCollision = 0x8;
  static constexpr uint32_t kHintMask = 0xFF;
  static constexpr uint32_t kLockRotation = 0x100;
  static constexpr uint32_t kLockPosition = 0x200;
  static constexpr uint32_t kLockDeform = 0x400;
  static constexpr uint32_t kLockAll = 0x700;
  static constexpr uint32_t kKindDrawable = 0x10000;
  static constexpr uint32_t kKindSound = 0x20000;
  static constexpr uint32_t kKindLight = 0x40000;
  static constexpr uint32_t kKindMask = 0xFF0000;
  static constexpr uint32_t kMaskHide = 0x1000000;
  static constexpr uint32_t kMaskMute = 0x2000000;
  static constexpr uint32_t kMaskAll = 0xFF000000;

  static constexpr uint32_t kParentChunk = 0x5AB8F580;     // parent, controller, flags
  static constexpr uint32_t kTransformChunk = 0x5AB8F581;  // presence, locks, parts
  static constexpr uint32_t kVolumesChunk = 0x5AB8F582;    // collision, bounding volume

  explicit CTEntity(const char* name = "Entity");
  CTEntity(const char* name, CTGroup* parent);
  ~CTEntity() override;

  void DoAddProperties() override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // ---- The virtual operations of a node ----
  // Handles this node for the current pass; the base does nothing.
  virtual void Process(ProcessInfo_t& info);
  // A new entity of the same class (count 0), a sibling of this one: name,
  // local transform, flags and volumes copied; controller and sensor not.
  virtual CTEntity* Copy() const;
  // Computes or refreshes the bounding volume; the base returns the current.
  virtual CTShape* CreateBoundingVolume();
  virtual CTGroup* FindParent(CTGroup* group);
  virtual CTGroup* FindParentByName(const char* name);
  virtual CTEntity* FindChildByName(const char* name);
  virtual CTEntity* FindChild(CTEntity* entity);
  // How many of the kind bits in kindMask (16-23) this node carries: 0 or 1
  // each for a plain entity, the subtree's counts for a group.
  virtual int GetKindCount(uint32_t kindMask);
  // The same for each of the eight kind bits at once.
  virtual void GetKindCounts(int (&counts)[8]);
  // Forwarded to the controller; a point without a normal gets the
  // collision volume's normal there.
  virtual void OnCollision(CTEntity* other, Vector3* point, Vector3* normal);

  // ---- Tree ----
  // Moves the entity under parent keeping its local transform. Refused
  // (false, logged) when parent is the entity or one of its descendants.
  bool SetParent(CTGroup* parent);
  // The same keeping the world placement.
  bool ChangeParent(CTGroup* parent);
  CTGroup* GetParent() const { return m_parent; }
  bool IsRoot() const { return m_parent == nullptr; }
  int GetTreeLevel() const { return m_treeLevel; }
  CTEntity* GetRoot();
  // Whether entity is this one or one of its ancestors.
  bool IsAncestorOrSelf(const CTEntity* entity) const;

  // ---- Kinds, hints and masks ----
  void SetHint(uint32_t hint) { m_flags |= hint & kHintMask; }
  void ClearHint(uint32_t hint) { m_flags &= ~(hint & kHintMask); }
  uint32_t GetHints() const { return m_flags; }
  uint32_t GetKind() const { return m_flags & kKindMask; }
  void SetMask(uint32_t kinds) { m_flags |= (kinds >> 16) << 24; }
  void ClearMask(uint32_t kinds) { m_flags &= ~((kinds >> 16) << 24); }
  void Hide() { m_flags |= kMaskHide; }
  void Show() { m_flags &= ~kMaskHide; }
  bool IsHidden() const { return (m_flags & kMaskHide) != 0; }
  void Mute() { m_flags |= kMaskMute; }
  void Unmute() { m_flags &= ~kMaskMute; }
  bool IsMuted() const { return (m_flags & kMaskMute) != 0; }
  void Disable() { m_flags |= kMaskAll; }
  void Enable() { m_flags &= ~kMaskAll; }

  // ---- Transforms ----
  const DTransform& GetTransform() const { return Local(); }
  DTransform& GetTransformRef() { return Local(); }
  // The world transform, brought up to date first: after a move in the tree
  // or of any ancestor, every world getter answers the new placement.
  const DTransform& GetWorldTransform() const { return CurrentWorld(); }
  // Brings the world transform up to date; true when it was rewritten.
  bool UpdateWorldSpace() { return m_validatedAt != SceneEpoch() && UpdateChain(); }

  void MoveBy(const Vector3& v) { Local().MoveBy(v); }
  void MoveTo(const Vector3& v) { Local().MoveTo(v); }
  void MoveToX(double d) { Local().MoveToX(d); }
  void MoveToY(double d) { Local().MoveToY(d); }
  void MoveToZ(double d) { Local().MoveToZ(d); }
  void MoveByX(double d) { Local().MoveByX(d); }
  void MoveByY(double d) { Local().MoveByY(d); }
  void MoveByZ(double d) { Local().MoveByZ(d); }
  void MoveRight(double d) { Local().MoveRight(d); }
  void MoveLeft(double d) { Local().MoveLeft(d); }
  void MoveUp(double d) { Local().MoveUp(d); }
  void MoveDown(double d) { Local().MoveDown(d); }
  void MoveForward(double d) { Local().MoveForward(d); }
  void MoveBack(double d) { Local().MoveBack(d); }
  void SetEuler(double az, double el, double tw) { Local().SetEuler(az, el, tw); }
  void SetAz(double a) { Local().SetAz(a); }
  void SetEl(double a) { Local().SetEl(a); }
  void SetTw(double a) { Local().SetTw(a); }
  void IncreaseAz(double a) { Local().IncreaseAz(a); }
  void IncreaseEl(double a) { Local().IncreaseEl(a); }
  void IncreaseTw(double a) { Local().IncreaseTw(a); }
  void SetQuat(const Quaternion& q) { Local().SetQuat(q); }
  void RotateQuatByAz(double a) { Local().RotateQuatByAz(a); }
  void RotateQuatByEl(double a) { Local().RotateQuatByEl(a); }
  void RotateQuatByTw(double a) { Local().RotateQuatByTw(a); }
  void SetMatrix(const Matrix33& m) { Local().SetRotationMatrix(m); }
  void RotateToAz(double a) { Local().RotateToAz(a); }
  void RotateToEl(double a) { Local().RotateToEl(a); }
  void RotateToTw(double a) { Local().RotateToTw(a); }
  void RotateByAz(double a) { Local().RotateByAz(a); }
  void RotateByEl(double a) { Local().RotateByEl(a); }
  void RotateByTw(double a) { Local().RotateByTw(a); }
  void SetDirection(const Vector3& v) { Local().SetDirection(v); }
  void SetDeform(const Matrix33& m) { Local().SetDeformationMatrix(m); }
  void ScaleTo(double s) { Local().ScaleTo(s); }
  void ScaleTo(const Vector3& v) { Local().ScaleTo(v); }
  void ScaleBy(double s) { Local().ScaleBy(s); }
  void ScaleBy(const Vector3& v) { Local().ScaleBy(v); }
  void ResetRotation() { Local().ResetRotation(); }
  void ResetPosition() { Local().ResetPosition(); }
  void ResetDeform() { Local().ResetDeformation(); }

  const Matrix33& GetMatrix() const { return Local().GetRotationMatrix(); }
  const Vector3& GetPosition() const { return Local().GetPosition(); }
  const Matrix33& GetDeform() const { return Local().GetDeformationMatrix(); }
  const Quaternion& GetQuat() const { return Local().GetQuaternion(); }
  const Vector3& GetDirection() const { return Local().GetDirection(); }
  double GetAz() const { return Local().GetAz(); }
  double GetEl() const { return Local().GetEl(); }
  double GetTw() const { return Local().GetTw(); }
  const Matrix33& GetWorldMatrix() const { return CurrentWorld().GetRotationMatrix(); }
  const Vector3& GetWorldPosition() const { return CurrentWorld().GetPosition(); }
  const Matrix33& GetWorldDeform() const { return CurrentWorld().GetDeformationMatrix(); }
  const Quaternion& GetWorldQuat() const { return CurrentWorld().GetQuaternion(); }
  const Vector3& GetWorldDirection() const { return CurrentWorld().GetDirection(); }
  double GetWorldAz() const { return CurrentWorld().GetAz(); }
  double GetWorldEl() const { return CurrentWorld().GetEl(); }
  double GetWorldTw() const { return CurrentWorld().GetTw(); }

  // Between local and world space (each brings the world transform up to
  // date first).
  Vector3 TransformToWorld(const Vector3& p);
  Vector3 TransformToLocal(const Vector3& p);
  Vector3 RotateToWorld(const Vector3& v);
  Vector3 RotateToLocal(const Vector3& v);

  // A locked part of the local transform holds world-space values.
  void LockTransform();
  void LockPosition();
  void LockRotation();
  void LockDeform();
  void UnlockTransform();
  void UnlockPosition();
  void UnlockRotation();
  void UnlockDeform();

  // ---- Volumes, controller, sensor ----
  // Stores the shape and culls with it (hint 0x2); null clears both.
  void UseBoundingVolume(CTShape* shape);
  CTShape* GetBoundingVolume() const { return m_boundingVolume.Get(); }
  // Only while the collision service runs: the entity is registered with
  // it under its new volume. Without the service nothing changes.
  void SetCollisionVolume(CTShape* shape);
  CTShape* GetCollisionVolume() const { return m_collisionVolume.Get(); }
  void SetController(CTEntityController* controller);
  CTEntityController* GetController() const { return m_controller.Get(); }
  // The motion sensor, made on first request from the first registered
  // sensor class; null when there is none.
  CTMotionSensor* RequestMotionSensor();
  CTMotionSensor* GetMotionSensor() const { return m_motionSensor.Get(); }

  // For the controller's destructor: forgets it without touching its count,
  // and the motion sensor stops reading its motion record.
  void ForgetController() {
    (void)m_controller.Release();
    if (m_motionSensor) m_motionSensor->SetMotionInfoSource(nullptr);
  }

 protected:
  // A copy, not attached to any parent (Copy attaches it).
  CTEntity(const CTEntity& other);
  // The copy for Copy; every class with state of its own overrides it.
  virtual CTEntity* Clone() const { return new CTEntity(*this); }
  // Replaces the kind bits, keeping the parents' counts right.
  void SetKind(uint32_t kind);
  // The kinds requested in what that the entity has and does not mask.
  uint32_t ProcessWhat(uint32_t what) const { return m_flags & ~(m_flags >> 8) & what & kKindMask; }
  // Brings this entity's world transform up to date, its parent's being so
  // (always recomputed when forced).
  bool UpdateOwnWorld(bool force = false);
  bool ComputeWorld(bool force);
  // Logs a refusal through the engine's log, naming this entity.
  void LogError(const char* text);

  // The two transforms, together, out of the object: a frame in which
  // nothing moved reads only the fields of the first cache line below, and
  // the objects of a scene lie close together in memory.
  struct Placement {
    DTransform local;
    DTransform world;
    // From a pool of their own, so that the entities themselves lie close
    // together.
    static void* operator new(size_t size);
    static void operator delete(void* p);
  };

  // One cache line for what the frame passes read: the flags and freshness
  // mark, the parent and the transforms (world updates), and a drawable's
  // shape and material (drawing; CTDrawable owns them, see there).
  uint32_t m_flags = 0;
  // SceneEpoch() when the world transform was last known current.
  uint32_t m_validatedAt;

 private:
  CTGroup* m_parent = nullptr;
  std::unique_ptr<Placement> m_placement;

 protected:
  CTShape* m_drawShape = nullptr;
  CTMaterial* m_drawMaterial = nullptr;

 private:
  // Counts what can make a world transform stale: every transform write but
  // those that bring world transforms up to date, and every move in the
  // tree. While it stands still, a world transform known current stays so:
  // a frame in which nothing moved checks nothing, and in a frame that
  // moved something each entity looks up its chain only as far as the first
  // ancestor already brought up to date.
  static uint32_t SceneEpoch() { return static_cast<uint32_t>(DTransform::writes - s_worldWrites + s_moves); }
  static uint64_t s_worldWrites;
  static uint64_t s_moves;

  DTransform& Local() { return m_placement->local; }
  const DTransform& Local() const { return m_placement->local; }
  DTransform& World() { return m_placement->world; }
  const DTransform& World() const { return m_placement->world; }
  // The world transform is a cache of the tree's placements: bringing it up
  // to date changes nothing a caller can see but its freshness.
  const DTransform& CurrentWorld() const {
    const_cast<CTEntity*>(this)->UpdateWorldSpace();
    return World();
  }

  friend class CTGroup;

  bool UpdateChain();
  void SetParentLink(CTGroup* parent);
  bool WouldBeOwnAncestor(const CTGroup* parent) const;
  void UpdateTreeLevels();
  void AttachCollisionVolume(CTShape* shape);
  void LockPart(uint32_t lock);
  void UnlockPart(uint32_t lock);
  void ReadTransformChunk(Stream* stream);

  int32_t m_treeLevel = 0;
  bool m_worldOrphaned = false;  // moved to a new parent: recompute the world
  CountedPtr<CTShape> m_boundingVolume;
  CountedPtr<CTShape> m_collisionVolume;
  CTBasic* m_parentView = nullptr;  // the parent again, for the "Parent" property
  Ref<CTEntityController> m_controller;
  CountedPtr<CTMotionSensor> m_motionSensor;
};
