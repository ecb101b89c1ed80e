#include "core/render/base/CTTexture.h"

#include <bit>
#include <new>
#include <utility>

#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/Stream.h"
#include "core/persist/QIBO_Stream.h"
#include "core/render/base/CTTextureManager.h"

QIBO_IMPLEMENT_CLASS(CTTexture, CTCached, .desc = "Texture")
static_assert(qibo::ClassId("CTTexture") == 0xF035FA46);

namespace {

// Whether n more bytes lie inside the chunk being read. Only the chunk
// streams can tell: a probing seek there is refused past the open chunk.
// Other streams answer yes, and the read itself stays bounded.
bool HasRoom(Stream* stream, int n) {
  auto* chunks = dynamic_cast<QIBO_Stream*>(stream);
  if (!chunks) return true;
  const uint32_t before = chunks->GetPos();
  chunks->SeekBy(n);
  if (chunks->GetPos() != before + static_cast<uint32_t>(n)) return false;
  chunks->SeekBy(-n);
  return true;
}

// Whether the block read moved the position by exactly n bytes (a short
// read leaves it where it was).
bool ReadFully(Stream* stream, void* data, int n) {
  auto* chunks = dynamic_cast<QIBO_Stream*>(stream);
  const uint32_t before = chunks ? chunks->GetPos() : 0;
  stream->ReadBlock(data, n);
  return !chunks || chunks->GetPos() == before + static_cast<uint32_t>(n);
}

void ToHostOrder(LFB& lfb) {
  if constexpr (std::endian::native == std::endian::big) {
    for (int y = 0; y < lfb.GetHeight(); ++y) {
      uint32_t* row = lfb.GetRow(y);
      for (int x = 0; x < lfb.GetPitch(); ++x) row[x] = __builtin_bswap32(row[x]);
    }
  }
}

}  // namespace

CTTexture::CTTexture(const char* name) : CTCached(name ? name : "Texture") {}

CTTexture::CTTexture(const CTTexture& other)
    : CTCached(other),
      m_alphaDepth(other.m_alphaDepth),
      m_colorDepth(other.m_colorDepth),
      m_mipLevels(other.m_mipLevels),
      m_sourceFile(other.m_sourceFile) {
  std::copy(other.m_switches, other.m_switches + 4, m_switches);
  if (!other.m_data) return;
  std::unique_ptr<LFB> copy(new (std::nothrow) LFB);
  try {
    if (copy) *copy = *other.m_data;
  } catch (const std::bad_alloc&) {
    copy.reset();
  }
  if (!copy) {
    qiBO_Error(QIBO_String::Format("%s: no memory to copy the %d x %d pixels; the copy has none", GetName(),
                                   other.m_data->GetWidth(), other.m_data->GetHeight())
                   .c_str(),
               this);
    return;
  }
  InstallData(std::move(copy));
}

CTTexture::~CTTexture() = default;

bool CTTexture::InstallData(std::unique_ptr<LFB>&& lfb) {
  if (!Create()) return false;
  m_data = std::move(lfb);
  if (m_data) {
    if (m_mipLevels < 1) m_mipLevels = 1;
    if (!m_data->IsColor()) m_switches[3] = true;
    if (!m_data->HasAlpha()) m_alphaDepth = 0;
  }
  SizeChanged();
  Unlock();
  return true;
}

bool CTTexture::SetData(std::unique_ptr<LFB>&& lfb) {
  if (!InstallData(std::move(lfb))) return false;
  m_sourceFile = "";  // pixels from elsewhere: the file no longer rebuilds them
  return true;
}

std::unique_ptr<LFB> CTTexture::DetachData() {
  std::unique_ptr<LFB> data = std::move(m_data);
  SizeChanged();
  if (data) Invalidate();
  return data;
}

void CTTexture::RemoveData() {
  m_data.reset();
  SizeChanged();
  // Flushed pixels must not come back from the swap file either.
  if (!IsReadingSwap()) RemoveSwapFile();
  Invalidate();
}

uint32_t CTTexture::GetSizeEstimate() {
  if (!m_data) return 0;
  return 4u * static_cast<uint32_t>(m_data->GetPitch()) * static_cast<uint32_t>(m_data->GetHeight());
}

void CTTexture::SizeChanged() {
  if (m_textureId < 0) return;  // counted by no service
  const uint32_t size = GetSizeEstimate();
  if (size == m_countedSize) return;
  if (auto* textures = qibo::FindService<CTTextureManager>())
    textures->AdjustCacheSize(static_cast<int64_t>(size) - static_cast<int64_t>(m_countedSize));
  m_countedSize = size;
}

bool CTTexture::DoCache() {
  if (m_sourceFile.Empty()) return false;
  auto* textures = qibo::GetService<CTTextureManager>();
  const QIBO_String file = m_sourceFile;
  return textures && textures->ImportTexture(this, file.c_str()) && m_data;
}

bool CTTexture::DoFlush() {
  m_data.reset();
  SizeChanged();
  return true;
}

bool CTTexture::DoRegisterWithService() {
  auto* textures = qibo::GetService<CTTextureManager>();
  if (!textures) return false;
  return textures->RegisterTexture(this) >= 0;
}

bool CTTexture::DoUnregisterWithService() {
  if (auto* textures = qibo::FindService<CTTextureManager>()) textures->UnregisterTexture(this);
  return true;
}

