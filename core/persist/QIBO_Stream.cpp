#include "core/persist/QIBO_Stream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/kernel/ClassApi.h"
#include "core/kernel/Logging.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/CTStreamed.h"
#include "core/object/Ref.h"
#include "core/persist/FileStream.h"

namespace {

// Read warnings per phase; a damaged file should not flood the log.
constexpr int kMaxWarnings = 16;

// A corrupt stream could name huge stream IDs; no well-formed stream has
// more objects than its data can hold (an object chunk takes at least 20
// bytes), so larger IDs are refused before the table grows.
constexpr uint32_t kMinObjectChunkSize = 20;
constexpr uint32_t kStreamIdSlack = 64;

}  // namespace

QIBO_Stream::~QIBO_Stream() {
  ReleaseTable();
  m_replaced.clear();
}

// ---------------------------------------------------------------------------
// Stream-ID table

void QIBO_Stream::ReleaseTable() {
  // Detach first: releasing may delete objects. Last read first, so that a
  // tree goes from its leaves up and shared objects find their holders at
  // the end of their lists.
  std::vector<Ref<CTStreamed>> objects;
  objects.swap(m_objects);
  m_ids.clear();
  while (!objects.empty()) objects.pop_back();
}

int32_t QIBO_Stream::GetStreamID(CTStreamed* object) const {
  if (!object) return m_objects.empty() ? -1 : 0;
  auto it = m_ids.find(object);
  return it == m_ids.end() ? -1 : it->second;
}

int32_t QIBO_Stream::CreateStreamID(CTStreamed* object) {
  if (!object) return GetStreamID(object);
  auto it = m_ids.find(object);
  if (it != m_ids.end()) return it->second;
  if (m_objects.empty()) m_objects.emplace_back();
  const int32_t id = static_cast<int32_t>(m_objects.size());
  m_objects.emplace_back(object);
  m_ids.emplace(object, id);
  return id;
}

void QIBO_Stream::SetStreamID(CTStreamed* object, int32_t id) {
  if (!object || id <= 0 || HasStreamID(object)) return;
  if (m_reading && static_cast<uint32_t>(id) > m_dataSize / kMinObjectChunkSize + kStreamIdSlack) {
    ReadWarning("Stream ID %d is larger than the stream can hold; object not kept", id);
    return;
  }
  if (m_objects.size() <= static_cast<size_t>(id)) m_objects.resize(static_cast<size_t>(id) + 1);
  // While reading, objects already read may hold pointers to the one at id
  // (from ReadReference): a second object with the same ID is damage and is
  // not let in, so those pointers stay valid as long as the stream.
  if (m_reading && m_objects[static_cast<size_t>(id)]) {
    ReadWarning("Stream ID %d is used twice; the second object is not kept", id);
    return;
  }
  Ref<CTStreamed> previous = std::exchange(m_objects[static_cast<size_t>(id)], Ref<CTStreamed>(object));
  m_ids.emplace(object, id);
  if (previous) {
    auto it = m_ids.find(previous.Get());
    if (it != m_ids.end() && it->second == id) m_ids.erase(it);
  }
}

void QIBO_Stream::ReplaceReferences(CTStreamed* oldObject, CTStreamed* newObject) {
  if (!m_reading || !oldObject || oldObject == newObject) return;
  auto it = m_ids.find(oldObject);
  if (it == m_ids.end()) return;
  const int32_t id = it->second;
  m_ids.erase(it);
  if (newObject) m_ids.emplace(newObject, id);
  Ref<CTStreamed> old = std::exchange(m_objects[static_cast<size_t>(id)], Ref<CTStreamed>(newObject));
  // The table's reference on oldObject moves to the replaced list; an object
  // already there keeps the one it has.
  if (std::find(m_replaced.begin(), m_replaced.end(), oldObject) == m_replaced.end())
    m_replaced.push_back(std::move(old));
}

bool QIBO_Stream::ChunkHolds(Stream* stream, int64_t bytes) {
  if (bytes < 0) return false;
  auto* chunked = dynamic_cast<QIBO_Stream*>(stream);
  if (!chunked) return true;
  return chunked->m_reading && bytes <= static_cast<int64_t>(chunked->ReadRoom(chunked->GetPos()));
}

CTStreamed* QIBO_Stream::ReadReference() {
  if (!m_reading) return nullptr;
  return GetStreamObject(ReadInt());
}

void QIBO_Stream::WriteReference(CTStreamed* object) { WriteInt(GetStreamID(object)); }

// ---------------------------------------------------------------------------
// Writing

bool QIBO_Stream::StartStream() {
  if (!IsIdle()) return false;
  ReleaseTable();
  m_chunkStarts.clear();
  m_deferred.clear();
  m_writing = true;
  StartChunk(kStreamChunk);
  StartChunk(kLevelChunk);
  WriteInt(static_cast<int32_t>(m_levelOfDetail));
  EndChunk();
  return true;
}

