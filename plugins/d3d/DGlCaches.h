#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/object/Ref.h"
#include "core/render/base/CTTexture.h"
#include "plugins/d3d/DGlRenderer.h"

class DRenderShape;

// Device textures made from engine textures, refreshed when a texture's
// pixels change. A texture larger than the device allows is reduced to fit.
// The cache holds a reference on each texture it keeps.
class DGlTextureCache {
 public:
  DGlTextureCache() = default;
  ~DGlTextureCache() { Clear(); }
  DGlTextureCache(const DGlTextureCache&) = delete;
  DGlTextureCache& operator=(const DGlTextureCache&) = delete;

  // The device texture, uploaded on first use and after a change; 0 for a
  // texture without pixels. opaque, when given, tells whether every texel's
  // alpha is at least DGlRenderer::kOpaqueAlpha.
  GLuint Get(CTTexture* texture, int maxSize, bool* opaque = nullptr);
  // Deletes every device texture (needs the context current).
  void Clear();

 private:
  struct Entry {
    Ref<CTTexture> texture;
    GLuint name = 0;
    uint32_t change = 0;
    const void* pixels = nullptr;
    int width = 0;
    int height = 0;
    bool opaque = false;
  };
  std::unordered_map<const CTTexture*, Entry> m_entries;
};

// Render shapes kept on the GPU: vertices and 32-bit indices in buffers of
// their own, keyed by the shape and its change stamp. A shape is uploaded
// when it is seen with the same stamp in two frames; one that changes every
// frame goes on through the streaming buffer. A stamp that moves without
// the vertices and faces changing (a shape shared by drawables of different
// materials gets a new material for each) leaves the copy in use: the
// entry keeps what its buffers hold to tell. Entries unused for a while are
// dropped.
class DGlShapeCache {
 public:
  struct Entry {
    GLuint array = 0;
    GLuint vertices = 0;
    GLuint indices = 0;
    int indexCount = 0;
    bool opaqueVertices = false;  // every vertex alpha at least DGlRenderer::kOpaqueAlpha
    uint32_t stamp = 0;
    int vertexCount = 0;
    int faceCount = 0;
    // The pools' storage: a new shape in a deleted one's place would have to
    // match these too before it is taken for the old one.
    const void* vectorData = nullptr;
    const void* vertexData = nullptr;
    uint32_t lastUse = 0;
    bool uploaded = false;
    // What the vertex and index buffers hold.
    std::vector<DGlVertex> keptVertices;
    std::vector<uint32_t> keptIndices;
    // Instance records for drawing many copies at once (DGlBatches), and
    // what the buffer holds, so that only records that changed are sent.
    GLuint instances = 0;
    size_t instanceCapacity = 0;  // records
    std::vector<DGlInstance> sentInstances;
  };

  DGlShapeCache() = default;
  ~DGlShapeCache() { Clear(); }
  DGlShapeCache(const DGlShapeCache&) = delete;
  DGlShapeCache& operator=(const DGlShapeCache&) = delete;

  // The uploaded entry of the shape as it is now, or null: then ShouldUpload
  // tells whether the shape held still since the last frame.
  Entry* Find(const DRenderShape& shape, uint32_t frame);
  bool ShouldUpload(const DRenderShape& shape) const;
  // Whether the shape was uploaded before its stamp last moved.
  bool HasCopy(const DRenderShape& shape) const;
  // The entry again, when the shape's arrays are those its buffers hold: a
  // moved stamp that changed nothing the buffers hold; null otherwise.
  Entry* Confirm(const DRenderShape& shape, const std::vector<DGlVertex>& vertices,
                 const std::vector<uint32_t>& indices, uint32_t frame);
  // Uploads the shape's vertices and triangle indices.
  Entry* Upload(const DRenderShape& shape, const std::vector<DGlVertex>& vertices,
                const std::vector<uint32_t>& indices, uint32_t frame);
  // Makes the entry's instance buffer hold the records from its start on,
  // sending only the span from the first to the last record that differs
  // from what it holds (a copy that did not move costs nothing).
  void StreamInstances(Entry& entry, const DGlInstance* records, size_t count);
  // Drops the entries unused since frame - kKeepFrames.
  void Sweep(uint32_t frame);
  void Clear();
  int GetUploadCount() const { return m_uploads; }
  // Instance records sent to OpenGL so far.
  size_t GetInstancesSent() const { return m_instancesSent; }

  static constexpr uint32_t kKeepFrames = 120;

 private:
  static void Free(Entry& entry);
  static bool Matches(const Entry& entry, const DRenderShape& shape);
  static void Remember(Entry& entry, const DRenderShape& shape);

  std::unordered_map<const DRenderShape*, Entry> m_entries;
  int m_uploads = 0;
  size_t m_instancesSent = 0;
};
