#include "core/scene/CTGroup.h"

#include <algorithm>
#include <vector>

#include "core/geometry/CTBBox.h"
#include "core/object/Stream.h"
#include "core/persist/FileStream.h"
#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(CTGroup, CTEntity, .desc = "3D World Group", .product = "qiBO 3D", .safeToReceive = true)
static_assert(qibo::ClassId("CTGroup") == 0x23268B13);

namespace {

// Children of groups being torn down, released one after another by the
// outermost teardown: deleting a subtree never recurses, however deep.
thread_local std::vector<Ref<CTEntity>>* t_teardown = nullptr;

// The kind counts an entity brings: GetKindCount of each kind bit. False
// when it brings none, so that nothing need walk the parents.
bool KindsOf(CTEntity* child, int (&counts)[8]) {
  child->GetKindCounts(counts);
  bool any = false;
  for (const int c : counts) any = any || c != 0;
  return any;
}

}  // namespace

CTGroup::CTGroup(const char* name) : CTEntity(name) {}

CTGroup::CTGroup(const char* name, CTGroup* parent) : CTEntity(name) { SetParent(parent); }

CTGroup::CTGroup(const CTGroup& other) : CTEntity(other) {
  // The kinds of a group are those of its children, which come next.
  m_flags &= ~kKindMask;
  for (const Ref<CTEntity>& child : other.m_children)
    if (CTEntity* copy = child->Clone()) {
      copy->SetParent(this);
      copy->SetCollisionVolume(child->GetCollisionVolume());
    }
}

CTGroup::~CTGroup() {
  // Still listed by a parent (deleted directly): leave it while we are still
  // a group, so that it takes back our whole subtree's kinds.
  if (CTGroup* parent = GetParent()) {
    parent->ForgetChild(this);
    SetParentLink(nullptr);
  }
  UseBoundingVolume(nullptr);
  DetachAllForTeardown();
}

void CTGroup::DetachAllForTeardown() {
  std::vector<Ref<CTEntity>> own;
  const bool outermost = t_teardown == nullptr;
  if (outermost) t_teardown = &own;
  // In order, so that the last child (the most recently built subtree) goes
  // first: shared shapes and materials then find each holder at the end of
  // their holder lists, and a large scene empties in linear time.
  for (Ref<CTEntity>& slot : m_children) {
    Ref<CTEntity> child = std::move(slot);
    child->SetParentLink(nullptr);
    // A child held elsewhere lives on as a root; the others are about to go
    // and need nothing more.
    if (child->GetRefCount() > 1) {
      child->UpdateTreeLevels();
      child->World() = child->Local();
    }
    t_teardown->push_back(std::move(child));
  }
  m_children.Clear();
  if (!outermost) return;
  while (!own.empty()) {
    Ref<CTEntity> next = std::move(own.back());
    own.pop_back();
    next.Reset();  // may delete it, whose own children join the list
  }
  t_teardown = nullptr;
}

// ---------------------------------------------------------------------------
// Children and kind counts

void CTGroup::AddCounts(const int (&counts)[8]) {
  for (int k = 0; k < 8; ++k) {
    if (counts[k] == 0) continue;
    m_kindCounts[k] += counts[k];
    if (m_kindCounts[k] > 0) m_flags |= 1u << (16 + k);
  }
}

void CTGroup::SubtractCounts(const int (&counts)[8]) {
  for (int k = 0; k < 8; ++k) {
    m_kindCounts[k] -= counts[k];
    if (m_kindCounts[k] < 1) m_flags &= ~(1u << (16 + k));
  }
}

void CTGroup::AddChild(CTEntity* child) {
  if (!child) return;
  m_children.Add(Ref<CTEntity>(child));
  int counts[8];
  if (!KindsOf(child, counts)) return;
  AddCounts(counts);
  if (CTGroup* parent = GetParent()) parent->IncreaseKindCount(child);
}

void CTGroup::IncreaseKindCount(CTEntity* child) {
  int counts[8];
  if (!KindsOf(child, counts)) return;
  for (CTGroup* g = this; g; g = g->GetParent()) g->AddCounts(counts);
}

