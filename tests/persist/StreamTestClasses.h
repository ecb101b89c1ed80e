#pragma once

// Small streamable classes for the stream tests.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/object/CTNamed.h"
#include "core/object/Stream.h"

namespace qibo::test {

// Registers the test classes for the lifetime of a fixture.
void RegisterStreamTestClasses();
void UnregisterStreamTestClasses();

// The bytes a little-endian int takes, for building expected streams.
void AppendInt(std::vector<uint8_t>& out, int32_t v);
void AppendText(std::vector<uint8_t>& out, const char* text);  // no length, no NUL
// A chunk header whose length is patched by EndChunkAt.
size_t StartChunkAt(std::vector<uint8_t>& out, uint32_t id);
void EndChunkAt(std::vector<uint8_t>& out, size_t headerAt);

}  // namespace qibo::test

// A named object with three ints and a reference to another object.
class StreamItem : public CTNamed {
  QIBO_CLASS(StreamItem)

 public:
  static constexpr uint32_t kValuesChunk = 0x5EA10001;
  static constexpr uint32_t kLinkChunk = 0x5EA10002;

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
  bool DoRegisterWithService() override { return true; }
  bool DoUnregisterWithService() override { return true; }

  int32_t values[3] = {};
  CTStreamed* link = nullptr;  // not owned: the stream's table keeps it alive
  bool hasLink = false;        // whether a link chunk was written or read
  int chunksSeen = 0;          // own chunks read
};

// Derives from StreamItem: object data for StreamItem applies to it.
class StreamDerived : public StreamItem {
  QIBO_CLASS(StreamDerived)
};

// An unrelated class.
class StreamOther : public CTNamed {
  QIBO_CLASS(StreamOther)
};

// The texture of the memory-image example: class ID 0xF035FA46, a 16-byte
// header chunk and a pixel chunk.
class StreamTexture : public CTNamed {
  QIBO_CLASS(StreamTexture)

 public:
  static constexpr uint32_t kHeaderChunk = 0x94010E43;
  static constexpr uint32_t kPixelChunk = 0x94010E44;

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
  bool DoRegisterWithService() override { return true; }
  bool DoUnregisterWithService() override { return true; }

  int32_t header[4] = {};
  std::vector<uint8_t> pixels;
};

// A target whose chunks are read by a test's own function.
class StreamProbe : public CTStreamed {
  QIBO_CLASS(StreamProbe)

 public:
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override {
    ids.push_back(chunkID);
    return onChunk ? onChunk(stream, chunkID) : false;
  }
  std::function<bool(Stream*, uint32_t)> onChunk;
  std::vector<uint32_t> ids;
};
