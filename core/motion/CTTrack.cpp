#include "core/motion/CTTrack.h"

#include <algorithm>
#include <new>
#include <vector>

#include "core/kernel/Logging.h"
#include "core/persist/QIBO_Stream.h"

QIBO_IMPLEMENT_CLASS(CTTrack, CTInterface, .desc = "Abstract track", .isAbstract = true,
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTTrack") == 0x98053770);

void CTTrack::SetKeyView(keyframe_t* first, size_t stride, size_t count) {
  m_keyBase = reinterpret_cast<std::byte*>(first);
  m_keyStride = stride;
  m_keyCount = count;
  m_lastFound = 0;
  if (count == 0)
    m_range = {0, 0};
  else
    m_range = {TimeAt(0), TimeAt(count - 1)};
}

// ---------------------------------------------------------------------------
// Finding keys

int CTTrack::FindKey(int32_t t) const {
  const size_t count = m_keyCount;
  // Most searches land on the key found last time or the next one.
  for (size_t i = m_lastFound; i < count && i <= m_lastFound + 1; ++i) {
    if (TimeAt(i) <= t && (i + 1 == count || t < TimeAt(i + 1))) {
      m_lastFound = i;
      return static_cast<int>(i);
    }
  }
  if (count == 0) return -1;
  // Bisection that keeps [lo, lo + n) around the last key not after t; a
  // conditional move rather than a branch the processor must guess.
  size_t lo = 0;
  for (size_t n = count; n > 1;) {
    const size_t half = n / 2;
    lo = TimeAt(lo + half) <= t ? lo + half : lo;
    n -= half;
  }
  if (TimeAt(lo) > t) return -1;  // before the first key
  m_lastFound = lo;
  return static_cast<int>(lo);
}

int CTTrack::FindKeyAt(int32_t t) const {
  const int i = FindKey(t);
  return i >= 0 && TimeAt(static_cast<size_t>(i)) == t ? i : -1;
}

keyframe_t* CTTrack::GetKey(int32_t t) const { return GetKeyNo(FindKey(GetLocalTime(t))); }

int32_t CTTrack::GetLocalTime(int32_t t) const {
  // 64-bit arithmetic: t - minimum may not fit 32 bits.
  const int64_t lo = m_range.minimum;
  const int64_t hi = m_range.maximum;
  if (t >= lo && t <= hi) return t;
  // No length to repeat: a lone key (or none) holds for every time.
  if (hi <= lo) return m_range.minimum;
  const int64_t length = hi - lo;
  const bool before = t < lo;
  const int64_t d = t - lo;
  switch (before ? m_before : m_after) {
    case 3:
      // The odd passes run backwards; the even ones repeat.
      if (!before && (d / length) % 2 != 0) return static_cast<int32_t>(hi - d % length);
      if (before && ((t - hi + 1) / length) % 2 != 0) {
        const int64_t r = d % length;
        return static_cast<int32_t>(r < 0 ? lo - r : hi);
      }
      [[fallthrough]];
    case 1:
    case 2:
    case 5: {
      const int64_t r = d % length;  // takes the sign of d
      return static_cast<int32_t>(r >= 0 ? lo + r : hi + r);
    }
    default:
      return before ? m_range.minimum : m_range.maximum;
  }
}

// ---------------------------------------------------------------------------
// Adding and deleting keys

keyframe_t* CTTrack::SetKey(int32_t t) {
  const int found = FindKey(t);
  if (found >= 0 && TimeAt(static_cast<size_t>(found)) == t) return KeyAt(static_cast<size_t>(found));
  keyframe_t* key = NewKey(static_cast<size_t>(found + 1));
  if (!key) return nullptr;
  key->time = t;
  UpdateRange();
  return key;
}

void CTTrack::Erase(size_t first, size_t last) {
  if (first < last) EraseKeys(first, last);
}

void CTTrack::UpdateRange() {
  if (m_keyCount == 0)
    m_range = {0, 0};
  else
    m_range = {TimeAt(0), TimeAt(m_keyCount - 1)};
}

bool CTTrack::DeleteKey(int i) {
  if (!ValidIndex(i)) return false;
  Erase(static_cast<size_t>(i), static_cast<size_t>(i) + 1);
  return true;
}

bool CTTrack::DeleteKeyAt(int32_t t) { return DeleteKey(FindKeyAt(t)); }

void CTTrack::DeleteAllKeys() { Erase(0, m_keyCount); }

void CTTrack::DeleteKeysBefore(int32_t t) {
  // The keys before t are those before the first key not before t.
  const int lastBefore = t == INT32_MIN ? -1 : FindKey(t - 1);
  Erase(0, static_cast<size_t>(lastBefore + 1));
}

void CTTrack::DeleteKeyAfter(int32_t t) { Erase(static_cast<size_t>(FindKey(t) + 1), m_keyCount); }

// ---------------------------------------------------------------------------
// Stream record
//
// 0x98053770  int out-of-range before, int out-of-range after

void CTTrack::WriteToStream(Stream* stream, uint32_t flags) {
  CTInterface::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(m_before);
  stream->WriteInt(m_after);
  stream->EndChunk();
}

bool CTTrack::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTInterface::ProcessChunk(stream, chunkID);
  m_before = stream->ReadInt();
  m_after = stream->ReadInt();
  return true;
}

