#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class CTTexture;

// The texture service: names and numbers textures (the texture id is the
// index in its table), loads them from the texture directory through the
// bitmap importers, limits their size to "MaxTexSize", and keeps the total
// of the registered textures' sizes ("CacheSize") near "MaxCacheSize" by
// flushing textures that have been idle for longer than "MaxIdleTime".
//
// Returned textures are owned by the service (one counted reference each
// while registered); a caller that keeps one takes its own reference.
class CTTextureManager : public CTManager {
  QIBO_CLASS(CTTextureManager)

 public:
  // The first free table entry; the id, or the texture's id if registered.
  virtual int RegisterTexture(CTTexture* texture) = 0;
  virtual bool UnregisterTexture(CTTexture* texture) = 0;
  virtual void RemoveAllTextures() = 0;
  // In table order; stops as soon as "CacheSize" <= "MaxCacheSize".
  virtual void FlushIdleTextures() = 0;
  virtual void FlushAllTextures() = 0;
  // The registered texture of that name, else a new empty one, registered.
  virtual CTTexture* CreateTexture(const char* name) = 0;
  // "TexturePath" + name + ".*" through the file manager, then
  // LoadTextureFile; null (with "File not found: " + name) if none.
  virtual CTTexture* LoadTexture(const char* name) = 0;
  virtual bool LoadTextureInto(CTTexture* texture, const char* name) = 0;
  // The texture named after the file's base name, with the file imported.
  virtual CTTexture* LoadTextureFile(const char* file) = 0;
  // Imports a bitmap file into the texture; false (texture unchanged) when
  // no importer reads it.
  virtual bool ImportTexture(CTTexture* texture, const char* file) = 0;
  virtual CTTexture* FindTexture(const char* name) = 0;  // ignoring case
  virtual void SetTexturePath(const char* path) = 0;
  virtual void Reserved13() {}
  virtual CTTexture* GetTexture(int id) = 0;  // null outside the table

  // A registered texture's size estimate changed by delta bytes.
  virtual void AdjustCacheSize(int64_t delta) = 0;
};
