#include "demo/effects/CTTorus1.h"

#include <cmath>

#include "core/geometry/CTBox.h"
#include "core/geometry/ShapeKit.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/render/base/MaterialApi.h"
#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(CTTorus1, CTShape, .desc = "Torus No 1", .product = "Quarndelion", .fixedId = 0x932D7765)

namespace {

// The frame along the curve is computed in double precision; only the
// results go into the float pools.
struct V3 {
  double x = 0.0, y = 0.0, z = 0.0;
};

V3 operator-(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Cross(const V3& a, const V3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The unit vector along v; a zero vector stays zero.
V3 Normalised(const V3& v) {
  const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(len > 0.0)) return {};
  return {v.x / len, v.y / len, v.z / len};
}
Vector3 ToFloat(const V3& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

V3 Curve(int mode, double u, double t) {
  const double c = std::sin(2.0 * t);
  const double d = std::cos(u);
  const double e = 1.25 * c * d + std::sin(t);
  double f = 4.0 * std::cos(t + 2.0 * u) + 8.0;
  double alpha = t;
  double beta = u;
  switch (mode) {
    case 1:
      alpha = e;
      beta = u;
      f = 8.0 + 2.6666666666666665 * std::sin(3.0 * u);
      break;
    case 2:
      alpha = std::sin(t) + 1.25 * c * d;
      beta = u + 0.5 * d;
      f = 4.0 * std::sin(t) + 8.0;
      break;
    case 3:
      alpha = std::cos(t + u);
      beta = std::cos(u - t);
      break;
    case 4:
      alpha = e;
      beta = u + 5.0 * std::cos(t);
      f = 8.0;
      break;
    case 5:
      alpha = u;
      beta = 6.666666666666667 * std::sin(u - t);
      break;
    default:
      f = 8.0;
      break;
  }
  return {f * std::cos(beta) * std::cos(alpha), f * std::cos(beta) * std::sin(alpha), f * std::sin(beta)};
}

// The radians per millisecond of the phase: 100 degrees a second.
constexpr double kPhaseRate = 0.001 * 100.0 * 0.017453292519943295;
// The slow angle's step per update: 3 degrees.
constexpr double kSlowStep = 0.05235987755982989;

}  // namespace

CTTorus1::CTTorus1(const char* name) : CTShape(name) { AddUpdate(qibo::AsUpdate(&CTTorus1::Update), 0, -1); }

// Only a running message manager is asked: a torus released after the
// engine shut down must not start it again.
CTTorus1::~CTTorus1() {
  if (auto* updates = qibo::FindService<CTUpdateManager>())
    updates->RemoveUpdate(this, qibo::AsUpdate(&CTTorus1::Update));
}

Vector3 CTTorus1::CurvePoint(int mode, double u, double t) { return ToFloat(Curve(mode, u, t)); }

void CTTorus1::EnableShadow(bool enable) {
  m_shadow = enable;
  if (enable && !m_shadowMaterial) {
    bool existed = false;
    if (CTMaterial* material = qiBO_CreateMaterial("ShadowMat", &existed)) {
      if (!existed) {
        material->SetColor(DColor{0.0f, 0.0f, 0.0f, 1.0f});
        material->SetAlpha(0.5f);
        material->m_depthBias = 15;
      }
      m_shadowMaterial = material;
    }
  }
  if (enable && m_built) {
    BuildShadow();
    Reshape();
  }
}

void CTTorus1::Build() {
  BuildTube();
  if (m_shadow) BuildShadow();
  m_built = true;
  Update(0);
}

void CTTorus1::BuildTube() {
  DRenderShape& mesh = m_tube;
  qibo::shapemesh::Reset(mesh);
  mesh.SetVectorCount(kTubeVertices);
  mesh.SetNormalCount(kTubeVertices);
  mesh.SetVertexCount(kTubeVertices);
  DVertex* vertices = mesh.GetVertices();
  for (int k = 0; k < kRings; ++k) {
    for (int j = 0; j < kSides; ++j) {
      const int i = kSides * k + j;
      DVertex& v = vertices[i];
      v.r = v.g = v.b = v.a = 1.0f;
      v.u = static_cast<float>(j * kSideStep);
      v.v = static_cast<float>(k * kRingStep);
      v.vector = i;
      v.normal = i;
    }
  }
  // Each ring k joins ring k + 1 (ring 99 joins ring 0); the last quad of
  // a ring, between side 11 and side 0, closes it around. Every quad is two
  // triangles wound the same way, so that the tube is closed and consistently
  // oriented.
  auto add = [&mesh](int a, int b, int c) { qibo::shapemesh::AddTriangle(mesh, a, b, c, -1, true); };
  for (int k = 0; k < kRings; ++k) {
    const int base = kSides * k;
    const int next = kSides * ((k + 1) % kRings);
    for (int j = 0; j < kSides - 1; ++j) {
      add(next + j + 1, base + j + 1, base + j);
      add(next + j + 1, base + j, next + j);
    }
    add(next, base, base + kSides - 1);
    add(next, base + kSides - 1, next + kSides - 1);
  }
  qibo::shapemesh::SetPresenceFlags(mesh);
  mesh.SetState(kTubeState);
  mesh.Touch();
}

void CTTorus1::BuildShadow() {
  DRenderShape& mesh = m_shadowShape;
  qibo::shapemesh::Reset(mesh);
  mesh.SetVectorCount(kShadowVertices);
  mesh.SetVertexCount(kShadowVertices);
  DVertex* vertices = mesh.GetVertices();
  for (int i = 0; i < kShadowVertices; ++i) {
    DVertex& v = vertices[i];
    v.r = v.g = v.b = v.a = 1.0f;
    v.vector = i;
  }
  // A strip between consecutive pairs, closed from the last pair to the
  // first as the tube is.
  for (int k = 0; k < kRings; ++k) {
    const int a = 2 * k;
    const int b = 2 * ((k + 1) % kRings);
    qibo::shapemesh::AddTriangle(mesh, a, b, a + 1, -1, false);
    qibo::shapemesh::AddTriangle(mesh, a + 1, b, b + 1, -1, false);
  }
  qibo::shapemesh::SetPresenceFlags(mesh);
  mesh.SetMaterial(m_shadowMaterial.Get());
  mesh.SetState(kShadowState);
  mesh.Touch();
}

void CTTorus1::Update(int32_t dt) {
  m_phase = static_cast<float>(m_phase + dt * kPhaseRate);
  if (m_built) Reshape();
  m_s += kSlowStep;
  m_a = 8.0 * std::sin(m_s);
  m_b = 8.0 - m_a;
}

void CTTorus1::Reshape() {
  if (m_tube.GetVectorCount() != kTubeVertices || m_tube.GetNormalCount() != kTubeVertices) return;
  const bool shadow = m_shadow && m_shadowShape.GetVectorCount() == kShadowVertices;
  const double phase = m_phase;
  const bool pulse = Pulses(m_mode);
  Vector3* positions = m_tube.GetVectors();
  Vector3* normals = m_tube.GetNormals();
  Vector3* band = shadow ? m_shadowShape.GetVectors() : nullptr;

  V3 previous = Curve(m_mode, -kRingStep, phase);
  for (int k = 0; k < kRings; ++k) {
    const double u = k * kRingStep;
    const V3 p = Curve(m_mode, u, phase);
    const V3 tangent = Normalised(p - previous);
    const V3 r = Normalised(p);
    const V3 n = Normalised(Cross(tangent, r));
    const double h = pulse ? 1.0 + 2.0 * std::sin(phase) * std::cos(4.0 * u) : 1.0;
    for (int j = 0; j < kSides; ++j) {
      const double theta = j * kSideStep;
      const double ct = std::cos(theta);
      const double st = std::sin(theta);
      const V3 offset{ct * n.x + st * r.x, ct * n.y + st * r.y, ct * n.z + st * r.z};
      const int i = kSides * k + j;
      positions[i] = ToFloat({p.x + h * offset.x, p.y + h * offset.y, p.z + h * offset.z});
      normals[i] = ToFloat(offset);
    }
    if (band) {
      // The tube's width across the curve, projected straight down; a
      // curve point right above the origin has no horizontal direction and
      // gives a band of no width there.
      const double horizontal = std::sqrt(r.x * r.x + r.z * r.z);
      const double q = horizontal > 1e-12 ? h / horizontal : 0.0;
      band[2 * k] = ToFloat({p.x + r.x * q, kShadowY, p.z + r.z * q});
      band[2 * k + 1] = ToFloat({p.x - r.x * q, kShadowY, p.z - r.z * q});
    }
    previous = p;
  }
  m_tube.Touch();
  if (band) m_shadowShape.Touch();
}

void CTTorus1::Render(const RenderInfo_t& info, CTMaterial* material) {
  if (!m_built) return;
  RenderMesh(m_tube, info, material ? material : m_material.Get());
  if (m_shadow && m_shadowShape.GetFaceCount() > 0) RenderMesh(m_shadowShape, info, m_shadowMaterial.Get());
}

Vector3 CTTorus1::GetSupport(const Vector3& d) {
  const int count = m_tube.GetVectorCount();
  if (!m_built || count == 0) return Vector3();
  const Vector3* positions = m_tube.GetVectors();
  int best = 0;
  float bestDot = positions[0].Dot(d);
  for (int i = 1; i < count; ++i) {
    const float dot = positions[i].Dot(d);
    if (dot > bestDot) {
      bestDot = dot;
      best = i;
    }
  }
  return positions[best];
}

Ref<CTShape> CTTorus1::GetBoundingBox() {
  Ref<CTBox> box = qibo::Create<CTBox>();
  if (!box) return {};
  const double height = m_shadow ? -2.0 * kShadowY : 2.0 * kReach;
  box->SetDimensions(Vector3(static_cast<float>(2.0 * kReach), static_cast<float>(height),
                             static_cast<float>(2.0 * kReach)));
  return Ref<CTShape>(std::move(box));
}
