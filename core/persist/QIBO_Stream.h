#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/object/ByteIO.h"
#include "core/object/Ref.h"
#include "core/object/Stream.h"
#include "core/persist/SmartFile.h"

// The chunk layer over a byte stream: a tree of tagged, length-prefixed
// chunks that carries whole object graphs.
//
// Chunk layout (offset from the chunk's start):
//   0  uint32  chunk ID
//   4  int32   payload length in bytes (the 8 header bytes not counted)
//   8  ...     payload, possibly further chunks
//
// Reserved IDs:
//   "qibo"  the whole stream: a "slod" chunk, then object, object-data and
//           include chunks
//   "slod"  int: the level of detail the stream was written with
//   1       object: int stream ID, object header, the object's own chunks
//   2       object data: int class ID, then chunks applied to an existing
//           object of that class (or a derived one)
//   0xFFFF  include: a string naming another stream file read in its place
// Any other ID is a class chunk, read by the class that wrote it.
//
// Object header, file and memory media: int class ID, int network marker
// (-1 with a network ID, else 0), string library (the class descriptor's
// URL). The network medium writes int class ID, int network ID.
//
// Stream IDs: the stream's table maps IDs to objects. ID 0 stays empty (a
// null reference), written objects get 1, 2, ... in order, read objects
// the IDs stored with them. The table holds one anonymous reference on each
// object in it until the next phase starts or the stream is destroyed, so
// objects read stay alive at least as long as the stream.
//
// Includes: a file or memory stream reads an included file in place of the
// include chunk, unless that file is one of the files being read already
// (the same data by identity, however it is named) or includes are nested
// too deeply; one read follows at most kMaxIncludeReads includes in all.
// Streams from the network never follow includes.
//
// Unknown classes: the library an object header names is loaded at most
// once per stream (includes share their stream's list), whether or not it
// supplied the class.
//
// Reading never trusts the data: a chunk is confined to its parent (and
// the outermost one to the data's size), every read is confined to the
// innermost open chunk, and after each chunk the reader continues at that
// chunk's end whatever its payload did. A chunk whose length runs past its
// parent is read as far as the parent goes (a class chunk is skipped),
// a negative length ends the parent; each is logged as a warning.
class QIBO_Stream : public Stream {
 public:
  static constexpr uint32_t kStreamChunk = qibo::FourCC("qibo");
  static constexpr uint32_t kLevelChunk = qibo::FourCC("slod");  // 0x646F6C73
  static constexpr uint32_t kObjectChunk = 1;
  static constexpr uint32_t kObjectDataChunk = 2;
  static constexpr uint32_t kIncludeChunk = 0xFFFF;
  static constexpr uint32_t kDefaultLevelOfDetail = 31;
  // Deeper nesting than this is not read (each level costs stack).
  static constexpr int kMaxChunkDepth = 64;
  // Writing nests object chunks (an object writes the objects it holds
  // inside its own chunk) at most this many chunks deep; an object that
  // would go deeper, a child deep in a tree, is written after the outermost
  // object instead, at the top of the stream. Whatever a stream writes then
  // stays well within kMaxChunkDepth and reads back whole; only a reference
  // to such an object from a chunk written before it reads as null.
  static constexpr int kMaxWriteNesting = kMaxChunkDepth / 2;
  // Include files that include further files: this many levels at most.
  static constexpr int kMaxIncludeDepth = 8;
  // Includes followed by one read, at every level together.
  static constexpr int kMaxIncludeReads = 64;

  QIBO_Stream() = default;
  ~QIBO_Stream() override;

  CTStreamed* ReadReference() override;
  QIBO_String ReadString() override;
  void WriteReference(CTStreamed* object) override;

  void StartChunk(uint32_t id) override;
  void EndChunk() override;
  // A full object chunk; nothing for null, for an object already written in
  // this phase, or outside a write phase. Nested deeper than
  // kMaxWriteNesting, the object gets its stream ID now and its chunk after
  // the outermost object.
  void WriteObject(CTStreamed* object) override;
  // An object-data chunk: class ID, then the object's own chunks.
  void WriteObjectData(CTStreamed* object) override;
  // While reading: the table entry of oldObject now names newObject (which
  // the table takes a reference on); oldObject stays alive until the read
  // ends.
  void ReplaceReferences(CTStreamed* oldObject, CTStreamed* newObject) override;

  // Reads an object header and gives the object it names with a reference
  // the caller owns: new, or (network) the shared copy; empty when it
  // cannot or may not be made.
  virtual Ref<CTStreamed> ProcessObjectChunkHeader();
  virtual void WriteObjectChunkHeader(CTStreamed* object);
  // Moves the position by n bytes while reading or writing; a move outside
  // the data (or, reading, outside the open chunk) is refused.
  virtual void SeekBy(int n) = 0;
  virtual uint32_t GetPos() = 0;

  void SetLevelOfDetail(uint32_t level) {
    if (!m_writing && !m_reading) m_levelOfDetail = level;
  }
  uint32_t GetLevelOfDetail() const { return m_levelOfDetail; }

  int GetObjectCount() const { return m_objects.empty() ? 0 : static_cast<int>(m_objects.size()) - 1; }
  CTStreamed* GetObjectNo(int i) const {
    return i >= 0 && i < GetObjectCount() ? GetStreamObject(i + 1) : nullptr;
  }
  bool IsTrusted() const override { return FollowsIncludes(); }

  // While reading: whether bytes more lie inside the open chunk. A reader
  // checks a count times its record size with this before it makes
  // anything, so that a few bytes claiming millions of records cost
  // nothing. A stream that is not a chunk stream cannot tell and answers
  // true for any count that is not negative.
  static bool ChunkHolds(Stream* stream, int64_t bytes);

