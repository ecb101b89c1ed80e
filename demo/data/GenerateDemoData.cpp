// quarndelionDataGen ROOT: writes the demo's music, pictures and textures
// below ROOT (ROOT/runfiles/..., ROOT/textures/...). Run by the build.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "demo/data/DemoPictures.h"
#include "demo/data/Melody01.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argc > 0 ? argv[0] : "quarndelionDataGen");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  std::error_code code;
  std::filesystem::create_directories(root / "runfiles", code);
  if (code) {
    fprintf(stderr, "cannot make %s: %s\n", (root / "runfiles").c_str(), code.message().c_str());
    return 1;
  }
  std::string error;
  const std::string music = (root / "runfiles" / "melody01.xm").string();
  if (!qibo::demo::WriteMelody01(music.c_str(), &error)) {
    fprintf(stderr, "cannot write %s: %s\n", music.c_str(), error.c_str());
    return 1;
  }
  if (!qibo::demo::WriteDemoPictures(root.string(), &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return 0;
}
