#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plugins/io/ModelCodec.h"

class CTBasic;
class CTGroup;

namespace qibo::io {

// How a model becomes engine objects.
struct DModelSettings {
  CTGroup* root = nullptr;  // receives the model's top-level objects
  uint32_t importMask = 255;
  double scaling = 1.0;
  std::string baseName;  // the file's name without folder and extension
  std::string folder;    // the file's folder ("" or ending in a separator): maps are found there
};

// Builds the engine objects of a model read by Read3DS or ReadASC:
//   - file (x, y, z) becomes (x, z, y) times the scaling, and every face's
//     winding is reversed, so front faces stay front;
//   - each mesh is a CTDrawable named after its object carrying a
//     CTPointShape named "object (file)", whose render shape holds the
//     vertices in the drawable's own frame (the object matrix becomes the
//     drawable's placement) with smoothing groups applied;
//   - 3D Studio materials are made (mask 32) as "material (file)" in the
//     material service, with their maps loaded (mask 16) from the model's
//     folder (never from outside it), or else through the texture service's
//     path; faces take their group's material;
//   - lights and cameras become CTLight and CTCamera;
//   - key-frame nodes find their object by name (a mesh object's node
//     without one is a dummy: a new CTGroup), move below a parent node that
//     is a group, and move a drawable's origin onto its pivot without
//     moving its faces;
//   - every group made builds its bounding volume.
// The objects are put together unattached and hang below the root only
// when all of them are made: a failure leaves nothing behind.
class DModelBuilder {
 public:
  using Warn = std::function<void(const std::string&)>;

  DModelBuilder(DModelSettings settings, Warn warn);

  // The objects made (drawables, shapes, groups, lights, cameras and loaded
  // textures) are appended to imported; they live as long as the root
  // holds them.
  bool Build(const DModel& model, std::vector<CTBasic*>& imported);

 private:
  struct Impl;
  DModelSettings m_settings;
  Warn m_warn;
};

}  // namespace qibo::io
