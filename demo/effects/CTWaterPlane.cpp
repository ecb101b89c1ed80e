#include "demo/effects/CTWaterPlane.h"

#include <cmath>

#include "core/geometry/CTBox.h"
#include "core/geometry/ShapeKit.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/QIBO_String.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTCamera.h"

QIBO_IMPLEMENT_CLASS(CTWaterPlane, CTShape, .desc = "Waterplane", .product = "qiBO", .fixedId = 0x10B2918F)

namespace {

constexpr double kInvPi = 0.3183098861837907;

}  // namespace

CTWaterPlane::CTWaterPlane(const char* name) : CTShape(name) {}

CTWaterPlane::~CTWaterPlane() {
  // Only a running message manager is asked: a plane released after the
  // engine shut down must not start it again.
  if (!m_animated) return;
  if (auto* updates = qibo::FindService<CTUpdateManager>())
    updates->RemoveUpdate(this, qibo::AsUpdate(&CTWaterPlane::Update));
}

bool CTWaterPlane::SetSize(double size) {
  if (!qibo::shapemesh::CheckSize(this, "size", size)) return false;
  m_sizeX = m_sizeZ = size;
  m_gridBuilt = false;
  m_heightsValid = false;
  return true;
}

bool CTWaterPlane::SetResolution(int n) {
  if (!qibo::shapemesh::ClampSegments(this, "resolution", n, 1)) return false;
  m_n = n;
  m_gridBuilt = false;
  m_heightsValid = false;
  return true;
}

void CTWaterPlane::SetAmplitudes(double a, double b) {
  if (!std::isfinite(a) || !std::isfinite(b)) {
    qiBO_Warning(QIBO_String::Format("%s: amplitudes (%g, %g) refused", GetName(), a, b).c_str(), this);
    return;
  }
  m_ampA = a;
  m_ampB = b;
  m_heightsValid = false;
}

void CTWaterPlane::SetWaveNumbers(double kx, double kz) {
  if (!std::isfinite(kx) || !std::isfinite(kz)) {
    qiBO_Warning(QIBO_String::Format("%s: wave numbers (%g, %g) refused", GetName(), kx, kz).c_str(), this);
    return;
  }
  m_kx = kx;
  m_kz = kz;
  m_heightsValid = false;
}

void CTWaterPlane::SetPhases(double px, double pz) {
  m_px = static_cast<float>(px);
  m_pz = static_cast<float>(pz);
  m_heightsValid = false;
}

void CTWaterPlane::SetAnimated(bool animated) {
  if (animated == m_animated) return;
  m_animated = animated;
  if (animated)
    AddUpdate(qibo::AsUpdate(&CTWaterPlane::Update), 0, -1);
  else
    RemoveUpdate(qibo::AsUpdate(&CTWaterPlane::Update));
}

void CTWaterPlane::Update(int32_t dt) {
  m_heightsValid = false;
  m_px = static_cast<float>(m_px + dt * 0.001);
  m_pz = static_cast<float>(m_px * kPhaseRatio);
}

double CTWaterPlane::GetHeightAt(double x, double z) const {
  return m_ampB * std::cos(m_pz + m_kz * z) + m_ampA * std::sin(m_px + m_kx * x);
}

Vector3 CTWaterPlane::GetNormalAt(double x, double z) const {
  // The surface's gradient: dy/dx = A kx cos(px + kx x), dy/dz = -B kz sin(pz + kz z).
  const double nx = -m_ampA * m_kx * std::cos(m_px + m_kx * x);
  const double nz = m_ampB * m_kz * std::sin(m_pz + m_kz * z);
  const double len = std::sqrt(nx * nx + 1.0 + nz * nz);
  return {static_cast<float>(nx / len), static_cast<float>(1.0 / len), static_cast<float>(nz / len)};
}

void CTWaterPlane::BuildGrid(CTMaterial* material) {
  DRenderShape& mesh = m_grid;
  qibo::shapemesh::Reset(mesh);
  const int n = m_n;
  const int side = n + 1;
  const int count = side * side;
  mesh.SetVectorCount(count);
  mesh.SetNormalCount(count);
  mesh.SetVertexCount(count);
  Vector3* positions = mesh.GetVectors();
  Vector3* normals = mesh.GetNormals();
  DVertex* vertices = mesh.GetVertices();
  const Vector3 colour = material ? material->m_diffuse : Vector3(1.0f, 1.0f, 1.0f);
  const float alpha = material ? static_cast<float>(material->m_alpha) : kDefaultAlpha;
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; j <= n; ++j) {
      const int index = side * i + j;
      const double fi = static_cast<double>(i) / n - 0.5;
      const double fj = static_cast<double>(j) / n - 0.5;
      positions[index] = Vector3(static_cast<float>(m_sizeX * fi), 0.0f, static_cast<float>(m_sizeZ * fj));
      normals[index] = Vector3(0.0f, 1.0f, 0.0f);
      DVertex& v = vertices[index];
      v.r = colour.x;
      v.g = colour.y;
      v.b = colour.z;
      v.a = alpha;
      v.u = static_cast<float>(fi);
      v.v = static_cast<float>(fj);
      v.vector = index;
      v.normal = index;
    }
  }
  for (int r = 0; r < n; ++r) {
    for (int k = 0; k < n; ++k) {
      const int c = side * r + k;
      qibo::shapemesh::AddTriangle(mesh, c, c + 1, c + side, -1, true);
      qibo::shapemesh::AddTriangle(mesh, c + 1, c + side + 1, c + side, -1, true);
    }
  }
  qibo::shapemesh::SetPresenceFlags(mesh);
  mesh.SetState(kGridState);
  mesh.Touch();
  m_gridMaterial = material;
  m_gridBuilt = true;
  m_heightsValid = false;
}

