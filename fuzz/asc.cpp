// Fuzzes the ASCII scene reader and the model builder: any text must read
// or be refused without a fault or a read outside it; what is read refers
// inside itself, is bounded by the input, and builds into a scene whose
// faces all refer inside their shapes.
#include <cstdint>

#include "fuzz/ModelFuzz.h"
#include "plugins/io/ModelCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qibo::fuzz::RunReader(qibo::io::ReadASC, data, size);
}
