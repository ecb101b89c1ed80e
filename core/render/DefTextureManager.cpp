#include "core/render/DefTextureManager.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/io/CTBitmapIO.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/persist/CTFileManager.h"
#include "core/persist/FileSearch.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"

QIBO_IMPLEMENT_CLASS(DefTextureManager, CTTextureManager, .desc = "Texture manager", .product = "qiBO DefMgr",
                     .build = 1)
static_assert(qibo::ClassId("DefTextureManager") == 0x0D7B3F27);

namespace {

// The file part of name without its extension.
QIBO_String BaseName(const char* name) {
  QIBO_String base = qibo::FilePart(name ? name : "");
  char* text = base.Buffer();
  if (char* dot = strrchr(text, '.')) *dot = '\0';
  return base;
}

}  // namespace

DefTextureManager::~DefTextureManager() { RemoveAllTextures(); }

void DefTextureManager::DoAddProperties() {
  CTTextureManager::DoAddProperties();
  const ClassDesc* cd = DefTextureManager::_CD();
  AddProperty(DProperty(m_texturePath, "TexturePath"), cd);
  AddProperty(DProperty(qibo::AsDWord(m_flushTimeout), "FlushTimeout"), cd);
  AddProperty(DProperty(qibo::AsDWord(m_maxIdleTime), "MaxIdleTime"), cd);
  AddProperty(DProperty(qibo::AsDWord(m_maxCacheSize), "MaxCacheSize"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_cacheSize), "CacheSize"), cd);
  AddProperty(DProperty(m_maxTexSize, "MaxTexSize"), cd);
  AddProperty(DProperty(m_forceMipMaps, "ForceMipMaps"), cd);
}

void DefTextureManager::OnPropertyChanged(DProperty& property) {
  if (property.GetPtr() == &m_flushTimeout && IsStarted()) ArmBudgetCheck();
  CTTextureManager::OnPropertyChanged(property);
}

// --- Start, stop and the budget check ------------------------------------------

bool DefTextureManager::DoStart() {
  ArmBudgetCheck();
  return true;
}

bool DefTextureManager::DoStop() {
  DisarmBudgetCheck();
  RemoveAllTextures();
  // Textures that outlive the service (held by materials, by the program)
  // take their pixels back into memory: their swap files go now.
  CTCached::ReleaseAllSwapFiles();
  return true;
}

void DefTextureManager::ArmBudgetCheck() {
  DisarmBudgetCheck();
  if (static_cast<int32_t>(m_flushTimeout) < 0) return;  // -1: never
  AddInfMsg(kMsgCheckCache, nullptr, static_cast<int32_t>(m_flushTimeout));
  m_checkArmed = true;
}

void DefTextureManager::DisarmBudgetCheck() {
  if (!m_checkArmed) return;
  m_checkArmed = false;
  // Never starts the message manager again while the engine shuts down.
  if (auto* messages = qibo::FindService<CTUpdateManager>()) messages->RemoveMsg(this, kMsgCheckCache);
}

void DefTextureManager::OnMessage(int message, void* data) {
  if (message == kMsgCheckCache) {
    if (m_cacheSize > m_maxCacheSize) FlushIdleTextures();
    return;
  }
  CTTextureManager::OnMessage(message, data);
}

void DefTextureManager::AdjustCacheSize(int64_t delta) {
  const int64_t size = std::clamp<int64_t>(int64_t{m_cacheSize} + delta, 0, 0xFFFFFFFF);
  m_cacheSize = static_cast<uint32_t>(size);
}

// --- The table -------------------------------------------------------------------

int DefTextureManager::RegisterTexture(CTTexture* texture) {
  if (!texture) return -1;
  if (texture->GetTextureID() != -1) return texture->GetTextureID();
  int id = m_table.IndexOf(nullptr);
  if (id < 0) {
    id = m_table.Count();
    m_table.Add(nullptr);
  }
  m_table[static_cast<size_t>(id)] = texture;
  texture->SetTextureID(id);
  texture->AddRef(nullptr);
  const uint32_t size = texture->GetSizeEstimate();
  texture->SetCountedSize(size);
  AdjustCacheSize(size);
  return id;
}

bool DefTextureManager::UnregisterTexture(CTTexture* texture) {
  if (!texture) return false;
  const int id = texture->GetTextureID();
  if (id < 0 || id >= m_table.Count() || m_table[static_cast<size_t>(id)] != texture) return false;
  m_table[static_cast<size_t>(id)] = nullptr;
  texture->SetTextureID(-1);
  AdjustCacheSize(-int64_t{texture->GetCountedSize()});
  texture->SetCountedSize(0);
  texture->RemoveRef(nullptr);
  return true;
}

void DefTextureManager::RemoveAllTextures() {
  // Releasing may delete a texture whose destructor looks here again: take
  // each out of the table before letting it go.
  while (!m_table.Empty()) {
    CTTexture* texture = m_table.RemoveAt(m_table.Size() - 1, true);
    if (!texture) continue;
    texture->SetTextureID(-1);
    texture->SetCountedSize(0);
    texture->RemoveRef(nullptr);
  }
  m_table.Clear();
  m_cacheSize = 0;
}

CTTexture* DefTextureManager::GetTexture(int id) {
  return id >= 0 && id < m_table.Count() ? m_table[static_cast<size_t>(id)] : nullptr;
}

CTTexture* DefTextureManager::FindTexture(const char* name) {
  if (!name) return nullptr;
  for (CTTexture* texture : m_table)
    if (texture && qibo::EqualsIC(texture->GetName(), name)) return texture;
  return nullptr;
}

