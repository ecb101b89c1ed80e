#pragma once

#include <cstdint>

#include "core/object/CTReferenced.h"

class Stream;

// Base of every object that is written to and read from the chunked object
// stream and that can be shared over the network by its network ID.
class CTStreamed : public CTReferenced {
  QIBO_CLASS(CTStreamed)

 public:
  CTStreamed() = default;
  // A copy keeps the network ID but is not entered in the network table.
  CTStreamed(const CTStreamed& other) = default;
  CTStreamed& operator=(const CTStreamed& other) = default;
  ~CTStreamed() override;

  // True for an object without network ID; otherwise whether this program
  // owns the shared objects (it hosts or is in no session).
  virtual bool IsNetMaster();
  // Writes the object's chunks; a derived class calls its base first and
  // then writes its own chunks, chosen by bits of levelOfDetail.
  virtual void WriteToStream(Stream* stream, uint32_t levelOfDetail);
  // Reads one of the class's own chunks and answers true; passes other IDs
  // to its base. False makes the stream skip the chunk.
  virtual bool ProcessChunk(Stream* stream, uint32_t chunkID);

  uint32_t GetNetID() const { return m_netId; }
  // 0xFFFFFFFF asks the network service for a fresh ID. A set ID only
  // changes back to 0; other changes are ignored.
  void SetNetID(uint32_t id);
  void ResetNetID();

 protected:
  void BroadcastStream(uint32_t levelOfDetail);

 private:
  uint32_t m_netId = 0;
};
