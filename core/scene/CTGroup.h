#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "core/object/StepArray.h"
#include "core/scene/CTEntity.h"

// An inner node of the scene graph: an ordered list of children, each held
// by a counted reference, and per-kind counts of everything below it. The
// group's own kind bit k is set exactly while count k is above 0, so a group
// carries every kind of its subtree and its masks (Hide, Mute, Disable)
// suppress the whole subtree.
//
// Children are attached with CTEntity::SetParent/ChangeParent, which call
// AddChild/RemoveChild. Removing a child moves the last child into its slot.
class CTGroup : public CTEntity {
  QIBO_CLASS(CTGroup)

 public:
  explicit CTGroup(const char* name = "Group");
  CTGroup(const char* name, CTGroup* parent);
  // Detaches every child; those nobody else holds are deleted, the whole
  // subtree one node after another, without recursion.
  ~CTGroup() override;

  void WriteToStream(Stream* stream, uint32_t flags) override;

  int NumChildren() const { return m_children.Count(); }
  CTEntity* GetChild(int i) const {
    return i >= 0 && i < m_children.Count() ? m_children[static_cast<size_t>(i)].Get() : nullptr;
  }

  // For CTEntity::SetParent only.
  void AddChild(CTEntity* child);
  void RemoveChild(CTEntity* child);
  // Propagate a child's kinds to this group and every ancestor.
  void IncreaseKindCount(CTEntity* child);
  void DecreaseKindCount(CTEntity* child);
  // Releases the bounding volume, then detaches every child.
  void DeleteChildren();

  void Process(ProcessInfo_t& info) override;
  CTShape* CreateBoundingVolume() override;
  CTGroup* FindParent(CTGroup* group) override;
  CTGroup* FindParentByName(const char* name) override;
  CTEntity* FindChildByName(const char* name) override;
  CTEntity* FindChild(CTEntity* entity) override;
  int GetKindCount(uint32_t kindMask) override;
  void GetKindCounts(int (&counts)[8]) override;
  int GetKindCountNo(int kindBit) const { return kindBit >= 0 && kindBit < 8 ? m_kindCounts[kindBit] : 0; }

  // The group and its subtree as a file (never its parent): the group as an
  // object with its children, then its own data. False when the file cannot
  // be made.
  bool SaveTree(const char* file, uint32_t levelOfDetail);
  // Attaches every entity without a parent that the file holds (the saved
  // group, with its subtree). False when the file cannot be read.
  bool LoadTree(const char* file);

 protected:
  // A deep copy, not attached: every child is copied with its own Clone and
  // attached to the copy in order.
  CTGroup(const CTGroup& other);
  CTEntity* Clone() const override { return new CTGroup(*this); }
  void SwapChildren(int a, int b);
  // After a child left from slot: the child that was last, at movedFrom,
  // now sits there (movedFrom == slot when the last child left). For
  // groups that keep something per slot.
  virtual void OnChildRemoved(int slot, int movedFrom);

 private:
  friend class CTEntity;

  // A child deleted directly: dropped without giving back its reference.
  void ForgetChild(CTEntity* child);
  void AddCounts(const int (&counts)[8]);
  void SubtractCounts(const int (&counts)[8]);
  void DetachAllForTeardown();

  qibo::StepArray<Ref<CTEntity>> m_children;
  int m_kindCounts[8] = {};
};