 protected:
  bool IsWriting() const { return m_writing; }
  bool IsReading() const { return m_reading; }
  bool IsIdle() const { return !m_writing && !m_reading; }

  bool HasStreamID(CTStreamed* object) const { return m_ids.count(object) != 0; }
  int32_t GetStreamID(CTStreamed* object) const;
  int32_t CreateStreamID(CTStreamed* object);
  void SetStreamID(CTStreamed* object, int32_t id);
  CTStreamed* GetStreamObject(int32_t id) const {
    return id >= 0 && static_cast<size_t>(id) < m_objects.size() ? m_objects[static_cast<size_t>(id)].Get()
                                                                 : nullptr;
  }

  // Begins a write phase: empties the table, opens "qibo" and writes the
  // "slod" chunk. False unless idle.
  bool StartStream();
  // Ends a write phase, closing the chunks left open.
  void EndStream();
  // One read phase over dataSize bytes from the medium's position 0: reads
  // the outermost chunk (handed to target when it is not "qibo").
  bool Process(CTStreamed* target, uint32_t dataSize);
  // Reads one chunk inside the innermost open chunk; whether it was
  // understood.
  bool ReadChunk(CTStreamed* target);

  // For the media's primitives while reading: whether size more bytes lie
  // inside the open chunk. A read that does not fit sets the sticky read
  // failure, which holds until the reader leaves the chunk.
  bool ClaimRead(uint32_t pos, int size) {
    if (!m_readFailed && size >= 0 && pos <= m_readLimit &&
        static_cast<uint32_t>(size) <= m_readLimit - pos) {
      return true;
    }
    m_readFailed = true;
    return false;
  }
  // Bytes a read may still take from pos (0 after a failed read).
  uint32_t ReadRoom(uint32_t pos) const { return m_readFailed || pos > m_readLimit ? 0 : m_readLimit - pos; }
  void FailRead() { m_readFailed = true; }
  bool ReadFailed() const { return m_readFailed; }
  // A seek target while reading must lie inside the open chunk.
  bool SeekAllowed(int64_t target) const {
    return target >= 0 && target <= static_cast<int64_t>(m_readLimit);
  }

  // The primitives of the buffer media (memory and network): read size
  // bytes of base at pos inside the open chunk, zeros when they do not fit;
  // move pos by n inside the open chunk while reading, or inside the
  // writeEnd bytes written so far while writing.
  void ReadFromBuffer(const uint8_t* base, uint32_t& pos, void* data, int size);
  void SeekInBuffer(uint32_t& pos, int n, uint32_t writeEnd);

  // The file the data came from, for include loops (none for buffers).
  void SetSource(const DFileIdentity& source) { m_source = source; }
  // Makes this stream read an include of the stream includer.
  void SetIncluder(QIBO_Stream* includer);
  // Whether source is being read by a stream that includes this one.
  bool IsIncludedFrom(const DFileIdentity& source) const;

  // Whether an object of class cd may be made from this stream's data.
  virtual bool MayCreate(const ClassDesc& cd) const;
  // Whether include chunks are followed.
  virtual bool FollowsIncludes() const { return true; }

  // A message about bad input, through OnReadWarning; at most a few per
  // phase, so a damaged file does not flood the log.
  void ReadWarning(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Where the reader's warnings go: the engine's log.
  virtual void OnReadWarning(const char* text);
  // Ends the read phase's reading: no further chunk is read, and Process
  // returns when the chunks open now have been left.
  void AbortRead() {
    m_aborted = true;
    m_readFailed = true;
  }
  // Creates a streamable object by class ID; empty for unknown,
  // non-streamable or refused classes (refused set for the last).
  Ref<CTStreamed> CreateStreamed(uint32_t classId, bool& refused);
  // Unknown class: loads the library once per stream, then tries again;
  // logs the warning when that does not help.
  Ref<CTStreamed> CreateOrLoad(uint32_t classId, const char* library);

 private:
  void WriteObjectChunk(CTStreamed* object);
  // Writes the objects put off for nesting too deeply, at the top level.
  void WriteDeferred();
  bool ReadPayload(uint32_t id, uint32_t end, bool truncated, CTStreamed* target);
  bool ReadObjectChunk(uint32_t end);
  bool ReadObjectDataChunk(uint32_t end, CTStreamed* target);
  bool ReadIncludeChunk(CTStreamed* target);
  void ReadChildren(uint32_t end, CTStreamed* target);
  void SeekToPos(uint32_t pos);
  void ReleaseTable();
  QIBO_Stream& Root() { return m_includer ? m_includer->Root() : *this; }

  std::vector<Ref<CTStreamed>> m_objects;          // by stream ID; entry 0 stays empty
  std::unordered_map<CTStreamed*, int32_t> m_ids;  // object -> its stream ID
  std::vector<Ref<CTStreamed>> m_replaced;         // kept until the read ends
  std::vector<uint32_t> m_chunkStarts;             // open chunks: position after the header
  std::vector<CTStreamed*> m_deferred;             // written later (the table holds them)
  std::vector<QIBO_String> m_triedLibraries;       // loaded (or tried) for unknown classes
  bool m_writing = false;
  bool m_reading = false;
  CTStreamed* m_defaultTarget = nullptr;
  uint32_t m_levelOfDetail = kDefaultLevelOfDetail;

  // Reading: the innermost open chunk's end, the data's size, the sticky
  // read failure and the nesting depth.
  uint32_t m_readLimit = 0;
  uint32_t m_dataSize = 0;
  bool m_readFailed = false;
  bool m_aborted = false;
  int m_depth = 0;
  int m_warnings = 0;

  DFileIdentity m_source;
  QIBO_Stream* m_includer = nullptr;
  int m_includeDepth = 0;
  int m_includeReads = 0;  // of this read, at every level (kept by the root)
};
