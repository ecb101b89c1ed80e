#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/geometry/CTCollisionDetector.h"
#include "core/geometry/CTCollisionManager.h"
#include "core/geometry/collision/DSweepAndPrune.h"
#include "core/object/Ref.h"
#include "core/scene/math/Vector3.h"

class CTShape;

// The default collision service.
//
// Each registered entity has a record: its index (reused from a free
// list), its flags, the world-space box of its collision volume and the
// change stamp of the world transform that box was made for. The entity is
// tracked by a named reference: deleting it drops its record. Each pair of
// records whose boxes overlap and of which at least one asks for reports
// has a pair record: the two entities, the kind of test (1 intersection,
// 2 with contact points) and the detector's cache. Pair records are pooled.
//
// A pass (ProcessAll): the broad phase brings the boxes of entities that
// moved up to date and sorts and sweeps them (DSweepAndPrune: the pairs of
// the all-pairs test in about linear time), making the pairs that begin to
// overlap and dropping those that stopped; then every pair is tested by the
// detector and its entities are told of a contact. A callback may delete
// any entity, its collision volume, or register new entities: pairs it
// ends are not tested or told further, and new entities join at the next
// pass. Collision passes started from inside a callback are refused.
//
// An entity whose volume cannot be placed (a volume of no size, a world
// transform or volume that is not finite) is left out of the tests, with
// one warning, until its box can be made again.
//
// Properties: "EnableCaching" (bool, true) gives every pair a detector
// cache; "EnableNBody" (bool, true) runs the broad phase in each pass (off:
// only the pairs that exist are tested); "HeightBias" (float, 0.5) is kept
// and saved for applications, not used by the tests.
class DefCollisionManager : public CTCollisionManager {
  QIBO_CLASS(DefCollisionManager)

 public:
  DefCollisionManager();
  ~DefCollisionManager() override;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void OnDelete(CTReferenced* dying) override;

  int CheckEntity(CTEntity* entity) override;
  int ProcessAll() override;
  void AddEntity(CTEntity* entity, uint32_t flags, uint32_t mask) override;
  void SetReports(CTEntity* entity, bool on) override;
  bool SetEntityFlags(CTEntity* entity, uint32_t flags, uint32_t mask) override;
  uint32_t GetEntityFlags(CTEntity* entity) override;
  void RemoveEntity(CTEntity* entity) override;
  void RemoveAll() override;
  void RunBroadPhase() override;

  // The narrow phase: the first detector, made by the name "isagjk" when
  // the service starts. Another replaces it (existing pairs are dropped
  // and made again at the next pass); null is refused.
  CTCollisionDetector* GetDetector() const { return m_detectors.empty() ? nullptr : m_detectors[0].Get(); }
  bool SetDetector(CTCollisionDetector* detector);

  bool IsCaching() const { return m_enableCaching; }
  bool IsNBody() const { return m_enableNBody; }
  float GetHeightBias() const { return m_heightBias; }
  void EnableCaching(bool on);
  void EnableNBody(bool on) { m_enableNBody = on; }

  int GetEntityCount() const { return static_cast<int>(m_index.size()); }
  int GetPairCount() const;
  bool IsPaired(CTEntity* a, CTEntity* b) const;
  // The world-space box of a registered entity's volume as the last broad
  // phase made it; false when there is none.
  bool GetEntityBox(CTEntity* entity, Vector3& min, Vector3& max) const;

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  struct Record {
    CTEntity* entity = nullptr;  // null: a free slot
    uint32_t stamp = 0;          // the world transform's change stamp the box was made for
    uint32_t flags = 0;
    bool unplaceable = false;  // the last box could not be made
    bool warned = false;       // its one warning was given
  };
  struct Pair {
    uint32_t a = 0, b = 0;  // record indices, a < b
    CTEntity* entityA = nullptr;
    CTEntity* entityB = nullptr;
    int kind = 1;  // 1 intersection, 2 with contact points
    DDetectorCache* cache = nullptr;
    bool alive = false;
    bool seen = false;  // found again by this broad phase
  };

  void BroadPhase();
  void UpdateBoxes();
  void MakeBox(uint32_t index);
  void CreatePair(uint32_t a, uint32_t b);
  bool TestPair(Pair& pair);
  void Notify(Pair& pair, const Vector3& pointA, const Vector3& pointB);
  void KillPair(Pair& pair);
  // Pairs killed since the last compaction give back their caches and go
  // back to the pool; not while a pass is running.
  void Compact();
  void DropRecord(uint32_t index, bool breakReference);
  void DropAllPairs();
  uint32_t BoxFlags(const Record& record) const;
  bool Refused(const char* what);
  static uint64_t Key(uint32_t a, uint32_t b) { return (uint64_t{a} << 32) | b; }

  bool m_enableCaching = true;
  bool m_enableNBody = true;
  float m_heightBias = 0.5f;

  std::vector<Ref<CTCollisionDetector>> m_detectors;
  std::vector<Record> m_records;
  std::vector<DBroadBox> m_boxes;  // one per record, the broad phase's input
  std::vector<uint32_t> m_freeRecords;
  std::unordered_map<const CTBasic*, uint32_t> m_index;  // by entity
  std::vector<Pair*> m_pairs;                            // live, and killed ones until the next compaction
  std::vector<std::unique_ptr<Pair>> m_pairStore;
  std::vector<Pair*> m_pairPool;
  std::unordered_map<uint64_t, Pair*> m_pairTable;  // live pairs by their two indices
  DSweepAndPrune m_sweep;
  std::vector<DBoxPair> m_overlaps;
  int m_processing = 0;  // a pass is running (its callbacks may call in)
  bool m_dirty = false;  // killed pairs wait for a compaction
};