void CTGroup::DecreaseKindCount(CTEntity* child) {
  int counts[8];
  const bool any = KindsOf(child, counts);
  for (CTGroup* g = this; g; g = g->GetParent()) {
    if (!any && !g->GetBoundingVolume()) continue;
    g->SubtractCounts(counts);
    if (g->GetBoundingVolume()) g->CreateBoundingVolume();
  }
}

void CTGroup::RemoveChild(CTEntity* child) {
  const int index = m_children.IndexOf(child);
  if (index < 0) return;
  const int last = NumChildren() - 1;
  Ref<CTEntity> removed = m_children.RemoveAt(static_cast<size_t>(index));
  OnChildRemoved(index, last);
  int counts[8];
  KindsOf(child, counts);
  SubtractCounts(counts);
  if (GetBoundingVolume()) CreateBoundingVolume();
  if (CTGroup* parent = GetParent()) parent->DecreaseKindCount(child);
  // The child's reference goes last: this may delete it.
}

void CTGroup::ForgetChild(CTEntity* child) {
  const int index = m_children.IndexOf(child);
  if (index < 0) return;
  const int last = NumChildren() - 1;
  Ref<CTEntity> removed = m_children.RemoveAt(static_cast<size_t>(index));
  (void)removed.Release();  // the child is being destroyed: its count is gone
  OnChildRemoved(index, last);
  int counts[8];
  KindsOf(child, counts);
  SubtractCounts(counts);
  if (CTGroup* parent = GetParent()) parent->DecreaseKindCount(child);
}

void CTGroup::GetKindCounts(int (&counts)[8]) {
  for (int k = 0; k < 8; ++k) counts[k] = m_kindCounts[k];
}

int CTGroup::GetKindCount(uint32_t kindMask) {
  int sum = 0;
  for (int k = 0; k < 8; ++k)
    if (kindMask & (1u << (16 + k))) sum += m_kindCounts[k];
  return sum;
}

void CTGroup::SwapChildren(int a, int b) {
  if (a == b || a < 0 || b < 0 || a >= NumChildren() || b >= NumChildren()) return;
  std::swap(m_children[static_cast<size_t>(a)], m_children[static_cast<size_t>(b)]);
}

void CTGroup::OnChildRemoved(int, int) {}

void CTGroup::DeleteChildren() {
  UseBoundingVolume(nullptr);
  while (!m_children.Empty()) m_children[0]->SetParent(nullptr);
}

// ---------------------------------------------------------------------------
// Searches

CTGroup* CTGroup::FindParent(CTGroup* group) {
  for (CTGroup* g = this; g; g = g->GetParent())
    if (g == group) return g;
  return nullptr;
}

CTGroup* CTGroup::FindParentByName(const char* name) {
  if (!name) return nullptr;
  for (CTGroup* g = this; g; g = g->GetParent())
    if (qibo::EqualsIC(g->GetName(), name)) return g;
  return nullptr;
}

CTEntity* CTGroup::FindChildByName(const char* name) {
  if (!name) return nullptr;
  if (qibo::EqualsIC(GetName(), name)) return this;
  for (const Ref<CTEntity>& child : m_children)
    if (qibo::EqualsIC(child->GetName(), name)) return child.Get();
  for (const Ref<CTEntity>& child : m_children)
    if (CTEntity* found = child->FindChildByName(name)) return found;
  return nullptr;
}

