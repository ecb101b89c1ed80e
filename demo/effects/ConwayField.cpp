#include "demo/effects/ConwayField.h"

#include <algorithm>
#include <cstdlib>

#include "core/geometry/CTBox.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/QIBO_String.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"

QIBO_IMPLEMENT_CLASS(ConwayField, CTNamed, .desc = "Conway cube field", .product = "Quarndelion")

namespace {

// The start pattern's fixed cells as (column, row): a block of six above
// two short columns.
constexpr int kPattern[][2] = {{7, 4}, {8, 4}, {9, 4}, {7, 5}, {8, 5}, {9, 5},
                               {7, 7}, {9, 7}, {7, 8}, {9, 8}, {7, 9}, {9, 9}};

// The material of that name, set up as a white cube material when it is
// made here; an existing one is taken as it is.
CTMaterial* CubeMaterial(const char* name, bool doubleSided) {
  bool existed = false;
  CTMaterial* material = qiBO_CreateMaterial(name, &existed);
  if (material && !existed) {
    material->SetColor(DColor{1.0f, 1.0f, 1.0f, 1.0f});
    material->LoadTexture("cubes1");
    material->m_power = 100.0;
    material->m_doubleSided = doubleSided;
  }
  return material;
}

}  // namespace

ConwayField::ConwayField(int exponent) : CTNamed("Conway field"), m_exponent(kDefaultExponent) {
  SetExponent(exponent);
}

bool ConwayField::SetExponent(int exponent) {
  if (IsBuilt()) return false;
  m_exponent = std::clamp(exponent, kMinExponent, kMaxExponent);
  if (m_exponent != exponent)
    qiBO_Warning(
        QIBO_String::Format("Conway field: grid exponent %d cut to %d", exponent, m_exponent).c_str(), this);
  const size_t cells = static_cast<size_t>(GetCellCount());
  m_current.assign(cells, 0);
  m_previous.assign(cells, 0);
  m_scale.assign(cells, 1.0f);
  return true;
}

ConwayField::~ConwayField() {
  // Only a running message manager is asked: a field released after the
  // engine shut down must not start it again.
  if (m_running) {
    if (auto* updates = qibo::FindService<CTUpdateManager>()) {
      updates->RemoveUpdate(this, qibo::AsUpdate(&ConwayField::Generation));
      updates->RemoveUpdate(this, qibo::AsUpdate(&ConwayField::Animate));
    }
  }
  Clear();
}

bool ConwayField::Build(CTGroup* parent) {
  if (!parent) {
    qiBO_Warning("Conway field: no parent group to build under", this);
    return false;
  }
  if (IsBuilt()) return false;
  m_material = CubeMaterial("ConwayMat", false);
  m_midMaterial = CubeMaterial("ConwayMatMid", true);
  m_box = qibo::Create<CTBox>();
  if (!m_box) return false;
  m_box->SetDimensions(1.0);
  m_box->SetMaterial(m_material.Get());

  const int n = GetSide();
  const int cells = GetCellCount();
  std::fill(m_current.begin(), m_current.end(), uint8_t{0});
  std::fill(m_previous.begin(), m_previous.end(), uint8_t{0});
  std::fill(m_scale.begin(), m_scale.end(), 1.0f);
  for (int i = 0; i < cells / 3; ++i) m_current[static_cast<size_t>(std::rand() % cells)] = 1;
  for (const auto& cell : kPattern)
    if (cell[0] < n && cell[1] < n) m_current[static_cast<size_t>(cell[1] * n + cell[0])] = 1;
  const int centre = GetCentreCell();
  m_current[static_cast<size_t>(centre)] = 1;

  m_cubes.reserve(static_cast<size_t>(cells));
  for (int i = 0; i < cells; ++i) {
    Ref<CTDrawable> cube = qibo::Create<CTDrawable>();
    if (!cube) {
      Clear();
      return false;
    }
    cube->SetShape(m_box.Get());
    cube->SetMaterial(i == centre ? m_midMaterial.Get() : m_material.Get());
    // In the parent's space its right axis is x and its forward axis z.
    cube->MoveTo(Vector3(static_cast<float>(i % n - n / 2), 0.0f, static_cast<float>(i / n - n / 2)));
    cube->SetParent(parent);
    if (!m_current[static_cast<size_t>(i)]) cube->Hide();
    m_cubes.push_back(std::move(cube));
    ApplyScale(i);
  }
  return true;
}

