// Importing a 3D Studio model of 200,000 faces, written here: the engine
// (qiboIO.plug through the scene importer, down to drawables with smoothed
// render shapes and bounding volumes) against the distribution's assimp on
// the same file in the same run (assimp's reader alone, no post-processing).
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <climits>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/io/CTSceneIO.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/Ref.h"
#include "core/scene/CTGroup.h"
#include "tests/support/Studio3DS.h"

namespace {

constexpr int kObjects = 4;
constexpr int kColumns = 125, kRows = 200;  // quads per object: 2 x 125 x 200 = 50,000 faces

// A temporary file that goes when the program ends.
struct TempModel {
  std::string path;
  ~TempModel() {
    if (!path.empty()) remove(path.c_str());
  }
};

// A wavy grid per object, one material, smoothing group 1 everywhere.
const std::string& ModelFile() {
  static const TempModel model{[] {
    qibo::test::Writer3DS w;
    w.Begin(0x4D4D).Begin(0x3D3D);
    w.Begin(0xAFFF).Named(0xA000, "Stone").Color(0xA020, 160, 150, 140).End();
    for (int object = 0; object < kObjects; ++object) {
      w.Begin(0x4000).Text("Grid" + std::to_string(object)).Begin(0x4100);
      const int vertices = (kColumns + 1) * (kRows + 1);
      w.Begin(0x4110).U16(static_cast<uint16_t>(vertices));
      for (int y = 0; y <= kRows; ++y)
        for (int x = 0; x <= kColumns; ++x)
          w.Vec(static_cast<float>(x), static_cast<float>(y + object * kRows),
                static_cast<float>((x * 7 + y * 3) % 5) * 0.1f);
      w.End();
      w.Begin(0x4140).U16(static_cast<uint16_t>(vertices));
      for (int y = 0; y <= kRows; ++y)
        for (int x = 0; x <= kColumns; ++x) w.F32(x / float(kColumns)).F32(y / float(kRows));
      w.End();
      const int faces = 2 * kColumns * kRows;
      w.Begin(0x4120).U16(static_cast<uint16_t>(faces));
      for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kColumns; ++x) {
          const auto v = [](int col, int row) { return static_cast<uint16_t>(row * (kColumns + 1) + col); };
          w.U16(v(x, y)).U16(v(x + 1, y)).U16(v(x + 1, y + 1)).U16(7);
          w.U16(v(x, y)).U16(v(x + 1, y + 1)).U16(v(x, y + 1)).U16(7);
        }
      w.Begin(0x4130).Text("Stone").U16(static_cast<uint16_t>(faces));
      for (int f = 0; f < faces; ++f) w.U16(static_cast<uint16_t>(f));
      w.End();
      w.Begin(0x4150);
      for (int f = 0; f < faces; ++f) w.U32(1);
      w.End().End();
      w.End().End();
    }
    w.End().End();
    char name[] = "/tmp/qiboModelBenchXXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    const std::string file = std::string(name) + ".3ds";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(w.Bytes().data()), static_cast<std::streamsize>(w.Size()));
    remove(name);
    return file;
  }()};
  return model.path;
}

std::string ExecutableDirectory() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  std::string dir(self, static_cast<size_t>(n));
  return dir.substr(0, dir.rfind('/'));
}

void ImportEngine(benchmark::State& state) {
  const std::string file = ModelFile();
  qiBO_Init();
  auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
  if (plugIns) plugIns->GetPropertyByName("PlugInPath").FromString((ExecutableDirectory() + "/").c_str());
  if (!qiBO_LoadPlugIn("qiboIO.plug")) {
    state.SkipWithError("qiboIO.plug cannot be loaded");
    qiBO_Deinit();
    return;
  }
  {
    Ref<CTSceneIO> importer = qibo::Create<CTSceneIO>();
    for (auto _ : state) {
      Ref<CTGroup> root = qibo::Create<CTGroup>();
      importer->SetRoot(root.Get());
      if (!importer->Import(file.c_str())) {
        state.SkipWithError("the model did not import");
        break;
      }
      benchmark::DoNotOptimize(root->NumChildren());
      state.PauseTiming();
      importer->SetRoot(nullptr);
      root.Reset();
      state.ResumeTiming();
    }
  }
  qiBO_Deinit();
  state.counters["faces"] = 2.0 * kColumns * kRows * kObjects;
}
BENCHMARK(ImportEngine)->Unit(benchmark::kMillisecond);

void ImportAssimp(benchmark::State& state) {
  const std::string file = ModelFile();
  Assimp::Importer importer;
  for (auto _ : state) {
    const aiScene* scene = importer.ReadFile(file, 0);
    if (!scene) {
      state.SkipWithError(importer.GetErrorString());
      break;
    }
    benchmark::DoNotOptimize(scene->mNumMeshes);
    state.PauseTiming();
    importer.FreeScene();
    state.ResumeTiming();
  }
  state.counters["faces"] = 2.0 * kColumns * kRows * kObjects;
}
BENCHMARK(ImportAssimp)->Unit(benchmark::kMillisecond);

}  // namespace