void CTWaterPlane::UpdateHeights() {
  if (!m_gridBuilt) BuildGrid();
  const int count = m_grid.GetVectorCount();
  if (m_grid.GetNormalCount() != count) return;
  Vector3* positions = m_grid.GetVectors();
  Vector3* normals = m_grid.GetNormals();
  for (int i = 0; i < count; ++i) {
    Vector3& p = positions[i];
    p.y = static_cast<float>(GetHeightAt(p.x, p.z));
    normals[i] = GetNormalAt(p.x, p.z);
  }
  m_grid.Touch();
  m_heightsValid = true;
}

Vector3 CTWaterPlane::HalfExtent() const {
  return {static_cast<float>(0.5 * m_sizeX), static_cast<float>(std::fabs(m_ampA) + std::fabs(m_ampB)),
          static_cast<float>(0.5 * m_sizeZ)};
}

double CTWaterPlane::GetMaxY(const Vector3& p) {
  const Vector3 half = HalfExtent();
  if (std::fabs(p.x) > half.x || std::fabs(p.z) > half.z) return kNoY;
  return GetHeightAt(p.x, p.z);
}

double CTWaterPlane::GetMaxYAndNormal(const Vector3& p, Vector3& normal) {
  const double y = GetMaxY(p);
  if (y != kNoY) normal = GetNormalAt(p.x, p.z);
  return y;
}

Vector3 CTWaterPlane::GetNormal(const Vector3& p) { return GetNormalAt(p.x, p.z); }

Vector3 CTWaterPlane::GetSupport(const Vector3& d) {
  const Vector3 half = HalfExtent();
  return {d.x < 0.0f ? -half.x : half.x, d.y < 0.0f ? -half.y : half.y, d.z < 0.0f ? -half.z : half.z};
}

Ref<CTShape> CTWaterPlane::GetBoundingBox() {
  const Vector3 half = HalfExtent();
  Ref<CTBox> box = qibo::Create<CTBox>();
  if (!box) return {};
  box->SetDimensions(half * 2.0f);
  return Ref<CTShape>(std::move(box));
}

intersect_t CTWaterPlane::CheckWithPoint(const Vector3& p, const DTransform* transform) {
  return qibo::boxtest::Point(ToShapeSpace(p, transform), Vector3(), HalfExtent());
}

intersect_t CTWaterPlane::CheckWithHalfspace(const Plane3& plane, const DTransform*) {
  return qibo::boxtest::Halfspace(plane, Vector3(), HalfExtent());
}

intersect_t CTWaterPlane::CheckWithLine(const Line3& line, const DTransform* transform) {
  return qibo::boxtest::Line(qibo::shapetest::LinePoint(line, transform),
                             qibo::shapetest::LineDirection(line, transform), Vector3(), HalfExtent());
}

bool CTWaterPlane::GetBoxExtent(Vector3& centre, Vector3& half) const {
  centre = Vector3();
  half = HalfExtent();
  return true;
}

double CTWaterPlane::CalcVolume() {
  const Vector3 half = HalfExtent();
  return 8.0 * half.x * half.y * half.z;
}

double CTWaterPlane::CalcArea() { return m_sizeX * m_sizeZ; }

DRenderShape* CTWaterPlane::GetRenderShape() {
  if (!m_gridBuilt || (m_grid.GetFlags() & DRenderShape::kHasFaces) == 0) BuildGrid();
  if (!m_heightsValid) UpdateHeights();
  return &m_grid;
}

void CTWaterPlane::ComputeReflection(const Vector3& eye, const DTransform* world) {
  const int count = m_grid.GetVertexCount();
  const DBases& bases = m_grid.GetBases();
  DVertex* vertices = m_grid.GetVertices();
  for (int i = 0; i < count; ++i) {
    DVertex& vertex = vertices[i];
    if (!bases.ValidVector(vertex.vector) || !bases.ValidNormal(vertex.normal)) continue;
    const Vector3& p = bases.vectors[vertex.vector];
    const Vector3& n = bases.normals[vertex.normal];
    const Vector3 w = eye - p;
    Vector3 r = n * (2.0f * n.Dot(w)) - w;
    if (world) r = world->TransformNormal(r);
    const float length = r.Length();
    vertex.u = static_cast<float>(std::fabs(std::atan2(r.y, r.x)) * kInvPi);
    vertex.v = length > 0.0f ? r.z / length : 0.0f;
  }
  m_grid.Touch();
}

void CTWaterPlane::Render(const RenderInfo_t& info, CTMaterial* material) {
  CTMaterial* used = material ? material : m_material.Get();
  if (!m_gridBuilt || (m_grid.GetFlags() & DRenderShape::kHasFaces) == 0 || used != m_gridMaterial)
    BuildGrid(used);
  if (!m_heightsValid) UpdateHeights();
  const CTCamera* camera = info.context ? info.context->camera : nullptr;
  if (camera) {
    const Vector3 cameraWorld = camera->GetWorldPosition();
    const Vector3 eye = info.world ? info.world->BackTransformPoint(cameraWorld) : cameraWorld;
    ComputeReflection(eye, info.world);
  }
  RenderMesh(m_grid, info, used);
}
