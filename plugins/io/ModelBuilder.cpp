#include "plugins/io/ModelBuilder.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/geometry/CTPointShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "core/persist/FileSearch.h"
#include "core/persist/OsPath.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/CTTextureManager.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLight.h"
#include "plugins/io/MeshSmoothing.h"

namespace qibo::io {

namespace {

constexpr uint32_t kMaskMaps = 16;
constexpr uint32_t kMaskMaterials = 32;
constexpr float kFilmMillimetres = 36.0f;  // the width of 35 mm film, for a camera's lens
constexpr double kDegrees = 0.017453292519943295;

// File (x, y, z) -> engine (x, z, y).
Vector3 Swap(const Vector3& v) { return Vector3(v.x, v.z, v.y); }

// The object matrix in engine axes: with S the y-z swap, S M S (the axes
// swapped as vectors and as rows), which keeps a rotation a rotation.
Matrix33 SwapMatrix(const float* m) {
  const Vector3 x(m[0], m[2], m[1]), y(m[3], m[5], m[4]), z(m[6], m[8], m[7]);
  return Matrix33::FromRows(x, z, y);
}

float Determinant(const Matrix33& m) {
  return m.m[0][0] * (m.m[1][1] * m.m[2][2] - m.m[1][2] * m.m[2][1]) -
         m.m[0][1] * (m.m[1][0] * m.m[2][2] - m.m[1][2] * m.m[2][0]) +
         m.m[0][2] * (m.m[1][0] * m.m[2][1] - m.m[1][1] * m.m[2][0]);
}

// Rows of unit length at right angles (the determinant is checked apart).
bool IsRotation(const Matrix33& m) {
  constexpr float kTolerance = 1e-4f;
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(m.Row(i).SquaredLength() - 1.0f) > kTolerance) return false;
    if (std::fabs(m.Row(i).Dot(m.Row((i + 1) % 3))) > kTolerance) return false;
  }
  return true;
}

