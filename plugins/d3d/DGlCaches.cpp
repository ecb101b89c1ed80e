#include "plugins/d3d/DGlCaches.h"

#include <algorithm>
#include <cstring>

#include "core/geometry/DRenderShape.h"
#include "core/kernel/Logging.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"

namespace {

// Halves both sides (rounding up) until the picture fits the device, so that
// its aspect stays as it was; whether it had to shrink.
bool FitSize(int width, int height, int maxSize, int& fitWidth, int& fitHeight) {
  fitWidth = width;
  fitHeight = height;
  if (maxSize <= 0) return false;
  while (fitWidth > maxSize || fitHeight > maxSize) {
    fitWidth = (fitWidth + 1) / 2;
    fitHeight = (fitHeight + 1) / 2;
  }
  return fitWidth != width || fitHeight != height;
}

// Uploads the picture, reduced first when it is larger than the device
// takes; false (and logged) when no picture the device takes could be made.
bool UploadPicture(GLuint name, const LFB& picture, int maxSize) {
  int width = 0;
  int height = 0;
  const LFB* source = &picture;
  LFB reduced;
  if (FitSize(picture.GetWidth(), picture.GetHeight(), maxSize, width, height)) {
    reduced = picture;
    if (reduced.IsEmpty() || !reduced.Rescale(width, height)) {
      qiBO_Error("A texture larger than the device allows could not be reduced", nullptr);
      return false;
    }
    source = &reduced;
  }
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, source->GetPitch());
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, source->GetWidth(), source->GetHeight(), 0, GL_BGRA,
               GL_UNSIGNED_INT_8_8_8_8_REV, source->GetPixels());
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  return true;
}

bool OpaquePicture(const LFB& picture) {
  for (int y = 0; y < picture.GetHeight(); ++y) {
    const uint32_t* row = picture.GetRow(y);
    for (int x = 0; x < picture.GetWidth(); ++x)
      if ((row[x] >> 24) < DGlRenderer::kOpaqueAlpha) return false;
  }
  return true;
}

}  // namespace

GLuint DGlTextureCache::Get(CTTexture* texture, int maxSize, bool* opaque) {
  if (opaque) *opaque = false;
  if (!texture || !texture->Lock()) return 0;
  const LFB* picture = texture->GetData();
  GLuint result = 0;
  if (picture && !picture->IsEmpty()) {
    Entry& entry = m_entries[texture];
    if (!entry.texture.Get()) entry.texture = Ref<CTTexture>(texture);
    if (!entry.name || entry.change != texture->LastChange() || entry.pixels != picture->GetPixels() ||
        entry.width != picture->GetWidth() || entry.height != picture->GetHeight()) {
      if (!entry.name) glGenTextures(1, &entry.name);
      if (!UploadPicture(entry.name, *picture, maxSize)) {
        // Unlocked before the entry (and its reference) goes.
        glDeleteTextures(1, &entry.name);
        texture->Unlock();
        m_entries.erase(texture);
        return 0;
      }
      entry.change = texture->LastChange();
      entry.pixels = picture->GetPixels();
      entry.width = picture->GetWidth();
      entry.height = picture->GetHeight();
      entry.opaque = OpaquePicture(*picture);
    }
    result = entry.name;
    if (opaque) *opaque = entry.opaque;
  }
  texture->Unlock();
  return result;
}

void DGlTextureCache::Clear() {
  for (auto& [key, entry] : m_entries)
    if (entry.name) glDeleteTextures(1, &entry.name);
  m_entries.clear();
}

bool DGlShapeCache::Matches(const Entry& entry, const DRenderShape& shape) {
  return entry.stamp == shape.GetChangeStamp() && entry.vertexCount == shape.GetVertexCount() &&
         entry.faceCount == shape.GetFaceCount() && entry.vectorData == shape.GetVectors() &&
         entry.vertexData == shape.GetVertices();
}

void DGlShapeCache::Remember(Entry& entry, const DRenderShape& shape) {
  entry.stamp = shape.GetChangeStamp();
  entry.vertexCount = shape.GetVertexCount();
  entry.faceCount = shape.GetFaceCount();
  entry.vectorData = shape.GetVectors();
  entry.vertexData = shape.GetVertices();
}

DGlShapeCache::Entry* DGlShapeCache::Find(const DRenderShape& shape, uint32_t frame) {
  auto [it, inserted] = m_entries.try_emplace(&shape);
  Entry& entry = it->second;
  entry.lastUse = frame;
  const bool same = !inserted && Matches(entry, shape);
  if (same && entry.uploaded) return &entry;
  if (same) {
    entry.indexCount = 0;  // seen again unchanged: ready for upload
    return nullptr;
  }
  // New or changed since: remember the stamp; it is uploaded if it holds still.
  Remember(entry, shape);
  entry.uploaded = false;
  entry.indexCount = -1;
  return nullptr;
}

