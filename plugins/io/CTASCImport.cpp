#include "plugins/io/CTASCImport.h"

QIBO_IMPLEMENT_CLASS(CTASCImport, CT3DImport, .desc = "ASC Importer", .url = "qiboIO.plug",
                     .product = "qiBO IO")

namespace {

bool ReadASC(const uint8_t* data, size_t size, uint32_t, qibo::io::DModel& model, std::string& why) {
  return qibo::io::ReadASC(data, size, model, why);
}

}  // namespace

CTASCImport::CTASCImport() : DModelImport("ASC Importer") { AddExtension("asc"); }

// A file that does not open fails without a message of its own.
bool CTASCImport::DoImport(const char* file) { return ImportWith(file, {ReadASC, false}); }
