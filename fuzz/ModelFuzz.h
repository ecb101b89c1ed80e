#pragma once

// What the model fuzz targets share: building a model read from fuzzed
// bytes into a scene, checking the scene, and forgetting what the run left
// in the services.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/geometry/DRenderShape.h"
#include "core/kernel/CTConsoleFrontEnd.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "plugins/io/ModelBuilder.h"

namespace qibo::fuzz {

inline void Check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "model fuzz: %s\n", what);
  abort();
}

// Each log line would reach the console otherwise, and every run would
// print its warnings.
inline void QuietEngine() {
  static const bool quiet = [] {
    qiBO_UnregisterClass(CTConsoleFrontEnd::_CD());
    return true;
  }();
  (void)quiet;
}

// What the reader kept refers inside itself and is bounded by the input.
inline void CheckModel(const qibo::io::DModel& model, size_t inputSize) {
  size_t elements = model.objects.size() + model.nodes.size() + model.materials.size();
  for (const auto& mesh : model.meshes) {
    elements += mesh.positions.size() + mesh.faces.size() + mesh.uv.size() / 2;
    for (const auto& face : mesh.faces)
      for (uint32_t v : face) Check(v < mesh.positions.size(), "a face names a missing vertex");
    for (const auto& group : mesh.groups)
      for (uint32_t f : group.faces) Check(f < mesh.faces.size(), "a material group names a missing face");
    Check(mesh.smoothing.size() <= mesh.faces.size(), "more smoothing groups than faces");
  }
  for (size_t i = 0; i < model.nodes.size(); ++i)
    Check(model.nodes[i].parent < static_cast<int>(i), "a node's parent is not an earlier node");
  Check(elements <= inputSize, "more kept than the input holds");
}

// Every entity below root: a tree without loops whose drawables' faces all
// refer inside their shapes.
inline void CheckScene(CTGroup* root) {
  std::vector<CTEntity*> pending{root};
  size_t seen = 0;
  while (!pending.empty()) {
    CTEntity* entity = pending.back();
    pending.pop_back();
    Check(++seen < (1u << 24), "the scene does not end");
    if (auto* drawable = qibo::Cast<CTDrawable>(entity))
      if (drawable->GetShape() && drawable->GetShape()->GetRenderShape())
        Check(drawable->GetShape()->GetRenderShape()->CheckFaces() == 0, "a face refers outside its shape");
    if (auto* group = qibo::Cast<CTGroup>(entity))
      for (int i = 0; i < group->NumChildren(); ++i) {
        Check(group->GetChild(i)->GetParent() == group, "a child does not name its group");
        pending.push_back(group->GetChild(i));
      }
  }
}

// Builds model below a new group (no texture maps: the run touches no
// files) and checks the result.
inline void BuildAndCheck(const qibo::io::DModel& model) {
  Ref<CTGroup> root = qibo::Create<CTGroup>();
  qibo::io::DModelSettings settings;
  settings.root = root.Get();
  settings.importMask = 255 & ~16u;
  settings.baseName = "fuzz";
  qibo::io::DModelBuilder builder(settings, [](const std::string&) {});
  std::vector<CTBasic*> imported;
  Check(builder.Build(model, imported), "a model read did not build");
  CheckScene(root.Get());
}

// The materials a run made, so that runs stay independent.
inline void ForgetMaterials() {
  auto* materials = qibo::FindService<CTMaterialManager>();
  if (!materials) return;
  for (int i = 0; i < materials->GetMaterialCount(); ++i) {
    CTMaterial* material = materials->GetMaterial(i);
    if (material && material != materials->GetDefaultMaterial()) materials->UnregisterMaterial(material);
  }
}

using Reader = bool (*)(const uint8_t* data, size_t size, qibo::io::DModel& model, std::string& why);

// One run of a model reader target: the bytes read or refused, what was
// read checked, built and checked again.
inline int RunReader(Reader read, const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  QuietEngine();
  // An exact-size copy, so that a read past the end is caught.
  const std::vector<uint8_t> input(data, data + size);
  qibo::io::DModel model;
  std::string why;
  if (!read(input.data(), input.size(), model, why)) {
    Check(model.objects.empty() && !why.empty(), "a refusal kept something or gave no reason");
    return 0;
  }
  CheckModel(model, size);
  BuildAndCheck(model);
  ForgetMaterials();
  return 0;
}

}  // namespace qibo::fuzz
