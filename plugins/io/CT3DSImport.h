#pragma once

#include "plugins/io/DModelImport.h"

// 3D Studio files (.3ds, .prj, .mli). The import mask selects lights (2),
// cameras (4), texture maps (16) and named materials (32).
class CT3DSImport : public DModelImport {
  QIBO_CLASS(CT3DSImport)

 public:
  CT3DSImport();

 protected:
  bool DoImport(const char* file) override;
};
