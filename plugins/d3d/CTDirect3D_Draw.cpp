// The drawing half of CTDirect3D: what the seven stages hand the device.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/geometry/DRenderShape.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/render/base/CTRenderPipelineManager.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTLight.h"
#include "plugins/d3d/CTDirect3D.h"
#include "plugins/d3d/D3DMath.h"
#include "plugins/d3d/DOverlay.h"

using namespace qibo::state;

namespace {

constexpr int kTriangleBatch = 297;  // 99 triangles
constexpr int kLineBatch = 298;      // 149 lines

// 1.0 or more gives 255, otherwise the value times 255, rounded.
uint32_t ToByte(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return 255;
  return static_cast<uint32_t>(std::lround(value * 255.0f));
}

uint32_t PackColor(float r, float g, float b, uint32_t alpha) {
  return ToByte(r) | (ToByte(g) << 8) | (ToByte(b) << 16) | (alpha << 24);
}

void Copy3(float* to, const Vector3& v) {
  to[0] = v.x;
  to[1] = v.y;
  to[2] = v.z;
}

bool ValidFace(const DRenderShape& shape, const DFace* face) {
  if (!face || !face->IsTriangle()) return false;
  for (int i = 0; i < 3; ++i) {
    const int v = face->GetVertexNo(i);
    if (v < 0 || v >= shape.GetVertexCount()) return false;
    const int p = shape.GetVertices()[v].vector;
    if (p < 0 || p >= shape.GetVectorCount()) return false;
  }
  return true;
}

}  // namespace

bool CTDirect3D::DrawPacket(DRenderPacket* packet, const DStageMode& mode) {
  if (!packet || !packet->shape || !m_renderer.IsCreated() || !IsVisible()) return true;
  const DRenderShape& shape = *packet->shape;
  const uint32_t target = packet->target ? packet->target : kDrawnFilled;
  m_arrays.made = false;
  // The indexed path (a material of its own without alpha) draws from the
  // shape's GPU copy when it has one; such a shape may wait to be drawn with
  // its kind. Anything drawn at once may depend on what came before it.
  CTMaterial* own = shape.GetMaterial();
  DGlShapeCache::Entry* copy = (target & kDrawnFilled) && own && !own->m_useAlpha ? GpuCopy(shape) : nullptr;
  if (copy && Gather(*packet, mode, target, copy)) return true;
  FlushBatches();
  DGlUniforms& u = m_renderer.Uniforms();
  u.lighting = mode.lit ? 1 : 0;
  DRenderContext* context = packet->stageContext ? packet->stageContext : packet->context;
  if (mode.lit) SetLight(context);
  SetSpace(mode, *packet);
  const uint32_t depth = mode.depthTest ? (qibo::gl::kDepthTest | qibo::gl::kDepthWrite) : 0;
  m_renderer.ApplyStates(depth | ((shape.GetState() & kTwoSided) ? 0 : qibo::gl::kCull));
  if (target & kDrawnFilled) DrawTriangles(shape, *packet, mode.lit, copy);
  if (target & (kDrawnEdges | kDrawnPoints)) {
    // Edges and vertices have no faces to take a material from: the shape's.
    CTMaterial* material = shape.GetMaterial() ? shape.GetMaterial() : shape.GetDefaultMaterial();
    CTMaterialManager* materials = material || !context ? nullptr : context->PrepareMaterials();
    ApplyMaterial(material ? material : (materials ? materials->GetDefaultMaterial() : nullptr),
                  shape.GetState(), context);
  }
  if (target & kDrawnEdges) DrawLines(shape);
  if (target & kDrawnPoints) DrawPoints(shape);
  return true;
}

void CTDirect3D::SetSpace(const DStageMode& mode, const DRenderPacket& packet) {
  using namespace qibo::d3d;
  DGlUniforms& u = m_renderer.Uniforms();
  SetIdentity(u.world);
  SetIdentity(u.view);
  SetIdentity(u.proj);
  if (mode.space == DStageMode::kLocal && packet.world) FromTransform(*packet.world, u.world);
  if (mode.space == DStageMode::kLocal || mode.space == DStageMode::kWorld)
    std::memcpy(u.view, m_camera, sizeof(m_camera));
  if (mode.space <= DStageMode::kCamera) std::memcpy(u.proj, m_projection, sizeof(m_projection));
  if (mode.space == DStageMode::kScreen) std::memcpy(u.proj, m_screen, sizeof(m_screen));
}