// ---------------------------------------------------------------------------
// Key chunks of the typed tracks
//
// int count, then count records: int time, ValueFloats() floats

void CTTrack::WriteKeyChunk(Stream* stream, uint32_t chunkID) {
  float value[4] = {};
  const int floats = std::min(ValueFloats(), 4);
  stream->StartChunk(chunkID);
  stream->WriteInt(GetKeyCount());
  for (size_t i = 0; i < m_keyCount; ++i) {
    const keyframe_t* key = KeyAt(i);
    stream->WriteInt(key->time);
    KeyToFloats(key, value);
    for (int f = 0; f < floats; ++f) stream->WriteFloat(value[f]);
  }
  stream->EndChunk();
}

int CTTrack::ReadKeyCount(Stream* stream, int recordBytes) {
  const int32_t count = stream->ReadInt();
  if (count < 0 || count > kMaxStreamKeys) {
    qiBO_Error(QIBO_String::Format("%s: %d keys in the stream refused (at most %d)", GetName(), count,
                                   kMaxStreamKeys)
                   .c_str(),
               this);
    return -1;
  }
  // A chunk stream can tell whether the records are there before anything
  // is made.
  if (!QIBO_Stream::ChunkHolds(stream, int64_t{count} * recordBytes)) {
    qiBO_Error(QIBO_String::Format("%s: the stream names %d keys but holds fewer; keys left as they were",
                                   GetName(), count)
                   .c_str(),
               this);
    return -1;
  }
  return count;
}

void CTTrack::ReadKeyChunk(Stream* stream) {
  struct Record {
    int32_t time;
    float value[4];
  };
  const int floats = std::min(ValueFloats(), 4);
  const int count = ReadKeyCount(stream, 4 + 4 * floats);
  if (count < 0) return;
  std::vector<Record> records;
  try {
    records.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    qiBO_Error(QIBO_String::Format("%s: no memory for %d keys", GetName(), count).c_str(), this);
    return;
  }
  bool sorted = true;
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].time = stream->ReadInt();
    for (int f = 0; f < 4; ++f) records[i].value[f] = f < floats ? stream->ReadFloat() : 0.0f;
    if (i > 0 && records[i - 1].time >= records[i].time) sorted = false;
  }
  if (!sorted) {
    // Stable, so that of the records of one time the last read comes last
    // and stays: a later record wins, as setting the keys one by one would.
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return a.time < b.time; });
  }
  DeleteAllKeys();
  int invalid = 0;
  int merged = 0;
  for (const Record& record : records) {
    // A record of the last key's time replaces its value, when valid.
    if (m_keyCount > 0 && TimeAt(m_keyCount - 1) == record.time) {
      if (KeyFromFloats(KeyAt(m_keyCount - 1), record.value))
        ++merged;
      else
        ++invalid;
      continue;
    }
    keyframe_t* key = NewKey(m_keyCount);
    if (!key) break;
    key->time = record.time;
    if (!KeyFromFloats(key, record.value)) {
      EraseKeys(m_keyCount - 1, m_keyCount);
      ++invalid;
    }
  }
  UpdateRange();
  if (!sorted)
    qiBO_Warning(
        QIBO_String::Format("%s: keys out of time order sorted; %d duplicate times merged", GetName(), merged)
            .c_str(),
        this);
  if (invalid > 0)
    qiBO_Warning(QIBO_String::Format("%s: %d keys without a valid value dropped", GetName(), invalid).c_str(),
                 this);
}
