#pragma once

#include "plugins/io/DModelImport.h"

// ASCII scene files (.asc): the meshes, their smoothing groups and the
// materials their faces name (found or made in the material service).
class CTASCImport : public DModelImport {
  QIBO_CLASS(CTASCImport)

 public:
  CTASCImport();

 protected:
  bool DoImport(const char* file) override;
};