// The light's values are worked out for every lit shape (a few vector
// operations); they reach OpenGL only when they differ from the last sent.
void CTDirect3D::SetLight(DRenderContext* context) {
  DGlUniforms& u = m_renderer.Uniforms();
  CTEnvironment* environment = context ? context->environment : nullptr;
  CTLight* light = environment ? qibo::Cast<CTLight>(environment->GetLight()) : nullptr;
  u.lightColor[0] = u.lightColor[1] = u.lightColor[2] = 0.0f;
  if (environment) Copy3(u.ambientLight, environment->GetAmbientColor());
  if (!light) return;
  light->UpdateWorldSpace();
  Copy3(u.lightColor, light->GetColor());
  const Vector3 direction = light->GetWorldDirection();
  Copy3(u.lightDir, direction);
  Vector3 half = direction;
  if (context->camera) {
    context->camera->UpdateWorldSpace();
    half = context->camera->GetWorldDirection() + direction;
  }
  const float length = half.Length();
  Copy3(u.half, length > 1e-5f ? half * (-1.0f / length) : Vector3());
}

CTMaterial* CTDirect3D::FaceMaterial(const DRenderShape& shape, int face, DRenderContext* context) const {
  if (shape.GetMaterial()) return shape.GetMaterial();
  if (CTMaterial* own = shape.GetFace(face)->GetMaterial()) return own;
  if (shape.GetDefaultMaterial()) return shape.GetDefaultMaterial();
  CTMaterialManager* materials = context ? context->PrepareMaterials() : nullptr;
  return materials ? materials->GetDefaultMaterial() : nullptr;
}

bool CTDirect3D::ApplyMaterial(CTMaterial* m, uint32_t shapeState, DRenderContext* context) {
  const bool twoSided = (shapeState & kTwoSided) != 0;
  if (!m) return false;
  // Culling follows the shape and the material every time: shapes sharing
  // a material may differ in being two-sided.
  const bool cull = !twoSided && !m->m_doubleSided;
  m_renderer.ApplyStates((m_renderer.GetStates() & ~qibo::gl::kCull) | (cull ? qibo::gl::kCull : 0));
  if (m == m_material && m->LastChange() == m_materialChange &&
      twoSided == ((m_materialState & kTwoSided) != 0))
    return true;
  if (m->GetMatID() == -1 && context)
    if (CTMaterialManager* materials = context->PrepareMaterials()) materials->RegisterMaterial(m);
  if (m->GetMatID() == -1) return false;
  m_material = m;
  m_materialChange = m->LastChange();
  m_materialState = shapeState;
  ++m_materialSwitches;
  DGlUniforms& u = m_renderer.Uniforms();
  const Vector3 zero;
  Copy3(u.matDiffuse, m->m_useDiffuse ? m->m_diffuse : zero);
  u.matDiffuse[3] = m->m_useDiffuse && m->m_useAlpha ? static_cast<float>(m->m_alpha) : 1.0f;
  Copy3(u.matAmbient, m->m_useAmbient ? m->m_ambient : zero);
  Copy3(u.matEmissive, m->m_useEmissive ? m->m_emissive : zero);
  Copy3(u.matSpecular, m->m_useSpecular ? m->m_specular : zero);
  u.power = static_cast<float>(m->m_power);
  u.fogOn = m_fogEnabled && !m->m_noFog ? 1 : 0;
  m_renderer.SetDepthBias(m->m_depthBias);
  u.specularOn = m_specularHighlights && m->m_useSpecular ? 1 : 0;
  u.vertexDiffuse = m->m_useVertexColor ? 1 : 0;
  bool opaque = false;
  const GLuint texture = m_textures.Get(m->GetTexture(), m_renderer.GetMaxTextureSize(), &opaque);
  u.textureOn = texture ? 1 : 0;
  m_renderer.BindTexture(texture, opaque);
  u.modulate = m->m_useDiffuse || m->m_useAmbient || m->m_useVertexColor ? 1 : 0;
  u.autoUV = texture && m_useAutomaticUV && m->m_extra == 3 ? 1 : 0;
  return true;
}