bool DGlShapeCache::ShouldUpload(const DRenderShape& shape) const {
  auto it = m_entries.find(&shape);
  if (it == m_entries.end()) return false;
  return !it->second.uploaded && it->second.indexCount == 0;
}

bool DGlShapeCache::HasCopy(const DRenderShape& shape) const {
  auto it = m_entries.find(&shape);
  return it != m_entries.end() && it->second.array && !it->second.keptIndices.empty();
}

DGlShapeCache::Entry* DGlShapeCache::Confirm(const DRenderShape& shape,
                                             const std::vector<DGlVertex>& vertices,
                                             const std::vector<uint32_t>& indices, uint32_t frame) {
  auto it = m_entries.find(&shape);
  if (it == m_entries.end()) return nullptr;
  Entry& entry = it->second;
  const auto equal = [](const auto& a, const auto& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
  };
  if (!entry.array || entry.keptIndices.empty() || !equal(entry.keptVertices, vertices) ||
      !equal(entry.keptIndices, indices))
    return nullptr;
  Remember(entry, shape);
  entry.indexCount = static_cast<int>(entry.keptIndices.size());
  entry.lastUse = frame;
  entry.uploaded = true;
  return &entry;
}

DGlShapeCache::Entry* DGlShapeCache::Upload(const DRenderShape& shape, const std::vector<DGlVertex>& vertices,
                                            const std::vector<uint32_t>& indices, uint32_t frame) {
  if (vertices.empty() || indices.empty()) return nullptr;
  Entry& entry = m_entries[&shape];
  if (!entry.array) {
    glGenVertexArrays(1, &entry.array);
    glGenBuffers(1, &entry.vertices);
    glGenBuffers(1, &entry.indices);
  }
  glBindVertexArray(entry.array);
  glBindBuffer(GL_ARRAY_BUFFER, entry.vertices);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(DGlVertex)), vertices.data(),
               GL_STATIC_DRAW);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, entry.indices);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)),
               indices.data(), GL_STATIC_DRAW);
  qiboSetVertexLayout();
  entry.indexCount = static_cast<int>(indices.size());
  entry.keptVertices = vertices;
  entry.keptIndices = indices;
  entry.opaqueVertices = true;
  for (const DGlVertex& v : vertices)
    if ((v.color >> 24) < DGlRenderer::kOpaqueAlpha) entry.opaqueVertices = false;
  Remember(entry, shape);
  entry.lastUse = frame;
  entry.uploaded = true;
  ++m_uploads;
  return &entry;
}

void DGlShapeCache::StreamInstances(Entry& entry, const DGlInstance* records, size_t count) {
  if (!records || count == 0) return;
  if (!entry.instances) glGenBuffers(1, &entry.instances);
  glBindBuffer(GL_ARRAY_BUFFER, entry.instances);
  std::vector<DGlInstance>& sent = entry.sentInstances;
  if (count > entry.instanceCapacity) {
    // Room for growth, so that a few more copies next frame do not send
    // everything again.
    entry.instanceCapacity = std::max<size_t>({count, entry.instanceCapacity * 2, 16});
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(entry.instanceCapacity * sizeof(DGlInstance)),
                 nullptr, GL_DYNAMIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(DGlInstance)), records);
    sent.assign(records, records + count);
    m_instancesSent += count;
    return;
  }
  auto same = [&](size_t i) {
    return i < sent.size() && std::memcmp(&sent[i], &records[i], sizeof(DGlInstance)) == 0;
  };
  size_t first = 0;
  while (first < count && same(first)) ++first;
  if (first == count) return;
  size_t last = count;
  while (last > first + 1 && same(last - 1)) --last;
  glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(first * sizeof(DGlInstance)),
                  static_cast<GLsizeiptr>((last - first) * sizeof(DGlInstance)), records + first);
  if (sent.size() < last) sent.resize(last);
  std::copy(records + first, records + last, sent.begin() + static_cast<std::ptrdiff_t>(first));
  m_instancesSent += last - first;
}

void DGlShapeCache::Free(Entry& entry) {
  if (entry.instances) glDeleteBuffers(1, &entry.instances);
  if (entry.indices) glDeleteBuffers(1, &entry.indices);
  if (entry.vertices) glDeleteBuffers(1, &entry.vertices);
  if (entry.array) glDeleteVertexArrays(1, &entry.array);
  entry = Entry();
}

void DGlShapeCache::Sweep(uint32_t frame) {
  for (auto it = m_entries.begin(); it != m_entries.end();) {
    if (frame - it->second.lastUse > kKeepFrames) {
      Free(it->second);
      it = m_entries.erase(it);
    } else {
      ++it;
    }
  }
}

void DGlShapeCache::Clear() {
  for (auto& [key, entry] : m_entries) Free(entry);
  m_entries.clear();
}