void QIBO_Stream::EndStream() {
  if (!m_writing) return;
  // Normally only "qibo" is open here; chunks a writer left open are closed
  // too, so that no length stays a placeholder. Objects put off until the
  // outermost one ended go last, inside "qibo".
  while (m_chunkStarts.size() > 1) EndChunk();
  WriteDeferred();
  while (!m_chunkStarts.empty()) EndChunk();
  m_writing = false;
}

void QIBO_Stream::StartChunk(uint32_t id) {
  if (!m_writing) return;
  WriteInt(static_cast<int32_t>(id));
  WriteInt(-1);  // the length, patched by EndChunk
  m_chunkStarts.push_back(GetPos());
}

void QIBO_Stream::EndChunk() {
  if (!m_writing || m_chunkStarts.empty()) return;
  const uint32_t start = m_chunkStarts.back();
  m_chunkStarts.pop_back();
  const int32_t length = static_cast<int32_t>(GetPos() - start);
  SeekBy(-4 - length);
  WriteInt(length);
  SeekBy(length);
}

void QIBO_Stream::WriteObject(CTStreamed* object) {
  if (!m_writing || !object || HasStreamID(object)) return;
  CreateStreamID(object);
  if (m_chunkStarts.size() > static_cast<size_t>(kMaxWriteNesting)) {
    m_deferred.push_back(object);
    return;
  }
  WriteObjectChunk(object);
  if (m_chunkStarts.size() <= 1) WriteDeferred();
}

void QIBO_Stream::WriteObjectChunk(CTStreamed* object) {
  StartChunk(kObjectChunk);
  WriteInt(GetStreamID(object));
  WriteObjectChunkHeader(object);
  object->WriteToStream(this, m_levelOfDetail);
  EndChunk();
}

void QIBO_Stream::WriteDeferred() {
  // In the order they were put off; writing one may put off more, which
  // join the end of the list.
  for (size_t i = 0; i < m_deferred.size(); ++i) WriteObjectChunk(m_deferred[i]);
  m_deferred.clear();
}

void QIBO_Stream::WriteObjectData(CTStreamed* object) {
  if (!m_writing || !object) return;
  StartChunk(kObjectDataChunk);
  WriteInt(static_cast<int32_t>(object->GetCD()->ID()));
  object->WriteToStream(this, m_levelOfDetail);
  EndChunk();
  if (m_chunkStarts.size() <= 1) WriteDeferred();
}

void QIBO_Stream::WriteObjectChunkHeader(CTStreamed* object) {
  WriteInt(static_cast<int32_t>(object->GetCD()->ID()));
  WriteInt(object->GetNetID() != 0 ? -1 : 0);
  WriteString(object->GetCD()->GetURL().c_str());
}

// ---------------------------------------------------------------------------
// Reading

void QIBO_Stream::ReadWarning(const char* format, ...) {
  if (++m_warnings > kMaxWarnings) return;
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  OnReadWarning(text);
}

void QIBO_Stream::OnReadWarning(const char* text) { qiBO_Warning(text, nullptr); }

QIBO_String QIBO_Stream::ReadString() {
  QIBO_String text;
  if (!m_reading) return text;
  const int32_t length = ReadInt();
  if (length <= 0) return text;  // a negative length reads as empty and takes nothing more
  const uint32_t pos = GetPos();
  if (static_cast<uint32_t>(length) > ReadRoom(pos)) {
    ReadWarning("String of %d characters at %u runs past its chunk", length, pos);
    FailRead();
    return text;
  }
  const int kept = std::min<int32_t>(length, QIBO_String::kMaxLength);
  ReadBlock(text.Buffer(), kept);
  text.Buffer()[kept] = '\0';
  if (length > kept) SeekBy(length - kept);
  return text;
}

void QIBO_Stream::SetIncluder(QIBO_Stream* includer) {
  m_includer = includer;
  m_includeDepth = includer ? includer->m_includeDepth + 1 : 0;
}

bool QIBO_Stream::IsIncludedFrom(const DFileIdentity& source) const {
  if (!source.Valid()) return false;
  for (const QIBO_Stream* s = m_includer; s; s = s->m_includer)
    if (s->m_source == source) return true;
  return false;
}

bool QIBO_Stream::MayCreate(const ClassDesc&) const { return true; }

void QIBO_Stream::SeekToPos(uint32_t pos) {
  const int64_t delta = static_cast<int64_t>(pos) - GetPos();
  if (delta != 0 && delta >= INT32_MIN && delta <= INT32_MAX) SeekBy(static_cast<int>(delta));
}

