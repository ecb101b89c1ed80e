#pragma once

#include <cstdint>

#include "core/object/QIBO_String.h"
#include "core/object/StepArray.h"
#include "core/render/base/CTTextureManager.h"

class LFB;

// The default texture service.
//
// "CacheSize" follows the registered textures' size estimates: a texture
// reports every change of its pixels (import, SetData, flush, reload), so
// the budget check sees flushed textures leave it at once.
//
// Settings: "TexturePath" (".\textures\"), "FlushTimeout" (period of the
// budget check in engine time units, -1 = never), "MaxIdleTime" (10),
// "MaxCacheSize" (32 MB), "CacheSize" (read-only), "MaxTexSize" (512: larger
// pictures are reduced on loading, keeping their aspect), "ForceMipMaps" (4).
class DefTextureManager : public CTTextureManager {
  QIBO_CLASS(DefTextureManager)

 public:
  static constexpr int kMsgCheckCache = 0x24FD45AD;

  DefTextureManager() = default;
  ~DefTextureManager() override;
  DefTextureManager(const DefTextureManager&) = delete;
  DefTextureManager& operator=(const DefTextureManager&) = delete;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void OnMessage(int message, void* data) override;

  int RegisterTexture(CTTexture* texture) override;
  bool UnregisterTexture(CTTexture* texture) override;
  void RemoveAllTextures() override;
  void FlushIdleTextures() override;
  void FlushAllTextures() override;
  CTTexture* CreateTexture(const char* name) override;
  CTTexture* LoadTexture(const char* name) override;
  bool LoadTextureInto(CTTexture* texture, const char* name) override;
  CTTexture* LoadTextureFile(const char* file) override;
  bool ImportTexture(CTTexture* texture, const char* file) override;
  CTTexture* FindTexture(const char* name) override;
  void SetTexturePath(const char* path) override { m_texturePath = path ? path : ""; }
  CTTexture* GetTexture(int id) override;
  void AdjustCacheSize(int64_t delta) override;

  int GetTextureCount() const { return m_table.Count(); }
  uint32_t GetCacheSize() const { return m_cacheSize; }
  const char* GetTexturePath() const { return m_texturePath.c_str(); }

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  // The file in the texture directory whose name is the base of name with
  // any extension; empty (with "File not found: " + name) when none.
  QIBO_String FindTextureFile(const char* name);
  // Reduces the picture to at most "MaxTexSize" on each side, keeping the
  // aspect.
  bool LimitSize(LFB& lfb, const char* file);
  void ArmBudgetCheck();
  void DisarmBudgetCheck();

  qibo::StepArray<CTTexture*> m_table;  // by id; null where free; each counted
  QIBO_String m_texturePath = ".\\textures\\";
  uint32_t m_flushTimeout = 0xFFFFFFFF;
  uint32_t m_maxIdleTime = 10;
  uint32_t m_maxCacheSize = 33554432;
  uint32_t m_cacheSize = 0;
  int m_maxTexSize = 512;
  int m_forceMipMaps = 4;
  bool m_checkArmed = false;
};
