#include "core/render/NormalStages.h"

#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(CTPipelineStage_DrawFaceNormals, CTPipelineStage, .desc = "DrawFaceNormals",
                     .url = "qibo_stages", .product = "qiBO Stages")
QIBO_IMPLEMENT_CLASS(CTPipelineStage_DrawVertexNormals, CTPipelineStage, .desc = "DrawVertexNormals",
                     .url = "qibo_stages", .product = "qiBO Stages")

using namespace qibo::state;

namespace {

constexpr float kNormalLength = 0.3333333333333333f;
constexpr uint32_t kLineFlags =
    DRenderShape::kHasVectors | DRenderShape::kHasVertices | DRenderShape::kHasEdges;

// Empties the line shape and makes room for count lines; it keeps the
// source's materials and state, unshared and lit.
void PrepareLines(DRenderShape& lines, const DRenderShape& source, int count) {
  lines.SetFlags(kLineFlags);
  lines.SetState((source.GetState() & ~kShared) | kLit);
  lines.SetMaterial(source.GetMaterial());
  lines.SetDefaultMaterial(source.GetDefaultMaterial());
  lines.VertexPool().Resize(0);
  lines.VectorPool().Resize(0);
  lines.EdgePool().Resize(0);
  lines.VertexPool().Reserve(2 * count);
  lines.VectorPool().Reserve(2 * count);
  lines.EdgePool().Reserve(count);
}

// The lines go on to be drawn as lines, in the space the source was in.
void SendLines(DRenderShape& lines, DRenderPacket* packet) {
  lines.SetFlags(kLineFlags);
  lines.UpdateBases();
  packet->shape = &lines;
  packet->target = kDrawnEdges;
}

// A face's normal from its slot, or from its corners where the slot is
// missing; false for a face that refers outside the pools.
bool FaceNormal(const DFace& face, const DBases& bases, Vector3& normal) {
  if (face.GetNumVertices() < 3) return false;
  for (int i = 0; i < 3; ++i)
    if (!bases.ValidVertex(face.GetVertexNo(i)) || !bases.ValidVector(face.GetVectorNo(bases, i)))
      return false;
  if (bases.ValidNormal(face.GetNormalNo())) {
    normal = face.GetNormal(bases);
    return true;
  }
  const Vector3& p0 = face.GetVector(bases, 0);
  normal = (face.GetVector(bases, 1) - p0).Cross(face.GetVector(bases, 2) - p0).Normalized();
  return true;
}

}  // namespace

CTPipelineStage_DrawFaceNormals::CTPipelineStage_DrawFaceNormals()
    : CTPipelineStage(kDrawnFaceNormals, 0, 0, kDrawnFaceNormals) {}

bool CTPipelineStage_DrawFaceNormals::DoProcess(DRenderPacket* packet) {
  DRenderShape& source = *packet->shape;
  if (source.GetFaceCount() == 0 || &source == &m_lines) return false;
  source.UpdateBases();
  const DBases& bases = source.GetBases();
  PrepareLines(m_lines, source, source.GetFaceCount());
  for (int i = 0; i < source.GetFaceCount(); ++i) {
    const DFace& face = *source.GetFace(i);
    Vector3 normal;
    if (!FaceNormal(face, bases, normal)) continue;
    const Vector3 start = face.MidPoint(bases);
    m_lines.AddEdge(start, start + normal * kNormalLength);
  }
  SendLines(m_lines, packet);
  return true;
}

CTPipelineStage_DrawVertexNormals::CTPipelineStage_DrawVertexNormals()
    : CTPipelineStage(kDrawnVertexNormals, 0, 0, kDrawnVertexNormals) {}

bool CTPipelineStage_DrawVertexNormals::DoProcess(DRenderPacket* packet) {
  DRenderShape& source = *packet->shape;
  if (source.GetVertexCount() == 0 || &source == &m_lines) return false;
  PrepareLines(m_lines, source, source.GetVertexCount());
  const Vector3* positions = source.GetVectors();
  const Vector3* normals = source.GetNormals();
  for (int i = 0; i < source.GetVertexCount(); ++i) {
    const DVertex& v = source.GetVertices()[i];
    if (v.vector < 0 || v.vector >= source.GetVectorCount() || v.normal < 0 ||
        v.normal >= source.GetNormalCount())
      continue;
    const Vector3 start = positions[v.vector];
    m_lines.AddEdge(start, start + normals[v.normal] * kNormalLength);
  }
  SendLines(m_lines, packet);
  return true;
}