DGlVertex CTDirect3D::MakeVertex(const DRenderShape& shape, int index) const {
  const DVertex& v = shape.GetVertices()[index];
  DGlVertex out;
  const Vector3& p = shape.GetVectors()[v.vector];
  out.x = p.x, out.y = p.y, out.z = p.z;
  if (v.normal >= 0 && v.normal < shape.GetNormalCount()) {
    const Vector3& n = shape.GetNormals()[v.normal];
    out.nx = n.x, out.ny = n.y, out.nz = n.z;
  }
  out.color = PackColor(v.r, v.g, v.b, 255);
  out.u = v.u, out.v = v.v;
  return out;
}

// Only the local-space stages with depth test draw shapes placed by a world
// matrix in any order: their copies are gathered, faces only.
bool CTDirect3D::Gather(const DRenderPacket& packet, const DStageMode& mode, uint32_t target,
                        DGlShapeCache::Entry* copy) {
  if (!m_batchDrawing || mode.space != DStageMode::kLocal || !mode.depthTest || target != kDrawnFilled)
    return false;
  const DRenderShape& shape = *packet.shape;
  DGlBatches::Key key;
  key.shape = copy;
  key.material = shape.GetMaterial();
  key.shapeState = shape.GetState() & kTwoSided;
  key.lit = mode.lit;
  key.context = packet.stageContext ? packet.stageContext : packet.context;
  float world[16];
  qibo::d3d::SetIdentity(world);
  if (packet.world) qibo::d3d::FromTransform(*packet.world, world);
  const DGlInstance instance = DGlInstance::FromMatrix(world);
  // The distance of the shape's origin along the view orders the copies.
  m_batches.Add(key, instance,
                qibo::d3d::TransformPoint(m_camera, Vector3(world[12], world[13], world[14])).z);
  return true;
}

void CTDirect3D::FlushBatches() {
  if (m_batches.IsEmpty()) return;
  m_batches.Flush(m_renderer, m_shapes, [this](const DGlBatches::Key& key) {
    DGlUniforms& u = m_renderer.Uniforms();
    u.lighting = key.lit ? 1 : 0;
    if (key.lit) SetLight(key.context);
    qibo::d3d::SetIdentity(u.world);
    std::memcpy(u.view, m_camera, sizeof(m_camera));
    std::memcpy(u.proj, m_projection, sizeof(m_projection));
    m_renderer.ApplyStates(qibo::gl::kDepthTest | qibo::gl::kDepthWrite |
                           ((key.shapeState & kTwoSided) ? 0 : qibo::gl::kCull));
    ApplyMaterial(key.material, key.shapeState, key.context);
  });
}

DGlShapeCache::Entry* CTDirect3D::GpuCopy(const DRenderShape& shape) {
  // A temporary clone is made anew every run, often at the same address with
  // the same stamp: it always goes through the streaming buffer.
  if (shape.GetState() & kTemporary) return nullptr;
  if (DGlShapeCache::Entry* entry = m_shapes.Find(shape, m_frame)) return entry;
  const bool upload = m_shapes.ShouldUpload(shape);
  if (!upload && !m_shapes.HasCopy(shape)) return nullptr;
  MakeArrays(shape);
  if (m_arrays.indices.empty()) return nullptr;
  if (DGlShapeCache::Entry* entry = m_shapes.Confirm(shape, m_arrays.vertices, m_arrays.indices, m_frame))
    return entry;
  if (!upload) return nullptr;
  // The copy's buffers are written anew: gathered copies of it go first.
  FlushBatches();
  DGlShapeCache::Entry* entry = m_shapes.Upload(shape, m_arrays.vertices, m_arrays.indices, m_frame);
  m_renderer.ForgetArrayBinding();
  return entry;
}

void CTDirect3D::MakeArrays(const DRenderShape& shape) {
  if (m_arrays.made) return;
  m_arrays.made = true;
  std::vector<DGlVertex>& vertices = m_arrays.vertices;
  std::vector<uint32_t>& indices = m_arrays.indices;
  vertices.clear();
  indices.clear();
  vertices.reserve(static_cast<size_t>(shape.GetVertexCount()));
  for (int i = 0; i < shape.GetVertexCount(); ++i) {
    const int p = shape.GetVertices()[i].vector;
    vertices.push_back(p >= 0 && p < shape.GetVectorCount() ? MakeVertex(shape, i) : DGlVertex());
  }
  indices.reserve(static_cast<size_t>(shape.GetFaceCount()) * 3);
  for (int f = 0; f < shape.GetFaceCount(); ++f) {
    const DFace* face = shape.GetFace(f);
    if (!ValidFace(shape, face)) continue;
    for (int i = 0; i < 3; ++i) indices.push_back(static_cast<uint32_t>(face->GetVertexNo(i)));
  }
}

