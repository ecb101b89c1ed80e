#include "core/render/CTPipelineStage_CachedClone.h"

#include <climits>
#include <cstring>

#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(CTPipelineStage_CachedClone, CTPipelineStage, .desc = "CachedShapeClone",
                     .url = "qibo_stages")

namespace {

// Copies a pool's elements, growing the copy to twice the count when it
// is too small and never shrinking it; false (logged by the pool) when the
// copy cannot grow.
template <class T>
bool CopyPool(DPool<T>& to, const DPool<T>& from) {
  const int count = from.Count();
  if (to.Capacity() < count && !to.Reserve(count > INT_MAX / 2 ? count : count * 2)) return false;
  to.Resize(count);  // within the capacity
  if (count > 0) std::memcpy(to.Data(), from.Data(), sizeof(T) * static_cast<size_t>(count));
  return true;
}

}  // namespace

CTPipelineStage_CachedClone::CTPipelineStage_CachedClone()
    : CTPipelineStage(0, qibo::state::kShared, qibo::state::kShared, 0) {}

bool CTPipelineStage_CachedClone::DoProcess(DRenderPacket* packet) {
  DRenderShape& source = *packet->shape;
  if (&source == &m_clone) return true;
  // No memory for the copy (logged): the shape is not drawn this frame.
  if (!m_clone.BorrowFaces(source) || !CopyPool(m_clone.VertexPool(), source.VertexPool()) ||
      !CopyPool(m_clone.NormalPool(), source.NormalPool()) ||
      !CopyPool(m_clone.VectorPool(), source.VectorPool()) ||
      !CopyPool(m_clone.EdgePool(), source.EdgePool()))
    return false;
  m_clone.SetMaterial(source.GetMaterial());
  m_clone.SetDefaultMaterial(source.GetDefaultMaterial());
  m_clone.SetState(source.GetState());
  m_clone.SetFlags(source.GetFlags());
  m_clone.Touch();
  m_clone.UpdateBases();
  packet->shape = &m_clone;
  return true;
}
