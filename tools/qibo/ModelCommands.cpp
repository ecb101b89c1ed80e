// qibo convert MODEL SCENE.qbo and qibo info MODEL: 3D models through the
// importers of qiboIO.plug (3D Studio, ASCII scenes) and the engine's own
// chunk-stream scenes. convert and info pass pictures on to the picture
// verbs.
#include <cstdio>
#include <string>

#include "core/io/CTImportExport.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Logging.h"
#include "core/object/Ref.h"
#include "core/persist/FileSearch.h"
#include "core/scene/CTGroup.h"
#include "tools/qibo/Commands.h"
#include "tools/qibo/ModelScene.h"

namespace qibo::tool {

namespace {

// The group a model is read into: named after the file, so that a saved
// scene reads back as one group of that name.
Ref<CTGroup> ModelGroup(const char* file) {
  Ref<CTGroup> group = qibo::Create<CTGroup>();
  std::string name = qibo::FilePart(file);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  if (group) group->SetName(name.c_str());
  return group;
}

bool IsSceneExtension(const char* ext) {
  return ext && (qibo::EqualsIC(ext, "qbo") || qibo::EqualsIC(ext, "tre"));
}

}  // namespace

int Convert(int argc, char** argv) {
  if (argc != 2) return 2;
  if (LoadToolPlugIn("qiboIO.plug") && IsModelFile(argv[0])) return ConvertModel(argc, argv);
  return ConvertPicture(argc, argv);
}

int Info(int argc, char** argv) {
  if (argc != 1) return 2;
  if (LoadToolPlugIn("qiboIO.plug") && IsModelFile(argv[0])) return ModelInfo(argc, argv);
  return PictureInfo(argc, argv);
}

int ConvertModel(int argc, char** argv) {
  if (argc != 2) return 2;
  if (!IsSceneExtension(qibo::FileExtension(argv[1]))) {
    fprintf(stderr, "qibo convert: %s: a model converts to a chunk-stream scene (.qbo)\n",
            Printable(argv[1]).c_str());
    return 1;
  }
  if (!LoadToolPlugIn("qiboIO.plug")) {
    fprintf(stderr, "qibo convert: qiboIO.plug could not be loaded\n");
    return 1;
  }
  Ref<CTGroup> model = ModelGroup(argv[0]);
  if (!model || !ImportModel("convert", argv[0], model.Get())) return 1;
  if (!model->SaveTree(argv[1], 31)) {
    fprintf(stderr, "qibo convert: %s: the scene could not be written\n", Printable(argv[1]).c_str());
    return 1;
  }
  return 0;
}

int ModelInfo(int argc, char** argv) {
  if (argc != 1) return 2;
  if (!LoadToolPlugIn("qiboIO.plug")) {
    fprintf(stderr, "qibo info: qiboIO.plug could not be loaded\n");
    return 1;
  }
  Ref<CTGroup> model = ModelGroup(argv[0]);
  const int logged = qiBO_GetErrorsCount();
  std::string format;
  if (!model || !ImportModel("info", argv[0], model.Get(), &format)) return 1;
  const DSceneSummary s = Summarize(model.Get());
  printf("%s\n  format       %s\n", Printable(argv[0]).c_str(), format.c_str());
  printf("  drawables    %d\n  groups       %d\n  faces        %d\n  vertices     %d\n", s.drawables,
         s.groups, s.faces, s.vertices);
  printf("  materials    %zu\n", s.materials.size());
  for (const std::string& name : s.materials) printf("               %s\n", Printable(name).c_str());
  printf("  lights       %d\n  cameras      %d\n", s.lights, s.cameras);
  if (s.hasBounds)
    printf("  bounds       (%g, %g, %g) to (%g, %g, %g)\n", s.low.x, s.low.y, s.low.z, s.high.x, s.high.y,
           s.high.z);
  else
    printf("  bounds       none\n");
  // What the importers had to leave out or repair.
  fflush(stdout);
  PrintLogSince(logged, true);
  return 0;
}

}  // namespace qibo::tool
