#pragma once

#include <string>
#include <vector>

#include "core/scene/math/Vector3.h"

class CTGroup;

// Models for the tool's verbs: which files are models, importing one below
// a group, and what a scene holds.
namespace qibo::tool {

// Whether file is a model (qiboIO.plug loaded): a 3D importer handles its
// extension, or no picture importer does and its first bytes are those of
// a model (3D Studio chunks, ASCII scene text, a chunk stream).
bool IsModelFile(const char* file);

// Imports file below root: by extension through the scene importer, or by
// its content when no 3D importer handles the extension. On failure the
// tool's message and the engine's are printed (prefixed "qibo VERB: ").
// format receives the description of the importer that read the file.
bool ImportModel(const char* verb, const char* file, CTGroup* root, std::string* format = nullptr);

struct DSceneSummary {
  int drawables = 0;
  int groups = 0;
  int lights = 0;
  int cameras = 0;
  int faces = 0;
  int vertices = 0;
  std::vector<std::string> materials;  // the names of the materials the drawables use
  bool hasBounds = false;
  Vector3 low, high;  // world coordinates of every drawn vertex
};

// Everything below root (root itself not counted), with world transforms
// brought up to date.
DSceneSummary Summarize(CTGroup* root);

}  // namespace qibo::tool