void CTDirect3D::DrawTriangles(const DRenderShape& shape, const DRenderPacket& packet, bool lit,
                               const DGlShapeCache::Entry* copy) {
  CTMaterial* own = shape.GetMaterial();
  if (own && !own->m_useAlpha) {
    ApplyMaterial(own, shape.GetState(), packet.stageContext);
    if (copy) {
      m_renderer.DrawArrayObject(copy->array, copy->indexCount, copy->opaqueVertices);
      return;
    }
    if (DrawStreamed(shape)) return;
  }
  DrawFaceByFace(shape, packet, lit);
}

bool CTDirect3D::DrawStreamed(const DRenderShape& shape) {
  if (shape.GetFaceCount() * 3 >= DGlRenderer::kStreamVertices ||
      shape.GetVertexCount() > DGlRenderer::kStreamVertices)
    return false;
  MakeArrays(shape);
  if (m_arrays.indices.empty()) return true;
  uint16_t shortIndices[DGlRenderer::kStreamVertices];
  std::copy(m_arrays.indices.begin(), m_arrays.indices.end(), shortIndices);
  m_renderer.DrawStreamIndexed(m_arrays.vertices.data(), static_cast<int>(m_arrays.vertices.size()),
                               shortIndices, static_cast<int>(m_arrays.indices.size()));
  return true;
}

void CTDirect3D::DrawFaceByFace(const DRenderShape& shape, const DRenderPacket& packet, bool lit) {
  DGlVertex batch[kTriangleBatch];
  int count = 0;
  CTMaterial* batchMaterial = nullptr;
  auto flush = [&]() {
    if (count > 0) m_renderer.DrawStream(GL_TRIANGLES, batch, count);
    count = 0;
  };
  for (int f = 0; f < shape.GetFaceCount(); ++f) {
    const DFace* face = shape.GetFace(f);
    if (!ValidFace(shape, face)) continue;
    CTMaterial* material = FaceMaterial(shape, f, packet.stageContext);
    if (material && material->m_useAlpha) {
      DeferFace(shape, f, material, lit);
      continue;
    }
    if (material != batchMaterial) {
      flush();
      ApplyMaterial(material, shape.GetState(), packet.stageContext);
      batchMaterial = material;
    }
    const bool ownColors = material && material->m_useVertexColor;
    for (int i = 0; i < 3; ++i) {
      batch[count + i] = MakeVertex(shape, face->GetVertexNo(i));
      if (!ownColors && i > 0) batch[count + i].color = batch[count].color;
    }
    count += 3;
    if (count == kTriangleBatch) flush();
  }
  flush();
}

void CTDirect3D::DrawLines(const DRenderShape& shape) {
  DGlVertex batch[kLineBatch];
  int count = 0;
  for (int e = 0; e < shape.GetEdgeCount(); ++e) {
    const DEdge& edge = shape.GetEdges()[e];
    const int ends[2] = {edge.start, edge.end};
    bool valid = true;
    for (int end : ends)
      valid = valid && end >= 0 && end < shape.GetVertexCount() && shape.GetVertices()[end].vector >= 0 &&
              shape.GetVertices()[end].vector < shape.GetVectorCount();
    if (!valid) continue;
    batch[count++] = MakeVertex(shape, ends[0]);
    batch[count++] = MakeVertex(shape, ends[1]);
    if (count == kLineBatch) {
      m_renderer.DrawStream(GL_LINES, batch, count);
      count = 0;
    }
  }
  if (count > 0) m_renderer.DrawStream(GL_LINES, batch, count);
}

void CTDirect3D::DrawPoints(const DRenderShape& shape) {
  DGlVertex batch[DGlRenderer::kStreamVertices];
  int count = 0;
  for (int i = 0; i < shape.GetVertexCount(); ++i) {
    const int p = shape.GetVertices()[i].vector;
    if (p < 0 || p >= shape.GetVectorCount()) continue;
    batch[count++] = MakeVertex(shape, i);
    if (count == DGlRenderer::kStreamVertices) {
      m_renderer.DrawStream(GL_POINTS, batch, count);
      count = 0;
    }
  }
  if (count > 0) m_renderer.DrawStream(GL_POINTS, batch, count);
}