CTEntity* CTGroup::FindChild(CTEntity* entity) {
  if (entity == this) return this;
  for (const Ref<CTEntity>& child : m_children)
    if (child == entity) return child.Get();
  for (const Ref<CTEntity>& child : m_children)
    if (CTEntity* found = child->FindChild(entity)) return found;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Frame pass

void CTGroup::Process(ProcessInfo_t& info) {
  const uint32_t active = ProcessWhat(info.flags);
  if (!active) return;
  RenderInfo_t& render = info.render;
  if (CTShape* bounds = GetBoundingVolume(); bounds && (active & kKindDrawable)) {
    UpdateWorldSpace();
    render.world = &GetWorldTransform();
    if (render.clipMask != qibo::kClipNone && (m_flags & kHintCull) && render.context &&
        bounds->CheckAgainstFrustum(render.context->frustum, render.world, &render.clipMask) ==
            kIntersectOutside)
      return;  // the whole subtree is culled
    if (m_flags & kHintDrawBounds) bounds->Render(render, nullptr);
  }
  const uint32_t clip = render.clipMask;
  for (size_t i = 0; i < m_children.Size(); ++i) {
    CTEntity* child = m_children[i].Get();
    if (!(child->m_flags & active)) continue;
    child->Process(info);
    render.clipMask = clip;  // a child's partial tests do not reach its siblings
  }
}

// The box around the children, in group coordinates: each child's volume is
// placed by its local transform (after the volume's own transform) and
// measured along the six axis directions with its support function.
CTShape* CTGroup::CreateBoundingVolume() {
  Vector3 low(1e30f, 1e30f, 1e30f), high(-1e30f, -1e30f, -1e30f);
  bool any = false;
  for (const Ref<CTEntity>& child : m_children) {
    CTShape* volume = child->GetBoundingVolume();
    bool borrowed = false;
    if (!volume) {
      volume = child->CreateBoundingVolume();
      borrowed = volume != nullptr;
    }
    if (!volume) continue;
    Ref<CTShape> hold(volume);
    if (borrowed) child->UseBoundingVolume(nullptr);  // used for this box only
    DTransform placement;
    placement.Combine(volume->GetTransform(), child->GetTransform());
    placement.UpdateTotalMatrix();
    const Matrix33 m = placement.HasTotalMatrix() ? placement._TotalMatrix() : Matrix33();
    const Vector3 offset = placement.HasPosition() ? placement.GetPosition() : Vector3();
    for (int axis = 0; axis < 3; ++axis) {
      for (const float sign : {1.0f, -1.0f}) {
        Vector3 d;
        d[axis] = sign;
        // The farthest point of the placed volume along d: the volume's own
        // support along d mapped back (a support needs the transposed map).
        const Vector3 s = m.Transform(volume->GetSupport(m.TransformTransposed(d))) + offset;
        if (sign > 0)
          high[axis] = std::max(high[axis], s[axis]);
        else
          low[axis] = std::min(low[axis], s[axis]);
      }
    }
    any = true;
  }
  if (!any) {
    UseBoundingVolume(nullptr);
    return nullptr;
  }
  Ref<CTBBox> box(qibo::Cast<CTBBox>(GetBoundingVolume()));
  if (!box) box = qibo::Create<CTBBox>();
  if (!box) return nullptr;
  box->SetDimensions(high - low);
  box->SetPivot((low + high) * 0.5f);
  UseBoundingVolume(box.Get());
  return box.Get();
}

// ---------------------------------------------------------------------------
// Streams and files

void CTGroup::WriteToStream(Stream* stream, uint32_t what) {
  CTEntity::WriteToStream(stream, what);
  if (!(what & 0x1)) return;
  for (size_t i = 0; i < m_children.Size(); ++i) stream->WriteObject(m_children[i].Get());
}

bool CTGroup::SaveTree(const char* file, uint32_t levelOfDetail) {
  FileStream stream;
  stream.SetLevelOfDetail(levelOfDetail);
  if (!stream.CreateStream(file)) return false;
  // The subtree only: the parent is not written, and the group goes first as
  // an object, so that its children read back in their order under it; its
  // own data follows, as in any tree file.
  CTGroup* parent = GetParent();
  m_parent = nullptr;
  stream.WriteObject(this);
  stream.WriteObjectData(this);
  for (size_t i = 0; i < m_children.Size(); ++i) stream.WriteObject(m_children[i].Get());
  m_parent = parent;
  return stream.CloseStream();
}

bool CTGroup::LoadTree(const char* file) {
  FileStream stream;
  if (!stream.Read(file)) return false;
  for (int i = 0; i < stream.GetObjectCount(); ++i) {
    auto* entity = qibo::Cast<CTEntity>(stream.GetObjectNo(i));
    if (entity && entity->IsRoot() && entity != this && !IsAncestorOrSelf(entity)) entity->SetParent(this);
  }
  return true;
}
