#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>

#include "core/object/StepArray.h"

class CTStreamed;

// The network objects of one session peer, by network ID: 113 buckets (a
// bucket holds the objects whose ID leaves that remainder by 113, searched
// in order) and the list of every object in the order it was entered.
//
// The table holds no reference on the objects the program enters. A copy
// made from a peer's packet is adopted: the table holds one reference on it
// until it leaves, and counts it against the peer that sent it, so that one
// peer cannot fill the table.
class DNetObjectTable {
 public:
  static constexpr uint32_t kBuckets = 113;

  DNetObjectTable() = default;
  // Drops the references on adopted copies.
  ~DNetObjectTable();
  DNetObjectTable(const DNetObjectTable&) = delete;
  DNetObjectTable& operator=(const DNetObjectTable&) = delete;

  // Enters object under its network ID (not 0), once.
  void Add(CTStreamed* object);
  // The first object entered under id, or null.
  CTStreamed* Find(uint32_t id) const;
  bool Contains(const CTStreamed* object) const;
  // Takes object out. An adopted copy loses the table's reference, unless
  // it is dying (the reference went with it). The reference is dropped
  // last, so the object may be gone when this returns.
  void Remove(CTStreamed* object, bool dying);
  // The table keeps object alive from now on, counted against peer.
  void Adopt(CTStreamed* object, int peer);

  int Count() const { return m_list.Count(); }
  // Entry i of the list, in the order entered (removal moves the last entry
  // into the freed place).
  CTStreamed* At(int i) const {
    return i >= 0 && i < m_list.Count() ? m_list[static_cast<size_t>(i)] : nullptr;
  }
  int AdoptedCount() const { return static_cast<int>(m_adopted.size()); }
  int AdoptedFrom(int peer) const;

 private:
  struct Entry {
    uint32_t id;
    CTStreamed* object;
  };
  using Bucket = qibo::StepArray<Entry>;

  Bucket& BucketOf(uint32_t id) { return m_buckets[id % kBuckets]; }
  const Bucket& BucketOf(uint32_t id) const { return m_buckets[id % kBuckets]; }
  // The network ID an object was entered under; 0 when absent.
  uint32_t IdOf(const CTStreamed* object) const;

  std::array<Bucket, kBuckets> m_buckets;
  qibo::StepArray<CTStreamed*> m_list;
  std::unordered_map<const CTStreamed*, int> m_adopted;  // copy -> the peer it came from
  std::unordered_map<int, int> m_adoptedPerPeer;
};