// A map name that stays inside the model's folder: relative, without a
// drive and without a ".." component.
bool InsideFolder(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

// One build: what has been made so far, held until the end.
struct DModelBuilder::Impl {
  const DModelSettings& settings;
  const Warn& warn;
  std::vector<CTBasic*>& imported;
  float scale;
  std::vector<Ref<CTEntity>> made;                    // every entity, in order of making
  std::vector<CTDrawable*> drawables;                 // one per mesh
  std::unordered_map<std::string, CTEntity*> byName;  // first object of each name
  std::vector<CTGroup*> groups;                       // the groups made for nodes

  Vector3 Point(const Vector3& v) const { return Swap(v) * scale; }
  std::string Qualified(const std::string& name) const { return name + " (" + settings.baseName + ")"; }

  template <class T>
  T* Make(const std::string& name) {
    Ref<T> object = qibo::Create<T>();
    if (!object) return nullptr;
    object->SetName(name.c_str());
    made.emplace_back(object.Get());
    imported.push_back(object.Get());
    byName.emplace(name, object.Get());
    return object.Get();
  }

  void Materials(const DModel& model);
  void Apply(const DModelMaterial& source, CTMaterial& material);
  bool LoadMap(CTMaterial& material, const std::string& file);
  bool Mesh(const DModel& model, const DModelMesh& mesh);
  void FaceMaterials(const DModel& model, const DModelMesh& mesh, CTPointShape& shape,
                     std::vector<CTMaterial*>& materials);
  void Light(const DModelLight& light);
  void Camera(const DModelCamera& camera);
  void Nodes(const DModel& model);
  void Pivot(CTDrawable& drawable, const Vector3& pivot);
  void Finish();
};

DModelBuilder::DModelBuilder(DModelSettings settings, Warn warn)
    : m_settings(std::move(settings)), m_warn(std::move(warn)) {}

bool DModelBuilder::Build(const DModel& model, std::vector<CTBasic*>& imported) {
  if (!m_settings.root) {
    m_warn("No group to import into");
    return false;
  }
  for (const std::string& text : model.warnings) m_warn(text);
  if (model.suppressedWarnings)
    m_warn(std::to_string(model.suppressedWarnings) + " further warnings about this file not shown");
  std::vector<CTBasic*> made;
  Impl build{m_settings, m_warn, made, static_cast<float>(m_settings.scaling), {}, {}, {}, {}};
  build.Materials(model);
  for (const DModel::Object& object : model.objects) {
    switch (object.kind) {
      case DModel::Kind::kMesh:
        if (!build.Mesh(model, model.meshes[object.index])) return false;
        break;
      case DModel::Kind::kLight:
        build.Light(model.lights[object.index]);
        break;
      case DModel::Kind::kCamera:
        build.Camera(model.cameras[object.index]);
        break;
    }
  }
  build.Nodes(model);
  build.Finish();
  // Only the entities without a parent of their own hang below the root.
  for (const Ref<CTEntity>& entity : build.made)
    if (!entity->GetParent()) entity->SetParent(m_settings.root);
  imported.insert(imported.end(), made.begin(), made.end());
  return true;
}

void DModelBuilder::Impl::Materials(const DModel& model) {
  if (!model.qualifiedMaterials || !(settings.importMask & kMaskMaterials)) return;
  for (const DModelMaterial& source : model.materials) {
    CTMaterial* material = qiBO_CreateMaterial(Qualified(source.name).c_str(), nullptr);
    if (material) Apply(source, *material);
  }
}

// Shininess (a fraction) gives the specular power up to 100; the specular
// colour is scaled by the shininess strength; self-illumination lends the
// diffuse colour to the emissive one.
void DModelBuilder::Impl::Apply(const DModelMaterial& source, CTMaterial& material) {
  material.m_diffuse = source.diffuse;
  material.m_ambient = source.hasAmbient ? source.ambient : source.diffuse;
  material.m_useAmbient = material.m_useDiffuse = true;
  material.m_specular = source.specular * source.shininessStrength;
  material.m_useSpecular = source.hasSpecular && source.shininessStrength > 0.0f && source.shininess > 0.0f;
  material.m_power = std::max(1.0f, source.shininess * 100.0f);
  material.m_emissive = source.diffuse * source.selfIllumination;
  material.m_useEmissive = source.selfIllumination > 0.0f;
  material.m_doubleSided = source.twoSided;
  material.SetAlpha(1.0f - source.transparency);
  if (!source.texture.file.empty() && LoadMap(material, source.texture.file)) {
    material.m_ambient = material.m_diffuse = Vector3(1.0f, 1.0f, 1.0f);
    imported.push_back(material.GetTexture());
  }
  if (!source.reflection.file.empty() && LoadMap(material, source.reflection.file)) {
    material.m_ambient = material.m_diffuse = Vector3(1.0f, 1.0f, 1.0f);
    material.m_extra = 3;  // texture coordinates from the reflection vector
    imported.push_back(material.GetTexture());
  }
  material.Invalidate();
}

bool DModelBuilder::Impl::LoadMap(CTMaterial& material, const std::string& file) {
  if (!(settings.importMask & kMaskMaps)) return false;
  if (!InsideFolder(file)) {
    warn("Texture map outside the model's folder refused: " + file);
    return false;
  }
  // The texture service loads; a material only asks a running one.
  auto* textures = qibo::GetService<CTTextureManager>();
  if (!textures || !textures->IsStarted()) {
    warn("No texture service for the texture map " + file);
    return false;
  }
  const std::string path = settings.folder + file;
  bool loaded = false;
  if (!qibo::FindPathIC(qibo::OsPath(path.c_str())).empty()) {
    loaded = material.LoadTextureFile(path.c_str());
  } else {
    // Beside the engine's other textures, by base name and any extension.
    const std::string base = qibo::FilePart(file.c_str());
    const std::string stem = base.substr(0, base.rfind('.'));
    const std::string pattern =
        std::string(textures->GetPropertyByName("TexturePath").ToString().c_str()) + stem + ".*";
    const bool there = !stem.empty() && !qibo::FindFiles(pattern.c_str()).empty();
    if (!there) {
      warn("Texture map not found: " + file);
      return false;
    }
    loaded = material.LoadTexture(file.c_str());
  }
  if (!loaded) warn("Texture map not loaded: " + file);
  return loaded && material.GetTexture();
}

bool DModelBuilder::Impl::Mesh(const DModel& model, const DModelMesh& mesh) {
  CTDrawable* drawable = Make<CTDrawable>(mesh.name);
  Ref<CTPointShape> shape = qibo::Create<CTPointShape>();
  if (!drawable || !shape) return false;
  shape->SetName(Qualified(mesh.name).c_str());
  drawable->SetShape(shape.Get());
  imported.push_back(shape.Get());
  drawables.push_back(drawable);

  DMeshCorners corners;
  corners.positions.reserve(mesh.positions.size());
  for (const Vector3& p : mesh.positions) corners.positions.push_back(Point(p));
  corners.uv.assign(2 * mesh.positions.size(), 1.0f);
  for (size_t i = 0; i < corners.positions.size(); ++i) {
    corners.uv[2 * i] = 2 * i < mesh.uv.size() ? mesh.uv[2 * i] : 0.0f;
    if (2 * i + 1 < mesh.uv.size()) corners.uv[2 * i + 1] = 1.0f - mesh.uv[2 * i + 1];
  }
  // (a, b, c) reversed: the axis swap mirrors the model.
  corners.faces.reserve(mesh.faces.size());
  for (const auto& face : mesh.faces)
    corners.faces.push_back(
        {static_cast<int>(face[2]), static_cast<int>(face[1]), static_cast<int>(face[0])});
  corners.smoothing = mesh.smoothing;
  corners.smoothing.resize(mesh.faces.size(), 0xFFFFFFFFu);
  FaceMaterials(model, mesh, *shape, corners.materials);
  if (mesh.hasMatrix) {
    // The vertices are stored placed; the drawable takes the placement and
    // its shape the vertices in the object's own frame. A mirroring or
    // flat matrix stays out: the vertices then keep their placement.
    const Matrix33 axes = SwapMatrix(mesh.matrix);
    if (Determinant(axes) > 1e-12f) {
      DTransform& placement = drawable->GetTransformRef();
      if (IsRotation(axes))
        placement.SetRotationMatrix(axes);
      else
        placement.SetMatrix(axes);  // scaled or sheared: split into rotation and deformation on demand
      placement.MoveTo(Point(Vector3(mesh.matrix[9], mesh.matrix[10], mesh.matrix[11])));
      if (!corners.positions.empty())
        placement.BackTransformPoints(corners.positions.data(),
                                      static_cast<int32_t>(corners.positions.size()));
    }
  }
  FillSmoothedMesh(corners, *shape->GetRenderShape());
  shape->HoldFaceMaterials();
  return true;
}

// Each face of a group takes the group's material; a group that covers the
// whole mesh also gives it to the shape.
void DModelBuilder::Impl::FaceMaterials(const DModel& model, const DModelMesh& mesh, CTPointShape& shape,
                                        std::vector<CTMaterial*>& materials) {
  materials.assign(mesh.faces.size(), nullptr);
  for (const DModelGroup& group : mesh.groups) {
    CTMaterial* material = nullptr;
    if (model.qualifiedMaterials) {
      const std::string name = Qualified(group.material);
      material = qiBO_FindMaterial(name.c_str());
      if (!material) {
        if (settings.importMask & kMaskMaterials) warn("Unknown material: " + name);
        material = qiBO_GetDefaultMaterial();
      }
    } else {
      material = qiBO_CreateMaterial(group.material.c_str(), nullptr);
    }
    for (uint32_t f : group.faces) materials[f] = material;
    if (!group.faces.empty() && group.faces.size() == mesh.faces.size()) shape.SetMaterial(material);
  }
}

void DModelBuilder::Impl::Light(const DModelLight& source) {
  CTLight* light = Make<CTLight>(source.name);
  if (!light) return;
  const Vector3 position = Point(source.position);
  light->MoveTo(position);
  light->SetColor(source.off ? Vector3() : source.color);
  if (source.spot) light->SetDirection(Point(source.target) - position);
}

void DModelBuilder::Impl::Camera(const DModelCamera& source) {
  CTCamera* camera = Make<CTCamera>(source.name);
  if (!camera) return;
  const Vector3 position = Point(source.position);
  camera->MoveTo(position);
  camera->SetDirection(Point(source.target) - position);
  if (source.bank != 0.0f) camera->IncreaseTw(source.bank * kDegrees);
  if (source.lens > 0.0f) camera->ChangeMM(source.lens, kFilmMillimetres);
}

void DModelBuilder::Impl::Nodes(const DModel& model) {
  std::vector<CTEntity*> entities(model.nodes.size(), nullptr);
  for (size_t i = 0; i < model.nodes.size(); ++i) {
    const DModelNode& node = model.nodes[i];
    const auto found = byName.find(node.name);
    CTEntity* entity = found != byName.end() ? found->second : nullptr;
    if (!entity && !node.mayBeDummy) continue;  // a light or camera left out by the mask
    if (!entity) {
      CTGroup* group = Make<CTGroup>(node.name);
      if (!group) continue;
      groups.push_back(group);
      entity = group;
    }
    if (!node.instance.empty()) entity->SetName(node.instance.c_str());
    entities[i] = entity;
    if (node.hasPivot)
      if (auto* drawable = qibo::Cast<CTDrawable>(entity)) Pivot(*drawable, Point(node.pivot));
    if (node.parent < 0) continue;
    auto* parent = qibo::Cast<CTGroup>(entities[static_cast<size_t>(node.parent)]);
    if (!parent) continue;
    // Two nodes may name one object: never below itself or its own subtree.
    auto* asGroup = qibo::Cast<CTGroup>(entity);
    if (parent == entity || (asGroup && parent->FindParent(asGroup))) {
      warn(std::string("Node ") + entity->GetName() + " cannot be its own parent; left where it is");
      continue;
    }
    entity->ChangeParent(parent);
  }
}

// The drawable's origin moves onto the pivot: the shape's vertices move
// back by it and the drawable forward by it in its own frame, so the faces
// stay where they were and the drawable turns about its pivot.
void DModelBuilder::Impl::Pivot(CTDrawable& drawable, const Vector3& pivot) {
  auto* shape = qibo::Cast<CTPointShape>(drawable.GetShape());
  if (!shape) return;
  DRenderShape& rs = *shape->GetRenderShape();
  Vector3* positions = rs.GetVectors();
  for (int i = 0; i < rs.GetVectorCount(); ++i) positions[i] -= pivot;
  rs.Touch();
  const DTransform& placement = drawable.GetTransform();
  const Vector3 turned = placement.UpdateTotalMatrix() ? placement.GetTotalMatrix().Transform(pivot) : pivot;
  drawable.MoveTo(placement.GetPosition() + turned);
}

void DModelBuilder::Impl::Finish() {
  for (CTDrawable* drawable : drawables) {
    static_cast<CTPointShape*>(drawable->GetShape())->UsePointsOfRenderShape();
    drawable->CreateBoundingVolume();
  }
  // Deepest first, so that a group's children have their boxes.
  std::stable_sort(groups.begin(), groups.end(),
                   [](const CTGroup* a, const CTGroup* b) { return a->GetTreeLevel() > b->GetTreeLevel(); });
  for (CTGroup* group : groups) group->CreateBoundingVolume();
}

}  // namespace qibo::io
