#pragma once

#include <cstdint>
#include <string>

#include "core/io/CT3DImport.h"
#include "plugins/io/ModelCodec.h"

// The steps the model importers of qiboIO.plug share; not a class of the
// registry. The file is read whole (package members too), described by the
// format's reader and built below the root group (ModelBuilder.h); every
// warning of the reader and the builder goes to this importer's log as a
// warning of level 0. A file that does not read leaves the root as it was.
class DModelImport : public CT3DImport {
 public:
  explicit DModelImport(const char* name) : CT3DImport(name) {}

 protected:
  using Reader = bool (*)(const uint8_t* data, size_t size, uint32_t importMask, qibo::io::DModel& model,
                          std::string& why);
  struct Rules {
    Reader read;
    bool reportMissing;  // a file that does not open is reported as "File not found: " + file
  };
  bool ImportWith(const char* file, const Rules& rules);
};
