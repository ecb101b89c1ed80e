#include "tests/persist/StreamTestClasses.h"

#include <cstring>

#include "core/kernel/ClassApi.h"
#include "core/object/ByteIO.h"

QIBO_IMPLEMENT_CLASS(StreamItem, CTNamed, .desc = "Stream test item", .url = "streamtest.plug",
                     .safeToReceive = true)
QIBO_IMPLEMENT_CLASS(StreamDerived, StreamItem, .desc = "Stream test derived item")
QIBO_IMPLEMENT_CLASS(StreamOther, CTNamed, .desc = "Stream test other")
QIBO_IMPLEMENT_CLASS(StreamTexture, CTNamed, .desc = "Stream test texture", .fixedId = 0xF035FA46)
QIBO_IMPLEMENT_CLASS(StreamProbe, CTStreamed, .desc = "Stream test probe")

namespace qibo::test {

void RegisterStreamTestClasses() {
  qiBO_RegisterClass(StreamItem::_CD());
  qiBO_RegisterClass(StreamDerived::_CD());
  qiBO_RegisterClass(StreamOther::_CD());
  qiBO_RegisterClass(StreamTexture::_CD());
}

void UnregisterStreamTestClasses() {
  qiBO_UnregisterClass(StreamTexture::_CD());
  qiBO_UnregisterClass(StreamOther::_CD());
  qiBO_UnregisterClass(StreamDerived::_CD());
  qiBO_UnregisterClass(StreamItem::_CD());
}

void AppendInt(std::vector<uint8_t>& out, int32_t v) {
  uint8_t b[4];
  PutLE32(b, static_cast<uint32_t>(v));
  out.insert(out.end(), b, b + 4);
}

void AppendText(std::vector<uint8_t>& out, const char* text) {
  out.insert(out.end(), text, text + strlen(text));
}

size_t StartChunkAt(std::vector<uint8_t>& out, uint32_t id) {
  const size_t at = out.size();
  AppendInt(out, static_cast<int32_t>(id));
  AppendInt(out, -1);
  return at;
}

void EndChunkAt(std::vector<uint8_t>& out, size_t headerAt) {
  PutLE32(out.data() + headerAt + 4, static_cast<uint32_t>(out.size() - headerAt - 8));
}

}  // namespace qibo::test

void StreamItem::WriteToStream(Stream* stream, uint32_t flags) {
  CTNamed::WriteToStream(stream, flags);
  stream->StartChunk(kValuesChunk);
  for (int32_t v : values) stream->WriteInt(v);
  stream->EndChunk();
  if (hasLink) {
    stream->StartChunk(kLinkChunk);
    stream->WriteReference(link);
    stream->EndChunk();
  }
}

bool StreamItem::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID == kValuesChunk) {
    for (int32_t& v : values) v = stream->ReadInt();
  } else if (chunkID == kLinkChunk) {
    link = stream->ReadReference();
    hasLink = true;
  } else {
    return CTNamed::ProcessChunk(stream, chunkID);
  }
  ++chunksSeen;
  return true;
}

void StreamTexture::WriteToStream(Stream* stream, uint32_t flags) {
  CTNamed::WriteToStream(stream, flags);
  stream->StartChunk(kHeaderChunk);
  for (int32_t v : header) stream->WriteInt(v);
  stream->EndChunk();
  stream->StartChunk(kPixelChunk);
  stream->WriteInt(static_cast<int32_t>(pixels.size()));
  stream->WriteBlock(pixels.data(), static_cast<int>(pixels.size()));
  stream->EndChunk();
}

bool StreamTexture::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID == kHeaderChunk) {
    for (int32_t& v : header) v = stream->ReadInt();
    return true;
  }
  if (chunkID == kPixelChunk) {
    const int32_t size = stream->ReadInt();
    if (size < 0 || size > (1 << 24)) return false;
    pixels.resize(static_cast<size_t>(size));
    stream->ReadBlock(pixels.data(), size);
    return true;
  }
  return CTNamed::ProcessChunk(stream, chunkID);
}
