#pragma once

#include "core/io/CT3DImport.h"

// Imports a chunk-stream file (a saved scene, CTGroup::SaveTree): every
// entity of the stream without a parent goes below the root group, scaled
// by the scaling when it is not 1, and is listed as imported.
class CTTreeStreamImport : public CT3DImport {
  QIBO_CLASS(CTTreeStreamImport)

 public:
  CTTreeStreamImport();

 protected:
  bool DoImport(const char* file) override;
};