CTTexture* DefTextureManager::CreateTexture(const char* name) {
  if (CTTexture* found = FindTexture(name)) return found;
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  if (!texture) return nullptr;
  if (name) texture->SetName(name);
  texture->RegisterWithService();
  if (texture->GetTextureID() < 0) RegisterTexture(texture.Get());
  return texture.Get();
}

// --- Flushing ----------------------------------------------------------------------

void DefTextureManager::FlushIdleTextures() {
  if (m_cacheSize <= m_maxCacheSize) return;
  // Longest idle first (table order among equals): the textures used last
  // are the likeliest to be drawn again soon.
  struct Candidate {
    uint32_t idle;
    CTTexture* texture;
  };
  std::vector<Candidate> candidates;
  for (CTTexture* texture : m_table) {
    if (!texture || !texture->IsCached() || texture->GetLockCount() > 0) continue;
    const uint32_t idle = texture->GetIdle();
    if (idle > m_maxIdleTime) candidates.push_back({idle, texture});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.idle > b.idle; });
  for (const Candidate& candidate : candidates) {
    if (m_cacheSize <= m_maxCacheSize) break;
    candidate.texture->Flush();
  }
}

void DefTextureManager::FlushAllTextures() {
  for (size_t i = 0; i < m_table.Size(); ++i)
    if (CTTexture* texture = m_table[i]) texture->Flush();
}

// --- Loading -------------------------------------------------------------------------

QIBO_String DefTextureManager::FindTextureFile(const char* name) {
  QIBO_String wanted = name ? name : "";
  for (char* c = wanted.Buffer(); *c; ++c)
    if (*c == '/') *c = '\\';
  const QIBO_String pattern = m_texturePath + BaseName(wanted.c_str()) + ".*";
  QIBO_String found;
  if (auto* files = qibo::GetService<CTFileManager>()) {
    findrecord_t record{};
    for (bool more = files->FindFirst(pattern.c_str(), &record); more && found.Empty();
         more = files->FindNext(&record)) {
      if (record.size >= 0) found = m_texturePath + record.name;  // not a directory
    }
  } else {
    for (const qibo::DFoundFile& file : qibo::FindFiles(pattern.c_str())) {
      if (file.size < 0) continue;
      found = m_texturePath + file.name.c_str();
      break;
    }
  }
  if (found.Empty()) ErrorMsg((QIBO_String("File not found: ") + (name ? name : "")).c_str());
  return found;
}

CTTexture* DefTextureManager::LoadTexture(const char* name) {
  const QIBO_String file = FindTextureFile(name);
  return file.Empty() ? nullptr : LoadTextureFile(file.c_str());
}

bool DefTextureManager::LoadTextureInto(CTTexture* texture, const char* name) {
  if (!texture) return false;
  const QIBO_String file = FindTextureFile(name);
  return !file.Empty() && ImportTexture(texture, file.c_str());
}

CTTexture* DefTextureManager::LoadTextureFile(const char* file) {
  if (!file || !*file) return nullptr;
  const QIBO_String base = BaseName(QIBO_String(file).c_str());
  const bool existed = FindTexture(base.c_str()) != nullptr;
  CTTexture* texture = CreateTexture(base.c_str());
  if (!texture) return nullptr;
  if (ImportTexture(texture, file)) return texture;
  // A texture made for this load only goes again, so that a later load
  // starts afresh; one that existed keeps what it had.
  if (!existed) {
    Ref<CTTexture> hold(texture);
    if (texture->IsRegistered()) texture->UnregisterWithService();
    UnregisterTexture(texture);
  }
  return nullptr;
}

bool DefTextureManager::LimitSize(LFB& lfb, const char* file) {
  const int width = lfb.GetWidth(), height = lfb.GetHeight();
  if (m_maxTexSize < 1 || (width <= m_maxTexSize && height <= m_maxTexSize)) return true;
  const int64_t longer = std::max(width, height), limit = m_maxTexSize;
  const int newWidth = static_cast<int>(std::max<int64_t>(1, (width * limit + longer / 2) / longer));
  const int newHeight = static_cast<int>(std::max<int64_t>(1, (height * limit + longer / 2) / longer));
  if (lfb.Rescale(newWidth, newHeight)) return true;
  return ErrorMsgF("Cannot reduce %s from %d x %d to %d x %d", file, width, height, newWidth, newHeight);
}

bool DefTextureManager::ImportTexture(CTTexture* texture, const char* file) {
  if (!texture || !file) return false;
  if (texture->GetLockCount() > 0)
    return ErrorMsg((QIBO_String("Texture is locked, not loaded: ") + file).c_str());
  Ref<CTBitmapIO> importer = qibo::Create<CTBitmapIO>();
  if (!importer || !importer->Import(file) || !importer->GetTexture()) return false;
  CTTexture* imported = importer->GetTexture();
  std::unique_ptr<LFB> lfb = imported->DetachData();
  if (!lfb || lfb->IsEmpty()) return ErrorMsg((QIBO_String("No picture in: ") + file).c_str());
  if (!LimitSize(*lfb, file)) return false;
  if (lfb->GetByteSize() > m_maxCacheSize)
    return WarningMsgF(0, "Picture larger than the texture budget, not loaded: %s", file) && false;
  if (texture->GetData()) texture->RemoveData();
  if (!texture->SetData(std::move(lfb)))
    return ErrorMsg((QIBO_String("Texture is locked, not loaded: ") + file).c_str());
  texture->SetColorDepth(imported->GetColorDepth());
  texture->SetAlphaDepth(imported->GetAlphaDepth());
  texture->SetSwitch(3, imported->GetSwitch(3));
  texture->SetMipLevels(std::max(imported->GetMipLevels(), m_forceMipMaps));
  texture->SetSourceFile(file);
  return true;
}
