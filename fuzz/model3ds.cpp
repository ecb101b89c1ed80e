// Fuzzes the 3D Studio reader and the model builder: any bytes must read or
// be refused without a fault or a read outside them; what is read refers
// inside itself, is bounded by the input, and builds into a scene whose
// faces all refer inside their shapes.
#include <cstdint>
#include <string>

#include "fuzz/ModelFuzz.h"
#include "plugins/io/ModelCodec.h"

namespace {

bool Read(const uint8_t* data, size_t size, qibo::io::DModel& model, std::string& why) {
  return qibo::io::Read3DS(data, size, 255, model, why);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qibo::fuzz::RunReader(Read, data, size);
}
