#pragma once

#include <cstddef>
#include <cstdint>

#include "core/motion/DRange.h"
#include "core/object/CTInterface.h"

// The head of every key record: its time in milliseconds. A typed track's
// record continues with the value (see CTKeyedTrack.h).
struct keyframe_t {
  int32_t time;
};

// What a track answers for times outside its keys' range. 0, 4 and every
// value outside 1..5 hold the end key; 1, 2 and 5 repeat the range; 3 runs
// it back and forth.
using outofrange_t = int32_t;
inline constexpr outofrange_t kOutOfRangeHold = 0;
inline constexpr outofrange_t kOutOfRangeRepeat = 1;
inline constexpr outofrange_t kOutOfRangeBackAndForth = 3;

// A keyed function of time: key records sorted by strictly ascending time
// (one key per time), the range from the first to the last key's time
// ([0, 0] without keys), and a rule for each side outside it. Typed tracks
// add the value type, the storage, interpolation and streaming.
//
// The typed track keeps its records side by side in one array that grows
// in steps of 16 (by half past 256), so that a search and the two keys of
// an interpolation touch a few cache lines. A record pointer (GetKeyNo,
// GetKey, SetKey) is therefore valid until the next key is added or
// deleted. A record's time is the track's: callers change values through
// it, never the time. Frame thread only (a search remembers where it ended).
class CTTrack : public CTInterface {
  QIBO_CLASS(CTTrack)

 public:
  static constexpr uint32_t kChunkID = 0x98053770;  // int before, int after
  // More keys than this in one key chunk are refused (20 MB of records).
  static constexpr int kMaxStreamKeys = 1 << 20;

  explicit CTTrack(const char* name = nullptr) : CTInterface(name) {}
  CTTrack(const CTTrack&) = delete;
  CTTrack& operator=(const CTTrack&) = delete;

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  int GetKeyCount() const { return static_cast<int>(m_keyCount); }
  // Key i, or null when i is not an index of a key.
  keyframe_t* GetKeyNo(int i) const { return ValidIndex(i) ? KeyAt(static_cast<size_t>(i)) : nullptr; }
  // Key i's time; 0 when there is no key i.
  int32_t GetKeyTime(int i) const { return ValidIndex(i) ? KeyAt(static_cast<size_t>(i))->time : 0; }
  // The last key whose time is not after t; -1 without keys or when t is
  // before the first key. Bisection, after a look at the key found last
  // time and the one after it (a track played forward stays there).
  int FindKey(int32_t t) const;
  // The key whose time is t, or -1.
  int FindKeyAt(int32_t t) const;
  // The key in effect at t (after the out-of-range rules); null if none.
  keyframe_t* GetKey(int32_t t) const;

  // Deletions keep the order of the rest and the range on the first and
  // last key. False when there was nothing to delete.
  bool DeleteKey(int i);
  bool DeleteKeyAt(int32_t t);
  void DeleteAllKeys();
  void DeleteKeysBefore(int32_t t);
  void DeleteKeyAfter(int32_t t);

  void SetOutOfRangeBefore(outofrange_t mode) { m_before = mode; }
  void SetOutOfRangeAfter(outofrange_t mode) { m_after = mode; }
  outofrange_t GetOutOfRangeBefore() const { return m_before; }
  outofrange_t GetOutOfRangeAfter() const { return m_after; }
  const DRange<int32_t>& GetTimeRange() const { return m_range; }

 protected:
  // The storage, kept by the typed track. NewKey inserts one record of the
  // track's type (value zero) before index at and answers it (null without
  // memory); EraseKeys removes [first, last). Both end with SetKeyView.
  virtual keyframe_t* NewKey(size_t at) = 0;
  virtual void EraseKeys(size_t first, size_t last) = 0;
  // Where the records are now: count of them, stride bytes apart.
  void SetKeyView(keyframe_t* first, size_t stride, size_t count);

  // The key with time t, made with NewKey in time order when there is none;
  // null only when NewKey fails.
  keyframe_t* SetKey(int32_t t);
  // t mapped into the time range by the out-of-range rules. A range of one
  // time (a single key) maps every time onto it.
  int32_t GetLocalTime(int32_t t) const;

  // The typed value of a key as floats (ValueFloats() of them) and back;
  // KeyFromFloats answers false when the floats make no valid value.
  virtual int ValueFloats() const = 0;
  virtual void KeyToFloats(const keyframe_t* key, float* out) const = 0;
  virtual bool KeyFromFloats(keyframe_t* key, const float* in) = 0;
  // A typed track's key chunk: int count, then count records of the time
  // (int) and the value's floats. Reading replaces every key; it refuses a
  // count that the chunk cannot hold, drops keys without a valid value and
  // sorts the rest, the last record of a time winning, each with a message.
  void WriteKeyChunk(Stream* stream, uint32_t chunkID);
  void ReadKeyChunk(Stream* stream);

  bool ValidIndex(int i) const { return i >= 0 && static_cast<size_t>(i) < m_keyCount; }
  keyframe_t* KeyAt(size_t i) const { return reinterpret_cast<keyframe_t*>(m_keyBase + i * m_keyStride); }
  int32_t TimeAt(size_t i) const { return KeyAt(i)->time; }

 private:
  void Erase(size_t first, size_t last);
  void UpdateRange();
  // The number of key records that follow in the chunk, or -1 (logged)
  // when it is negative, too large, or runs past the chunk.
  int ReadKeyCount(Stream* stream, int recordBytes);

  std::byte* m_keyBase = nullptr;
  size_t m_keyStride = 0;
  size_t m_keyCount = 0;
  mutable size_t m_lastFound = 0;  // where the last search ended
  outofrange_t m_before = kOutOfRangeHold;
  outofrange_t m_after = kOutOfRangeHold;
  DRange<int32_t> m_range;
};