bool QIBO_Stream::Process(CTStreamed* target, uint32_t dataSize) {
  if (!IsIdle()) return false;
  ReleaseTable();
  m_defaultTarget = target;
  m_reading = true;
  m_readLimit = dataSize;
  m_dataSize = dataSize;
  // Room for as many objects as a well-formed stream of this size can hold
  // at a typical size, so the table does not rehash as it fills.
  m_ids.reserve(std::min<size_t>(dataSize / 128, 1u << 20));
  m_readFailed = false;
  m_aborted = false;
  m_depth = 0;
  m_warnings = 0;
  if (!m_includer) m_includeReads = 0;

  // A stream that does not begin with "qibo" is one chunk for the target.
  uint8_t head[4] = {};
  ReadBlock(head, 4);
  m_readFailed = false;
  SeekToPos(0);
  const bool isStream = qibo::GetLE32(head) == kStreamChunk;
  ReadChunk(isStream ? nullptr : target);

  m_reading = false;
  m_readFailed = false;
  m_defaultTarget = nullptr;
  std::vector<Ref<CTStreamed>> replaced;
  replaced.swap(m_replaced);
  return true;
}

Ref<CTStreamed> QIBO_Stream::CreateStreamed(uint32_t classId, bool& refused) {
  refused = false;
  ClassDesc* cd = qiBO_FindClassDesc(classId);
  if (!cd) return Ref<CTStreamed>();
  // Refused before anything is made: some classes act on creation.
  if (!MayCreate(*cd)) {
    refused = true;
    ReadWarning("Class %s may not be created from this stream", cd->GetName().c_str());
    return Ref<CTStreamed>();
  }
  return qibo::CreateAs<CTStreamed>(cd);  // a class that cannot carry chunks gives none
}

// A stream may name a plug-in only by a plain file name ("x.plug", or
// "x.dll" from older streams); a path would let the data load any library.
static bool IsPlugInFileName(const char* name) {
  const size_t length = strlen(name);
  if (strpbrk(name, "/\\:") || name[0] == '.') return false;
  return (length > 5 && qibo::EqualsIC(name + length - 5, ".plug")) ||
         (length > 4 && qibo::EqualsIC(name + length - 4, ".dll"));
}

Ref<CTStreamed> QIBO_Stream::CreateOrLoad(uint32_t classId, const char* library) {
  bool refused = false;
  Ref<CTStreamed> object = CreateStreamed(classId, refused);
  if (refused) return object;
  std::vector<QIBO_String>& tried = Root().m_triedLibraries;
  const auto isTried = [&](const QIBO_String& name) { return qibo::EqualsIC(name.c_str(), library); };
  if (!object && library && *library && std::none_of(tried.begin(), tried.end(), isTried)) {
    tried.emplace_back(library);
    if (!IsPlugInFileName(library)) {
      ReadWarning("Library \"%s\" of class 0x%08X is not a plug-in file name", library, classId);
    } else if (qibo::LoadPlugInForClass(library)) {
      object = CreateStreamed(classId, refused);
    }
  }
  if (!object && !refused) {
    char text[64];
    snprintf(text, sizeof(text), "Warning: Unregistered Class:0x%08X", classId);
    OnReadWarning(text);
  }
  return object;
}

Ref<CTStreamed> QIBO_Stream::ProcessObjectChunkHeader() {
  const uint32_t classId = static_cast<uint32_t>(ReadInt());
  const int32_t netMarker = ReadInt();
  const QIBO_String library = ReadString();
  if (m_readFailed) return Ref<CTStreamed>();
  Ref<CTStreamed> object = CreateOrLoad(classId, library.c_str());
  if (!object) return object;
  // The marker says only whether the writer's object was shared; a fresh
  // network ID is asked for. Other values are damage, not IDs to adopt.
  if (netMarker == -1) {
    object->SetNetID(0xFFFFFFFFu);
  } else if (netMarker != 0) {
    ReadWarning("Object of class 0x%08X has a bad network marker %d", classId, netMarker);
  }
  return object;
}

