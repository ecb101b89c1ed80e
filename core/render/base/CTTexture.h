#pragma once

#include <cstdint>
#include <memory>

#include "core/object/QIBO_String.h"
#include "core/render/base/CTCached.h"
#include "core/render/base/LFB.h"

// A picture the renderer can use: one pixel buffer (owned) and its texture
// attributes. The buffer can be flushed to a swap file and brought back
// (CTCached); a texture loaded by name from the texture directory is
// reloaded from there when its swap file is lost.
//
// Registered textures are numbered and held by the texture service, and
// their size counts towards its "CacheSize".
class CTTexture : public CTCached {
  QIBO_CLASS(CTTexture)

 public:
  static constexpr uint32_t kChunkAttributes = 0x94010E43;  // switches, depths, mip levels
  static constexpr uint32_t kChunkData = 0x94010E44;        // the pixel buffer
  static constexpr uint32_t kChunkName = 0x94010E45;        // load by name from the texture path
  static constexpr uint32_t kStreamAttributes = 0x2;
  static constexpr uint32_t kStreamData = 0x10;
  static constexpr uint32_t kStreamName = 0x20;

  explicit CTTexture(const char* name = "Texture");
  // Copies attributes and pixels, not the id; without memory for the pixels
  // (logged) the copy has none.
  CTTexture(const CTTexture& other);
  CTTexture& operator=(const CTTexture&) = delete;
  ~CTTexture() override;

  // Installs the buffer (the texture owns it from then on): fails while
  // locked, leaving lfb with the caller. A null buffer just frees the old
  // one. With a buffer: mip levels become at least 1, the fourth switch is
  // set when its colour flag is 0, and the alpha depth becomes 0 when it
  // has no alpha.
  bool SetData(std::unique_ptr<LFB>&& lfb);
  LFB* GetData() { return m_data.get(); }
  const LFB* GetData() const { return m_data.get(); }
  // Hands the buffer to the caller, leaving none (the texture changed).
  std::unique_ptr<LFB> DetachData();
  // Frees the buffer, also one flushed to the swap file, and marks the
  // texture changed.
  void RemoveData();

  bool IsValid() const { return m_data && m_mipLevels > 0; }
  bool HasAlpha() const { return m_alphaDepth > 0; }
  uint32_t GetSizeEstimate() override;  // 4 x pitch x height; 0 without data

  int GetTextureID() const { return m_textureId; }
  void SetTextureID(int id) { m_textureId = id; }  // the texture service's table index
  int GetAlphaDepth() const { return m_alphaDepth; }
  void SetAlphaDepth(int bits) { m_alphaDepth = bits; }
  int GetColorDepth() const { return m_colorDepth; }
  void SetColorDepth(int bits) { m_colorDepth = bits; }
  int GetMipLevels() const { return m_mipLevels; }
  void SetMipLevels(int levels) { m_mipLevels = levels; }
  // Switches 0-2 are carried for the renderer; 3 is the fourth switch.
  bool GetSwitch(int i) const { return i >= 0 && i < 4 ? m_switches[i] : false; }
  void SetSwitch(int i, bool on) {
    if (i >= 0 && i < 4) m_switches[i] = on;
  }

  // The file the pixels were imported from, used to reload them when the
  // swap file is lost; empty for pixels made in memory.
  const char* GetSourceFile() const { return m_sourceFile.c_str(); }
  void SetSourceFile(const char* file) { m_sourceFile = file ? file : ""; }

  // The size counted for this texture in the service's "CacheSize".
  uint32_t GetCountedSize() const { return m_countedSize; }
  void SetCountedSize(uint32_t size) { m_countedSize = size; }

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;
  bool DoRegisterWithService() override;
  bool DoUnregisterWithService() override;

 protected:
  bool DoCache() override;
  bool DoFlush() override;

 private:
  // SetData without forgetting the source file.
  bool InstallData(std::unique_ptr<LFB>&& lfb);
  void WriteData(Stream* stream);
  bool ReadData(Stream* stream);
  bool RefuseData(const char* why, int width, int height, int pitch);
  // Reports a change of the size estimate to the texture service.
  void SizeChanged();

  std::unique_ptr<LFB> m_data;
  int m_textureId = -1;
  bool m_switches[4] = {false, false, true, false};
  int m_alphaDepth = 8;
  int m_colorDepth = 8;
  int m_mipLevels = 0;
  uint32_t m_countedSize = 0;
  QIBO_String m_sourceFile;
};