// Chunks, after the CTNamed part:
//   0x94010E43  int switches (bits 0-2 the three switches, bit 3 the
//               fourth), int alpha depth, int colour depth, int mip levels
//   0x94010E44  int width, int height; when both are non-zero: int pitch,
//               int colour value, the flag bytes as ints (first, third,
//               second), 4 x pitch x height pixel bytes (0xAARRGGBB,
//               little-endian)
//   0x94010E45  string: the name of a picture in the texture directory
void CTTexture::WriteToStream(Stream* stream, uint32_t flags) {
  CTCached::WriteToStream(stream, flags);
  if (flags & kStreamAttributes) {
    int32_t switches = 0;
    for (int i = 0; i < 4; ++i)
      if (m_switches[i]) switches |= 1 << i;
    stream->StartChunk(kChunkAttributes);
    stream->WriteInt(switches);
    stream->WriteInt(m_alphaDepth);
    stream->WriteInt(m_colorDepth);
    stream->WriteInt(m_mipLevels);
    stream->EndChunk();
  }
  if (flags & kStreamName) {
    stream->StartChunk(kChunkName);
    stream->WriteString(GetName());
    stream->EndChunk();
  }
  if ((flags & kStreamData) && Lock()) {
    stream->StartChunk(kChunkData);
    WriteData(stream);
    stream->EndChunk();
    Unlock();
  }
}

void CTTexture::WriteData(Stream* stream) {
  if (!m_data || m_data->IsEmpty()) {
    stream->WriteInt(0);
    stream->WriteInt(0);
    return;
  }
  const LFB& lfb = *m_data;
  stream->WriteInt(lfb.GetWidth());
  stream->WriteInt(lfb.GetHeight());
  stream->WriteInt(lfb.GetPitch());
  stream->WriteInt(static_cast<int32_t>(lfb.GetColorValue()));
  stream->WriteInt(lfb.GetFlag(0));
  stream->WriteInt(lfb.GetFlag(2));
  stream->WriteInt(lfb.GetFlag(1));
  if constexpr (std::endian::native == std::endian::little) {
    stream->WriteBlock(lfb.GetPixels(), static_cast<int>(lfb.GetByteSize()));
  } else {
    for (size_t i = 0; i < lfb.GetByteSize() / 4; ++i)
      stream->WriteInt(static_cast<int32_t>(lfb.GetPixels()[i]));
  }
}

bool CTTexture::ProcessChunk(Stream* stream, uint32_t chunkID) {
  switch (chunkID) {
    case kChunkAttributes: {
      const int32_t switches = stream->ReadInt();
      for (int i = 0; i < 4; ++i) m_switches[i] = (switches >> i) & 1;
      m_alphaDepth = stream->ReadInt();
      m_colorDepth = stream->ReadInt();
      m_mipLevels = stream->ReadInt();
      return true;
    }
    case kChunkData:
      ReadData(stream);
      return true;
    case kChunkName: {
      const QIBO_String name = stream->ReadString();
      if (auto* textures = qibo::GetService<CTTextureManager>())
        textures->LoadTextureInto(this, name.c_str());
      Invalidate();
      return true;
    }
    default:
      return CTCached::ProcessChunk(stream, chunkID);
  }
}

bool CTTexture::RefuseData(const char* why, int width, int height, int pitch) {
  const QIBO_String text =
      QIBO_String::Format("Texture data of %d x %d pixels (pitch %d) refused: %s", width, height, pitch, why);
  qiBO_Error(text.c_str(), this);
  return false;
}

// Sizes come from the data: each is checked before anything is allocated,
// and the buffer is installed only once every byte of it was read.
bool CTTexture::ReadData(Stream* stream) {
  const int32_t width = stream->ReadInt();
  const int32_t height = stream->ReadInt();
  if (width == 0 || height == 0) {
    if (m_data) RemoveData();
    return true;
  }
  const int32_t pitch = stream->ReadInt();
  if (width < 1 || height < 1 || width > LFB::kMaxSide || height > LFB::kMaxSide)
    return RefuseData("bad size", width, height, pitch);
  if (pitch < width || pitch > LFB::kMaxSide) return RefuseData("bad pitch", width, height, pitch);
  // At most 4 x 16384 x 16384 = 2^30 bytes: fits an int.
  const int bytes = 4 * pitch * height;
  if (!HasRoom(stream, 16 + bytes)) return RefuseData("fewer bytes than announced", width, height, pitch);
  auto lfb = std::unique_ptr<LFB>(new (std::nothrow) LFB);
  if (!lfb || !lfb->Create(width, height, pitch)) return RefuseData("no memory", width, height, pitch);
  lfb->SetColorValue(static_cast<uint32_t>(stream->ReadInt()));
  lfb->SetFlag(0, stream->ReadInt() != 0 ? 1 : 0);
  lfb->SetFlag(2, stream->ReadInt() != 0 ? 1 : 0);
  lfb->SetFlag(1, stream->ReadInt() != 0 ? 1 : 0);
  if (!ReadFully(stream, lfb->GetPixels(), bytes))
    return RefuseData("fewer bytes than announced", width, height, pitch);
  ToHostOrder(*lfb);
  if (!InstallData(std::move(lfb))) return RefuseData("the texture is locked", width, height, pitch);
  if (!IsReadingSwap()) m_sourceFile = "";
  return true;
}