void CTDirect3D::DeferFace(const DRenderShape& shape, int f, CTMaterial* material, bool lit) {
  const DGlUniforms& u = m_renderer.Uniforms();
  DeferredFace face{};
  face.material = material;
  face.state = shape.GetState();
  face.lit = lit;
  std::memcpy(face.world, u.world, sizeof(face.world));
  std::memcpy(face.view, u.view, sizeof(face.view));
  std::memcpy(face.proj, u.proj, sizeof(face.proj));
  const uint32_t alpha = ToByte(static_cast<float>(material->m_alpha));
  Vector3 centre;
  for (int i = 0; i < 3; ++i) {
    face.vertices[i] = MakeVertex(shape, shape.GetFace(f)->GetVertexNo(i));
    face.vertices[i].color = (face.vertices[i].color & 0x00FFFFFFu) | (alpha << 24);
    centre = centre + Vector3(face.vertices[i].x, face.vertices[i].y, face.vertices[i].z) * (1.0f / 3.0f);
  }
  // The depth key: the centre's distance along the view, farther first.
  face.depth = qibo::d3d::TransformPoint(face.view, qibo::d3d::TransformPoint(face.world, centre)).z;
  m_deferred.push_back(face);
}

void CTDirect3D::DrawDeferred() {
  if (m_deferred.empty()) return;
  std::stable_sort(m_deferred.begin(), m_deferred.end(),
                   [](const DeferredFace& a, const DeferredFace& b) { return a.depth > b.depth; });
  // Whether two faces are drawn with everything the same but their vertices.
  auto sameSetUp = [](const DeferredFace& a, const DeferredFace& b) {
    return a.material == b.material && a.state == b.state && a.lit == b.lit &&
           std::memcmp(a.world, b.world, sizeof(a.world)) == 0 &&
           std::memcmp(a.view, b.view, sizeof(a.view)) == 0 &&
           std::memcmp(a.proj, b.proj, sizeof(a.proj)) == 0;
  };
  DGlUniforms& u = m_renderer.Uniforms();
  // With "BatchDrawing", faces next to each other in that order and set up
  // alike go out in one triangle list: the list is drawn in its order, so
  // blending stays back to front.
  DGlVertex batch[kTriangleBatch];
  for (size_t first = 0; first < m_deferred.size();) {
    const DeferredFace& face = m_deferred[first];
    std::memcpy(u.world, face.world, sizeof(face.world));
    std::memcpy(u.view, face.view, sizeof(face.view));
    std::memcpy(u.proj, face.proj, sizeof(face.proj));
    u.lighting = face.lit ? 1 : 0;
    ApplyMaterial(face.material, face.state, m_context);
    m_renderer.ApplyStates((m_renderer.GetStates() & qibo::gl::kCull) | qibo::gl::kDepthTest |
                           qibo::gl::kBlend);
    int count = 0;
    size_t next = first;
    while (next < m_deferred.size() && count < kTriangleBatch && sameSetUp(face, m_deferred[next]) &&
           (m_batchDrawing || next == first)) {
      std::copy(m_deferred[next].vertices, m_deferred[next].vertices + 3, batch + count);
      count += 3;
      ++next;
    }
    m_renderer.DrawStream(GL_TRIANGLES, batch, count);
    first = next;
  }
  m_deferred.clear();
  m_renderer.ApplyStates((m_renderer.GetStates() & ~qibo::gl::kBlend) | qibo::gl::kDepthWrite);
}

bool CTDirect3D::EndScene(DRenderContext* context) {
  if (!m_renderer.IsCreated() || !IsVisible()) return false;
  FlushBatches();
  if (!context) context = m_context;
  if (m_overlay && context)
    if (DRenderShape* logo = m_overlay->GetLogoShape())
      if (CTRenderPipelineManager* pipeline = context->PreparePipeline()) {
        RenderInfo_t info;
        info.context = context;
        info.world = &DTransform::I;
        info.clipMask = qibo::kClipAll;
        pipeline->RenderShape(logo, info, kDrawnFilled);
      }
  DrawDeferred();
  m_drawCalls = m_renderer.GetDrawCalls();
  return true;
}
