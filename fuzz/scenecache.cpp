// Fuzzes the scene cache on a model file of any bytes: a saved scene (a
// chunk stream) when they begin with "qibo", else a 3D Studio file, read by
// a small importer over the model reader and builder. Whatever the file
// holds, a second request gives the same copy as the first, the template
// never hangs below a caller's group, and purging empties the cache.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/io/CT3DImport.h"
#include "core/persist/cache/DefSceneCacheManager.h"
#include "fuzz/ModelFuzz.h"
#include "plugins/io/ModelCodec.h"

// 3D Studio files for the cache, as qiboIO.plug reads them.
class FuzzStudioImport : public CT3DImport {
  QIBO_CLASS(FuzzStudioImport)

 public:
  FuzzStudioImport() { AddExtension("3ds"); }

 protected:
  bool DoImport(const char* file) override {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    qibo::io::DModel model;
    std::string why;
    if (!qibo::io::Read3DS(bytes.data(), bytes.size(), 255, model, why)) return false;
    qibo::io::DModelSettings settings;
    settings.root = GetRoot();
    settings.importMask = 255 & ~16u;
    settings.baseName = "model";
    qibo::io::DModelBuilder builder(settings, [](const std::string&) {});
    std::vector<CTBasic*> imported;
    if (!builder.Build(model, imported)) return false;
    for (CTBasic* object : imported) AddImportedObject(object);
    return true;
  }
};
QIBO_IMPLEMENT_CLASS(FuzzStudioImport, CT3DImport, .desc = "Fuzz 3DS importer")

namespace {

using qibo::fuzz::Check;

// The run's model files live in a folder of their own, gone at the end.
struct WorkFolder {
  std::string path;
  ~WorkFolder() {
    if (path.empty()) return;
    for (const char* file : {"model.qbo", "model.3ds"}) remove((path + "/" + file).c_str());
    rmdir(path.c_str());
  }
};

// The folder of the run's model files; empty when it cannot be made.
const std::string& Setup() {
  static WorkFolder folder;
  static const bool ready = [] {
    qibo::fuzz::QuietEngine();
    qiBO_RegisterClass(FuzzStudioImport::_CD());
    char name[] = "/tmp/qiboFuzzCacheXXXXXX";
    if (mkdtemp(name)) folder.path = name;
    return true;
  }();
  (void)ready;
  return folder.path;
}

// Entities and faces below group, in tree order.
std::vector<int> Shape(CTGroup* group) {
  std::vector<int> shape;
  std::vector<CTEntity*> pending{group};
  while (!pending.empty()) {
    CTEntity* entity = pending.back();
    pending.pop_back();
    auto* drawable = qibo::Cast<CTDrawable>(entity);
    DRenderShape* mesh = drawable && drawable->GetShape() ? drawable->GetShape()->GetRenderShape() : nullptr;
    shape.push_back(mesh ? mesh->GetFaceCount() : -1);
    if (auto* inner = qibo::Cast<CTGroup>(entity))
      for (int i = 0; i < inner->NumChildren(); ++i) pending.push_back(inner->GetChild(i));
  }
  return shape;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = Setup();
  if (size > (1u << 20) || folder.empty()) return 0;
  const bool stream = size >= 4 && memcmp(data, "qibo", 4) == 0;
  const std::string path = folder + (stream ? "/model.qbo" : "/model.3ds");
  const char* file = path.c_str();
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  auto* cache = qibo::Cast<DefSceneCacheManager>(qibo::GetService<CTSceneCacheManager>());
  Check(cache != nullptr, "no scene cache");
  Ref<CTGroup> first = qibo::Create<CTGroup>();
  Ref<CTGroup> second = qibo::Create<CTGroup>();
  const bool loaded = cache->Load(first.Get(), file, 1.0f);
  Check(cache->Load(second.Get(), file, 1.0f) == loaded, "a second request answered differently");
  Check(cache->GetHits() == (loaded ? 1u : 0u), "the hit counter is wrong");
  CTGroup* model = cache->FindTemplate("model");
  Check(model && !model->GetParent(), "the template is missing or attached");
  if (loaded) Check(Shape(first.Get()) == Shape(second.Get()), "two copies differ");
  qibo::fuzz::CheckScene(first.Get());
  cache->PurgeUnused();
  cache->PurgeUnused();
  Check(cache->GetTemplateCount() == 0, "purging left a template");
  cache->Clear();
  first.Reset();
  second.Reset();
  qibo::fuzz::ForgetMaterials();
  return 0;
}