void ConwayField::Clear() {
  for (Ref<CTDrawable>& cube : m_cubes)
    if (cube && cube->GetParent()) cube->SetParent(nullptr);
  m_cubes.clear();
  m_box.Reset();
}

void ConwayField::Start() {
  if (m_running) return;
  m_running = true;
  AddUpdate(qibo::AsUpdate(&ConwayField::Generation), kGenerationPeriod, -1);
  AddUpdate(qibo::AsUpdate(&ConwayField::Animate), 0, -1);
}

void ConwayField::Stop() {
  if (!m_running) return;
  m_running = false;
  RemoveUpdate(qibo::AsUpdate(&ConwayField::Generation));
  RemoveUpdate(qibo::AsUpdate(&ConwayField::Animate));
}

void ConwayField::NextGeneration(const uint8_t* previous, uint8_t* current, int exponent) {
  if (!previous || !current || exponent < 0 || exponent > 15) return;
  const int n = 1 << exponent;
  const int mask = n - 1;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      int count = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (dx != 0 || dy != 0) count += previous[((y + dy) & mask) * n + ((x + dx) & mask)] ? 1 : 0;
      const int i = y * n + x;
      if (previous[i])
        current[i] = (count == 2 || count == 3) ? 1 : 0;
      else
        current[i] = count == 3 ? 1 : 0;
    }
  }
}

void ConwayField::Generation(int32_t) {
  m_previous = m_current;
  const int cells = GetCellCount();
  uint8_t& flipped = m_previous[static_cast<size_t>(std::rand() % cells)];
  flipped = flipped ? 0 : 1;
  NextGeneration(m_previous.data(), m_current.data(), m_exponent);
  m_current[static_cast<size_t>(GetCentreCell())] = 1;
}

void ConwayField::Animate(int32_t dt) {
  const float step = static_cast<float>(dt * 0.001);
  const int cells = std::min(GetCellCount(), static_cast<int>(m_cubes.size()));
  for (int i = 0; i < cells; ++i) {
    CTDrawable* cube = m_cubes[static_cast<size_t>(i)].Get();
    if (!cube) continue;
    DTransform& t = cube->GetTransformRef();
    switch (i % 3) {
      case 0:
        t.IncreaseAz(step);
        break;
      case 1:
        t.IncreaseEl(step);
        break;
      default:
        t.IncreaseTw(step);
        break;
    }
    float& scale = m_scale[static_cast<size_t>(i)];
    if (m_current[static_cast<size_t>(i)]) {
      if (scale < kFullScale) {
        scale = std::min(scale + step, kFullScale);
        cube->Show();
        ApplyScale(i);
      }
    } else if (scale > kHideScale) {
      scale -= step;
      if (scale < kHideScale) cube->Hide();
      ApplyScale(i);
    }
  }
}

bool ConwayField::IsAlive(int cell) const {
  return cell >= 0 && cell < GetCellCount() && m_current[static_cast<size_t>(cell)] != 0;
}

void ConwayField::SetAlive(int cell, bool alive) {
  if (cell >= 0 && cell < GetCellCount()) m_current[static_cast<size_t>(cell)] = alive ? 1 : 0;
}

float ConwayField::GetScale(int cell) const {
  return cell >= 0 && cell < GetCellCount() ? m_scale[static_cast<size_t>(cell)] : 0.0f;
}

void ConwayField::SetScale(int cell, float scale) {
  if (cell < 0 || cell >= GetCellCount()) return;
  m_scale[static_cast<size_t>(cell)] = scale;
  ApplyScale(cell);
}

CTDrawable* ConwayField::GetCube(int cell) const {
  return cell >= 0 && static_cast<size_t>(cell) < m_cubes.size() ? m_cubes[static_cast<size_t>(cell)].Get()
                                                                 : nullptr;
}

void ConwayField::ApplyScale(int cell) {
  if (CTDrawable* cube = GetCube(cell)) cube->GetTransformRef().ScaleTo(m_scale[static_cast<size_t>(cell)]);
}