bool QIBO_Stream::ReadChunk(CTStreamed* target) {
  if (!m_reading || m_aborted) return false;
  const uint32_t parentEnd = m_readLimit;
  const uint32_t pos = GetPos();
  if (pos >= parentEnd) return false;
  if (parentEnd - pos < 8) {
    ReadWarning("%u stray bytes at %u", parentEnd - pos, pos);
    SeekToPos(parentEnd);
    return false;
  }
  const uint32_t id = static_cast<uint32_t>(ReadInt());
  const int32_t length = ReadInt();
  const uint32_t start = pos + 8;
  if (length < 0) {
    ReadWarning("Chunk 0x%08X at %u has a negative length %d", id, pos, length);
    SeekToPos(parentEnd);
    return false;
  }
  uint32_t end = start + static_cast<uint32_t>(length);
  const bool truncated = static_cast<uint32_t>(length) > parentEnd - start;
  if (truncated) {
    ReadWarning("Chunk 0x%08X at %u: length %d runs past the end of its data", id, pos, length);
    end = parentEnd;
  }

  bool understood = false;
  if (m_depth >= kMaxChunkDepth) {
    ReadWarning("Chunk 0x%08X at %u is nested too deeply", id, pos);
  } else {
    ++m_depth;
    m_readLimit = end;
    understood = ReadPayload(id, end, truncated, target);
    m_readLimit = parentEnd;
    --m_depth;
  }
  // Whatever the payload's reader did, go on at the chunk's end (an
  // aborted read goes on nowhere).
  m_readFailed = m_aborted;
  SeekToPos(end);
  return understood;
}

void QIBO_Stream::ReadChildren(uint32_t end, CTStreamed* target) {
  while (!m_readFailed && GetPos() < end) ReadChunk(target);
}

bool QIBO_Stream::ReadPayload(uint32_t id, uint32_t end, bool truncated, CTStreamed* target) {
  switch (id) {
    case kStreamChunk:
      ReadChildren(end, nullptr);
      return true;
    case kLevelChunk: {
      const int32_t level = ReadInt();
      if (!m_readFailed) m_levelOfDetail = static_cast<uint32_t>(level);
      return true;
    }
    case kObjectChunk:
      return ReadObjectChunk(end);
    case kObjectDataChunk:
      return ReadObjectDataChunk(end, target);
    case kIncludeChunk:
      return ReadIncludeChunk(target);
    default:
      // A class gets only whole chunks.
      if (truncated || !target) return false;
      return target->ProcessChunk(this, id);
  }
}

bool QIBO_Stream::ReadObjectChunk(uint32_t end) {
  const int32_t streamId = ReadInt();
  if (m_readFailed) return false;
  // A fresh object nobody keeps (stream ID 0, or refused) is deleted at the
  // chunk's end instead of leaking.
  const Ref<CTStreamed> hold = ProcessObjectChunkHeader();
  CTStreamed* object = hold.Get();
  if (object && streamId != 0 && !HasStreamID(object)) SetStreamID(object, streamId);
  while (!m_readFailed && GetPos() < end) {
    if (GetStreamObject(streamId) != object) object = nullptr;  // replaced, or never entered
    ReadChunk(object);
  }
  return true;
}

bool QIBO_Stream::ReadObjectDataChunk(uint32_t end, CTStreamed* target) {
  CTStreamed* t = target ? target : m_defaultTarget;
  const uint32_t classId = static_cast<uint32_t>(ReadInt());
  if (m_readFailed) return false;
  if (t && !t->GetCD()->CheckGroupID(classId)) t = nullptr;  // not for this object: skipped
  ReadChildren(end, t);
  return true;
}

bool QIBO_Stream::ReadIncludeChunk(CTStreamed* target) {
  const QIBO_String name = ReadString();
  if (m_readFailed) return false;
  CTStreamed* t = target ? target : m_defaultTarget;
  if (!FollowsIncludes()) {
    ReadWarning("Include of \"%s\" skipped: this stream does not open files", name.c_str());
    return true;
  }
  if (m_includeDepth >= kMaxIncludeDepth) {
    ReadWarning("Include of \"%s\" skipped: includes nested too deeply", name.c_str());
    return true;
  }
  if (++Root().m_includeReads > kMaxIncludeReads) {
    ReadWarning("Include of \"%s\" skipped: more than %d includes in one read", name.c_str(),
                kMaxIncludeReads);
    return true;
  }
  // The included file checks, once open, that it is not one of those being
  // read (by identity, so no other spelling of a name gets past).
  FileStream included;
  included.SetIncluder(this);
  included.ReadSendDataTo(name.c_str(), t);
  return true;
}

void QIBO_Stream::ReadFromBuffer(const uint8_t* base, uint32_t& pos, void* data, int size) {
  if (!data || size <= 0) return;
  if (IsReading() && ClaimRead(pos, size)) {
    memcpy(data, base + pos, static_cast<size_t>(size));
    pos += static_cast<uint32_t>(size);
    return;
  }
  memset(data, 0, static_cast<size_t>(size));
}

void QIBO_Stream::SeekInBuffer(uint32_t& pos, int n, uint32_t writeEnd) {
  const int64_t target = static_cast<int64_t>(pos) + n;
  if (IsReading()) {
    if (SeekAllowed(target))
      pos = static_cast<uint32_t>(target);
    else
      FailRead();
  } else if (IsWriting() && target >= 0 && target <= static_cast<int64_t>(writeEnd)) {
    pos = static_cast<uint32_t>(target);
  }
}
